#include "platform/AtomicFile.h"

#include <QFile>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AtomicFile {

namespace {

using FileCheck::Problem;

constexpr int kNameTries = 100;
// A leftover whose writer may still be alive is only removed past this age;
// writing one file takes milliseconds.
constexpr time_t kStaleSeconds = 60;
constexpr auto kLookAgainAfter = std::chrono::seconds(60);

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

// A fresh hidden name in folder for this process.
QByteArray hiddenName(const QByteArray& folder)
{
    static std::atomic<unsigned> counter{0};
    static const unsigned seed =
        unsigned(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (unsigned(getpid()) << 16);
    const unsigned tag = seed + counter.fetch_add(7919u) * 2654435761u;
    char name[64];
    std::snprintf(name, sizeof name, ".quilton-%ld-%08x.tmp", long(getpid()), tag);
    return folder + '/' + name;
}

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        data += written;
        size -= size_t(written);
    }
    return true;
}

// Creates and locks a hidden named file. The lock is taken after the name
// exists, so a cleaner may have taken the file away in between: the name is
// checked to still be this file.
int createNamed(const QByteArray& folder, QByteArray* name)
{
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        const QByteArray candidate = hiddenName(folder);
        const int fd =
            open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        struct stat mine
        {
        }, named{};
        if (flock(fd, LOCK_EX) == 0 && fstat(fd, &mine) == 0 &&
            lstat(candidate.constData(), &named) == 0 && mine.st_ino == named.st_ino &&
            mine.st_dev == named.st_dev) {
            *name = candidate;
            return fd;
        }
        close(fd);
    }
    errno = EEXIST;
    return -1;
}

// Gives the unnamed file fd the name path; false with errno when it cannot.
bool linkUnnamed(int fd, const QByteArray& path)
{
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    if (access("/proc/self/fd", F_OK) == 0)
        return linkat(AT_FDCWD, proc, AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW) == 0;
    // Without /proc only a privileged process can link by descriptor.
    return linkat(fd, "", AT_FDCWD, path.constData(), AT_EMPTY_PATH) == 0;
}

bool syncFailed(int fd)
{
    // Only real write faults count; some file systems cannot sync at all.
    return fdatasync(fd) != 0 && (errno == EIO || errno == ENOSPC || errno == EDQUOT);
}

struct Written
{
    int fd = -1;
    QByteArray tempName; // the hidden name while it exists
    ~Written()
    {
        if (!tempName.isEmpty())
            unlink(tempName.constData());
        if (fd >= 0)
            close(fd);
    }
};

