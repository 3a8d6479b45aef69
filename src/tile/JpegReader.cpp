#include "tile/JpegReader.h"

#include <QFile>
#include <QTransform>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <jerror.h>
#include <jpeglib.h>

namespace {

constexpr size_t kInputBufferSize = 64 * 1024;
// libjpeg allocates beyond this never: a picture that would need more (its
// whole coefficient buffer) fails with an error instead.
constexpr long kMaxDecoderMemory = 256L * 1024 * 1024;
constexpr int kMaxRowsAtOnce = 16;
// Each scan of a progressive file passes over the whole picture: a small
// file of thousands of empty scans would keep the decoder busy for
// minutes. Real files have a few dozen at most.
constexpr int kMaxScans = 1000;

// Format_RGB32 keeps 0xffRRGGBB as a native word; libjpeg-turbo writes the
// pad byte as 0xff.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr J_COLOR_SPACE kRgb32 = JCS_EXT_BGRX;
#else
constexpr J_COLOR_SPACE kRgb32 = JCS_EXT_XRGB;
#endif

#if JPEG_LIB_VERSION >= 70
int scaledBlockSize(const jpeg_component_info& component)
{
    return std::max(component.DCT_h_scaled_size, component.DCT_v_scaled_size);
}
#else
int scaledBlockSize(const jpeg_component_info& component)
{
    return component.DCT_scaled_size;
}
#endif

// The orientation tag of IFD0 in an EXIF APP1 segment, 1 when absent.
int exifOrientation(const JOCTET* data, size_t size)
{
    if (size < 14 || std::memcmp(data, "Exif\0\0", 6) != 0)
        return 1;
    const JOCTET* tiff = data + 6;
    const size_t length = size - 6;
    const bool big = tiff[0] == 'M' && tiff[1] == 'M';
    if (!big && !(tiff[0] == 'I' && tiff[1] == 'I'))
        return 1;
    const auto u16 = [&](size_t at) -> size_t {
        return big ? size_t(tiff[at]) << 8 | tiff[at + 1] : size_t(tiff[at + 1]) << 8 | tiff[at];
    };
    const auto u32 = [&](size_t at) -> size_t {
        return big ? u16(at) << 16 | u16(at + 2) : u16(at + 2) << 16 | u16(at);
    };
    if (u16(2) != 42)
        return 1;
    const size_t ifd = u32(4);
    if (ifd > length || length - ifd < 2)
        return 1;
    const size_t entries = u16(ifd);
    for (size_t i = 0; i < entries; ++i) {
        const size_t entry = ifd + 2 + 12 * i;
        if (entry + 12 > length)
            break;
        if (u16(entry) == 0x0112) {
            const size_t value = u16(entry + 8);
            return value >= 1 && value <= 8 ? int(value) : 1;
        }
    }
    return 1;
}

} // namespace

struct JpegReader::Decoder
{
    struct Errors
    {
        jpeg_error_mgr pub;
        std::jmp_buf jump;
        char message[JMSG_LENGTH_MAX];
        int dataEndedEarly; // scans that ran out of data
    };
    // Reads the file in large chunks through a descriptor; the end of the
    // file reads as an end marker, as libjpeg's own sources do.
    struct Source
    {
        jpeg_source_mgr pub;
        int fd;
        JOCTET buffer[kInputBufferSize];
    };

    jpeg_decompress_struct info{};
    Errors errors{};
    Source source{};
    bool created = false;
    // Of a multi-scan sequential file: the components whose scan was read.
    bool componentRead[MAX_COMPONENTS] = {};
    bool complete = false;
    bool tooManyScans = false;

    ~Decoder()
    {
        if (created)
            jpeg_destroy_decompress(&info);
        if (source.fd >= 0)
            ::close(source.fd);
    }

    QString message() const { return QString::fromLatin1(errors.message); }
};

