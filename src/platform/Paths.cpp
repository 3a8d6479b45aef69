#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

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

QString configHome()
{
    return folderFromEnvironment("XDG_CONFIG_HOME", home() + QStringLiteral("/.config"));
}

QString dataHome()
{
    return folderFromEnvironment("XDG_DATA_HOME", home() + QStringLiteral("/.local/share"));
}

// The user's pictures folder (XDG_PICTURES_DIR of user-dirs.dirs, else
// ~/Pictures).
QString picturesFolder()
{
    const QString pictures = Paths::withoutTrailingSlash(
        QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    return pictures.isEmpty() ? home() + QStringLiteral("/Pictures") : pictures;
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
    return ensured(dataHome() + QStringLiteral("/backgrounds"), ensure);
}

QString registryFile()
{
    return configHome() + QStringLiteral("/quilton/registry.ini");
}

QString packageLibrary(const QString& programFolder)
{
    // QUILTON_PACKAGE_LIBRARY_DIR: the package's library folder relative to
    // the folder of the installed executable, from the install layout.
    return QDir::cleanPath(programFolder + QLatin1Char('/') +
                           QStringLiteral(QUILTON_PACKAGE_LIBRARY_DIR)) +
           QStringLiteral("/SaveJPG.so");
}

bool isWritableFolder(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder.isEmpty() ? QStringLiteral("/") : folder);
    return ::access(path.constData(), W_OK) == 0;
}

ProgramPlaces programPlaces(const QString& programFolder,
                            const std::function<bool(const QString&)>& writable)
{
    ProgramPlaces places;
    places.programFolder = programFolder;
    const QString library = packageLibrary(programFolder);
    const bool installed = !writable(programFolder) || QFileInfo(folderPart(library)).isDir();
    if (!installed) {
        places.settingsFile =
            programFolder + QLatin1Char('/') + QLatin1String(kBaseName) + QLatin1String(".ini");
        places.tilesFolder = programFolder + QStringLiteral("/Tiles");
        places.sampleFolder = programFolder;
        places.userFolder = programFolder;
        places.installsLibrary = true;
        return places;
    }
    const QString own = QLatin1Char('/') + QLatin1String(kBaseName);
    places.settingsFile = configHome() + own + own + QLatin1String(".ini");
    places.tilesFolder = picturesFolder() + QStringLiteral("/Tiles");
    places.sampleFolder = dataHome() + own;
    places.userFolder = picturesFolder();
    places.packageLibrary = library;
    places.installsLibrary = false;
    return places;
}

} // namespace Paths
