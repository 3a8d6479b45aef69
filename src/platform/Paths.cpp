#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>

namespace {

// An environment folder variable, or fallback when it is unset, empty or
// relative (relative XDG paths are to be ignored).
QString folderFromEnvironment(const char* name, const QString& fallback)
{
    const QString value = qEnvironmentVariable(name);
    if (value.isEmpty() || !QDir::isAbsolutePath(value))
        return fallback;
    return Paths::withoutTrailingSlash(value);
}

QString home()
{
    return Paths::withoutTrailingSlash(QDir::homePath());
}

QString ensured(const QString& folder, bool ensure)
{
    if (ensure)
        QDir().mkpath(folder);
    return folder;
}

} // namespace

namespace Paths {

QString programFolder()
{
    return withoutTrailingSlash(QCoreApplication::applicationDirPath());
}

QString withoutTrailingSlash(const QString& folder)
{
    qsizetype end = folder.size();
    while (end > 0 && folder.at(end - 1) == QLatin1Char('/'))
        --end;
    return folder.left(end);
}

QString folderPart(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.left(slash);
}

QString systemFolder(bool ensure)
{
    return ensured(home() + QStringLiteral("/.local/lib"), ensure);
}

QString windowsFolder(bool ensure)
{
    const QString data =
        folderFromEnvironment("XDG_DATA_HOME", home() + QStringLiteral("/.local/share"));
    return ensured(data + QStringLiteral("/backgrounds"), ensure);
}

QString registryFile()
{
    const QString config =
        folderFromEnvironment("XDG_CONFIG_HOME", home() + QStringLiteral("/.config"));
    return config + QStringLiteral("/quilton/registry.ini");
}

} // namespace Paths
