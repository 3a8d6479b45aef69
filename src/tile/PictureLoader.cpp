#include "tile/PictureLoader.h"

#include "platform/FileCheck.h"
#include "tile/Composer.h"
#include "tile/DecodeBudget.h"
#include "tile/JpegReader.h"
#include "tile/PictureHeaders.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <optional>

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

// The file's own structure, for the formats whose readers take a file that
// ends early without a word; nullopt for the others (and when the file
// cannot be opened: the reader says why).
std::optional<PictureHeaders::Check> checkStructure(const QString& path, const QByteArray& format)
{
    if (format != "bmp" && format != "gif")
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return format == "bmp" ? PictureHeaders::checkBmp(file) : PictureHeaders::checkGif(file);
}

// The memory decoding a picture takes at its peak, from its header: the
// decoded picture, a full-size 32-bit copy made while converting or
// reducing it (the GIF reader keeps a frame of its own besides), the kept
// picture twice, and the JPEG decoder's whole-picture coefficient buffer
// when it needs one (two bytes a sample, up to four samples a pixel).
qint64 decodeCost(const QByteArray& format, QSize decoded, QSize kept, bool bufferedJpeg)
{
    constexpr qint64 kSlack = 1 << 20;
    const qint64 keptBytes = kept.isValid() ? 8 * area(kept) : 0;
    if (format == "jpeg")
        return kSlack + keptBytes + (bufferedJpeg ? 8 * area(decoded) : 64LL * decoded.width());
    if (!decoded.isValid())
        return 2 * (qint64(QImageReader::allocationLimit()) << 20); // what the reader may allocate
    const qint64 perPixel = format == "bmp" ? 8 : format == "gif" ? 12 : 16;
    return kSlack + keptBytes + perPixel * area(decoded);
}

qint64 roundedUpMiB(qint64 bytes)
{
    return (bytes + (1 << 20) - 1) >> 20;
}

LoadedPicture overBudget(const QString& path, qint64 cost)
{
    return refuse(path, QStringLiteral("decoding it takes about %1 MiB, more than the "
                                       "memory budget of %2 MiB")
                            .arg(roundedUpMiB(cost))
                            .arg(DecodeBudget::process().limit() >> 20));
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
    // Held until the kept picture is made, so that parallel loads together
    // stay within the process's budget.
    const qint64 cost = decodeCost("jpeg", stored, reducedSize(stored), jpeg.buffersWholePicture());
    DecodeBudget& budget = DecodeBudget::process();
    const DecodeBudget::Reservation held = budget.reserve(cost);
    if (!held.isValid())
        return overBudget(path, cost);
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
    // worker threads too, which may then only read the setting. No single
    // picture may take more than the whole decoding budget as it stands
    // then (quilton-batch sets it before loading anything).
    static const bool limited = [] {
        QImageReader::setAllocationLimit(
            int(std::min<qint64>(kAllocationLimitMb, DecodeBudget::process().limit() >> 20)));
        return true;
    }();
    Q_UNUSED(limited);

    // Why a file cannot be opened is told as the system says it (a missing
    // file, no permission, a pipe, a name that is no UTF-8 text).
    if (const FileCheck::Problem problem = FileCheck::readableFile(path); !problem.ok()) {
        LoadedPicture refused = refuse(path, FileCheck::describe(problem));
        refused.failure = problem.kind;
        return refused;
    }
    const QFileInfo info(path);
    if (info.size() == 0)
        return refuse(path, QStringLiteral("the file is empty"));

    if (JpegReader::looksLikeJpeg(path))
        return loadJpeg(path);

    // Outlives the reader, which may keep a decoded frame of its own.
    DecodeBudget::Reservation held;
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return refuse(path, reader.errorString());

    // The stored size (before any EXIF turn) decides everything before a
    // single pixel is decoded.
    const QSize stored = reader.size();
    const QByteArray format = reader.format();
    QSize decoded = stored; // what the reader allocates, where known
    const std::optional<PictureHeaders::Check> check = checkStructure(path, format);
    if (check && check->canvas.isValid())
        decoded = decoded.isValid() ? decoded.expandedTo(check->canvas) : check->canvas;
    if (decoded.isValid() && area(decoded) > kMaxFullDecodePixels)
        return refuse(path, QStringLiteral("the picture is too large (%1 x %2)")
                                .arg(decoded.width())
                                .arg(decoded.height()));
    if (check && !check->whole)
        return refuse(path, check->why);

    // Held until the kept picture is made, so that parallel loads together
    // stay within the process's budget.
    const qint64 cost = decodeCost(format, decoded, reducedSize(decoded), false);
    DecodeBudget& budget = DecodeBudget::process();
    held = budget.reserve(cost);
    if (!held.isValid())
        return overBudget(path, cost);

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
