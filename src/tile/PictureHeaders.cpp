#include "tile/PictureHeaders.h"

#include <QByteArray>
#include <QIODevice>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>

namespace PictureHeaders {

namespace {

Check damaged(const QString& why, QSize canvas = QSize())
{
    Check check;
    check.why = why;
    check.canvas = canvas;
    return check;
}

Check whole(QSize canvas)
{
    Check check;
    check.whole = true;
    check.canvas = canvas;
    return check;
}

quint32 u16At(const QByteArray& bytes, int at)
{
    return quint32(uchar(bytes[at])) | (quint32(uchar(bytes[at + 1])) << 8);
}

quint32 u32At(const QByteArray& bytes, int at)
{
    return u16At(bytes, at) | (u16At(bytes, at + 2) << 16);
}

int clampedSide(qint64 side)
{
    return int(std::min<qint64>(std::abs(side), INT_MAX));
}

int readByte(QIODevice& device)
{
    char c = 0;
    return device.getChar(&c) ? int(uchar(c)) : -1;
}

bool skipBytes(QIODevice& device, qint64 count)
{
    return count <= 0 || device.skip(count) == count;
}

// Whether a BMP's run-length data (RLE8 or RLE4) covers the picture before
// the file ends: it reaches its end-of-bitmap escape, or its position has
// left the last row. The data is read, never expanded.
bool rleReachesEnd(QIODevice& device, qint64 width, qint64 height, bool fourBit)
{
    qint64 x = 0;
    qint64 y = 0;
    const auto rowsDone = [&] { return y >= height || (y == height - 1 && x >= width); };
    for (;;) {
        const int count = readByte(device);
        const int value = readByte(device);
        if (count < 0 || value < 0)
            return rowsDone();
        if (count > 0) {
            x += count; // a run of count pixels
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            return true;
        } else if (value == 2) { // move right dx and down dy
            const int dx = readByte(device);
            const int dy = readByte(device);
            if (dx < 0 || dy < 0)
                return rowsDone();
            x += dx;
            y += dy;
        } else { // value pixels stored as they are, padded to a 16-bit boundary
            const qint64 bytes = fourBit ? (value + 1) / 2 : value;
            if (!skipBytes(device, bytes + (bytes & 1)))
                return rowsDone();
            x += value;
        }
        if (y >= height)
            return true; // anything after the last row is never read
    }
}

// Counts the pixels a GIF frame's LZW data gives, without producing them:
// each table entry is known by its length alone.
class LzwPixelCounter
{
public:
    explicit LzwPixelCounter(int minCodeSize)
        : m_minCodeSize(minCodeSize), m_clear(1 << minCodeSize), m_end(m_clear + 1)
    {
        m_lengths.fill(1);
        restart();
    }

    // Takes the next data bytes; false once the data has ended (end code or
    // a code that cannot be decoded), after which bytes are ignored.
    bool feed(const char* data, qint64 size)
    {
        for (qint64 i = 0; i < size && !m_ended; ++i) {
            m_bits |= quint32(uchar(data[i])) << m_bitCount;
            m_bitCount += 8;
            while (!m_ended && m_bitCount >= m_codeSize) {
                const int code = int(m_bits & ((1u << m_codeSize) - 1));
                m_bits >>= m_codeSize;
                m_bitCount -= m_codeSize;
                take(code);
            }
        }
        return !m_ended;
    }

    qint64 pixels() const { return m_pixels; }

private:
    void restart()
    {
        m_codeSize = m_minCodeSize + 1;
        m_next = m_end + 1;
        m_previous = -1;
    }

    void take(int code)
    {
        if (code == m_clear) {
            restart();
            return;
        }
        if (code == m_end || (m_previous < 0 && code > m_clear) || code > m_next ||
            (code == m_next && m_previous < 0)) {
            m_ended = true;
            return;
        }
        if (m_previous < 0) {
            m_pixels += 1;
            m_previous = code;
            return;
        }
        // A code just beyond the table stands for the previous string and
        // its own first pixel: one pixel longer than the previous.
        m_pixels += code < m_next ? m_lengths[code] : m_lengths[m_previous] + 1;
        if (m_next < kTableSize) {
            m_lengths[m_next] = m_lengths[m_previous] + 1;
            ++m_next;
            if (m_next == (1 << m_codeSize) && m_codeSize < kMaxCodeSize)
                ++m_codeSize;
        }
        m_previous = code;
    }

