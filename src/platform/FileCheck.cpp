#include "platform/FileCheck.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileCheck {

namespace {

// What kind of thing a mode is, for "it is not a regular file (...)".
QString typeName(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a pipe");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a file");
}

// The kind for a mode that is not a regular file, with the mode kept in
// errnum's place as the text needs it.
Problem notRegular(mode_t mode)
{
    if (S_ISDIR(mode))
        return {Failure::IsFolder, EISDIR};
    return {Failure::NotRegularFile, int(mode & S_IFMT)};
}

} // namespace

Failure kindOfErrno(int errnum)
{
    switch (errnum) {
    case 0:
        return Failure::None;
    case ENOENT:
    case ENOTDIR:
        return Failure::Missing;
    case EACCES:
    case EPERM:
        return Failure::NoPermission;
    case ENOSPC:
    case EDQUOT:
        return Failure::DiskFull;
    case EROFS:
        return Failure::ReadOnly;
    case EFBIG:
        return Failure::TooLarge;
    case EISDIR:
        return Failure::IsFolder;
    case ENXIO:
    case ENODEV:
        return Failure::NotRegularFile;
    default:
        return Failure::Other;
    }
}

Problem fromErrno(int errnum)
{
    return {kindOfErrno(errnum), errnum};
}

QString describe(const Problem& problem)
{
    switch (problem.kind) {
    case Failure::None:
        return {};
    case Failure::Missing:
        return QStringLiteral("no such file or folder");
    case Failure::NoPermission:
        return QStringLiteral("permission denied");
    case Failure::NotRegularFile:
        // errnum holds the file type bits when they are known.
        if (problem.errnum & S_IFMT)
            return QStringLiteral("it is not a regular file (%1)")
                .arg(typeName(mode_t(problem.errnum)));
        return QStringLiteral("it is not a regular file");
    case Failure::IsFolder:
        return QStringLiteral("it is a folder, not a file");
    case Failure::NotAFolder:
        return QStringLiteral("it is not a folder");
    case Failure::NameNotUtf8:
        return QStringLiteral("its name is not UTF-8 text, so it cannot be opened by that name; "
                              "rename it");
    case Failure::DiskFull:
        return QStringLiteral("the disc is full");
    case Failure::ReadOnly:
        return QStringLiteral("the file system is read-only");
    case Failure::TooLarge:
        return QStringLiteral("the file would exceed the file size limit");
    case Failure::Other:
        break;
    }
    return QString::fromLocal8Bit(std::strerror(problem.errnum));
}

bool isUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const auto* end = p + bytes.size();
    while (p < end) {
        const uchar lead = *p++;
        if (lead < 0x80)
            continue;
        int more = 0;
        uint code = 0;
        if (lead >= 0xc2 && lead <= 0xdf) {
            more = 1;
            code = lead & 0x1f;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            more = 2;
            code = lead & 0x0f;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            more = 3;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (end - p < more)
            return false;
        for (int i = 0; i < more; ++i, ++p) {
            if ((*p & 0xc0) != 0x80)
                return false;
            code = code << 6 | (*p & 0x3f);
        }
        // Overlong forms, UTF-16 surrogates and values past U+10FFFF.
        const uint smallest = more == 1 ? 0x80 : more == 2 ? 0x800 : 0x10000;
        if (code < smallest || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff)
            return false;
    }
    return true;
}

QString shownName(const QByteArray& bytes)
{
    QString out;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto lead = uchar(bytes.at(i));
        if (lead < 0x80) {
            out += QLatin1Char(char(lead));
            ++i;
            continue;
        }
        // The UTF-8 sequence the lead byte starts, else the byte escaped.
        const qsizetype length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : 2;
        const QByteArray piece = bytes.mid(i, length);
        if (lead >= 0xc2 && lead <= 0xf4 && piece.size() == length && isUtf8(piece)) {
            out += QString::fromUtf8(piece);
            i += length;
        } else {
            out += QStringLiteral("\\x") +
                   QString::number(lead, 16).toUpper().rightJustified(2, QLatin1Char('0'));
            ++i;
        }
    }
    return out;
}

