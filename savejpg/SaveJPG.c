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

/* Where the JPEG goes: a temporary file beside finalPath that is renamed
   over it at the end, or (tempPath NULL) a device or pipe written directly. */
typedef struct Target
{
    char* finalPath;
    char* tempPath;
    int fd;
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

/* The folder part of path ("." without a '/', "/" for a file in the root),
   followed by a fresh hidden name; the file is created with O_EXCL so the
   umask applies as for any new file. */
static int createTemporary(Target* target)
{
    const char* slash = strrchr(target->finalPath, '/');
    const size_t folderLength = slash ? (size_t)(slash - target->finalPath) : 0;
    const size_t size = folderLength + 64;
    char* name = malloc(size);
    if (!name)
        return 0;
    static unsigned counter;
    const unsigned seed = (unsigned)time(NULL) ^ (unsigned)(uintptr_t)target;
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
        const unsigned tag = seed + __atomic_add_fetch(&counter, 7919u, __ATOMIC_RELAXED);
        if (slash)
            snprintf(name, size, "%.*s/.savejpg-%ld-%08x.tmp", (int)folderLength, target->finalPath,
                     (long)getpid(), tag);
        else
            snprintf(name, size, ".savejpg-%ld-%08x.tmp", (long)getpid(), tag);
        const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            target->fd = fd;
            target->tempPath = name;
            return 1;
        }
        if (errno != EEXIST)
            break;
    }
    free(name);
    return 0;
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
    if (target->fd >= 0)
        close(target->fd);
    if (target->tempPath)
        unlink(target->tempPath);
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

    Target target = {NULL, NULL, -1};
    if (!openTarget(fileName, &target)) {
        closeTarget(&target);
        return SAVEJPG_OPEN_ERROR;
    }

    int code = encode(dc, width, height, quality, target.fd);
    if (code == SAVEJPG_SAVED && target.tempPath && syncFailed(target.fd))
        code = SAVEJPG_WRITE_ERROR;
    const int closed = close(target.fd);
    target.fd = -1;
    if (code == SAVEJPG_SAVED && closed != 0)
        code = SAVEJPG_WRITE_ERROR;
    if (code == SAVEJPG_SAVED && target.tempPath) {
        if (rename(target.tempPath, target.finalPath) == 0) {
            free(target.tempPath);
            target.tempPath = NULL; /* it is the file now: keep it */
        } else {
            code = SAVEJPG_OPEN_ERROR;
        }
    }
    closeTarget(&target); /* removes the temporary file of a failed save */
    return (int16_t)code;
}
