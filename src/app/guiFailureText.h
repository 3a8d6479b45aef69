#pragma once

#include <QString>

// Why a file could not be read or written, in the Japanese of the windows'
// messages. The core's own reasons are English (quilton-batch prints them);
// the windows judge the failure from the file and its folder afresh and say
// it here, the one place that turns failure kinds into words.
namespace guiFailureText {

// Why path could not be taken in as a picture: missing, a folder, no read
// permission, empty, or damaged / not a picture format the program reads.
QString readFailure(const QString& path);

// Why path could not be written: missing folder, a folder of that name, no
// write permission, full disc, or a failure of the write itself.
QString writeFailure(const QString& path);

} // namespace guiFailureText