bool nameLost(const QString& path, bool lastMayBeNew)
{
    if (!path.contains(QChar(QChar::ReplacementCharacter)))
        return false;
    // The first part of the path that does not exist decides: a U+FFFD in
    // it came from a name on disc that was no UTF-8 text, unless it is the
    // last part and may be a name about to be made.
    const QStringList parts = path.split(QLatin1Char('/'));
    QString prefix;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        prefix += (i > 0 ? QStringLiteral("/") : QString()) + parts.at(i);
        if (parts.at(i).isEmpty())
            continue;
        struct stat st
        {
        };
        if (lstat(QFile::encodeName(prefix).constData(), &st) == 0)
            continue;
        const bool last = i == parts.size() - 1;
        return parts.at(i).contains(QChar(QChar::ReplacementCharacter)) && !(last && lastMayBeNew);
    }
    return false;
}

// stat() of path (its bytes: name); a missing name that lost bytes on its
// way from the folder listing is told as such.
static Problem statOf(const QString& path, const QByteArray& name, struct stat* st)
{
    if (stat(name.constData(), st) == 0)
        return {};
    const int e = errno;
    if (e == ENOENT && nameLost(path, false))
        return {Failure::NameNotUtf8, 0};
    return fromErrno(e);
}

Problem readableFile(const QString& path)
{
    if (path.isEmpty())
        return {Failure::Missing, ENOENT};
    const QByteArray name = QFile::encodeName(path);
    struct stat st
    {
    };
    if (const Problem failed = statOf(path, name, &st); !failed.ok())
        return failed;
    if (!S_ISREG(st.st_mode))
        return notRegular(st.st_mode);
    // Opening tells permission (ACLs, root) as only the open itself can.
    const int fd = open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fromErrno(errno);
    close(fd);
    return {};
}

Problem listableFolder(const QString& path)
{
    const QByteArray name = QFile::encodeName(path.isEmpty() ? QStringLiteral(".") : path);
    struct stat st
    {
    };
    if (const Problem failed = statOf(path, name, &st); !failed.ok())
        return failed;
    if (!S_ISDIR(st.st_mode))
        return {Failure::NotAFolder, ENOTDIR};
    DIR* dir = opendir(name.constData());
    if (!dir)
        return fromErrno(errno);
    closedir(dir);
    return {};
}

Problem writableTarget(const QString& path)
{
    if (path.isEmpty())
        return {Failure::Missing, ENOENT};
    const QByteArray name = QFile::encodeName(path);
    struct stat st
    {
    };
    if (lstat(name.constData(), &st) != 0) {
        const int e = errno;
        if (nameLost(path, true))
            return {Failure::NameNotUtf8, 0};
        return e == ENOENT ? Problem{} : fromErrno(e);
    }
    if (S_ISLNK(st.st_mode) && stat(name.constData(), &st) != 0)
        return fromErrno(errno); // a link to nothing is not written through
    if (!S_ISREG(st.st_mode))
        return notRegular(st.st_mode);
    if (access(name.constData(), W_OK) != 0)
        return fromErrno(errno);
    return {};
}

QStringList fileNames(const QString& folder, Problem* problem)
{
    Problem local;
    Problem& p = problem ? *problem : local;
    p = listableFolder(folder);
    if (!p.ok())
        return {};
    const QByteArray name = QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
    DIR* dir = opendir(name.constData());
    if (!dir) {
        p = fromErrno(errno);
        return {};
    }
    QStringList names;
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        const char* n = entry->d_name;
        if (n[0] == '.')
            continue; // hidden files, as the file lists never show them
        struct stat st
        {
        };
        if (entry->d_type == DT_REG) {
            names.append(QFile::decodeName(n));
        } else if ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) &&
                   fstatat(dirfd(dir), n, &st, 0) == 0 && S_ISREG(st.st_mode)) {
            names.append(QFile::decodeName(n));
        }
        errno = 0;
    }
    if (errno != 0)
        p = fromErrno(errno);
    closedir(dir);
    return names;
}

} // namespace FileCheck
