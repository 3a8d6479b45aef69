// Feeds arbitrary bytes as a settings file to the reader and writer. Beyond
// not crashing, a value just written must read back (the reader and the
// writer agree on where a section and a key are).
#include "FuzzTempFile.h"
#include "app/inifile_IO.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    inifile_IO ini;
    ini.setFileName(fuzz::writeInput("quilton.ini", data, size));
    if (ini.FileName().isEmpty())
        return 0;
    ini.ReadStr(QStringLiteral("Position"), QStringLiteral("Top"), QStringLiteral("d"));
    // Names taken from the input itself, so matching meets odd text.
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString name = QString::fromUtf8(bytes.left(qMin<qsizetype>(bytes.indexOf('='), 40)));
    ini.ReadInt(name, name, -1);

    const QString value = QStringLiteral("written value");
    if (ini.WriteStr(QStringLiteral("Fuzz"), QStringLiteral("Key"), value) &&
        ini.ReadStr(QStringLiteral("fuzz"), QStringLiteral("KEY"), QString()) != value)
        __builtin_trap();
    if (ini.WriteStr(QStringLiteral("Position"), QStringLiteral("Top"), QStringLiteral("15")) &&
        ini.ReadInt(QStringLiteral("POSITION"), QStringLiteral("top"), -1) != 15)
        __builtin_trap();
    return 0;
}
