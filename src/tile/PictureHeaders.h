#pragma once

#include <QSize>
#include <QString>

class QIODevice;

// The loader's own look at BMP and GIF files before Qt decodes them. Qt's
// readers take a file that ends early without a word and leave the missing
// pixels undefined (grey or black fill); these walks find such files from
// the structure alone, without decoding a picture, and read the size the
// decoder will allocate so that its memory can be reserved beforehand.
//
// Harmless things that real files carry pass: bytes after the end of the
// data, a run-length bitmap whose rows are all filled but whose end marker
// is missing, a GIF frame whose data holds more pixels than it needs.
namespace PictureHeaders {

struct Check
{
    bool whole = false; // the file holds all the data its header promises
    QString why;        // what is wrong when not whole
    QSize canvas;       // the size of the picture the decoder allocates
};

// A Windows or OS/2 bitmap: all pixel rows present (uncompressed), or the
// run-length data reaching its end marker or its last row before the file
// ends (RLE8, RLE4). Reads from the device's start.
Check checkBmp(QIODevice& device);

// A GIF: every block complete up to the trailer, and the first frame's
// compressed data giving at least one pixel for each of the frame's pixels.
// The canvas is the logical screen, widened to hold the first frame.
Check checkGif(QIODevice& device);

} // namespace PictureHeaders
