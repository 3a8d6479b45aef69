#pragma once

#include <QString>
#include <QStringList>

// Finding and installing the JPEG writer library at start-up.
//
// The library counts as present when systemFolder/SaveJPG.so (the user's own
// copy) or the installed package's copy exists; that is decided before
// anything is installed. Of the two, the user's copy is used unless the
// package's is at least as new (no version = 0.0.0.0). When installing is
// asked for and the program folder holds a copy (name matched ignoring case)
// whose version is newer than the system copy's, it is copied into the system
// folder atomically (temporary file there, then rename) and the program-folder
// copy is deleted unless keepProgramCopy. A failed copy or deletion leaves the
// decided state.
struct JpegLibraryState
{
    bool jpegFlag = false;  // library present (decided before installing)
    QString dllVersionText; // the about box's line: the version after installing
    QString libraryPath;    // the file JPEG saving loads
    bool installed = false; // a newer copy was installed now
};

struct JpegLibraryPlaces
{
    QString systemFolder;  // the user's library folder
    QString packageCopy;   // the installed package's SaveJPG.so; empty: none
    QString programFolder; // where a newer copy to install may lie
    bool installs = true;  // whether start-up installs from programFolder
};

namespace JpegLibrary {

inline constexpr const char* kFileName = "SaveJPG.so";

// True when the command line holds "/C" (exactly, case-sensitive) anywhere.
bool keepsProgramCopy(const QStringList& arguments);

// Start-up lookup and install-if-newer, over the given places.
JpegLibraryState lookUpAndInstall(const JpegLibraryPlaces& places, bool keepProgramCopy);
// The same for a program run from its own folder, without a package copy.
JpegLibraryState lookUpAndInstall(const QString& programFolder, const QString& systemFolder,
                                  bool keepProgramCopy);

// Of the user's copy in systemFolder and the package's copy, the one to use
// (see above); the user's copy's path when neither exists.
QString libraryInUse(const QString& systemFolder, const QString& packageCopy);

// "[ with TalvikJPEG保存DLL Ver.1.0.0.2 ]" or "[TalvikJPEG保存DLLがありません]".
QString versionLine(bool present, const QString& versionText);

} // namespace JpegLibrary
