#pragma once

// Picture comparisons and runs of the libjpeg-turbo tools for the picture
// reading and writing tests.

#include <QBuffer>
#include <QDebug>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>

#include <algorithm>

namespace testpictures {

// How far two pictures differ per colour channel: everywhere 255 when their
// sizes differ.
struct Difference
{
    int largest = 0;
    double mean = 0;
};

inline Difference difference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return {255, 255};
    Difference d;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int c : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) {
                d.largest = std::max(d.largest, std::abs(c));
                d.mean += std::abs(c);
            }
        }
    d.mean /= 3.0 * a.width() * a.height();
    return d;
}

// The picture in that format ("ppm", "bmp", "jpeg"...).
inline QByteArray encoded(const QImage& image, const char* format, int quality = -1,
                          bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image) ? bytes : QByteArray();
}

// A program's standard output for that input; empty when it failed or is
// missing (cjpeg and djpeg come with libjpeg-turbo-progs).
inline QByteArray run(const QString& program, const QStringList& arguments, const QByteArray& input)
{
    QProcess process;
    process.start(QStandardPaths::findExecutable(program), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning() << program << arguments << process.readAllStandardError();
        return QByteArray();
    }
    return process.readAllStandardOutput();
}

// An 8-bit run-length (RLE8) bitmap of that size, palette and data.
inline QByteArray rle8Bmp(QSize size, const QByteArray& palette, const QByteArray& data)
{
    QByteArray bmp(54, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    const std::pair<int, qsizetype> fields[] = {{2, 54 + palette.size() + data.size()},
                                                {10, 54 + palette.size()},
                                                {14, 40},
                                                {18, size.width()},
                                                {22, size.height()},
                                                {26, 1 | 8 << 16},
                                                {30, 1},
                                                {46, palette.size() / 4}};
    for (const auto& [at, value] : fields)
        qToLittleEndian<quint32>(quint32(value), bmp.data() + at);
    return bmp + palette + data;
}

} // namespace testpictures