namespace {

using Decoder = JpegReader::Decoder;

void onError(j_common_ptr info)
{
    auto* errors = reinterpret_cast<Decoder::Errors*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// Warnings are counted, never printed. A scan that needs more data than
// there is before the next marker (or the end of the file) is the sign of
// a cut file; the end of the file alone is not: files without an end
// marker end there after complete data.
void onMessage(j_common_ptr info, int level)
{
    if (level >= 0)
        return;
    auto* errors = reinterpret_cast<Decoder::Errors*>(info->err);
    ++errors->pub.num_warnings;
    if (errors->pub.msg_code == JWRN_HIT_MARKER)
        ++errors->dataEndedEarly;
}

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr info)
{
    auto* source = reinterpret_cast<Decoder::Source*>(info->src);
    ssize_t got = 0;
    do
        got = ::read(source->fd, source->buffer, kInputBufferSize);
    while (got < 0 && errno == EINTR);
    if (got < 0)
        ERREXIT(info, JERR_FILE_READ);
    if (got == 0) {
        WARNMS(info, JWRN_JPEG_EOF);
        source->buffer[0] = 0xff;
        source->buffer[1] = JPEG_EOI;
        got = 2;
    }
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = size_t(got);
    return TRUE;
}

void skipInput(j_decompress_ptr info, long count)
{
    auto* source = reinterpret_cast<Decoder::Source*>(info->src);
    if (count <= 0)
        return;
    if (size_t(count) <= source->pub.bytes_in_buffer) {
        source->pub.next_input_byte += count;
        source->pub.bytes_in_buffer -= size_t(count);
        return;
    }
    long rest = count - long(source->pub.bytes_in_buffer);
    source->pub.bytes_in_buffer = 0;
    if (::lseek(source->fd, rest, SEEK_CUR) >= 0)
        return;
    while (rest > 0) { // not seekable: read through
        fillInput(info);
        const size_t taken = std::min(size_t(rest), source->pub.bytes_in_buffer);
        source->pub.next_input_byte += taken;
        source->pub.bytes_in_buffer -= taken;
        rest -= long(taken);
    }
}

// Whether every coefficient the output at the chosen scale reads is
// complete. A component decoded to one pixel a block needs its DC alone;
// one the decoder scales up by its inverse DCT (colour at half resolution
// at 1/8) reads its AC coefficients too, so needs them all.
bool neededCoefficientsComplete(const Decoder& d)
{
    const jpeg_decompress_struct& info = d.info;
    for (int c = 0; c < info.num_components; ++c) {
        if (!info.progressive_mode) {
            if (!d.componentRead[c])
                return false;
            continue;
        }
        const int last = scaledBlockSize(info.comp_info[c]) == 1 ? 0 : DCTSIZE2 - 1;
        for (int k = 0; k <= last; ++k) {
            if (info.coef_bits[c][k] != 0)
                return false;
        }
    }
    return true;
}

void noteScanComponents(Decoder& d)
{
    for (int i = 0; i < d.info.comps_in_scan; ++i)
        d.componentRead[d.info.cur_comp_info[i]->component_index] = true;
}

// The steps that call libjpeg. Each sets its own return point for errors,
// and no object with a destructor lives in them, so the jump back skips
// nothing but libjpeg's own C frames.

bool headerStep(Decoder& d)
{
    if (setjmp(d.errors.jump))
        return false;
    d.created = true;
    jpeg_create_decompress(&d.info);
    d.info.mem->max_memory_to_use = kMaxDecoderMemory;
    d.info.src = &d.source.pub;
    jpeg_save_markers(&d.info, JPEG_APP0 + 1, 0xffff);
    jpeg_read_header(&d.info, TRUE);
    noteScanComponents(d);
    return true;
}

bool startStep(Decoder& d, int scale)
{
    if (setjmp(d.errors.jump))
        return false;
    jpeg_decompress_struct& info = d.info;
    info.scale_num = JDIMENSION(scale);
    info.scale_denom = 8;
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : kRgb32;
    info.buffered_image = jpeg_has_multiple_scans(&info);
    // Block smoothing only guesses AC coefficients not yet read; the output
    // here never waits for those to matter.
    info.do_block_smoothing = FALSE;
    jpeg_start_decompress(&info);
    if (!info.buffered_image) {
        d.complete = true; // a single scan: whether its data ended early tells
        return true;
    }
    for (;;) {
        const int status = jpeg_consume_input(&info);
        if (status == JPEG_REACHED_SOS)
            noteScanComponents(d);
        if (status == JPEG_REACHED_EOI || status == JPEG_SUSPENDED)
            break;
        if (status == JPEG_SCAN_COMPLETED && neededCoefficientsComplete(d))
            break;
        if (info.input_scan_number > kMaxScans) {
            d.tooManyScans = true;
            return true;
        }
    }
    d.complete = neededCoefficientsComplete(d);
    jpeg_start_output(&info, info.input_scan_number);
    return true;
}

bool rowsStep(Decoder& d, uchar* bits, qsizetype bytesPerLine)
{
    if (setjmp(d.errors.jump))
        return false;
    jpeg_decompress_struct& info = d.info;
    const bool cmyk = info.out_color_space == JCS_CMYK;
    JSAMPARRAY cmykRow = cmyk ? (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info),
                                                          JPOOL_IMAGE, info.output_width * 4, 1)
                              : nullptr;
    JSAMPROW rows[kMaxRowsAtOnce];
    while (info.output_scanline < info.output_height) {
        const JDIMENSION y = info.output_scanline;
        JDIMENSION read = 0;
        if (cmyk) {
            read = jpeg_read_scanlines(&info, cmykRow, 1);
            // Inverted CMYK, as Adobe's programs write it and Qt reads it.
            const JSAMPLE* in = cmykRow[0];
            auto* out = reinterpret_cast<QRgb*>(bits + qsizetype(y) * bytesPerLine);
            for (JDIMENSION x = 0; x < info.output_width; ++x, in += 4) {
                const int k = in[3];
                out[x] = qRgb(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
            }
        } else {
            const JDIMENSION count = std::min<JDIMENSION>(kMaxRowsAtOnce, info.output_height - y);
            for (JDIMENSION i = 0; i < count; ++i)
                rows[i] = bits + qsizetype(y + i) * bytesPerLine;
            read = jpeg_read_scanlines(&info, rows, count);
        }
        if (read == 0)
            ERREXIT(&info, JERR_INPUT_EMPTY);
    }
    return true;
}

} // namespace

