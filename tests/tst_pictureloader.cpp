#include "TestEnv.h"
#include "support/PictureChecks.h"
#include "support/TestInstall.h"

#include "tile/PictureLoader.h"

#include <QApplication>
#include <QColorSpace>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>
#include <jpeglib.h>

using testpictures::encoded;
using testpictures::run;

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

// A 4 x 2 RLE8 bitmap of the given run-length data; palette black, red, blue.
QByteArray rle8Bmp(const QByteArray& data)
{
    return testpictures::rle8Bmp({4, 2}, QByteArray("\0\0\0\0\0\0\xff\0\xff\0\0\0", 12), data);
}

// An APP1 segment holding nothing but a big-endian EXIF Orientation tag of
// 6: the stored picture is shown turned 90 degrees clockwise.
const QByteArray kExifTurned("\xff\xe1\x00\x22"
                             "Exif\0\0MM\x00\x2a\x00\x00\x00\x08\x00\x01\x01\x12\x00\x03"
                             "\x00\x00\x00\x01\x00\x06\x00\x00\x00\x00\x00\x00",
                             36);

// Left half red, right half blue, encoded: any turn or mirror shows.
QByteArray halves(int w, int h, const char* format, bool progressive = false)
{
    QImage image = testsupport::flatImage(w, h, qRgb(0, 0, 255));
    QPainter(&image).fillRect(0, 0, w / 2, h, QColor(255, 0, 0));
    return encoded(image, format, 90, progressive);
}

// A picture with detail everywhere (so every coefficient matters), sharp
// colour edges and smooth parts.
QImage detailedPicture(int w, int h)
{
    QImage image = testsupport::randomImage(w, h, 7);
    QPainter painter(&image);
    for (int i = 0; i < 8; ++i)
        painter.fillRect(i * w / 8, i * h / 16, w / 5, h / 3, QColor::fromHsv(i * 45, 255, 200));
    QLinearGradient gradient(0, 0, w, h);
    gradient.setColorAt(0, Qt::yellow);
    gradient.setColorAt(1, Qt::darkCyan);
    painter.fillRect(w / 2, h / 2, w / 2, h / 2, gradient);
    return image;
}

// What is done to a JPEG file before it is read (CutBeforeThirdScan: after
// the DC scans of the scripts below).
enum Damage {
    Whole,
    CutAfterFirstScanHeader,
    CutHalfWay,
    CutInFirstScan,
    CutBeforeSecondScan,
    CutBeforeThirdScan,
    CutBeforeLastScan,
    NoEndMarker,
    BytesBetweenMarkers,
    Claims10000
};

// Where each scan header (SOS) of a JPEG starts.
QList<qsizetype> scanStarts(const QByteArray& jpeg)
{
    QList<qsizetype> starts;
    for (qsizetype at = jpeg.indexOf("\xff\xda"); at >= 0; at = jpeg.indexOf("\xff\xda", at + 2))
        starts.append(at);
    return starts;
}

// A CMYK JPEG as Adobe's programs write it (stored as YCCK, inverted).
QByteArray cmykJpeg(const QImage& picture)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &bytes, &size);
    info.image_width = JDIMENSION(picture.width());
    info.image_height = JDIMENSION(picture.height());
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    QByteArray row(picture.width() * 4, '\0');
    while (info.next_scanline < info.image_height) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, int(info.next_scanline));
            const int k = std::max({qRed(p), qGreen(p), qBlue(p), 1});
            const char cmyk[] = {char(qRed(p) * 255 / k), char(qGreen(p) * 255 / k),
                                 char(qBlue(p) * 255 / k), char(k)};
            row.replace(4 * x, 4, cmyk, 4);
        }
        auto* line = reinterpret_cast<JSAMPLE*>(row.data());
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

} // namespace

