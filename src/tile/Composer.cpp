#include "tile/Composer.h"

#include <algorithm>

namespace Composer {

namespace {

constexpr QRgb kColourMask = 0x00ffffff;
constexpr QRgb kOpaque = 0xff000000;

// Tile D before its final step: ((BG XOR V) XOR M) OR O OR R, colour bytes only.
inline QRgb tileD0(QRgb v, QRgb m, QRgb o, QRgb r)
{
    return ((kBackground ^ v) ^ m) | o | r;
}

void paintChamfer(QImage& tile)
{
    // The edge lines are 4 pixels wide and centred on the tile's outline,
    // so a band two pixels wide shows inside each of the four edges.
    constexpr int kBand = 2;
    const int w = tile.width();
    const int h = tile.height();
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(tile.scanLine(y));
        if (y < kBand || y >= h - kBand) {
            std::fill(line, line + w, kChamferColour);
            continue;
        }
        for (int x = 0; x < std::min(kBand, w); ++x)
            line[x] = kChamferColour;
        for (int x = std::max(w - kBand, 0); x < w; ++x)
            line[x] = kChamferColour;
    }
}

} // namespace

QSize tileSize(bool half)
{
    return QSize(kTileWidth, half ? kHalfTileHeight : kTileHeight);
}

QImage stretch(const QImage& source, QSize size)
{
    if (source.isNull() || size.isEmpty())
        return QImage();
    QImage rgb = source.format() == QImage::Format_RGB32
                     ? source
                     : source.convertToFormat(QImage::Format_RGB32);
    if (rgb.size() == size)
        return rgb;
    // Area averaging when shrinking, so a photo does not alias into noise.
    return rgb.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage composeFromStretched(const QImage& stretched, int index, bool chamfer)
{
    if (stretched.isNull() || index < 0 || index > 3)
        return QImage();
    const QImage s = stretched.format() == QImage::Format_RGB32
                         ? stretched
                         : stretched.convertToFormat(QImage::Format_RGB32);
    const int w = s.width();
    const int h = s.height();
    QImage tile(w, h, QImage::Format_RGB32);
    if (tile.isNull())
        return QImage();

    // The four orientations, drawn over one another in the order V, M, O, R:
    //   V(x, y) = S(x, H-1-y)  M(x, y) = S(W-1-x, y)
    //   O(x, y) = S(x, y)      R(x, y) = S(W-1-x, H-1-y)
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(s.constScanLine(y));
        const auto* mirroredRow = reinterpret_cast<const QRgb*>(s.constScanLine(h - 1 - y));
        auto* out = reinterpret_cast<QRgb*>(tile.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb v = mirroredRow[x];
            const QRgb m = row[w - 1 - x];
            const QRgb o = row[x];
            const QRgb r = mirroredRow[w - 1 - x];
            QRgb value = 0;
            switch (index) {
            case 0:
                value = v & m & o & r;
                break;
            case 1:
                value = v | m | o | r;
                break;
            case 2:
                value = v ^ m ^ o ^ r;
                break;
            default:
                value = tileD0(v, m, o, r);
                break;
            }
            out[x] = kOpaque | (value & kColourMask);
        }
    }

    // Tile D is then ANDed with its own top-to-bottom mirror. D0 turns into
    // itself under a half turn, so the result is symmetric about both
    // centre lines, like the other tiles.
    if (index == 3) {
        for (int y = 0; y < h / 2; ++y) {
            auto* top = reinterpret_cast<QRgb*>(tile.scanLine(y));
            auto* bottom = reinterpret_cast<QRgb*>(tile.scanLine(h - 1 - y));
            for (int x = 0; x < w; ++x) {
                const QRgb both = top[x] & bottom[x];
                top[x] = both;
                bottom[x] = both;
            }
        }
    }

    if (chamfer)
        paintChamfer(tile);
    return tile;
}

QImage compose(const QImage& source, int index, bool half, bool chamfer)
{
    return composeFromStretched(stretch(source, tileSize(half)), index, chamfer);
}

} // namespace Composer
