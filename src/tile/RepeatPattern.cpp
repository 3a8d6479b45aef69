#include "tile/RepeatPattern.h"

#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace RepeatPattern {

namespace {

// Blends the seam mark over a rectangle of picture.
void markSeam(QImage& picture, const QRect& line)
{
    QPainter painter(&picture);
    painter.fillRect(line, kSeamColour);
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
    QImage out = desktopPicture(tile, screen);
    if (area.size() != screen)
        out = out.scaled(area.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (seams) {
        const double sx = double(area.width()) / screen.width();
        const double sy = double(area.height()) / screen.height();
        QPainter painter(&out);
        for (int k = 0;; ++k) {
            const int x = int(std::lround(k * tile.width() * sx));
            if (x >= out.width())
                break;
            painter.fillRect(QRect(x, 0, 1, out.height()), kSeamColour);
        }
        for (int k = 0;; ++k) {
            const int y = int(std::lround(k * tile.height() * sy));
            if (y >= out.height())
                break;
            painter.fillRect(QRect(0, y, out.width(), 1), kSeamColour);
        }
    }
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
