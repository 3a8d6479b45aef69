/* SaveJPG.so: writes a surface of 0xffRRGGBB pixels as a baseline JPEG file
 * with libjpeg-turbo. Errors of the encoder come back through setjmp, never
 * by exit(). */
#define _GNU_SOURCE
#include "SaveJPG.h"

#include <errno.h>
#include <fcntl.h>
#include <setjmp.h>
#include <stdio.h> /* jpeglib.h needs FILE */
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <jerror.h>
#include <jpeglib.h>

#ifndef JCS_EXTENSIONS
#error "SaveJPG needs libjpeg-turbo's extended colour spaces"
#endif

/* QImage::Format_RGB32 keeps 0xffRRGGBB as a native 32-bit word: B, G, R, X
   in memory on a little-endian machine. */
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define SAVEJPG_PIXEL_LAYOUT JCS_EXT_BGRX
#else
#define SAVEJPG_PIXEL_LAYOUT JCS_EXT_XRGB
#endif

enum { kOutputBufferSize = 16384, kTemporaryNameTries = 100 };

typedef struct ErrorManager
{
    struct jpeg_error_mgr pub;
    jmp_buf jump;
} ErrorManager;

/* Hands the compressed bytes straight to a file descriptor and notes whether
   a write failed, which tells a full disc (code 2) from an encoder fault. */
typedef struct FdDestination
{
    struct jpeg_destination_mgr pub;
    int fd;
    int writeFailed;
    JOCTET buffer[kOutputBufferSize];
} FdDestination;

/* Everything the encoder touches lives on the heap, so nothing the error
   path reads after longjmp is a local that setjmp could have clobbered. */
typedef struct Encoder
{
    struct jpeg_compress_struct cinfo;
    ErrorManager err;
    FdDestination dest;
} Encoder;

/* Where the JPEG goes: a new file beside finalPath that becomes it at the
   end, or (finalPath NULL) a device or pipe written directly. The new file is
   unnamed (unnamed set, tempPath NULL until it is linked in) where the file
   system allows it, so that a killed writer leaves nothing; else a hidden
   named file, locked for as long as it exists so that a later writer can tell
   a dead writer's leftover from a live one's file. */
typedef struct Target
{
    char* finalPath;
    char* tempPath;
    int fd;
    int unnamed;
    int replaces; /* finalPath named a file when the save began */
} Target;

static void onError(j_common_ptr cinfo)
{
    ErrorManager* err = (ErrorManager*)cinfo->err;
    longjmp(err->jump, 1);
}

static void onMessage(j_common_ptr cinfo)
{
    (void)cinfo; /* a library stays quiet on stderr */
}

static int writeAll(int fd, const JOCTET* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return 0;
        data += written;
        size -= (size_t)written;
    }
    return 1;
}

static void initDestination(j_compress_ptr cinfo)
{
    FdDestination* dest = (FdDestination*)cinfo->dest;
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kOutputBufferSize;
}

static boolean emptyOutputBuffer(j_compress_ptr cinfo)
{
    FdDestination* dest = (FdDestination*)cinfo->dest;
    if (!writeAll(dest->fd, dest->buffer, kOutputBufferSize)) {
        dest->writeFailed = 1;
        ERREXIT(cinfo, JERR_FILE_WRITE);
    }
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kOutputBufferSize;
    return TRUE;
}

static void termDestination(j_compress_ptr cinfo)
{
    FdDestination* dest = (FdDestination*)cinfo->dest;
    const size_t used = kOutputBufferSize - dest->pub.free_in_buffer;
    if (used > 0 && !writeAll(dest->fd, dest->buffer, used)) {
        dest->writeFailed = 1;
        ERREXIT(cinfo, JERR_FILE_WRITE);
    }
}

static int validArguments(const QuiltonSurface* dc, int32_t width, int32_t height,
                          const char* fileName, uint8_t quality)
{
    if (!dc || !fileName || !dc->bits)
        return 0;
    if (width <= 0 || height <= 0 || width > dc->width || height > dc->height)
        return 0;
    if ((int64_t)dc->bytesPerLine < (int64_t)dc->width * 4)
        return 0;
    return quality >= 1 && quality <= 100;
}

/* A fresh hidden name beside finalPath: the folder part of it ("." without
   a '/', "" before the '/' of a file in the root), then
   ".savejpg-PID-TAG.tmp". NULL when out of memory. */
static char* hiddenName(const char* finalPath)
{
    const char* slash = strrchr(finalPath, '/');
    const size_t folderLength = slash ? (size_t)(slash - finalPath) : 0;
    const size_t size = folderLength + 64;
    char* name = malloc(size);
    if (!name)
        return NULL;
    static unsigned counter;
    const unsigned seed = (unsigned)time(NULL) ^ ((unsigned)getpid() << 16);
    const unsigned tag = seed + __atomic_add_fetch(&counter, 7919u, __ATOMIC_RELAXED) * 2654435761u;
    if (slash)
        snprintf(name, size, "%.*s/.savejpg-%ld-%08x.tmp", (int)folderLength, finalPath,
                 (long)getpid(), tag);
    else
        snprintf(name, size, ".savejpg-%ld-%08x.tmp", (long)getpid(), tag);
    return name;
}

