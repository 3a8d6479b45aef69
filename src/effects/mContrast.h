#pragma once

#include <QImage>

// Contrast: every channel v of the w x h square at the top-left corner of src
// becomes round_half_even((s * (v - 128) + v * 100) / 100.0), clamped to
// 0..255, written to the same square of dst (clipped to both pictures).
// Strengths outside 0..100 draw nothing. src and dst may be the same image.
namespace mContrast {

void ApplyContrast(const QImage& src, int w, int h, QImage& dst, int strength);

} // namespace mContrast