    static constexpr int kMaxCodeSize = 12;
    static constexpr int kTableSize = 1 << kMaxCodeSize;
    const int m_minCodeSize;
    const int m_clear;
    const int m_end;
    std::array<qint64, kTableSize> m_lengths{};
    int m_codeSize = 0;
    int m_next = 0;
    int m_previous = -1;
    quint32 m_bits = 0;
    int m_bitCount = 0;
    qint64 m_pixels = 0;
    bool m_ended = false;
};

// Follows a chain of GIF data sub-blocks to its empty terminator, handing
// each block to counter when given one. False when the file ends first.
bool walkSubBlocks(QIODevice& device, LzwPixelCounter* counter)
{
    char block[255];
    for (;;) {
        const int length = readByte(device);
        if (length < 0)
            return false;
        if (length == 0)
            return true;
        if (!counter) {
            if (!skipBytes(device, length))
                return false;
        } else {
            if (device.read(block, length) != length)
                return false;
            counter->feed(block, length);
        }
    }
}

} // namespace

Check checkBmp(QIODevice& device)
{
    const QByteArray header = device.read(34);
    if (header.size() < 2 || !header.startsWith("BM"))
        return whole(QSize()); // not a plain Windows bitmap: left to Qt's checks
    if (header.size() < 18)
        return damaged(QStringLiteral("the file is cut short in its header"));
    const qint64 dataOffset = u32At(header, 10);
    const quint32 infoSize = u32At(header, 14);
    qint64 width = 0;
    qint64 height = 0;
    quint32 bitsPerPixel = 0;
    quint32 compression = 0;
    if (infoSize == 12 && header.size() >= 26) { // OS/2 header: 16-bit sizes
        width = u16At(header, 18);
        height = u16At(header, 20);
        bitsPerPixel = u16At(header, 24);
    } else if (infoSize != 12 && header.size() >= 34) {
        width = qint32(u32At(header, 18));
        height = qint32(u32At(header, 22));
        bitsPerPixel = u16At(header, 28);
        compression = u32At(header, 30);
    } else {
        return damaged(QStringLiteral("the file is cut short in its header"));
    }
    const QSize canvas(clampedSide(width), clampedSide(height));
    width = std::abs(width);
    height = std::abs(height);
    const Check cut = damaged(QStringLiteral("the file is cut short"), canvas);

    constexpr quint32 kRgb = 0;
    constexpr quint32 kRle8 = 1;
    constexpr quint32 kRle4 = 2;
    constexpr quint32 kBitFields = 3;
    constexpr quint32 kAlphaBitFields = 6;
    if (compression == kRle8 || compression == kRle4) {
        if (dataOffset > device.size() || !device.seek(dataOffset))
            return cut;
        return rleReachesEnd(device, width, height, compression == kRle4) ? whole(canvas) : cut;
    }
    if (compression != kRgb && compression != kBitFields && compression != kAlphaBitFields)
        return whole(canvas); // a kind Qt does not read: it refuses the file itself
    // Rows of 32-bit words; compared by division, since a lying header's
    // product of row length and height overflows.
    const qint64 rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
    const qint64 available = device.size() - dataOffset;
    const bool fits =
        rowBytes == 0 || height == 0 || (available >= 0 && rowBytes <= available / height);
    return fits ? whole(canvas) : cut;
}

Check checkGif(QIODevice& device)
{
    const QByteArray header = device.read(13);
    if (header.size() < 13 || !header.startsWith("GIF8"))
        return damaged(QStringLiteral("the GIF header is cut short"));
    QSize canvas(int(u16At(header, 6)), int(u16At(header, 8)));
    const auto colourTableBytes = [](int flags) {
        return (flags & 0x80) ? 3 << ((flags & 7) + 1) : 0;
    };
    const Check cut = damaged(QStringLiteral("the file is cut short"), canvas);
    if (!skipBytes(device, colourTableBytes(uchar(header[10]))))
        return cut;

    bool firstFrame = true;
    for (;;) {
        const int introducer = readByte(device);
        if (introducer < 0)
            return damaged(QStringLiteral("the file ends before its trailer"), canvas);
        if (introducer == 0x3b) // trailer: anything after it is never read
            return whole(canvas);
        if (introducer == 0x21) { // extension: label, then sub-blocks
            if (readByte(device) < 0 || !walkSubBlocks(device, nullptr))
                return cut;
            continue;
        }
        if (introducer != 0x2c)
            return damaged(QStringLiteral("the file holds an unknown block"), canvas);

        const QByteArray frame = device.read(9);
        if (frame.size() < 9 || !skipBytes(device, colourTableBytes(uchar(frame[8]))))
            return cut;
        const int minCodeSize = readByte(device);
        if (minCodeSize < 0)
            return cut;
        if (!firstFrame) {
            if (!walkSubBlocks(device, nullptr))
                return cut;
            continue;
        }
        firstFrame = false;
        const int left = int(u16At(frame, 0));
        const int top = int(u16At(frame, 2));
        const int width = int(u16At(frame, 4));
        const int height = int(u16At(frame, 6));
        canvas = canvas.expandedTo(QSize(left + width, top + height));
        if (minCodeSize < 1 || minCodeSize > 11)
            return damaged(QStringLiteral("the first frame's data is damaged"), canvas);
        LzwPixelCounter counter(minCodeSize);
        if (!walkSubBlocks(device, &counter))
            return damaged(QStringLiteral("the file is cut short"), canvas);
        if (counter.pixels() < qint64(width) * height)
            return damaged(QStringLiteral("the first frame's data ends before all its pixels"),
                           canvas);
    }
}

} // namespace PictureHeaders
