#include "effects/mContrast.h"

#include "effects/Rounding.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace mContrast {

namespace {

// Every channel value maps to the same result, so one table serves all.
std::array<std::uint8_t, 256> contrastTable(int strength)
{
    std::array<std::uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        const double stretched = (double(strength) * (v - 128) + double(v) * 100) / 100.0;
        const double rounded = rounding::halfEven(stretched);
        table[std::size_t(v)] = std::uint8_t(std::clamp(rounded, 0.0, 255.0));
    }
    return table;
}

} // namespace

void ApplyContrast(const QImage& src, int w, int h, QImage& dst, int strength)
{
    if (strength < 0 || strength > 100)
        return;
    if (src.isNull() || dst.isNull())
        return;
    const auto table = contrastTable(strength);

    const int width = std::min({w, src.width(), dst.width()});
    const int height = std::min({h, src.height(), dst.height()});
    if (width <= 0 || height <= 0)
        return;
    const bool direct =
        src.format() == QImage::Format_RGB32 || src.format() == QImage::Format_ARGB32;
    const QImage converted = direct ? QImage() : src.convertToFormat(QImage::Format_RGB32);
    if (dst.format() != QImage::Format_RGB32)
        dst = dst.convertToFormat(QImage::Format_RGB32);

    for (int y = 0; y < height; ++y) {
        // The destination row first: taking it may detach dst, and src may be
        // the very same image (the menu passes the tile as both). Each pixel
        // is read before it is written, so working in place is safe.
        auto* out = reinterpret_cast<QRgb*>(dst.scanLine(y));
        const auto* in = reinterpret_cast<const QRgb*>((direct ? src : converted).constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb c = in[x];
            out[x] = qRgb(table[std::size_t(qRed(c))], table[std::size_t(qGreen(c))],
                          table[std::size_t(qBlue(c))]);
        }
    }
}

} // namespace mContrast