class tst_pictureloader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void jpegAsQtReadsIt_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::addColumn<QSize>("shown");
        // Small, kept; decoded at 1/8; progressive, 1/8, rounded down; 3/8,
        // rounded down; a strip below the tile height, kept.
        for (const auto& [stored, progressive, shown] :
             {std::tuple(QSize(160, 120), false, QSize(160, 120)),
              {QSize(4000, 3000), false, QSize(500, 375)},
              {QSize(1200, 900), true, QSize(150, 112)},
              {QSize(300, 299), false, QSize(112, 112)},
              {QSize(800, 90), false, QSize(800, 90)}})
            QTest::addRow("%dx%d%s", stored.width(), stored.height(),
                          progressive ? " progressive" : "")
                << halves(stored.width(), stored.height(), "jpeg", progressive) << shown;
        // Every EXIF orientation, on a small picture and one decoded at 1/8: the
        // picture is reduced as stored, then turned.
        for (const QSize stored : {QSize(180, 90), QSize(1600, 800)}) {
            for (int orientation = 1; orientation <= 8; ++orientation) {
                QByteArray exif = kExifTurned;
                exif[29] = char(orientation);
                const QSize reduced = PictureLoader::reducedSize(stored);
                QTest::addRow("%dx%d, EXIF orientation %d", stored.width(), stored.height(),
                              orientation)
                    << halves(stored.width(), stored.height(), "jpeg").insert(2, exif)
                    << (orientation >= 5 ? reduced.transposed() : reduced);
            }
        }
        QTest::newRow("greyscale")
            << encoded(detailedPicture(150, 100).convertToFormat(QImage::Format_Grayscale8), "jpeg")
            << QSize(150, 100);
        QTest::newRow("CMYK") << cmykJpeg(detailedPicture(120, 90)) << QSize(120, 90);
        QTest::newRow("CMYK at 1/8") << cmykJpeg(detailedPicture(960, 800)) << QSize(120, 100);
    }

    void jpegAsQtReadsIt()
    {
        QFETCH(QByteArray, jpeg);
        QFETCH(QSize, shown);
        QVERIFY(testsupport::writeBytes(m_dir.filePath("picture.jpg"), jpeg));
        const QImage image = PictureLoader::load(m_dir.filePath("picture.jpg")).image;
        QCOMPARE(image.size(), shown);
        QImageReader reader(m_dir.filePath("picture.jpg"));
        reader.setAutoTransform(true);
        reader.setScaledSize(PictureLoader::reducedSize(reader.size()));
        QImage expected = reader.read().convertToFormat(QImage::Format_RGB32);
        expected.setColorSpace(QColorSpace());
        QCOMPARE(image, expected);
    }

    // Files made by libjpeg-turbo's own encoder in every layout of scans; each
    // is read as the picture's 1/8 and must give exactly what libjpeg-turbo's
    // decoder gives for the whole file at 1/8.
    void jpegReadAsFarAsNeeded_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("damage");
        QTest::addColumn<bool>("whole"); // accepted as the whole file's picture, or refused

        const QSize big(960, 800), small(160, 120);
        const QStringList colour444 = {"-sample", "1x1"}, progressive = {"-progressive"};
        const auto scans = [this](const char* name, const QByteArray& script) {
            testsupport::writeBytes(m_dir.filePath(name), script);
            return QStringList{"-scans", m_dir.filePath(name)};
        };
        // Scan scripts: DC first, in two steps, then AC; the same with DC read
        // whole; greyscale; sequential, one scan a component.
        const QStringList dcInSteps =
            scans("steps", "0,1,2: 0-0, 0, 1; 0,1,2: 0-0, 1, 0; 0: 1-5, 0, 0;"
                           "1: 1-63, 0, 0; 2: 1-63, 0, 0; 0: 6-63, 0, 0;");
        const QStringList dcWhole =
            scans("whole", "0: 0-0, 0, 0; 1: 0-0, 0, 0; 2: 0-0, 0, 0;"
                           "0: 1-63, 0, 1; 1: 1-63, 0, 0; 2: 1-63, 0, 0; 0: 1-63, 1, 0;");
        const QStringList greyInSteps =
            scans("grey", "0: 0-0, 0, 1; 0: 0-0, 1, 0; 0: 1-9, 0, 0; 0: 10-63, 0, 0;") +
            QStringList{"-grayscale"};
        const QStringList sequential = scans("sequential", "0; 1; 2;");

        const auto row = [](const char* name, QStringList options, QSize size, Damage cut,
                            bool whole) {
            QTest::newRow(name) << options << size << int(cut) << whole;
        };
        // Whole files, every kind.
        row("baseline 4:2:0", {}, big, Whole, true);
        row("baseline 4:4:4", colour444, big, Whole, true);
        row("baseline with restart markers", {"-restart", "1"}, big, Whole, true);
        row("progressive 4:2:0", progressive, big, Whole, true);
        row("progressive 4:4:4", progressive + colour444, big, Whole, true);
        row("progressive 4:2:2", progressive + QStringList{"-sample", "2x1"}, big, Whole, true);
        row("progressive, DC in two steps", colour444 + dcInSteps, big, Whole, true);
        row("progressive, DC read whole", colour444 + dcWhole, big, Whole, true);
        row("progressive 4:2:0, DC in two steps", dcInSteps, big, Whole, true);
        row("multi-scan sequential", colour444 + sequential, big, Whole, true);
        row("greyscale", {"-grayscale"}, big, Whole, true);
        row("greyscale progressive", greyInSteps, big, Whole, true);

        // Cut and damaged files.
        row("baseline cut after its scan header", {}, big, CutAfterFirstScanHeader, false);
        row("baseline cut half-way", {}, big, CutHalfWay, false);
        row("baseline without its end marker", {}, big, NoEndMarker, true);
        row("baseline with bytes between markers", {}, big, BytesBetweenMarkers, true);
        row("progressive cut after its DC scans", colour444 + dcInSteps, big, CutBeforeThirdScan,
            true);
        row("progressive cut before its last scan", progressive + colour444, big, CutBeforeLastScan,
            true);
        row("progressive cut in its first DC scan", colour444 + dcInSteps, big, CutInFirstScan,
            false);
        row("progressive 4:2:0 cut after its DC scans", dcInSteps, big, CutBeforeThirdScan, false);
        row("progressive kept whole, cut after its DC scans", colour444 + dcInSteps, small,
            CutBeforeThirdScan, false);
        row("progressive kept whole, without its end marker", progressive, small, NoEndMarker,
            true);
        row("greyscale progressive cut after its DC scans", greyInSteps, big, CutBeforeThirdScan,
            true);
        row("multi-scan sequential cut between its scans", colour444 + sequential, big,
            CutBeforeSecondScan, false);
        row("baseline claiming 10000 x 10000", {}, big, Claims10000, false);
    }

    void jpegReadAsFarAsNeeded()
    {
        QFETCH(QStringList, options);
        QFETCH(QSize, size);
        QFETCH(int, damage);
        QFETCH(bool, whole);
        const QByteArray jpeg =
            run("cjpeg", options, encoded(detailedPicture(size.width(), size.height()), "ppm"));
        QVERIFY(!jpeg.isEmpty());
        const QList<qsizetype> starts = scanStarts(jpeg);
        const qsizetype firstScanData =
            starts[0] + 2 + (uchar(jpeg[starts[0] + 2]) << 8 | uchar(jpeg[starts[0] + 3]));
        // In the order of Damage; a missing scan start reads as 0.
        const QByteArray damaged[] = {jpeg,
                                      jpeg.left(firstScanData),
                                      jpeg.left(jpeg.size() / 2),
                                      jpeg.left((firstScanData + starts.value(1)) / 2),
                                      jpeg.left(starts.value(1)),
                                      jpeg.left(starts.value(2)),
                                      jpeg.left(starts.last()),
                                      jpeg.chopped(2),
                                      QByteArray(jpeg).insert(starts[0], "\x12\x34\x56"),
                                      withJpegFrameSize(jpeg, 10000, 10000)};
        const bool reduced = PictureLoader::reducedSize(size) != size;
        const QImage expected =
            QImage::fromData(
                run("djpeg", reduced ? QStringList{"-scale", "1/8"} : QStringList(), jpeg))
                .convertToFormat(QImage::Format_RGB32);
        QVERIFY(testsupport::writeBytes(m_dir.filePath("picture.jpg"), damaged[damage]));
        const LoadedPicture loaded = PictureLoader::load(m_dir.filePath("picture.jpg"));
        if (whole) {
            QCOMPARE(loaded.error, QString());
            QCOMPARE(loaded.image, expected);
        } else {
            QVERIFY(loaded.image.isNull());
            QVERIFY2(loaded.error.endsWith("the file is cut short"), qPrintable(loaded.error));
        }
    }

    void loadsOrRefuses_data()
    {
        QTest::addColumn<QString>("name"); // empty: no such file
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");   // empty: loaded; "*": any message
        QTest::addColumn<QImage>("expected"); // when loaded, if not null
        const auto row = [](const char* what, const char* name, const QByteArray& bytes,
                            const QString& error = "*", const QImage& expected = QImage()) {
            QTest::newRow(what) << QString(name) << bytes << error << expected;
        };
        // The content decides, not the name: a BMP named .jpg still loads.
        const QByteArray bmp37 = halves(37, 23, "bmp");
        const QImage fromQt = QImage::fromData(bmp37).convertToFormat(QImage::Format_RGB32);
        row("BMP", "plain.bmp", bmp37, "", fromQt);
        row("BMP named .jpg", "bmp.jpg", bmp37, "", fromQt);
        // A GIF gives its first frame, transparent parts on white.
        QImage firstFrame = testsupport::flatImage(4, 4, qRgb(255, 255, 255));
        int y = 0;
        for (const QColor colour : {Qt::red, Qt::green, Qt::blue})
            QPainter(&firstFrame).fillRect(0, y++, 4, 1, colour);
        row("GIF of two frames", "frames.gif", kTwoFrames, "", firstFrame);
        row("GIF with bytes after its trailer", "p.gif", kTwoFrames + "trailing", "", firstFrame);
        row("GIF whose frame leaves pixels undrawn", "undrawn.gif", kSmallFrame, "");
        const QString cut = "the file is cut short", noTrailer = "the file ends before its trailer";
        // kTwoFrames: first frame's data at 44..55, the second's at 75..86.
        row("GIF cut in its colour table", "p.gif", kTwoFrames.left(20), cut);
        row("GIF cut in the first frame", "p.gif", kTwoFrames.left(50), cut);
        row("GIF cut after the first frame", "p.gif", kTwoFrames.left(56), noTrailer);
        row("GIF cut in the second frame", "p.gif", kTwoFrames.left(80), cut);
        row("GIF without its trailer", "p.gif", kTwoFrames.chopped(1), noTrailer);
        row("GIF data ending before its pixels", "p.gif", kShortData,
            "the first frame's data ends before all its pixels");
        row("truncated GIF", "cutpixels.gif", kSmallFrame.chopped(6));

        // Two rows: four red, then four blue.
        const QByteArray rows("\x04\x01\x00\x00\x04\x02", 6);
        row("RLE BMP whole", "p.bmp", rle8Bmp(rows + QByteArray("\0\x01", 2)), "");
        row("RLE BMP without its end marker", "p.bmp", rle8Bmp(rows), "");
        row("RLE BMP cut after a row", "p.bmp", rle8Bmp(rows.left(4)), cut);
        row("RLE BMP cut in a run", "p.bmp", rle8Bmp(rows.left(5)), cut);
        row("RLE BMP cut in stored pixels", "p.bmp", rle8Bmp(QByteArray("\x00\x04\x01\x01", 4)),
            cut);
        row("RLE BMP cut in its palette", "p.bmp", rle8Bmp(rows).left(60), cut);
        row("BMP with bytes after its pixels", "p.bmp", halves(8, 4, "bmp") + "xx", "");
        const QByteArray bmp = halves(64, 48, "bmp"), jpeg = halves(64, 48, "jpeg");
        row("truncated BMP", "cutpixels.bmp", bmp.left(bmp.size() / 2));
        // A fuzzer's find: row length times height overflowed in the length check.
        row("BMP whose pixel data length overflows", "p.bmp",
            QByteArray::fromBase64(
                "Qk1GAAAAAAAAAEIAAAIAAAAEAEYAEwsAABMLAAADAAAAAAAAAAkAAAAAAAAA////AAAA/wAEEgAB"),
            "Unable to read image data");

        row("empty file", "empty.jpg", "");
        row("missing file", "", QByteArray());
        row("text named .jpg", "text.jpg", "This is not a picture.\n");
        row("JPEG cut in its header", "cut.jpg", jpeg.left(40));
        for (const int side : {60000, 10000}) {
            // Little-endian: BMP width and height, GIF screen and frame sizes.
            const qint32 little = qToLittleEndian<qint32>(side);
            QByteArray hugeBmp = bmp, hugeGif = kSmallFrame;
            for (const int at : {18, 22})
                hugeBmp.replace(at, 4, reinterpret_cast<const char*>(&little), 4);
            for (const int at : {6, 8, 30, 32})
                hugeGif.replace(at, 2, reinterpret_cast<const char*>(&little), 2);
            QTest::addRow("BMP claiming %d x %d", side, side)
                << "huge.bmp" << hugeBmp << "*" << QImage();
            QTest::addRow("GIF claiming %d x %d", side, side)
                << "huge.gif" << hugeGif << "*" << QImage();
        }
        row("JPEG claiming 60000 x 60000", "h.jpg", withJpegFrameSize(jpeg, 60000, 60000));
        // A progressive file is buffered whole by the decoder: 8000 x 5000 is
        // already too much memory for it.
        QByteArray progressive = halves(64, 48, "jpeg", true);
        row("progressive JPEG claiming 8000 x 5000", "h.jpg",
            withJpegFrameSize(progressive, 8000, 5000));
        // Every scan passes over the whole picture: thousands of them would
        // keep the decoder busy for minutes on a large frame.
        const QList<qsizetype> scans = scanStarts(progressive);
        row("progressive JPEG of 1000 scans", "scans.jpg",
            progressive.insert(scans[1],
                               progressive.mid(scans[0], scans[1] - scans[0]).repeated(1000)));
    }

    void loadsOrRefuses()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QFETCH(QImage, expected);
        const QString path = m_dir.filePath(name.isEmpty() ? "none.jpg" : name);
        QVERIFY(name.isEmpty() || testsupport::writeBytes(path, bytes));
        const LoadedPicture loaded = PictureLoader::load(path);
        if (error.isEmpty()) {
            QVERIFY2(loaded.ok(), qPrintable(loaded.error));
            QCOMPARE(loaded.image.format(), QImage::Format_RGB32);
            QVERIFY(expected.isNull() || loaded.image == expected);
            // Qt's reader may leave pixels that no frame data reached with a
            // top byte other than 0xff; the tiles and effects count on opaque pixels.
            QCOMPARE(testsupport::rawWords(loaded.image),
                     loaded.image.convertToFormat(QImage::Format_ARGB32));
        } else if (error == "*") {
            QVERIFY(loaded.image.isNull() && !loaded.error.isEmpty());
        } else {
            QCOMPARE(loaded.error, QStringLiteral("Cannot load %1: %2").arg(path, error));
        }
    }
};

QUILTON_TEST_MAIN(tst_pictureloader)
#include "tst_pictureloader.moc"
