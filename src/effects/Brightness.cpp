#include "effects/Channels.h"
#include "effects/Effects.h"
#include "effects/PixelGrid.h"
#include "effects/Rounding.h"

#include <cstdint>
#include <limits>

void ChangeBrightness(QImage& tile, int level)
{
    PixelGrid grid = ReadTilePixels(tile);
    const int w = grid.width();
    const int h = grid.height();
    // The whole grid, margins included, column by column; each channel on
    // its own, so repeated steps drift towards white or black.
    for (int x = 0; x <= w; ++x) {
        for (int y = 0; y <= h; ++y) {
            std::uint32_t& cell = grid.at(x, y);
            cell = channels::withColour(cell, channels::clampByte(channels::red(cell) + level),
                                        channels::clampByte(channels::green(cell) + level),
                                        channels::clampByte(channels::blue(cell) + level));
        }
    }
    WriteTilePixels(tile, grid);
}

std::optional<int> CLightLevel(int percent)
{
    // The percentage times 255 is a 16-bit product: beyond +-128 % it
    // overflows, and the caller gets no level at all.
    const long long product = static_cast<long long>(percent) * 255;
    if (product < std::numeric_limits<std::int16_t>::min() ||
        product > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    // Single precision on purpose: the levels of the batch choices follow
    // from it (25.5 -> 26, -127.5 -> -128).
    const float level = static_cast<float>(product) / 100.0f;
    return static_cast<int>(rounding::halfEven(static_cast<double>(level)));
}
