#pragma once

#include <QByteArray>
#include <QDir>
#include <QtEndian>

#include <csignal>
#include <sys/resource.h>

// Test data for the settings file, version and JPEG library tests.
namespace testfiles {

// A 52-byte fixed version block carrying major.minor.build.revision, the
// product version repeating the file version. The signature is swapped at
// run time so that the test program itself never holds one.
inline QByteArray versionBlock(quint16 major, quint16 minor, quint16 build, quint16 revision)
{
    static volatile const quint32 kSignatureSwapped = 0xBD04EFFEu;
    QByteArray block(52, '\0');
    const quint32 words[] = {qbswap(quint32(kSignatureSwapped)), 0x00010000u,
                             quint32(major) << 16 | minor, quint32(build) << 16 | revision};
    for (int i = 0; i < 6; ++i)
        qToLittleEndian<quint32>(words[i < 4 ? i : i - 2], block.data() + 4 * i);
    return block;
}

// Names in folder, hidden ones included, sorted.
inline QStringList folderEntries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// path as an empty folder, whatever was there before.
inline QString freshFolder(const QString& path)
{
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

// Lowers the file size limit of this process while it lives (a write past it
// fails as on a full disc), with SIGXFSZ ignored.
struct FileSizeLimit
{
    rlimit before{};
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit lowered{bytes, before.rlim_max};
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &before); }
};

} // namespace testfiles