/* The folder finalPath lies in, for O_TMPFILE. NULL when out of memory. */
static char* folderOf(const char* finalPath)
{
    const char* slash = strrchr(finalPath, '/');
    if (!slash)
        return strdup(".");
    if (slash == finalPath)
        return strdup("/");
    return strndup(finalPath, (size_t)(slash - finalPath));
}

/* A hidden named file, created with O_EXCL so the umask applies as for any
   new file, and locked. The lock comes after the name exists, so a cleaner
   may have removed it in between: the name must still be this file. */
static int createNamed(Target* target)
{
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
        char* name = hiddenName(target->finalPath);
        if (!name)
            return 0;
        const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            const int failed = errno;
            free(name);
            if (failed == EEXIST)
                continue;
            return 0;
        }
        struct stat mine, named;
        if (flock(fd, LOCK_EX) == 0 && fstat(fd, &mine) == 0 && lstat(name, &named) == 0 &&
            mine.st_ino == named.st_ino && mine.st_dev == named.st_dev) {
            target->fd = fd;
            target->tempPath = name;
            return 1;
        }
        close(fd);
        free(name);
    }
    return 0;
}

/* The new file beside finalPath: unnamed where the file system has unnamed
   files, else hidden and named. */
static int createTemporary(Target* target)
{
    /* An unnamed file is linked in through /proc; without it only a
       privileged process could link it, so a named file is used instead. */
    if (access("/proc/self/fd", F_OK) != 0)
        return createNamed(target);
    char* folder = folderOf(target->finalPath);
    if (!folder)
        return 0;
    const int fd = open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    const int failed = errno;
    free(folder);
    if (fd >= 0) {
        /* Locked before it ever has a name. */
        if (flock(fd, LOCK_EX) != 0) {
            close(fd);
            return 0;
        }
        target->fd = fd;
        target->unnamed = 1;
        return 1;
    }
    if (failed != EOPNOTSUPP && failed != EISDIR && failed != EINVAL)
        return 0;
    return createNamed(target);
}

/* Gives the unnamed file fd the name path; 0 with errno when it cannot. */
static int linkUnnamed(int fd, const char* path)
{
    char proc[64];
    snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    if (access("/proc/self/fd", F_OK) == 0)
        return linkat(AT_FDCWD, proc, AT_FDCWD, path, AT_SYMLINK_FOLLOW) == 0;
    /* Without /proc only a privileged process can link by descriptor. */
    return linkat(fd, "", AT_FDCWD, path, AT_EMPTY_PATH) == 0;
}

/* Puts the finished file in place of finalPath; 0 when it cannot be. */
static int placeTarget(Target* target)
{
    if (target->unnamed) {
        /* A new name is taken directly; an existing file is replaced through
           a hidden name and a rename, which is atomic where a link is not. */
        if (!target->replaces && linkUnnamed(target->fd, target->finalPath))
            return 1;
        if (!target->replaces && errno != EEXIST)
            return 0;
        for (int attempt = 0; attempt < kTemporaryNameTries && !target->tempPath; ++attempt) {
            char* name = hiddenName(target->finalPath);
            if (!name)
                return 0;
            if (linkUnnamed(target->fd, name)) {
                target->tempPath = name;
            } else {
                const int failed = errno;
                free(name);
                if (failed != EEXIST)
                    return 0;
            }
        }
        if (!target->tempPath)
            return 0;
    }
    if (rename(target->tempPath, target->finalPath) != 0)
        return 0;
    free(target->tempPath);
    target->tempPath = NULL; /* it is the file now: keep it */
    return 1;
}

/* Opens where the JPEG goes; 0 when it cannot be opened. */
static int openTarget(const char* fileName, Target* target)
{
    struct stat existing;
    if (fileName[0] == '\0')
        return 0;
    if (stat(fileName, &existing) == 0) {
        if (!S_ISREG(existing.st_mode)) {
            /* A device or pipe is written directly and never replaced or
               removed. O_NONBLOCK makes a pipe nobody reads fail at once
               instead of blocking; writes then block again as usual. */
            const int fd = open(fileName, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0)
                return 0;
            const int flags = fcntl(fd, F_GETFL);
            if (flags >= 0)
                fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
            target->fd = fd;
            return 1;
        }
        /* A file that could not be opened for writing is not replaced. */
        if (access(fileName, W_OK) != 0)
            return 0;
        /* Through a symbolic link the file it names is replaced, not the link. */
        target->finalPath = realpath(fileName, NULL);
        target->replaces = 1;
        if (!target->finalPath || !createTemporary(target))
            return 0;
        /* The new file keeps the old one's permissions. */
        fchmod(target->fd, existing.st_mode & 07777);
        return 1;
    }
    target->finalPath = strdup(fileName);
    return target->finalPath && createTemporary(target);
}

