#pragma once

#include <QImage>

#include <optional>

// The pixel effects on one tile picture (Format_RGB32, stays opaque). Each is
// a pass over the tile's PixelGrid in the program's exact loop order and
// rounding ("rounded" = nearest, ties to even; grayscale rounds down).

// Adds level to every channel, clamped to 0..255.
void ChangeBrightness(QImage& tile, int level);

// The brightness level of a percentage: percent * 255 as a 16-bit product
// (nullopt when it overflows, that is beyond +-128 %), then single-precision
// division by 100, rounded: 10 -> 26, -50 -> -128.
std::optional<int> CLightLevel(int percent);

// One 3 x 3 mean pass (neighbours only from grid columns and rows 1..W-1, 1..H-1).
void BlurFilter(QImage& tile);

// Mosaic of bw x bh blocks starting at grid row 0 (the black margin row).
void BlockFilter(QImage& tile, int bw, int bh);

// Grey relief lit from the upper left.
void EmbossFilter(QImage& tile);

// Plain mean of the three channels, rounded down.
void GrayFilter(QImage& tile);
