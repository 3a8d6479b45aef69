#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

// Reads a JPEG file with libjpeg-turbo at a reduced DCT scale (M/8).
//
// A file whose data ends before the picture does is refused: a scan that
// runs out of data, or scans missing at the end. Harmless faults real
// cameras' files carry are accepted: bytes between markers, a missing end
// marker after complete data.
//
// A file of several scans (progressive) is read only until every
// coefficient the picture at that scale needs is complete: at 1/8 scale
// that is, for components not scaled up by the decoder, the DC alone, which
// a progressive file usually completes in its first few scans. The picture
// is the same as from reading the whole file; a file cut after those scans
// is therefore accepted at that scale.
class JpegReader
{
public:
    explicit JpegReader(const QString& path);
    ~JpegReader();
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;

    // Whether the file starts like a JPEG (the start-of-image marker).
    static bool looksLikeJpeg(const QString& path);

    // Reads the markers up to the first scan; false with error() on failure.
    bool readHeader();
    // After readHeader: the stored size, before any EXIF turn.
    QSize size() const;
    // After readHeader: whether the decoder keeps every coefficient of the
    // picture in memory (progressive and multi-scan files).
    bool buffersWholePicture() const;
    // After readHeader: the EXIF orientation, 1 (as stored) to 8.
    int orientation() const;

    // Decodes at scale/8 (1 to 8) as Format_RGB32, not turned; its size is
    // the stored one times scale/8, rounded up. Null with error() on failure.
    QImage read(int scale);

    QString error() const { return m_error; }

    struct Decoder; // libjpeg's state

private:
    std::unique_ptr<Decoder> m_decoder;
    QString m_error;
};

// The picture as EXIF orientation (1 to 8) says it is shown.
QImage turnedForOrientation(const QImage& image, int orientation);
