/* SaveJPG.so: the separately installable JPEG writer of Quilton.
 *
 * The program never links this library: it opens it by full path at the
 * moment of saving and looks up DCSavetoJPEG. This header is the whole
 * contract between the two, usable from C and C++. */
#ifndef SAVEJPG_H
#define SAVEJPG_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The stand-in for a device context: 32-bit pixels 0xffRRGGBB
   (QImage::Format_RGB32), rows top-down, bytesPerLine apart. */
typedef struct QuiltonSurface
{
    const unsigned char* bits;
    int32_t width, height, bytesPerLine;
} QuiltonSurface;

/* Return codes of DCSavetoJPEG. */
enum {
    SAVEJPG_SAVED = 0,         /* the file is written */
    SAVEJPG_OPEN_ERROR = 1,    /* the file cannot be opened or created */
    SAVEJPG_WRITE_ERROR = 2,   /* writing failed (a full disc); no partial file is left */
    SAVEJPG_BAD_ARGUMENTS = 3, /* empty area, area larger than the surface, quality outside 1-100 */
    SAVEJPG_ENCODER_ERROR = 4  /* the JPEG encoder failed; no file is left */
};

/* Writes the width x height area at the surface's top-left corner to fileName
   (UTF-8) as a baseline JPEG of the given quality (1-100). reserved is
   ignored; pass 0. A regular file is written beside its final name (as an
   unnamed file where the file system has them, so that even a killed writer
   leaves nothing) and put into place when complete, so a failure never
   leaves a partial file and never destroys a file already there; a name that
   is a device or a pipe is written directly. */
__attribute__((visibility("default"))) int16_t DCSavetoJPEG(const QuiltonSurface* dc, int32_t width,
                                                            int32_t height, const char* fileName,
                                                            uint8_t quality, int32_t reserved);

/* The type of DCSavetoJPEG, for dlsym. */
typedef int16_t (*DCSavetoJPEGFunction)(const QuiltonSurface* dc, int32_t width, int32_t height,
                                        const char* fileName, uint8_t quality, int32_t reserved);

#ifdef __cplusplus
}
#endif

#endif /* SAVEJPG_H */
