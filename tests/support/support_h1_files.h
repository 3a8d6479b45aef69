#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Test data for the settings file, version and JPEG library tests.
namespace support_h1 {

// A 52-byte fixed version block carrying major.minor.build.revision. The
// signature is assembled at run time so that the test program itself never
// holds one (it is scanned as a file without a version block).
QByteArray versionBlock(quint16 major, quint16 minor, quint16 build, quint16 revision);

// Names in folder, hidden ones included, sorted.
QStringList folderEntries(const QString& folder);

// Lowers the file size limit of this process for its lifetime (a write past
// it fails as on a full disc), with SIGXFSZ ignored; restores both after.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long long m_softBefore = 0;
    void (*m_handlerBefore)(int) = nullptr;
};

} // namespace support_h1
