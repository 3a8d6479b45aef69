#include "tile/RepeatPattern.h"

#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace RepeatPattern {

namespace {

// Blends the seam mark over a rectangle of picture, as QPainter's fillRect
// does (source over, Qt's rounding of a byte product), without its cost per
// span: a thousand one-pixel spans of a vertical seam took milliseconds.
void markSeam(QImage& picture, const QRect& line)
{
    const QRect area = line.intersected(picture.rect());
    const QRgb mark = qPremultiply(kSeamColour.rgba());
    const uint keep = 255 - qAlpha(mark);
    const auto byteMul = [](uint x, uint a) {
        uint t = (x & 0xff00ff) * a;
        t = ((t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
        x = ((x >> 8) & 0xff00ff) * a;
        x = (x + ((x >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
        return x | t;
    };
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = area.left(); x <= area.right(); ++x)
            row[x] = mark + byteMul(row[x], keep);
    }
}

// Marks the tile edges of a picture showing the tile repeated at scale
// (sx, sy), one pixel wide whatever the scale.
void drawSeams(QImage& picture, const QSize& tile, double sx, double sy)
{
    for (int k = 0;; ++k) {
        const int x = int(std::lround(k * tile.width() * sx));
        if (x >= picture.width())
            break;
        markSeam(picture, QRect(x, 0, 1, picture.height()));
    }
    for (int k = 0;; ++k) {
        const int y = int(std::lround(k * tile.height() * sy));
        if (y >= picture.height())
            break;
        markSeam(picture, QRect(0, y, picture.width(), 1));
    }
}

// One source pixel's share in a reduced pixel.
struct Tap
{
    int index; // within the tile
    float weight;
};

// For each of count reduced pixels, the source pixels its area covers at
// scale (reduced / source length), as indexes into a tile of period pixels
// repeated, with the covered part of each as its weight (summing to 1).
std::vector<std::vector<Tap>> areaTaps(int count, double scale, int period)
{
    std::vector<std::vector<Tap>> taps{std::size_t(count)};
    for (int i = 0; i < count; ++i) {
        const double lo = i / scale;
        const double hi = (i + 1) / scale;
        for (int j = int(std::floor(lo)); j < int(std::ceil(hi)); ++j) {
            const double part = std::min(j + 1.0, hi) - std::max(double(j), lo);
            if (part > 1e-9)
                taps[std::size_t(i)].push_back({j % period, float(part / (hi - lo))});
        }
    }
    return taps;
}

// Whether two reduced pixels cover the same parts of the tile (up to
// rounding in the last bits of the weights).
bool sameTaps(const std::vector<Tap>& a, const std::vector<Tap>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].index != b[i].index || std::abs(a[i].weight - b[i].weight) > 1e-6f)
            return false;
    return true;
}

// The tile repeated over screen and reduced to size by averaging each
// reduced pixel's area, without building the screen-sized picture: the rows
// of the tile are reduced once across, then every reduced row is the
// weighted sum of a few of those. Reduced rows that cover the same tile rows
// alike (the reduction repeats with the tile) are copied, not summed again.
QImage reducedRepeat(const QImage& tile, const QSize& screen, const QSize& size)
{
    const int w = tile.width();
    const int h = tile.height();
    const int outW = size.width();
    const std::size_t stride = std::size_t(3) * outW; // one row: red, green, blue planes
    const std::vector<std::vector<Tap>> across = areaTaps(outW, double(outW) / screen.width(), w);
    const std::vector<std::vector<Tap>> down =
        areaTaps(size.height(), double(size.height()) / screen.height(), h);

    // The tile's rows reduced across.
    std::vector<float> rows(stride * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(tile.constScanLine(y));
        float* r = rows.data() + stride * std::size_t(y);
        for (int x = 0; x < outW; ++x) {
            float sr = 0, sg = 0, sb = 0;
            for (const Tap& t : across[std::size_t(x)]) {
                sr += t.weight * float(qRed(in[t.index]));
                sg += t.weight * float(qGreen(in[t.index]));
                sb += t.weight * float(qBlue(in[t.index]));
            }
            r[x] = sr;
            r[outW + x] = sg;
            r[2 * outW + x] = sb;
        }
    }

    QImage out(size, QImage::Format_RGB32);
    std::vector<float> sum(stride);
    // The first reduced row seen for each first tap: a later row with the
    // same taps is a copy of it.
    std::vector<int> firstRowFor(std::size_t(h), -1);
    for (int y = 0; y < size.height(); ++y) {
        const std::vector<Tap>& taps = down[std::size_t(y)];
        int& seen = firstRowFor[std::size_t(taps.front().index)];
        if (seen >= 0 && sameTaps(down[std::size_t(seen)], taps)) {
            std::memcpy(out.scanLine(y), out.constScanLine(seen), std::size_t(outW) * 4);
            continue;
        }
        if (seen < 0)
            seen = y;
        // The first tap sets the sum, the others add to it.
        float* __restrict acc = sum.data();
        for (std::size_t k = 0; k < taps.size(); ++k) {
            const float* __restrict row = rows.data() + stride * std::size_t(taps[k].index);
            const float weight = taps[k].weight;
            if (k == 0) {
                for (std::size_t i = 0; i < stride; ++i)
                    acc[i] = weight * row[i];
            } else {
                for (std::size_t i = 0; i < stride; ++i)
                    acc[i] += weight * row[i];
            }
        }
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < outW; ++x)
            line[x] =
                qRgb(int(acc[x] + 0.5f), int(acc[outW + x] + 0.5f), int(acc[2 * outW + x] + 0.5f));
    }
    return out;
}

} // namespace

