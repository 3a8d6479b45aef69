#include "effects/Channels.h"
#include "effects/Effects.h"
#include "effects/PixelGrid.h"

void GrayFilter(QImage& tile)
{
    PixelGrid grid = ReadTilePixels(tile);
    // The plain channel mean, rounded down: (1, 1, 0) gives 0. Each cell
    // depends on itself alone, so the visiting order cannot show.
    for (int y = 0; y <= grid.height(); ++y) {
        std::uint32_t* cells = grid.row(y);
        for (int x = 0; x <= grid.width(); ++x) {
            const std::uint32_t cell = cells[x];
            const int g = (channels::red(cell) + channels::green(cell) + channels::blue(cell)) / 3;
            cells[x] = channels::withColour(cell, g, g, g);
        }
    }
    WriteTilePixels(tile, grid);
}
