#include "effects/Channels.h"
#include "effects/Effects.h"
#include "effects/PixelGrid.h"
#include "effects/Rounding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace {

// The three channels of a cell side by side in 16-bit lanes of one word
// (nine values of at most 255 fit easily), so a neighbourhood sum is a few
// plain additions.
inline std::uint64_t spread(std::uint32_t v)
{
    return (std::uint64_t(channels::red(v)) << 32) | (std::uint64_t(channels::green(v)) << 16) |
           std::uint64_t(channels::blue(v));
}

template <int Count> std::uint32_t meanOf(std::uint32_t keep, std::uint64_t sum)
{
    return channels::withColour(keep, rounding::divideHalfEven(int((sum >> 32) & 0xffff), Count),
                                rounding::divideHalfEven(int((sum >> 16) & 0xffff), Count),
                                rounding::divideHalfEven(int(sum & 0xffff), Count));
}

// Means of nine neighbours, worked out once by the compiler: most cells
// have all nine.
constexpr auto kNinths = [] {
    std::array<std::uint8_t, 9 * 255 + 1> table{};
    for (int sum = 0; sum <= 9 * 255; ++sum)
        table[std::size_t(sum)] = std::uint8_t(rounding::divideHalfEven(sum, 9));
    return table;
}();

// The neighbourhood mean for the counts a grid can have, each with a
// constant divisor.
std::uint32_t mean(std::uint32_t keep, std::uint64_t sum, int count)
{
    switch (count) {
    case 9:
        return channels::withColour(keep, kNinths[(sum >> 32) & 0xffff],
                                    kNinths[(sum >> 16) & 0xffff], kNinths[sum & 0xffff]);
    case 6:
        return meanOf<6>(keep, sum);
    case 4:
        return meanOf<4>(keep, sum);
    case 3:
        return meanOf<3>(keep, sum);
    case 2:
        return meanOf<2>(keep, sum);
    case 1:
        return meanOf<1>(keep, sum);
    default:
        return keep; // no counted neighbour: the cell keeps its zero
    }
}

} // namespace

void BlurFilter(QImage& tile)
{
    const PixelGrid source = ReadTilePixels(tile);
    const int w = source.width();
    const int h = source.height();
    // The result goes to a second grid, all zero, so every output value
    // depends on the input alone (and the visiting order cannot show).
    PixelGrid output(w, h);

    // A neighbour (u, v) counts only when 0 < u < W and 0 < v < H: grid
    // column 0 (the picture's left column), grid row H (its bottom row) and
    // both margins never contribute, yet every cell gets the mean of what
    // does. So the sums run over a copy of the grid in which everything but
    // columns 1..W-1 of rows 1..H-1 reads as zero, padded with zeros all
    // round: every cell then simply sums its 3 x 3 block, first along the
    // rows, then down the columns. The count is the product of the counted
    // columns max(x - 1, 1) .. min(x + 1, W - 1) and the counted rows alike.
    // A cell with no counted neighbour (only in a picture one pixel wide or
    // high) keeps its zero instead of dividing by it.
    const auto span = [](int c, int size) {
        return std::max(std::min(c + 1, size - 1) - std::max(c - 1, 1) + 1, 0);
    };
    std::vector<int> columnCounts(std::size_t(w) + 1);
    for (int x = 0; x <= w; ++x)
        columnCounts[std::size_t(x)] = span(x, w);

    // rowSums holds grid rows -1..H+1 (rows outside 1..H-1 stay zero).
    const std::size_t stride = std::size_t(w) + 1;
    std::vector<std::uint64_t> rowSums(stride * (std::size_t(h) + 3), 0);
    const auto sumsOfRow = [&](int y) { return rowSums.data() + std::size_t(y + 1) * stride; };
    // One counted row, with a zero on either side: index u + 1 for u = -1..W+1.
    std::vector<std::uint64_t> counted(std::size_t(w) + 3, 0);
    for (int y = 1; y <= h - 1; ++y) {
        const std::uint32_t* cells = source.row(y);
        for (int u = 1; u <= w - 1; ++u)
            counted[std::size_t(u) + 1] = spread(cells[u]);
        std::uint64_t* sums = sumsOfRow(y);
        for (int x = 0; x <= w; ++x)
            sums[x] =
                counted[std::size_t(x)] + counted[std::size_t(x) + 1] + counted[std::size_t(x) + 2];
    }

    for (int y = 0; y <= h; ++y) {
        const std::uint64_t* above = sumsOfRow(y - 1);
        const std::uint64_t* here = sumsOfRow(y);
        const std::uint64_t* below = sumsOfRow(y + 1);
        const int rows = span(y, h);
        std::uint32_t* out = output.row(y);
        for (int x = 0; x <= w; ++x) {
            const std::uint64_t sum = above[x] + here[x] + below[x];
            out[x] = mean(out[x], sum, rows * columnCounts[std::size_t(x)]);
        }
    }
    WriteTilePixels(tile, output);
}
