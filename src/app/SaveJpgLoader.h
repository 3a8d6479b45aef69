#pragma once

#include <QImage>
#include <QString>

// The call path of JPEG saving: at the moment of a save the library file is
// opened by full path (dlopen), DCSavetoJPEG is looked up and called over the
// image's pixels.
struct JpegCallResult
{
    bool loaded = false; // false: the library cannot be loaded (missing file,
                         // not a loadable library, or no DCSavetoJPEG in it)
    int code = -1;       // the library's return code when loaded
};

namespace SaveJpgLoader {

// Writes the width x height area at image's top-left corner to fileName.
// quality is passed to the library as a byte; values outside 0-255 are not
// passed (result loaded, code -1).
JpegCallResult save(const QString& libraryPath, const QImage& image, int width, int height,
                    const QString& fileName, int quality);

// The library the program uses: systemFolder/SaveJPG.so.
QString systemLibraryPath(const QString& systemFolder);

} // namespace SaveJpgLoader
