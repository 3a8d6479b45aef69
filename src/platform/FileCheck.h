#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Why a file could not be read or written, taken from what the system said
// (its errno), so that every message tells what really failed. The windows map
// the kind to their own texts; quilton-batch prints describe().
namespace FileCheck {

enum class Failure {
    None,
    Missing,        // no such file or folder (ENOENT, ENOTDIR)
    NoPermission,   // EACCES, EPERM
    NotRegularFile, // a pipe, a device or a socket where a file must be
    IsFolder,       // a folder where a file must be
    NotAFolder,     // a file where a folder must be
    NameNotUtf8,    // the name on disc is no UTF-8 text, so it cannot be named here
    DiskFull,       // ENOSPC, EDQUOT
    ReadOnly,       // EROFS
    TooLarge,       // EFBIG: past the file size limit
    Other,          // anything else: errnum says what
};

struct Problem
{
    Failure kind = Failure::None;
    int errnum = 0; // the system's error number, 0 when none applies
    bool ok() const { return kind == Failure::None; }
};

// The kind of a system error number.
Failure kindOfErrno(int errnum);
Problem fromErrno(int errnum);

// English text for a problem, without the file name: "permission denied",
// "the disc is full", "it is not a regular file (a pipe)"...
QString describe(const Problem& problem);

// Whether path came from a name on disc that is no UTF-8 text: a part of it
// holding the replacement character U+FFFD does not exist under that exact
// name, so the name read from the folder lost bytes on the way. With
// lastMayBeNew a missing last part (a file about to be written) does not
// count.
bool nameLost(const QString& path, bool lastMayBeNew);

// The bytes of a name as text, bytes that are no UTF-8 shown as \xHH.
QString shownName(const QByteArray& bytes);

// Whether bytes are valid UTF-8 text.
bool isUtf8(const QByteArray& bytes);

// A regular file that this process can open for reading (pipes are never
// opened for long: a pipe is refused before anything is read from it).
Problem readableFile(const QString& path);

// A folder whose entries this process can list.
Problem listableFolder(const QString& path);

// A name that a file may be written at: missing, or a regular file (directly
// or through a symbolic link) that this process may replace.
Problem writableTarget(const QString& path);

// The names of the regular files in folder (symbolic links to files count),
// hidden ones (".name") left out, unsorted. Names that are no UTF-8 text come back with U+FFFD in
// them (see nameLost), so that they can be reported rather than passed over.
QStringList fileNames(const QString& folder, Problem* problem);

} // namespace FileCheck
