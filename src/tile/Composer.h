#pragma once

#include <QImage>
#include <QSize>

// The tile composer: four mirror-symmetric designs from one source picture.
//
// S is the source stretched to W x H (area-averaging downscale; a source of
// exactly W x H passes through unchanged). V, M, O, R are S mirrored top to
// bottom, left to right, not at all, and both. Drawn in the order V, M, O, R
// over a white background BG, combined per colour channel:
//   A = V AND M AND O AND R      B = V OR M OR O OR R
//   C = V XOR M XOR O XOR R      D0 = ((BG XOR V) XOR M) OR O OR R,
//   D(x, y) = D0(x, y) AND D0(x, H-1-y)
// so every tile is symmetric about both centre lines. The chamfer is a band
// of RGB(100, 100, 100) two pixels wide inside all four edges. Results are
// Format_RGB32 and opaque: only the three colour channels are combined.
namespace Composer {

inline constexpr int kTileWidth = 100;
inline constexpr int kTileHeight = 100;
inline constexpr int kHalfTileHeight = 50;
inline constexpr QRgb kBackground = 0xffffffff;
inline constexpr QRgb kChamferColour = 0xff646464;

// 100 x 100, or 100 x 50 at half size.
QSize tileSize(bool half);

// The source stretched to size, as Format_RGB32.
QImage stretch(const QImage& source, QSize size);

// Tile index 0 to 3 (A to D) of the given stretched source S.
QImage composeFromStretched(const QImage& stretched, int index, bool chamfer);

// Tile index 0 to 3 composed from the source picture.
QImage compose(const QImage& source, int index, bool half, bool chamfer);

} // namespace Composer
