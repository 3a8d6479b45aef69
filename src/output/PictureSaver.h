#pragma once

#include "platform/FileCheck.h"

#include <QImage>
#include <QString>

// Writing a tile to a file: the format is chosen by the name alone.
namespace PictureSaver {

// JPEG when the last three characters of name, ignoring case, are "jpg" and
// the JPEG library is present; BMP otherwise. No extension is ever added.
bool isJpegName(const QString& name, bool jpegFlag);

// 24-bit BMP through Qt's writer, atomically: a failed write leaves an existing
// file whole, and anything at path but a regular file (a folder, pipe or
// device) is refused. False and error (English) when it could not be written;
// failure tells why, for the windows' own texts.
bool saveBmp(const QImage& picture, const QString& path, QString* error = nullptr,
             FileCheck::Failure* failure = nullptr);

// The outcome of a JPEG save through the library.
enum class JpegOutcome {
    Saved = 0,
    OpenError = 1,    // "File Open Error"
    WriteError = 2,   // "File Write Error"
    FormatError = 3,  // "File Format Error"
    EncoderError = 4, // "Stack Overflow"
    OtherCode,        // any other code: not saved, no message
    CannotLoad,       // the library cannot be loaded
    QualityOverflow,  // quality outside 0..255: fails without a message
};

// JPEG through the library at libraryPath (the system folder's SaveJPG.so).
JpegOutcome saveJpeg(const QString& libraryPath, const QImage& picture, const QString& path,
                     int quality);

// The message the program shows for an outcome; empty when none is shown.
QString jpegMessage(JpegOutcome outcome);

} // namespace PictureSaver
