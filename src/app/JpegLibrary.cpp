#include "app/JpegLibrary.h"

#include "app/mGetFileVer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// The program folder's copy of the library: its name matched ignoring
// letter case ("savejpg.SO" counts); an exact match is preferred when the
// folder holds several spellings.
QString programCopy(const QString& programFolder)
{
    const QString folder = programFolder.isEmpty() ? QStringLiteral("/") : programFolder;
    const QString wanted = QString::fromLatin1(JpegLibrary::kFileName);
    const QStringList names =
        QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    QString found;
    for (const QString& name : names) {
        if (name == wanted)
            return programFolder + QLatin1Char('/') + name;
        if (found.isEmpty() && name.compare(wanted, Qt::CaseInsensitive) == 0)
            found = programFolder + QLatin1Char('/') + name;
    }
    return found;
}

// Copies source to target through a temporary file in the target's folder
// renamed into place: a program already running may have the old copy
// loaded, and a half-copied library must never be loadable under its name.
// The copy keeps the source's permissions (it must stay executable).
bool installCopy(const QString& source, const QString& systemFolder, const QString& target)
{
    if (!QDir().mkpath(systemFolder))
        return false;
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(256 * 1024);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            return false;
        }
    }
    if (in.error() != QFileDevice::NoError) {
        out.cancelWriting();
        return false;
    }
    out.setPermissions(in.permissions());
    return out.commit();
}

// Copies the program folder's library over an older system copy. A failed
// copy or deletion is no failure of the start.
bool installIfNewer(const QString& programFolder, const QString& systemFolder,
                    const QString& systemCopy, bool keepProgramCopy)
{
    const QString candidate = programCopy(programFolder);
    if (candidate.isEmpty())
        return false;
    const FileVersion offered = mGetFileVer::GetFileVersion(candidate);
    const FileVersion installed = mGetFileVer::GetFileVersion(systemCopy);
    if (!(installed < offered) || !installCopy(candidate, systemFolder, systemCopy))
        return false;
    if (!keepProgramCopy)
        QFile::remove(candidate);
    return true;
}

} // namespace

namespace JpegLibrary {

bool keepsProgramCopy(const QStringList& arguments)
{
    return arguments.join(QLatin1Char(' ')).contains(QLatin1String("/C"), Qt::CaseSensitive);
}

JpegLibraryState lookUpAndInstall(const QString& programFolder, const QString& systemFolder,
                                  bool keepProgramCopy)
{
    return lookUpAndInstall(JpegLibraryPlaces{systemFolder, {}, programFolder, true},
                            keepProgramCopy);
}

QString libraryInUse(const QString& systemFolder, const QString& packageCopy)
{
    const QString userCopy = systemFolder + QLatin1Char('/') + QString::fromLatin1(kFileName);
    if (packageCopy.isEmpty() || !QFileInfo(packageCopy).isFile())
        return userCopy;
    if (!QFileInfo(userCopy).isFile())
        return packageCopy;
    // The user's own copy wins only when it is newer than the package's.
    return mGetFileVer::GetFileVersion(packageCopy) < mGetFileVer::GetFileVersion(userCopy)
               ? userCopy
               : packageCopy;
}

JpegLibraryState lookUpAndInstall(const JpegLibraryPlaces& places, bool keepProgramCopy)
{
    const QString fileName = QString::fromLatin1(kFileName);
    const QString systemCopy = places.systemFolder + QLatin1Char('/') + fileName;

    // Presence is decided by the library in use as found now (a copy
    // installed below is used from the next start); the version shown is
    // that of the library in use after the install step.
    JpegLibraryState state;
    state.libraryPath = libraryInUse(places.systemFolder, places.packageCopy);
    state.jpegFlag = QFileInfo(state.libraryPath).isFile();
    if (places.installs)
        state.installed =
            installIfNewer(places.programFolder, places.systemFolder, systemCopy, keepProgramCopy);
    const QString shown = libraryInUse(places.systemFolder, places.packageCopy);
    state.dllVersionText = versionLine(state.jpegFlag, mGetFileVer::GetFileVersionText(shown));
    return state;
}

QString versionLine(bool present, const QString& versionText)
{
    if (!present)
        return QStringLiteral("[TalvikJPEG保存DLLがありません]");
    return QStringLiteral("[ with TalvikJPEG保存DLL Ver.") + versionText + QStringLiteral(" ]");
}

} // namespace JpegLibrary
