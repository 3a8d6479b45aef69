#include "TestEnv.h"
#include "support/PictureChecks.h"
#include "support/TestInstall.h"

#include "tile/PictureLoader.h"

#include <QApplication>
#include <QImageReader>
#include <QPainter>
#include <QRandomGenerator>

#include <cstdio>
#include <jpeglib.h>

using namespace testpictures;
using namespace testsupport;

namespace {

// Hand-made GIFs (Qt reads GIF but does not write it).
// 4 x 4, palette red, green, blue, (9, 9, 9) with index 3 transparent; the
// first frame rows are indices 0, 1, 2, 3, a second frame is all green.
const QByteArray kTwoFrames = QByteArray::fromBase64(
    "R0lGODlhBAAEAJEAAP8AAAD/AAAA/wkJCSH5BAEAAAMALAAAAAAEAAQAAAIKBAgwYUKJEjduLAAh+QQBAAADACwAAAAA"
    "BAAEAAACCkyYMGHChAkTJiwAOw==");
// 4 x 4 whose one frame covers the top-left 2 x 2 only; the frame's width
// and height are at bytes 30 and 32.
const QByteArray kSmallFrame =
    QByteArray::fromBase64("R0lGODlhBAAEAJEAAP8AAAD/AAAAAAAAACwAAAAAAgACAAACA0yYsAA7");
// A fuzzer's find: 16 x 16, but its data ends after 202 pixels.
const QByteArray kShortData = QByteArray::fromBase64(
    "R0lGODlhEAAQAPAAAACAAAAAACH5BAAAAAAALAAAAAAQABAAAAIOhI+my+0Po5y02ouzPgUAOw==");

// An APP1 segment holding nothing but a big-endian EXIF Orientation tag of
// 6: the stored picture is shown turned 90 degrees clockwise.
const QByteArray kExifTurned("\xff\xe1\x00\x22"
                             "Exif\0\0MM\x00\x2a\x00\x00\x00\x08\x00\x01\x01\x12\x00\x03"
                             "\x00\x00\x00\x01\x00\x06\x00\x00\x00\x00\x00\x00",
                             36);

// Left half red, right half blue, the top-left quarter green, encoded: any
// turn or mirror shows.
QByteArray halves(int w, int h, const char* format, bool progressive = false)
{
    QImage image = flatImage(w, h, qRgb(0, 0, 255));
    QPainter(&image).fillRect(0, 0, w / 2, h, QColor(255, 0, 0));
    QPainter(&image).fillRect(0, 0, w / 2, h / 2, QColor(0, 255, 0));
    return encoded(image, format, 90, progressive);
}

// Where each scan header (SOS) of a JPEG starts.
QList<qsizetype> scanStarts(const QByteArray& jpeg)
{
    QList<qsizetype> starts;
    for (qsizetype at = jpeg.indexOf("\xff\xda"); at >= 0; at = jpeg.indexOf("\xff\xda", at + 2))
        starts.append(at);
    return starts;
}

// A CMYK JPEG of random inks as Adobe's programs write it (stored as YCCK,
// inverted).
QByteArray cmykJpeg(int w, int h)
{
    QImage inks(w, h, QImage::Format_RGBA8888); // four bytes a pixel, here C, M, Y, K
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(inks.bits()), w * h);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &bytes, &size);
    info.image_width = JDIMENSION(w);
    info.image_height = JDIMENSION(h);
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW line = inks.scanLine(int(info.next_scanline));
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    const QByteArray jpeg(reinterpret_cast<const char*>(bytes), qsizetype(size));
    std::free(bytes);
    return jpeg;
}

// Overwrites the frame size in the SOF marker of a baseline or progressive JPEG.
QByteArray withJpegFrameSize(QByteArray jpeg, int w, int h)
{
    const qsizetype at = std::max(jpeg.indexOf("\xff\xc0"), jpeg.indexOf("\xff\xc2"));
    const char size[] = {char(h >> 8), char(h), char(w >> 8), char(w)};
    return jpeg.replace(at + 5, 4, size, 4);
}

