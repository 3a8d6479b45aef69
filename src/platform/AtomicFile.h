#pragma once

#include "platform/FileCheck.h"

#include <QByteArray>
#include <QString>

// Writing a whole file so that it is either the old file or the new one, and
// so that a writer killed at any moment leaves nothing behind.
//
// The bytes go into an unnamed file in the target's folder (O_TMPFILE), which
// is linked in under the final name once complete; to replace an existing file
// it is linked under a fresh hidden name first and renamed over the old one.
// Where the file system has no unnamed files, a hidden named file is written
// and renamed. Hidden names are ".quilton-PID-TAG.tmp", locked (flock) by
// their writer for as long as they exist, so that a later writer can tell a
// dead writer's leftover from a live one's file.
namespace AtomicFile {

// Writes data to path. Only a missing name or a regular file is written (a
// symbolic link to a regular file: the file it names is replaced, keeping its
// permissions); a folder, pipe or device is refused and never replaced. On
// failure the old file is whole and no temporary file is left.
FileCheck::Problem write(const QString& path, const QByteArray& data);

// Removes what killed writers left in folder: this program's hidden files
// (".quilton-*.tmp", ".savejpg-*.tmp") that no live writer holds, and the
// "NAME.bmp.XXXXXX" / "NAME.ini.XXXXXX" / ".quilton-batch-XXXXXX" files of
// earlier versions that are older than a minute. Cheap to call before every write: each folder is
// looked through at most once a minute per process. Returns how many were
// removed.
int removeLeftovers(const QString& folder, bool evenIfLookedAtRecently = false);

} // namespace AtomicFile
