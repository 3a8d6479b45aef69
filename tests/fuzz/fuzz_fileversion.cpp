// Scans arbitrary bytes for a version block and checks the chunked scan
// against a plain scan of the whole input held in memory.
#include "app/mGetFileVer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstddef>
#include <cstdint>

namespace {

// Inputs go through a file in memory where there is such a folder: every
// write of the settings file is synced to disc, which would slow the fuzzer
// to a crawl on a real disc.
QString scratchTemplate()
{
    const QString memory = QStringLiteral("/dev/shm");
    const QString base =
        QFileInfo(memory).isDir() && QFileInfo(memory).isWritable() ? memory : QDir::tempPath();
    return base + QStringLiteral("/quilton-fuzz-XXXXXX");
}

// The first aligned block of the whole input; the text is "" without one.
QString referenceVersionText(const QByteArray& bytes)
{
    for (qsizetype pos = 0; pos + 4 <= bytes.size(); pos += 4) {
        if (qFromLittleEndian<quint32>(bytes.constData() + pos) != 0xFEEF04BDu)
            continue;
        if (pos + 52 > bytes.size())
            return QString();
        const quint32 ms = qFromLittleEndian<quint32>(bytes.constData() + pos + 8);
        const quint32 ls = qFromLittleEndian<quint32>(bytes.constData() + pos + 12);
        return QStringLiteral("%1.%2.%3.%4")
            .arg(ms >> 16)
            .arg(ms & 0xFFFF)
            .arg(ls >> 16)
            .arg(ls & 0xFFFF);
    }
    return QString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir(scratchTemplate());
    const QString path = dir.filePath(QStringLiteral("library.so"));
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(bytes) != bytes.size())
            return 0;
    }
    const FileVersion version = mGetFileVer::GetFileVersion(path);
    const QString text = mGetFileVer::GetFileVersionText(path);
    if (text != referenceVersionText(bytes))
        __builtin_trap();
    if (!version.isNull() && text.isEmpty())
        __builtin_trap();
    return 0;
}
