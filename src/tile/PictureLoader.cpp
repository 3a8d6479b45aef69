#include "tile/PictureLoader.h"

#include "tile/Composer.h"
#include "tile/JpegReader.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include <cstdlib>

namespace PictureLoader {

namespace {

// Qt's readers refuse to allocate a decoded image beyond this (Qt keeps it
// as one process-wide setting; the program sets it here and nowhere else).
constexpr int kAllocationLimitMb = 256;
// Formats decoded at full size: at most this many pixels (256 MB at 32 bits).
constexpr qint64 kMaxFullDecodePixels = 64LL * 1000 * 1000;
// A JPEG is decoded at 1/8 scale or finer, so far larger ones are fine...
constexpr qint64 kMaxJpegPixels = 100LL * 1000 * 1000;
// ...unless libjpeg must hold every coefficient of the picture (progressive
// or multi-scan files): about 3 to 6 bytes a pixel whatever the scale.
constexpr qint64 kMaxBufferedJpegPixels = 32LL * 1000 * 1000;
// Pictures at most this large on both sides are kept as they are.
constexpr int kSmallSide = 2 * Composer::kTileWidth;

LoadedPicture refuse(const QString& path, const QString& why)
{
    LoadedPicture result;
    result.error = QStringLiteral("Cannot load %1: %2").arg(QDir::toNativeSeparators(path), why);
    return result;
}

qint64 area(QSize size)
{
    return qint64(size.width()) * qint64(size.height());
}

int floorScaled(int side, int m)
{
    return int(qint64(side) * m / 8);
}

// The M of the M/8 scale the reduced picture is made at (8: kept as it is).
int reductionScale(QSize size)
{
    if (size.isEmpty() || (size.width() <= kSmallSide && size.height() <= kSmallSide))
        return 8;
    const int minWidth = std::min(size.width(), Composer::kTileWidth);
    const int minHeight = std::min(size.height(), Composer::kTileHeight);
    for (int m = 1; m < 8; ++m) {
        if (floorScaled(size.width(), m) >= minWidth && floorScaled(size.height(), m) >= minHeight)
            return m;
    }
    return 8;
}

// Whether an uncompressed BMP file holds all the pixel rows its header
// promises. Qt's reader stops at the end of the file without a word and
// leaves the missing rows undefined, so a cut file is refused here.
bool bmpIsWhole(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(34);
    const auto u16 = [&header](int at) {
        return quint32(uchar(header[at])) | (quint32(uchar(header[at + 1])) << 8);
    };
    const auto u32 = [&](int at) { return u16(at) | (u16(at + 2) << 16); };
    if (header.size() < 26 || !header.startsWith("BM"))
        return true; // not a plain Windows bitmap: left to Qt's checks
    const qint64 dataOffset = u32(10);
    const quint32 infoSize = u32(14);
    qint64 width = 0;
    qint64 height = 0;
    quint32 bitsPerPixel = 0;
    quint32 compression = 0;
    if (infoSize == 12) { // OS/2 header: 16-bit sizes
        width = u16(18);
        height = u16(20);
        bitsPerPixel = u16(24);
    } else if (header.size() >= 34) {
        width = qint32(u32(18));
        height = qint32(u32(22));
        bitsPerPixel = u16(28);
        compression = u32(30);
    } else {
        return false;
    }
    constexpr quint32 kRgb = 0;
    constexpr quint32 kBitFields = 3;
    if (compression != kRgb && compression != kBitFields)
        return true; // run-length coded: its length says nothing
    const qint64 rowBytes = (std::abs(width) * bitsPerPixel + 31) / 32 * 4;
    return file.size() >= dataOffset + rowBytes * std::abs(height);
}

// Opaque Format_RGB32: transparent pixels are laid on white.
QImage opaque(const QImage& image)
{
    if (!image.hasAlphaChannel()) {
        // Format_RGB32 ignores the top byte, but not every reader fills it
        // (the GIF reader leaves 0 where no frame pixel was drawn); the
        // effects and the tiles count on 0xff there.
        QImage out = image.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < out.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x)
                line[x] |= 0xff000000u;
        }
        return out;
    }
    QImage out(image.size(), QImage::Format_RGB32);
    if (out.isNull())
        return out;
    out.fill(Qt::white);
    QPainter painter(&out);
    painter.drawImage(0, 0, image);
    painter.end();
    return out;
}

