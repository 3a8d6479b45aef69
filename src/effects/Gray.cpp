#include "effects/Channels.h"
#include "effects/Effects.h"
#include "effects/PixelGrid.h"

void GrayFilter(QImage& tile)
{
    PixelGrid grid = ReadTilePixels(tile);
    const int w = grid.width();
    const int h = grid.height();
    // The plain channel mean, rounded down: (1, 1, 0) gives 0.
    for (int x = 0; x <= w; ++x) {
        for (int y = 0; y <= h; ++y) {
            std::uint32_t& cell = grid.at(x, y);
            const int g = (channels::red(cell) + channels::green(cell) + channels::blue(cell)) / 3;
            cell = channels::withColour(cell, g, g, g);
        }
    }
    WriteTilePixels(tile, grid);
}
