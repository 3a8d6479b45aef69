#include "effects/PixelGrid.h"

#include <algorithm>

namespace {

constexpr std::uint32_t kColourMask = 0x00ffffff;
constexpr std::uint32_t kOpaque = 0xff000000;

} // namespace

PixelGrid ReadTilePixels(const QImage& tile)
{
    const QImage source =
        (tile.format() == QImage::Format_RGB32 || tile.format() == QImage::Format_ARGB32)
            ? tile
            : tile.convertToFormat(QImage::Format_RGB32);
    const int w = source.width();
    const int h = source.height();
    PixelGrid grid(w, h);
    // Row 0 stays black. Picture row y - 1 goes to grid row y, and the extra
    // column W takes the first pixel of the row above, as the tile's own
    // bottom-up pixel transfer leaves it: the filters depend on both margins.
    for (int y = 1; y <= h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(y - 1));
        std::uint32_t* cells = grid.row(y);
        for (int x = 0; x < w; ++x)
            cells[x] = line[x] & kColourMask;
        cells[w] = grid.row(y - 1)[0];
    }
    return grid;
}

void WriteTilePixels(QImage& tile, const PixelGrid& grid)
{
    if (tile.format() != QImage::Format_RGB32)
        tile = tile.convertToFormat(QImage::Format_RGB32);
    const int w = std::min(tile.width(), grid.width());
    const int h = std::min(tile.height(), grid.height());
    // Only the picture area goes back: grid row 0 and column W are margins.
    for (int y = 1; y <= h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(tile.scanLine(y - 1));
        const std::uint32_t* cells = grid.row(y);
        for (int x = 0; x < w; ++x)
            line[x] = kOpaque | (cells[x] & kColourMask);
    }
}