QImage reduceTo(const QImage& image, QSize size)
{
    if (image.size() == size)
        return image;
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// A JPEG is decoded by libjpeg-turbo directly at M/8 scale; a progressive
// file is read only as far as that scale needs.
LoadedPicture loadJpeg(const QString& path)
{
    JpegReader jpeg(path);
    if (!jpeg.readHeader())
        return refuse(path, jpeg.error());
    // The stored size (before any EXIF turn) decides everything before a
    // single pixel is decoded.
    const QSize stored = jpeg.size();
    const qint64 limit = jpeg.buffersWholePicture() ? kMaxBufferedJpegPixels : kMaxJpegPixels;
    if (area(stored) > limit)
        return refuse(path, QStringLiteral("the picture is too large (%1 x %2)")
                                .arg(stored.width())
                                .arg(stored.height()));
    QImage image = jpeg.read(reductionScale(stored));
    if (image.isNull())
        return refuse(path, jpeg.error());
    // libjpeg rounds M/8 of a side up; where that is not whole the picture
    // is shrunk by the one pixel, as Qt's reader does.
    image = turnedForOrientation(reduceTo(image, reducedSize(stored)), jpeg.orientation());
    if (image.isNull())
        return refuse(path, QStringLiteral("out of memory"));
    LoadedPicture result;
    result.image = image;
    return result;
}

} // namespace

QSize reducedSize(QSize size)
{
    const int m = reductionScale(size);
    return m == 8 ? size : QSize(floorScaled(size.width(), m), floorScaled(size.height(), m));
}

LoadedPicture load(const QString& path)
{
    // Set once, before the first reader exists: pictures are loaded on
    // worker threads too, which may then only read the setting.
    static const bool limited = [] {
        QImageReader::setAllocationLimit(kAllocationLimitMb);
        return true;
    }();
    Q_UNUSED(limited);

    const QFileInfo info(path);
    if (!info.isFile())
        return refuse(path, QStringLiteral("no such file"));
    if (info.size() == 0)
        return refuse(path, QStringLiteral("the file is empty"));

    if (JpegReader::looksLikeJpeg(path))
        return loadJpeg(path);

    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return refuse(path, reader.errorString());

    // The stored size decides everything before a single pixel is decoded.
    const QSize stored = reader.size();
    if (stored.isValid() && area(stored) > kMaxFullDecodePixels) {
        return refuse(path, QStringLiteral("the picture is too large (%1 x %2)")
                                .arg(stored.width())
                                .arg(stored.height()));
    } else if (reader.format() == "bmp" && !bmpIsWhole(path)) {
        return refuse(path, QStringLiteral("the file is cut short"));
    }

    QImage image;
    if (!reader.read(&image) || image.isNull())
        return refuse(path, reader.errorString());
    // A multi-frame file (GIF) gives its first frame here.

    image = reduceTo(image, reducedSize(image.size()));
    image = opaque(image);
    image.setColorSpace(QColorSpace());
    if (image.isNull())
        return refuse(path, QStringLiteral("out of memory"));
    LoadedPicture result;
    result.image = image;
    return result;
}

QImage reduce(const QImage& image)
{
    if (image.isNull())
        return QImage();
    QImage reduced = opaque(reduceTo(image, reducedSize(image.size())));
    reduced.setColorSpace(QColorSpace());
    return reduced;
}

} // namespace PictureLoader
