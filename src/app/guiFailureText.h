#pragma once

#include "platform/FileCheck.h"

#include <QString>

// Why a file could not be read or written, in the Japanese of the windows'
// messages. The core's own reasons are English (quilton-batch prints them);
// the windows ask the system about the file afresh (FileCheck) and say the
// failure here, the one place that turns failure kinds into words.
namespace guiFailureText {

// The words for a failure kind, for reading or for writing a file.
QString text(FileCheck::Failure kind, bool writing);

// Why path could not be taken in as a picture: missing, a folder, no read
// permission, a pipe, a name that is no UTF-8 text, empty, or damaged / not
// a picture format the program reads.
QString readFailure(const QString& path);

// Why path could not be written: missing folder, a folder of that name, no
// write permission, a pipe or device, full disc, or a failure of the write.
QString writeFailure(const QString& path);

} // namespace guiFailureText