QImage cell(const QImage& tile, int factor, bool seams)
{
    if (tile.isNull() || factor < 1)
        return {};
    const QImage source = tile.convertToFormat(QImage::Format_RGB32);
    const int w = source.width();
    const int h = source.height();
    QImage out(w * factor, h * factor, QImage::Format_RGB32);
    // Each source row becomes factor rows of pixels repeated factor times;
    // the first of them is built, the others copied from it.
    for (int y = 0; y < h; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* first = reinterpret_cast<QRgb*>(out.scanLine(y * factor));
        for (int x = 0; x < w; ++x)
            std::fill_n(first + x * factor, factor, in[x]);
        for (int r = 1; r < factor; ++r)
            std::memcpy(out.scanLine(y * factor + r), first, size_t(out.width()) * sizeof(QRgb));
    }
    if (seams) {
        markSeam(out, QRect(0, 0, out.width(), 1));
        markSeam(out, QRect(0, 1, 1, out.height() - 1));
    }
    return out;
}

QImage repeated(const QImage& cell, const QSize& size)
{
    if (cell.isNull() || size.isEmpty())
        return {};
    QImage out(size, QImage::Format_RGB32);
    QPainter painter(&out);
    // A texture brush repeats its picture from the painter's origin, which is
    // the picture's top-left corner here.
    painter.fillRect(out.rect(), QBrush(cell));
    return out;
}

QImage desktopPicture(const QImage& tile, const QSize& screen)
{
    if (tile.isNull())
        return {};
    return repeated(tile.convertToFormat(QImage::Format_RGB32), screen);
}

QRect fitRect(const QSize& screen, const QSize& view)
{
    if (screen.isEmpty() || view.isEmpty())
        return {};
    const double scale = std::min(
        {1.0, double(view.width()) / screen.width(), double(view.height()) / screen.height()});
    const int w = std::clamp(int(std::lround(screen.width() * scale)), 1, view.width());
    const int h = std::clamp(int(std::lround(screen.height() * scale)), 1, view.height());
    return QRect((view.width() - w) / 2, (view.height() - h) / 2, w, h);
}

QImage fittedScreen(const QImage& tile, const QSize& screen, const QSize& view, bool seams)
{
    const QRect area = fitRect(screen, view);
    if (tile.isNull() || area.isEmpty())
        return {};
    if (area.size() == screen) {
        QImage out = desktopPicture(tile, screen);
        if (seams)
            drawSeams(out, tile.size(), 1.0, 1.0);
        return out;
    }
    const double sx = double(area.width()) / screen.width();
    const double sy = double(area.height()) / screen.height();
    QImage out = reducedRepeat(tile.convertToFormat(QImage::Format_RGB32), screen, area.size());
    if (seams)
        drawSeams(out, tile.size(), sx, sy);
    return out;
}

bool savePng(const QImage& picture, const QString& path, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(picture)) {
        if (error)
            *error = writer.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QString zoomWord(Zoom zoom)
{
    if (zoom == Zoom::FitScreen)
        return QStringLiteral("Screen");
    return QString::number(int(zoom));
}

Zoom zoomFromWord(const QString& word, Zoom fallback)
{
    const QString w = word.trimmed();
    if (w.compare(QLatin1String("Screen"), Qt::CaseInsensitive) == 0)
        return Zoom::FitScreen;
    bool ok = false;
    const int factor = w.toInt(&ok);
    if (ok && factor >= 1 && factor <= 4)
        return Zoom(factor);
    return fallback;
}

} // namespace RepeatPattern
