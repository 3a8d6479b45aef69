#include "effects/Channels.h"
#include "effects/Effects.h"
#include "effects/PixelGrid.h"
#include "effects/Rounding.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// The three channel sums of a cell side by side in 16-bit lanes of one word
// (nine values of at most 255 fit easily), so a neighbourhood sum is a few
// plain additions.
inline std::uint64_t spread(std::uint32_t v)
{
    return (std::uint64_t(channels::red(v)) << 32) | (std::uint64_t(channels::green(v)) << 16) |
           std::uint64_t(channels::blue(v));
}

} // namespace

void BlurFilter(QImage& tile)
{
    const PixelGrid source = ReadTilePixels(tile);
    const int w = source.width();
    const int h = source.height();
    // The result goes to a second grid, all zero, so every output value
    // depends on the input alone.
    PixelGrid output(w, h);

    // A neighbour (u, v) counts only when 0 < u < W and 0 < v < H: grid
    // column 0 (the picture's left column), grid row H (its bottom row) and
    // both margins never contribute, yet every cell gets the mean of what
    // does. With that rule the counted neighbours of cell x are the columns
    // max(x - 1, 1) .. min(x + 1, W - 1), and likewise for rows, so the sums
    // split into a row pass and a column pass.
    const auto firstCounted = [](int c) { return std::max(c - 1, 1); };
    const auto lastCounted = [](int c, int size) { return std::min(c + 1, size - 1); };

    // rowSums(x, y): sum over the counted columns around x, in grid row y.
    std::vector<std::uint64_t> rowSums(std::size_t(w + 1) * std::size_t(h + 1), 0);
    const auto rowSum = [&](int x, int y) -> std::uint64_t& {
        return rowSums[std::size_t(y) * std::size_t(w + 1) + std::size_t(x)];
    };
    for (int y = 1; y <= h - 1; ++y) {
        for (int x = 0; x <= w; ++x) {
            std::uint64_t sum = 0;
            for (int u = firstCounted(x); u <= lastCounted(x, w); ++u)
                sum += spread(source.at(u, y));
            rowSum(x, y) = sum;
        }
    }

    for (int y = 0; y <= h; ++y) {
        const int v0 = firstCounted(y);
        const int v1 = lastCounted(y, h);
        const int rows = std::max(v1 - v0 + 1, 0);
        for (int x = 0; x <= w; ++x) {
            const int columns = std::max(lastCounted(x, w) - firstCounted(x) + 1, 0);
            const int count = rows * columns;
            // No counted neighbour happens only for a picture one pixel wide
            // or high; such a cell keeps its zero instead of dividing by it.
            if (count == 0)
                continue;
            std::uint64_t sum = 0;
            for (int v = v0; v <= v1; ++v)
                sum += rowSum(x, v);
            const int r = rounding::divideHalfEven(int((sum >> 32) & 0xffff), count);
            const int g = rounding::divideHalfEven(int((sum >> 16) & 0xffff), count);
            const int b = rounding::divideHalfEven(int(sum & 0xffff), count);
            output.at(x, y) = channels::withColour(output.at(x, y), r, g, b);
        }
    }
    WriteTilePixels(tile, output);
}
