#pragma once

#include <QString>
#include <QStringList>

// Finding and installing the JPEG writer library at start-up.
//
// The library counts as present when systemFolder/SaveJPG.so exists; that is
// decided before anything is installed. When the program folder holds a copy
// (name matched ignoring case) whose version is newer than the system copy's
// (no version = 0.0.0.0), it is copied into the system folder atomically
// (temporary file there, then rename) and the program-folder copy is deleted
// unless keepProgramCopy. A failed copy or deletion leaves the decided state.
struct JpegLibraryState
{
    bool jpegFlag = false;  // library present (decided before installing)
    QString dllVersionText; // the about box's line: the version after installing
    bool installed = false; // a newer copy was installed now
};

namespace JpegLibrary {

inline constexpr const char* kFileName = "SaveJPG.so";

// True when the command line holds "/C" (exactly, case-sensitive) anywhere.
bool keepsProgramCopy(const QStringList& arguments);

// Start-up lookup and install-if-newer, over the given folders.
JpegLibraryState lookUpAndInstall(const QString& programFolder, const QString& systemFolder,
                                  bool keepProgramCopy);

// "[ with TalvikJPEG保存DLL Ver.1.0.0.2 ]" or "[TalvikJPEG保存DLLがありません]".
QString versionLine(bool present, const QString& versionText);

} // namespace JpegLibrary
