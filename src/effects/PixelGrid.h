#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

// The working grid of the pixel effects: (W + 1) x (H + 1) values 0x00RRGGBB
// (blue in the lowest byte), indexed (x, y) with x = 0..W, y = 0..H.
//
// After readTilePixels it holds, as the tile's own pixel transfer leaves it:
//   x = 0..W-1, y = 1..H : picture pixel (x, y - 1);
//   row 0                : black (a margin row above the picture);
//   column W, y = 1..H   : grid(0, y - 1), the first pixel of the row above
//                          (so grid(W, 1) is 0).
// Filters run over all of it, margins included, which is why the margins must
// be exactly these values. writeTilePixels puts back x = 0..W-1, y = 1..H only.
class PixelGrid
{
public:
    PixelGrid(int w, int h) : m_w(w), m_h(h), m_cells(std::size_t(w + 1) * (h + 1), 0) {}

    int width() const { return m_w; }   // W: picture width
    int height() const { return m_h; }  // H: picture height
    std::uint32_t& at(int x, int y) { return m_cells[std::size_t(y) * (m_w + 1) + x]; }
    std::uint32_t at(int x, int y) const { return m_cells[std::size_t(y) * (m_w + 1) + x]; }
    // Grid row y as W + 1 consecutive cells (x = 0..W).
    std::uint32_t* row(int y) { return m_cells.data() + std::size_t(y) * (m_w + 1); }
    const std::uint32_t* row(int y) const { return m_cells.data() + std::size_t(y) * (m_w + 1); }

private:
    int m_w;
    int m_h;
    std::vector<std::uint32_t> m_cells;
};

PixelGrid ReadTilePixels(const QImage& tile);
void WriteTilePixels(QImage& tile, const PixelGrid& grid);
