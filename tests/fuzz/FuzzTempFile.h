#pragma once

// Shared by the fuzz targets: each input goes into a file of a scratch folder
// kept for the whole run. The folder is in memory where there is such a
// folder, since files synced to a real disc would slow the fuzzer to a crawl.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace fuzz {

// Writes the input to name in the scratch folder and gives its path, or the
// empty text when it could not be written.
inline QString writeInput(const char* name, const std::uint8_t* data, std::size_t size)
{
    static const QString memory = QStringLiteral("/dev/shm");
    static QTemporaryDir dir(QString(
        (QFileInfo(memory).isDir() && QFileInfo(memory).isWritable() ? memory : QDir::tempPath()) +
        QStringLiteral("/quilton-fuzz-XXXXXX")));
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    const auto length = static_cast<qint64>(size);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), length) != length)
        return QString();
    return path;
}

} // namespace fuzz
