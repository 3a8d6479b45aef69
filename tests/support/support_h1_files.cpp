#include "support_h1_files.h"

#include <QDir>
#include <QtEndian>

#include <csignal>
#include <sys/resource.h>

namespace support_h1 {

namespace {
// The signature, byte-swapped behind a volatile (see versionBlock()).
volatile const quint32 kSignatureSwapped = 0xBD04EFFEu;
} // namespace

QByteArray versionBlock(quint16 major, quint16 minor, quint16 build, quint16 revision)
{
    QByteArray block(52, '\0');
    char* bytes = block.data();
    qToLittleEndian<quint32>(qbswap(static_cast<quint32>(kSignatureSwapped)), bytes);
    qToLittleEndian<quint32>(0x00010000u, bytes + 4);
    const quint32 mostSignificant = (quint32(major) << 16) | minor;
    const quint32 leastSignificant = (quint32(build) << 16) | revision;
    qToLittleEndian<quint32>(mostSignificant, bytes + 8);
    qToLittleEndian<quint32>(leastSignificant, bytes + 12);
    // The product version repeats the file version, as built files do.
    qToLittleEndian<quint32>(mostSignificant, bytes + 16);
    qToLittleEndian<quint32>(leastSignificant, bytes + 20);
    return block;
}

QStringList folderEntries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    m_softBefore = limit.rlim_cur;
    m_handlerBefore = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(m_softBefore);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_handlerBefore);
}

} // namespace support_h1