// Writes data into a new file in folder: unnamed where the file system
// allows it (unless named is asked for), else hidden and named.
Problem writeNew(const QByteArray& folder, const QByteArray& data, mode_t keepMode, bool named,
                 Written* out)
{
    if (!named)
        out->fd = open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (out->fd < 0) {
        if (!named && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return FileCheck::fromErrno(errno);
        out->fd = createNamed(folder, &out->tempName);
        if (out->fd < 0)
            return FileCheck::fromErrno(errno);
    } else if (flock(out->fd, LOCK_EX) != 0) {
        return FileCheck::fromErrno(errno);
    }
    if (keepMode != 0)
        fchmod(out->fd, keepMode);
    if (!writeAll(out->fd, data.constData(), size_t(data.size())) || syncFailed(out->fd))
        return FileCheck::fromErrno(errno);
    return {};
}

bool pidAlive(long pid)
{
    return pid > 0 && (kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

bool allOf(const char* begin, const char* end, int (*test)(int))
{
    if (begin == end)
        return false;
    for (const char* c = begin; c < end; ++c) {
        if (!test(uchar(*c)))
            return false;
    }
    return true;
}

// ".quilton-PID-TAG.tmp" or ".savejpg-PID-TAG.tmp": the writer's pid, else 0.
long ownLeftoverPid(const char* name)
{
    const size_t length = std::strlen(name);
    for (const char* prefix : {".quilton-", ".savejpg-"}) {
        const size_t p = std::strlen(prefix);
        if (length < p + 4 + 4 || std::strncmp(name, prefix, p) != 0 ||
            std::strcmp(name + length - 4, ".tmp") != 0)
            continue;
        const char* digits = name + p;
        const char* dash = std::strchr(digits, '-');
        if (!dash || !allOf(digits, dash, isdigit) || !allOf(dash + 1, name + length - 4, isxdigit))
            continue;
        return std::strtol(digits, nullptr, 10);
    }
    return 0;
}

// "NAME.bmp.XXXXXX" or "NAME.ini.XXXXXX" of the earlier writer (QSaveFile),
// or ".quilton-batch-XXXXXX" of quilton-batch's earlier output folder check:
// 'b', 'i' or 'p', else 0. Its six random letters and digits mix at least two
// of lower case, upper case and digits, which ordinary words like "backup" do
// not: a user's own file of such a name is left alone.
char legacyLeftoverKind(const char* name)
{
    const size_t length = std::strlen(name);
    const bool probe = length == 21 && std::strncmp(name, ".quilton-batch-", 15) == 0;
    if (!probe && (length < 12 || name[length - 7] != '.' || name[length - 11] != '.'))
        return 0;
    const char* suffix = name + length - 6;
    int lower = 0, upper = 0, digit = 0;
    for (int i = 0; i < 6; ++i) {
        const auto c = uchar(suffix[i]);
        lower |= islower(c) ? 1 : 0;
        upper |= isupper(c) ? 1 : 0;
        digit |= isdigit(c) ? 1 : 0;
        if (!isalnum(c))
            return 0;
    }
    if (lower + upper + digit < 2)
        return 0;
    if (probe)
        return 'p';
    const char* ext = name + length - 10;
    if (strncasecmp(ext, "bmp", 3) == 0)
        return 'b';
    if (strncasecmp(ext, "ini", 3) == 0)
        return 'i';
    return 0;
}

} // namespace

Problem write(const QString& path, const QByteArray& data)
{
    const Problem target = FileCheck::writableTarget(path);
    if (!target.ok())
        return target;
    QByteArray final = QFile::encodeName(path);
    mode_t keepMode = 0;
    struct stat st
    {
    };
    const bool existed = lstat(final.constData(), &st) == 0;
    if (existed) {
        if (S_ISLNK(st.st_mode)) {
            // Through a symbolic link the file it names is replaced.
            char* real = realpath(final.constData(), nullptr);
            if (!real || stat(real, &st) != 0) {
                const int e = errno;
                std::free(real);
                return FileCheck::fromErrno(e);
            }
            final = real;
            std::free(real);
        }
        keepMode = st.st_mode & 07777;
    }
    const QByteArray folder = folderOf(final);
    removeLeftovers(QFile::decodeName(folder));

    for (const bool named : {false, true}) {
        Written file;
        const Problem written = writeNew(folder, data, keepMode, named, &file);
        if (!written.ok())
            return written;
        if (file.tempName.isEmpty()) {
            // Unnamed: straight under the final name when there is none yet;
            // over an existing file through a hidden name and a rename.
            if (!existed && linkUnnamed(file.fd, final))
                return {};
            if (existed || errno == EEXIST) {
                for (int attempt = 0; attempt < kNameTries; ++attempt) {
                    const QByteArray hidden = hiddenName(folder);
                    if (linkUnnamed(file.fd, hidden)) {
                        file.tempName = hidden;
                        break;
                    }
                    if (errno != EEXIST)
                        break;
                }
            }
            if (file.tempName.isEmpty()) {
                if (errno == EXDEV || errno == ENOENT || errno == EPERM || errno == EOPNOTSUPP)
                    continue; // cannot link here: write a named file instead
                return FileCheck::fromErrno(errno);
            }
        }
        if (rename(file.tempName.constData(), final.constData()) != 0)
            return FileCheck::fromErrno(errno);
        file.tempName.clear(); // it is the file now
        return {};
    }
    return FileCheck::fromErrno(EIO);
}

int removeLeftovers(const QString& folder, bool evenIfLookedAtRecently)
{
    const QByteArray name = QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
    if (!evenIfLookedAtRecently) {
        static std::mutex mutex;
        static std::map<QByteArray, std::chrono::steady_clock::time_point> lookedAt;
        const auto now = std::chrono::steady_clock::now();
        std::lock_guard lock(mutex);
        const auto it = lookedAt.find(name);
        if (it != lookedAt.end() && now - it->second < kLookAgainAfter)
            return 0;
        lookedAt[name] = now;
    }
    DIR* dir = opendir(name.constData());
    if (!dir)
        return 0;
    const int dfd = dirfd(dir);
    const uid_t me = geteuid();
    const time_t now = time(nullptr);
    int removed = 0;
    while (const dirent* entry = readdir(dir)) {
        const char* n = entry->d_name;
        const long pid = ownLeftoverPid(n);
        const char legacy = pid == 0 ? legacyLeftoverKind(n) : 0;
        if (pid == 0 && legacy == 0)
            continue;
        const int fd = openat(dfd, n, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st
        {
        };
        // A file some live writer holds is never touched; the lock also
        // keeps a second cleaner off it while this one decides.
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != me ||
            flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            continue;
        }
        const bool old = now - st.st_mtime > kStaleSeconds;
        bool stale = false;
        if (pid != 0) {
            stale = old || !pidAlive(pid);
        } else if (old) {
            char head[2] = {0, 0};
            stale = legacy != 'b' || st.st_size == 0 ||
                    (pread(fd, head, 2, 0) == 2 && head[0] == 'B' && head[1] == 'M');
        }
        struct stat named
        {
        };
        if (stale && fstatat(dfd, n, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_ino == st.st_ino && named.st_dev == st.st_dev && unlinkat(dfd, n, 0) == 0)
            ++removed;
        close(fd);
    }
    closedir(dir);
    return removed;
}

} // namespace AtomicFile
