#pragma once

#include <QString>

#include <functional>

// Where the program's files live on Linux.
namespace Paths {

// The executable's base name: settings "quilton.ini", wallpaper "quilton.bmp".
inline constexpr const char* kBaseName = "quilton";

// Folder of the running executable without a trailing '/'; the empty text for
// the root folder, so that folder + "/" + name still reads right.
QString programFolder();

// Normalises a folder path the same way (drops a trailing '/'; "/" -> "").
QString withoutTrailingSlash(const QString& folder);

// Everything before the last '/' of path ("" for "/a.bmp"; path itself when
// it holds no '/').
QString folderPart(const QString& path);

// $HOME/.local/lib, created when ensure is true.
QString systemFolder(bool ensure = true);

// ${XDG_DATA_HOME:-$HOME/.local/share}/backgrounds, created when ensure is true.
QString windowsFolder(bool ensure = true);

// ${XDG_CONFIG_HOME:-$HOME/.config}/quilton/registry.ini
QString registryFile();

// The installed package's own SaveJPG.so for an executable in programFolder:
// its place relative to the executable follows the install layout
// (bin/quilton, lib/quilton/SaveJPG.so under one prefix).
QString packageLibrary(const QString& programFolder);

// Where the program keeps the files it writes, and where its JPEG library
// comes from.
struct ProgramPlaces
{
    QString programFolder;       // the executable's folder, no trailing '/'
    QString settingsFile;        // quilton.ini
    QString tilesFolder;         // "Tiles": the first save folder, made at start-up
    QString sampleFolder;        // "Sample.html" and its picture
    QString userFolder;          // offered when no folder is remembered (the open
                                 // and save dialogs, the first source folder)
    QString packageLibrary;      // the package's SaveJPG.so; empty when not installed
    bool installsLibrary = true; // start-up installs a newer SaveJPG.so found
                                 // in programFolder into the system folder
};

// Whether the user may create files in folder (access(2) with W_OK).
bool isWritableFolder(const QString& folder);

// The one decision between the two ways the program runs:
// - from a folder of its own that the user can write (a build folder, an
//   unpacked copy): everything lies beside the executable, and a newer
//   SaveJPG.so put there is installed at start-up;
// - installed: the user cannot write the executable's folder, or the package's
//   library folder lies beside it in the install layout (so that root, who can
//   write /usr/bin, still keeps its files in its own home). The settings file
//   goes to ${XDG_CONFIG_HOME:-~/.config}/quilton, "Tiles" into the user's
//   pictures folder, the sample page to ${XDG_DATA_HOME:-~/.local/share}/quilton;
//   the package's SaveJPG.so is the program's library.
// writable answers for a folder; tests give their own.
ProgramPlaces programPlaces(const QString& programFolder,
                            const std::function<bool(const QString&)>& writable = isWritableFolder);

} // namespace Paths