JpegReader::JpegReader(const QString& path) : m_decoder(std::make_unique<Decoder>())
{
    Decoder& d = *m_decoder;
    d.info.err = jpeg_std_error(&d.errors.pub);
    d.errors.pub.error_exit = onError;
    d.errors.pub.emit_message = onMessage;
    d.source.pub.init_source = initSource;
    d.source.pub.fill_input_buffer = fillInput;
    d.source.pub.skip_input_data = skipInput;
    d.source.pub.resync_to_restart = jpeg_resync_to_restart;
    d.source.pub.term_source = termSource;
    d.source.fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
}

JpegReader::~JpegReader() = default;

bool JpegReader::looksLikeJpeg(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(2) == QByteArrayView("\xff\xd8", 2);
}

bool JpegReader::readHeader()
{
    Decoder& d = *m_decoder;
    if (d.source.fd < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (!headerStep(d)) {
        m_error = QStringLiteral("the JPEG header is damaged (%1)").arg(d.message());
        return false;
    }
    return true;
}

QSize JpegReader::size() const
{
    return QSize(int(m_decoder->info.image_width), int(m_decoder->info.image_height));
}

bool JpegReader::buffersWholePicture() const
{
    return jpeg_has_multiple_scans(&m_decoder->info);
}

int JpegReader::orientation() const
{
    for (jpeg_saved_marker_ptr marker = m_decoder->info.marker_list; marker;
         marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1 && marker->data_length >= 6 &&
            std::memcmp(marker->data, "Exif\0\0", 6) == 0)
            return exifOrientation(marker->data, marker->data_length);
    }
    return 1;
}

QImage JpegReader::read(int scale)
{
    Decoder& d = *m_decoder;
    if (!startStep(d, scale)) {
        m_error = QStringLiteral("the JPEG data is damaged (%1)").arg(d.message());
        return QImage();
    }
    if (d.tooManyScans) {
        m_error = QStringLiteral("the JPEG file has more than %1 scans").arg(kMaxScans);
        return QImage();
    }
    QImage image(int(d.info.output_width), int(d.info.output_height), QImage::Format_RGB32);
    if (image.isNull()) {
        m_error = QStringLiteral("out of memory");
        return QImage();
    }
    if (!rowsStep(d, image.bits(), image.bytesPerLine())) {
        m_error = QStringLiteral("the JPEG data is damaged (%1)").arg(d.message());
        return QImage();
    }
    if (d.errors.dataEndedEarly > 0 || !d.complete) {
        m_error = QStringLiteral("the file is cut short");
        return QImage();
    }
    return image;
}

QImage turnedForOrientation(const QImage& image, int orientation)
{
    // Orientations 5 to 8 are turned a quarter after the mirroring.
    const bool mirror = orientation == 2 || orientation == 3 || orientation == 7;
    const bool flip = orientation == 3 || orientation == 4 || orientation == 5;
    QImage turned = (mirror || flip) ? image.mirrored(mirror, flip) : image;
    if (orientation >= 5 && orientation <= 7)
        turned = turned.transformed(QTransform().rotate(90));
    else if (orientation == 8)
        turned = turned.transformed(QTransform().rotate(270));
    return turned;
}
