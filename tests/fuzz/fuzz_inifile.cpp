// Feeds arbitrary bytes as a settings file to the reader and writer. Beyond
// not crashing, a value just written must read back (the reader and the
// writer agree on where a section and a key are).
#include "app/inifile_IO.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir(scratchTemplate());
    const QString path = dir.filePath(QStringLiteral("quilton.ini"));
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(bytes) != bytes.size())
            return 0;
    }

    inifile_IO ini;
    ini.setFileName(path);
    ini.ReadStr(QStringLiteral("Position"), QStringLiteral("Top"), QStringLiteral("d"));
    ini.ReadInt(QStringLiteral("Jpeg"), QStringLiteral("Value"), 50);
    // Names taken from the input itself, so matching meets odd text.
    const qsizetype cut = bytes.indexOf('=');
    if (cut > 0) {
        const QString name = QString::fromUtf8(bytes.left(qMin<qsizetype>(cut, 40)));
        ini.ReadStr(name, name, QString());
        ini.ReadInt(name, name, -1);
    }

    const QString value = QStringLiteral("written value");
    if (ini.WriteStr(QStringLiteral("Fuzz"), QStringLiteral("Key"), value) &&
        ini.ReadStr(QStringLiteral("fuzz"), QStringLiteral("KEY"), QString()) != value)
        __builtin_trap();
    if (ini.WriteStr(QStringLiteral("Position"), QStringLiteral("Top"), QStringLiteral("15")) &&
        ini.ReadInt(QStringLiteral("POSITION"), QStringLiteral("top"), -1) != 15)
        __builtin_trap();
    return 0;
}