static void closeTarget(Target* target)
{
    /* The name goes while the lock still holds it. */
    if (target->tempPath)
        unlink(target->tempPath);
    if (target->fd >= 0)
        close(target->fd);
    free(target->tempPath);
    free(target->finalPath);
}

/* Tiles are small designs with sharp colour edges, which colour stored at
   half resolution smears by up to 200 levels. From quality 90 up colour is
   kept at full resolution (4:4:4), as other imaging tools do; below that the
   smaller 4:2:0 of the library's defaults stays. */
enum { kFullColourQuality = 90 };

static void setSampling(struct jpeg_compress_struct* cinfo, uint8_t quality)
{
    const int factor = quality >= kFullColourQuality ? 1 : 2;
    cinfo->comp_info[0].h_samp_factor = factor;
    cinfo->comp_info[0].v_samp_factor = factor;
    for (int c = 1; c < cinfo->num_components; ++c) {
        cinfo->comp_info[c].h_samp_factor = 1;
        cinfo->comp_info[c].v_samp_factor = 1;
    }
}

/* All libjpeg calls; an error leaves through longjmp to encode(). */
static void runEncoder(Encoder* enc, const QuiltonSurface* dc, int32_t width, int32_t height,
                       uint8_t quality)
{
    struct jpeg_compress_struct* cinfo = &enc->cinfo;
    jpeg_create_compress(cinfo);
    enc->dest.pub.init_destination = initDestination;
    enc->dest.pub.empty_output_buffer = emptyOutputBuffer;
    enc->dest.pub.term_destination = termDestination;
    cinfo->dest = &enc->dest.pub;

    cinfo->image_width = (JDIMENSION)width;
    cinfo->image_height = (JDIMENSION)height;
    cinfo->input_components = 4;
    cinfo->in_color_space = SAVEJPG_PIXEL_LAYOUT;
    jpeg_set_defaults(cinfo);
    /* Baseline: quantisation tables limited to 8 bits. */
    jpeg_set_quality(cinfo, quality, TRUE);
    setSampling(cinfo, quality);
    /* Huffman tables fitted to the picture: a smaller file, the same pixels. */
    cinfo->optimize_coding = TRUE;
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        /* libjpeg reads the rows only; its row type is simply not const. */
        JSAMPROW row = (JSAMPROW)(uintptr_t)(dc->bits + (size_t)cinfo->next_scanline *
                                                            (size_t)dc->bytesPerLine);
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
}

/* 0 written, 2 a write failed, 4 the encoder failed. */
static int encode(const QuiltonSurface* dc, int32_t width, int32_t height, uint8_t quality, int fd)
{
    Encoder* enc = calloc(1, sizeof *enc);
    if (!enc)
        return SAVEJPG_ENCODER_ERROR;
    enc->dest.fd = fd;
    enc->cinfo.err = jpeg_std_error(&enc->err.pub);
    enc->err.pub.error_exit = onError;
    enc->err.pub.output_message = onMessage;

    int code = SAVEJPG_SAVED;
    if (setjmp(enc->err.jump) == 0)
        runEncoder(enc, dc, width, height, quality);
    else
        code = enc->dest.writeFailed ? SAVEJPG_WRITE_ERROR : SAVEJPG_ENCODER_ERROR;
    jpeg_destroy_compress(&enc->cinfo);
    free(enc);
    return code;
}

static int syncFailed(int fd)
{
    /* Only real write faults count; some file systems cannot sync at all. */
    return fsync(fd) != 0 && (errno == EIO || errno == ENOSPC || errno == EDQUOT);
}

int16_t DCSavetoJPEG(const QuiltonSurface* dc, int32_t width, int32_t height, const char* fileName,
                     uint8_t quality, int32_t reserved)
{
    (void)reserved;
    if (!validArguments(dc, width, height, fileName, quality))
        return SAVEJPG_BAD_ARGUMENTS;

    Target target = {NULL, NULL, -1, 0, 0};
    if (!openTarget(fileName, &target)) {
        closeTarget(&target);
        return SAVEJPG_OPEN_ERROR;
    }

    int code = encode(dc, width, height, quality, target.fd);
    if (code == SAVEJPG_SAVED && target.finalPath && syncFailed(target.fd))
        code = SAVEJPG_WRITE_ERROR;
    if (!target.finalPath) {
        /* A device or pipe: only closing can still tell of a failed write. */
        const int closed = close(target.fd);
        target.fd = -1;
        if (code == SAVEJPG_SAVED && closed != 0)
            code = SAVEJPG_WRITE_ERROR;
    } else if (code == SAVEJPG_SAVED && !placeTarget(&target)) {
        code = SAVEJPG_OPEN_ERROR;
    }
    /* Closes (dropping the lock only now) and removes the new file of a
       failed save. */
    closeTarget(&target);
    return (int16_t)code;
}
