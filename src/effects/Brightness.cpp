#include "effects/Channels.h"
#include "effects/Effects.h"
#include "effects/PixelGrid.h"
#include "effects/Rounding.h"

#include <array>
#include <cstdint>
#include <limits>

void ChangeBrightness(QImage& tile, int level)
{
    PixelGrid grid = ReadTilePixels(tile);
    std::array<std::uint8_t, 256> shifted{};
    for (int v = 0; v < 256; ++v)
        shifted[std::size_t(v)] = std::uint8_t(channels::clampByte(v + level));
    // Every cell of the grid, margins included, each channel on its own:
    // repeated steps drift towards white or black. A cell depends on itself
    // alone, so visiting row by row gives what the column-by-column visit
    // of the grid gives.
    for (int y = 0; y <= grid.height(); ++y) {
        std::uint32_t* cells = grid.row(y);
        for (int x = 0; x <= grid.width(); ++x) {
            const std::uint32_t cell = cells[x];
            cells[x] = channels::withColour(cell, shifted[std::size_t(channels::red(cell))],
                                            shifted[std::size_t(channels::green(cell))],
                                            shifted[std::size_t(channels::blue(cell))]);
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