// What is done to a JPEG file made by cjpeg before it is read: nothing, cut
// half-way, cut in its first scan, cut before its second, third (after the DC
// scans of the scripts below) or last scan, its end marker cut off, bytes put
// between its markers, its frame size made 10000 x 10000.
enum Damage { Whole, Half, InScan1, AtScan2, AtScan3, AtLast, NoEnd, Between, Huge };

} // namespace

class tst_pictureloader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void loadsOrRefuses_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // null: no such file
        QTest::addColumn<QString>("error");    // empty: loaded; "*": any message
        QTest::addColumn<QImage>("expected");  // when loaded, if not null
        const auto row = [](const QString& what, const QByteArray& bytes,
                            const QString& error = "*", const QImage& expected = QImage()) {
            QTest::newRow(qPrintable(what)) << bytes << error << expected;
        };
        const QString cut = "the file is cut short";
        // A JPEG reads exactly as Qt's own reader gives it at the reduced size
        // (size as stored, before the EXIF turn).
        const auto asQt = [&](const QString& what, QByteArray jpeg, QSize size) {
            QBuffer buffer(&jpeg);
            QImageReader reader(&buffer);
            reader.setAutoTransform(true);
            reader.setScaledSize(size);
            row(what, jpeg, "", reader.read().convertToFormat(QImage::Format_RGB32));
        };
        // Small, kept; decoded at 1/8; progressive, 1/8, rounded down; 3/8,
        // rounded down; a strip below the tile height, kept.
        asQt("JPEG 160 x 120", halves(160, 120, "jpeg"), {160, 120});
        asQt("JPEG 4000 x 3000", halves(4000, 3000, "jpeg"), {500, 375});
        asQt("progressive JPEG 1200 x 900", halves(1200, 900, "jpeg", true), {150, 112});
        asQt("JPEG 300 x 299", halves(300, 299, "jpeg"), {112, 112});
        asQt("JPEG 800 x 90", halves(800, 90, "jpeg"), {800, 90});
        // Every EXIF orientation, on a picture decoded at 1/8: it is reduced
        // as stored to 200 x 100, then turned.
        for (int orientation = 1; orientation <= 8; ++orientation) {
            QByteArray exif = kExifTurned;
            exif[29] = char(orientation);
            asQt(QStringLiteral("JPEG of EXIF orientation %1").arg(orientation),
                 halves(1600, 800, "jpeg").insert(2, exif), {200, 100});
        }
        asQt("greyscale JPEG",
             encoded(randomImage(150, 100, 7).convertToFormat(QImage::Format_Grayscale8), "jpeg"),
             {150, 100});
        asQt("CMYK JPEG", cmykJpeg(120, 90), {120, 90});
        asQt("CMYK JPEG at 1/8", cmykJpeg(960, 800), {120, 100});

        // Files made by libjpeg-turbo's own encoder in every layout of scans
        // that takes its own way through the reader; each is read as the
        // picture's 1/8 and must give exactly what libjpeg-turbo's decoder
        // gives for the whole file at 1/8, or be refused.
        const QStringList colour444 = {"-sample", "1x1"}, progressive = {"-progressive"};
        const auto scans = [this](const char* name, const QByteArray& script) {
            writeBytes(m_dir.filePath(name), script);
            return QStringList{"-scans", m_dir.filePath(name)};
        };
        // Scan scripts: DC first, in two steps, then AC; greyscale; sequential,
        // one scan a component.
        const QStringList dcInSteps =
            scans("steps", "0,1,2: 0-0, 0, 1; 0,1,2: 0-0, 1, 0; 0: 1-5, 0, 0;"
                           "1: 1-63, 0, 0; 2: 1-63, 0, 0; 0: 6-63, 0, 0;");
        const QStringList greyInSteps =
            scans("grey", "0: 0-0, 0, 1; 0: 0-0, 1, 0; 0: 1-9, 0, 0; 0: 10-63, 0, 0;") +
            QStringList{"-grayscale"};
        const QStringList sequential = scans("sequential", "0; 1; 2;");
        const auto made = [&](const char* what, const QStringList& options, Damage damage,
                              bool whole, QSize size = {960, 800}) {
            const QByteArray jpeg =
                run("cjpeg", options, encoded(randomImage(size.width(), size.height(), 7), "ppm"));
            const QList<qsizetype> starts = scanStarts(jpeg);
            // In the order of Damage; a missing scan start reads as 0.
            const QList<QByteArray> damaged(
                {jpeg, jpeg.left(jpeg.size() / 2), jpeg.left((starts[0] + starts.value(1)) / 2),
                 jpeg.left(starts.value(1)), jpeg.left(starts.value(2)), jpeg.left(starts.last()),
                 jpeg.chopped(2), QByteArray(jpeg).insert(starts[0], "\x12\x34\x56"),
                 withJpegFrameSize(jpeg, 10000, 10000)});
            // Refused files are not compared.
            row(what, damaged[damage], whole ? "" : cut,
                QImage::fromData(run("djpeg", {"-scale", "1/8"}, jpeg))
                    .convertToFormat(QImage::Format_RGB32));
        };
        made("baseline 4:2:0", {}, Whole, true);
        made("baseline 4:4:4", colour444, Whole, true);
        made("baseline with restart markers", {"-restart", "1"}, Whole, true);
        made("progressive 4:2:0", progressive, Whole, true);
        made("progressive 4:4:4", progressive + colour444, Whole, true);
        made("multi-scan sequential", colour444 + sequential, Whole, true);
        made("greyscale progressive", greyInSteps, Whole, true);
        made("baseline cut half-way", {}, Half, false);
        made("baseline without its end marker", {}, NoEnd, true);
        made("baseline with bytes between markers", {}, Between, true);
        made("progressive cut after its DC scans", colour444 + dcInSteps, AtScan3, true);
        made("progressive cut before its last scan", progressive + colour444, AtLast, true);
        made("progressive cut in its first DC scan", colour444 + dcInSteps, InScan1, false);
        made("progressive 4:2:0 cut after its DC scans", dcInSteps, AtScan3, false);
        made("small progressive cut after its DC scans", colour444 + dcInSteps, AtScan3, false,
             {160, 120});
        made("greyscale progressive cut after its DC scans", greyInSteps, AtScan3, true);
        made("multi-scan sequential cut between its scans", colour444 + sequential, AtScan2, false);
        made("baseline claiming 10000 x 10000", {}, Huge, false);

        const QByteArray bmp37 = halves(37, 23, "bmp");
        row("BMP", bmp37, "", QImage::fromData(bmp37).convertToFormat(QImage::Format_RGB32));
        // A GIF gives its first frame, transparent parts on white.
        QImage firstFrame = flatImage(4, 4, qRgb(255, 255, 255));
        int y = 0;
        for (const QColor colour : {Qt::red, Qt::green, Qt::blue})
            QPainter(&firstFrame).fillRect(0, y++, 4, 1, colour);
        row("GIF of two frames", kTwoFrames, "", firstFrame);
        row("GIF with bytes after its trailer", kTwoFrames + "trailing", "", firstFrame);
        row("GIF whose frame leaves pixels undrawn", kSmallFrame, "");
        // kTwoFrames: first frame's data at 44..55, the second's at 75..86.
        row("GIF cut in the first frame", kTwoFrames.left(50), cut);
        row("GIF cut after the first frame", kTwoFrames.left(56),
            "the file ends before its trailer");
        row("GIF data ending before its pixels", kShortData,
            "the first frame's data ends before all its pixels");

        // 4 x 2 RLE8 bitmaps: palette black, red, blue; two rows: four red, then
        // four blue.
        const QByteArray palette("\0\0\0\0\0\0\xff\0\xff\0\0\0", 12),
            rows("\x04\x01\0\0\x04\x02", 6);
        row("RLE BMP whole", rle8Bmp({4, 2}, palette, rows + QByteArray("\0\x01", 2)), "");
        row("RLE BMP without its end marker", rle8Bmp({4, 2}, palette, rows), "");
        row("RLE BMP cut in a run", rle8Bmp({4, 2}, palette, rows.left(5)), cut);
        row("BMP with bytes after its pixels", halves(8, 4, "bmp") + "xx", "");
        const QByteArray bmp = halves(64, 48, "bmp"), jpeg = halves(64, 48, "jpeg");
        row("truncated BMP", bmp.left(bmp.size() / 2));
        // A fuzzer's find: row length times height overflowed in the length check.
        row("BMP whose pixel data length overflows",
            QByteArray::fromBase64(
                "Qk1GAAAAAAAAAEIAAAIAAAAEAEYAEwsAABMLAAADAAAAAAAAAAkAAAAAAAAA////AAAA/wAEEgAB"),
            "Unable to read image data");

        row("empty file", "", "the file is empty");
        row("missing file", QByteArray(), "no such file or folder");
        row("text", "This is not a picture.\n");
        row("JPEG cut in its header", jpeg.left(40));
        // Little-endian 60000: BMP width and height, GIF screen and frame sizes.
        QByteArray hugeBmp = bmp, hugeGif = kSmallFrame;
        for (const int at : {18, 22})
            qToLittleEndian<qint32>(60000, hugeBmp.data() + at);
        for (const int at : {6, 8, 30, 32})
            qToLittleEndian<quint16>(60000, hugeGif.data() + at);
        row("BMP claiming 60000 x 60000", hugeBmp);
        row("GIF claiming 60000 x 60000", hugeGif);
        row("JPEG claiming 60000 x 60000", withJpegFrameSize(jpeg, 60000, 60000));
        // A progressive file is buffered whole by the decoder: 8000 x 5000 is
        // already too much memory for it.
        QByteArray progressiveJpeg = halves(64, 48, "jpeg", true);
        row("progressive JPEG claiming 8000 x 5000",
            withJpegFrameSize(progressiveJpeg, 8000, 5000));
        // Every scan passes over the whole picture: thousands of them would
        // keep the decoder busy for minutes on a large frame.
        const QList<qsizetype> at = scanStarts(progressiveJpeg);
        row("progressive JPEG of 1000 scans",
            progressiveJpeg.insert(at[1],
                                   progressiveJpeg.mid(at[0], at[1] - at[0]).repeated(1000)));
    }

    void loadsOrRefuses()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QFETCH(QImage, expected);
        // Every file has the same name: the content decides, not the name.
        const QString path = m_dir.filePath("picture.jpg");
        QFile::remove(path);
        QVERIFY(bytes.isNull() || writeBytes(path, bytes));
        const LoadedPicture loaded = PictureLoader::load(path);
        if (error.isEmpty()) {
            QVERIFY2(loaded.ok(), qPrintable(loaded.error));
            QCOMPARE(loaded.image.format(), QImage::Format_RGB32);
            if (!expected.isNull())
                QCOMPARE(loaded.image, expected);
            // Qt's reader may leave pixels that no frame data reached with a
            // top byte other than 0xff; the tiles and effects count on opaque pixels.
            QCOMPARE(rawWords(loaded.image), loaded.image.convertToFormat(QImage::Format_ARGB32));
        } else if (error == "*") {
            QVERIFY(loaded.image.isNull() && !loaded.error.isEmpty());
        } else {
            QCOMPARE(loaded.error, QStringLiteral("Cannot load %1: %2").arg(path, error));
        }
    }
};

QUILTON_TEST_MAIN(tst_pictureloader)
#include "tst_pictureloader.moc"
