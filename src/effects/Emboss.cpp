#include "effects/Channels.h"
#include "effects/Effects.h"
#include "effects/PixelGrid.h"
#include "effects/Rounding.h"

#include <cstdint>
#include <vector>

void EmbossFilter(QImage& tile)
{
    PixelGrid grid = ReadTilePixels(tile);
    const int w = grid.width();
    const int h = grid.height();
    const std::size_t stride = std::size_t(w) + 1;
    const auto index = [stride](int x, int y) { return std::size_t(y) * stride + std::size_t(x); };

    // Grey: the channel mean rounded to nearest (grayscale rounds down).
    std::vector<std::uint8_t> grey(stride * (std::size_t(h) + 1));
    for (int x = 0; x <= w; ++x) {
        for (int y = 0; y <= h; ++y) {
            const std::uint32_t cell = grid.at(x, y);
            const int sum = channels::red(cell) + channels::green(cell) + channels::blue(cell);
            grey[index(x, y)] = std::uint8_t(rounding::divideHalfEven(sum, 3));
        }
    }

    // Relief lit from the upper left: 128 minus the steps up from the left,
    // upper and upper-left neighbours that exist. The picture's top row is
    // compared with the black margin row above it.
    std::vector<std::uint8_t> relief(grey.size());
    for (int x = 0; x <= w; ++x) {
        for (int y = 0; y <= h; ++y) {
            const int g = grey[index(x, y)];
            int v = 128;
            if (x > 0)
                v -= g - grey[index(x - 1, y)];
            if (y > 0)
                v -= g - grey[index(x, y - 1)];
            if (x > 0 && y > 0)
                v -= g - grey[index(x - 1, y - 1)];
            relief[index(x, y)] = std::uint8_t(channels::clampByte(v));
        }
    }

    for (int x = 0; x <= w; ++x) {
        for (int y = 0; y <= h; ++y) {
            const int e = relief[index(x, y)];
            grid.at(x, y) = channels::withColour(grid.at(x, y), e, e, e);
        }
    }
    WriteTilePixels(tile, grid);
}
