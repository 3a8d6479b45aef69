#pragma once

#include "platform/FileCheck.h"

#include <QImage>
#include <QSize>
#include <QString>

// Taking in a source picture (BMP, GIF first frame, JPEG, and whatever else
// Qt reads). The picture is kept at a reduced resolution, never below the
// tile size (100 x 100) in either direction where the picture is that large:
// a JPEG is decoded directly at a reduced DCT scale, a progressive one read
// only as far as that scale needs (JpegReader). EXIF orientation is
// honoured. Damaged, cut, empty or absurdly large pictures are refused with
// a message, never allocated.
struct LoadedPicture
{
    QImage image;  // Format_RGB32, null on failure
    QString error; // why it was refused
    // Set when the file itself could not be opened (then error says so);
    // None for a file whose contents were refused.
    FileCheck::Failure failure = FileCheck::Failure::None;
    bool ok() const { return !image.isNull(); }
};

namespace PictureLoader {

// Loads a picture file. Decoding draws on DecodeBudget::process(): a load
// waits while loads on other threads hold the memory it needs, and refuses
// a picture that alone needs more than the whole budget. Safe to call from
// several threads at once.
LoadedPicture load(const QString& path);

// The size a picture of the given size is kept at: M/8 of it, rounded down,
// with the smallest M (1..8) that leaves each side at least the tile's side
// (or the picture's own side where that is smaller); pictures at most 200
// pixels on both sides are kept as they are. A JPEG is decoded at M/8 scale
// directly.
QSize reducedSize(QSize size);

// Reduces an image already in memory (the screen capture) the same way.
QImage reduce(const QImage& image);

} // namespace PictureLoader
