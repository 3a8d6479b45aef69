#pragma once

#include <QString>

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

} // namespace Paths
