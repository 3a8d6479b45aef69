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

    // Grey: the channel mean rounded to nearest (grayscale rounds down).
    std::vector<std::uint8_t> grey(stride * (std::size_t(h) + 1));
    for (int y = 0; y <= h; ++y) {
        const std::uint32_t* cells = grid.row(y);
        std::uint8_t* greys = grey.data() + std::size_t(y) * stride;
        for (int x = 0; x <= w; ++x) {
            const std::uint32_t cell = cells[x];
            const int sum = channels::red(cell) + channels::green(cell) + channels::blue(cell);
            greys[x] = std::uint8_t(rounding::divideHalfEven(sum, 3));
        }
    }

    // Relief lit from the upper left: 128 minus the steps up from the left,
    // upper and upper-left neighbours that exist. The picture's top row is
    // compared with the black margin row above it. The relief is read from
    // the grey array alone, so the cells may be written as they are done.
    for (int y = 0; y <= h; ++y) {
        const std::uint8_t* here = grey.data() + std::size_t(y) * stride;
        const std::uint8_t* above = y > 0 ? here - stride : nullptr;
        std::uint32_t* cells = grid.row(y);
        for (int x = 0; x <= w; ++x) {
            const int g = here[x];
            int v = 128;
            if (x > 0)
                v -= g - here[x - 1];
            if (y > 0)
                v -= g - above[x];
            if (x > 0 && y > 0)
                v -= g - above[x - 1];
            const int e = channels::clampByte(v);
            cells[x] = channels::withColour(cells[x], e, e, e);
        }
    }
    WriteTilePixels(tile, grid);
}
