#include "effects/Channels.h"
#include "effects/Effects.h"
#include "effects/PixelGrid.h"
#include "effects/Rounding.h"

void BlockFilter(QImage& tile, int bw, int bh)
{
    if (bw <= 0 || bh <= 0)
        return;
    PixelGrid grid = ReadTilePixels(tile);
    const int w = grid.width();
    const int h = grid.height();

    // Blocks are laid from grid row 0 and column 0, so the first block row
    // takes in the black margin row and comes out darker, and the last
    // block column holds only the margin column, which is never written
    // back. A cell beyond the grid ends the l loop of its j: a block at the
    // edge is simply cut off there.
    const auto forEachCell = [&](int x0, int y0, auto&& visit) {
        for (int j = 0; j < bw; ++j) {
            for (int l = 0; l < bh; ++l) {
                if (x0 + j > w || y0 + l > h)
                    break;
                visit(grid.at(x0 + j, y0 + l));
            }
        }
    };

    for (int x0 = 0; x0 <= w; x0 += bw) {
        for (int y0 = 0; y0 <= h; y0 += bh) {
            int sumR = 0;
            int sumG = 0;
            int sumB = 0;
            int count = 0;
            forEachCell(x0, y0, [&](std::uint32_t cell) {
                sumR += channels::red(cell);
                sumG += channels::green(cell);
                sumB += channels::blue(cell);
                ++count;
            });
            const int r = rounding::divideHalfEven(sumR, count);
            const int g = rounding::divideHalfEven(sumG, count);
            const int b = rounding::divideHalfEven(sumB, count);
            forEachCell(x0, y0,
                        [&](std::uint32_t& cell) { cell = channels::withColour(cell, r, g, b); });
        }
    }
    WriteTilePixels(tile, grid);
}
