#include "TestEnv.h"
#include "support/TestInstall.h"

#include "tile/PictureLoader.h"

#include <QApplication>
#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QtEndian>

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
// A fuzzer's find: its data ends before all pixels are drawn.
const QByteArray kShortData = QByteArray::fromBase64(
    "R0lGODlhEAAQAPAAAACAAAAAACH5BAAAAAAALAAAAAAQABAAAAIOhI+my+0Po5y02ouzPgUAOw==");

QByteArray encode(const QImage& image, const char* format, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, format);
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

// Left half red, right half blue: any turn or mirror shows.
QImage halves(int w, int h)
{
    QImage image = testsupport::flatImage(w, h, qRgb(0, 0, 255));
    QPainter(&image).fillRect(0, 0, w / 2, h, QColor(255, 0, 0));
    return image;
}

// An APP1 segment holding nothing but a big-endian EXIF Orientation tag of
// 6: the stored picture is shown turned 90 degrees clockwise.
const QByteArray kExifTurned("\xff\xe1\x00\x22"
                             "Exif\0\0MM\x00\x2a\x00\x00\x00\x08\x00\x01\x01\x12\x00\x03"
                             "\x00\x00\x00\x01\x00\x06\x00\x00\x00\x00\x00\x00",
                             36);

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

private slots:
    void reducedSizeKeepsTileSize_data();
    void reducedSizeKeepsTileSize();
    void loadsBmpAndGifExactly();
    void gifWithUndrawnPixelsComesOutOpaque();
    void loadsJpegReducedAndTurned_data();
    void loadsJpegReducedAndTurned();
    void refusesBadFiles_data();
    void refusesBadFiles();
    void truncatedJpegDataLoadsWhatWasDecoded();
    void reduceScreenCapture();

private:
    LoadedPicture load(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        if (!testsupport::writeBytes(path, bytes))
            qWarning() << "cannot write" << path;
        return PictureLoader::load(path);
    }
    QTemporaryDir m_dir;
};

void tst_pictureloader::reducedSizeKeepsTileSize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("reduced");
    QTest::newRow("24 MP photo, 1/8") << QSize(6000, 4000) << QSize(750, 500);
    QTest::newRow("needs 2/8") << QSize(600, 400) << QSize(150, 100);
    QTest::newRow("needs 3/8, rounded down") << QSize(300, 299) << QSize(112, 112);
    QTest::newRow("small picture kept") << QSize(200, 150) << QSize(200, 150);
    QTest::newRow("long strip below tile height kept") << QSize(800, 90) << QSize(800, 90);
    QTest::newRow("long strip") << QSize(8000, 300) << QSize(3000, 112);
}

void tst_pictureloader::reducedSizeKeepsTileSize()
{
    QFETCH(QSize, size);
    QFETCH(QSize, reduced);
    QCOMPARE(PictureLoader::reducedSize(size), reduced);
}

void tst_pictureloader::loadsBmpAndGifExactly()
{
    const QImage image = testsupport::randomImage(37, 23, 1);
    // The content decides, not the name: a BMP named .jpg still loads.
    for (const QString& name : {QStringLiteral("plain.bmp"), QStringLiteral("bmp.jpg")}) {
        const LoadedPicture loaded = load(name, encode(image, "bmp"));
        QVERIFY2(loaded.ok(), qPrintable(loaded.error));
        QCOMPARE(loaded.image.format(), QImage::Format_RGB32);
        QCOMPARE(loaded.image, image);
    }

    // A GIF gives its first frame, transparent parts on white.
    const LoadedPicture gif = load("frames.gif", kTwoFrames);
    QVERIFY2(gif.ok(), qPrintable(gif.error));
    QCOMPARE(gif.image.format(), QImage::Format_RGB32);
    const QRgb rows[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    for (int y = 0; y < 4; ++y)
        QCOMPARE(gif.image.copy(0, y, 4, 1), testsupport::flatImage(4, 1, rows[y]));
}

void tst_pictureloader::gifWithUndrawnPixelsComesOutOpaque()
{
    // Qt's reader gives Format_RGB32 but may leave pixels that no frame
    // data reached with a top byte other than 0xff; the tiles and effects
    // count on opaque pixels.
    for (const QByteArray& bytes : {kShortData, kSmallFrame}) {
        const LoadedPicture loaded = load("undrawn.gif", bytes);
        QVERIFY2(loaded.ok(), qPrintable(loaded.error));
        QCOMPARE(loaded.image.format(), QImage::Format_RGB32);
        // Raw words: QImage::pixel() would add the 0xff itself.
        for (int y = 0; y < loaded.image.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(loaded.image.constScanLine(y));
            for (int x = 0; x < loaded.image.width(); ++x)
                QCOMPARE(qAlpha(line[x]), 255);
        }
    }
}

void tst_pictureloader::loadsJpegReducedAndTurned_data()
{
    QTest::addColumn<QSize>("stored");
    QTest::addColumn<bool>("progressive");
    QTest::addColumn<bool>("turned");
    QTest::addColumn<QSize>("shown");
    QTest::newRow("small, kept") << QSize(160, 120) << false << false << QSize(160, 120);
    QTest::newRow("large, decoded at 1/8")
        << QSize(4000, 3000) << false << false << QSize(500, 375);
    QTest::newRow("progressive, 1/8") << QSize(1200, 900) << true << false << QSize(150, 112);
    // Turned: the red half comes out on top.
    QTest::newRow("turned") << QSize(180, 90) << false << true << QSize(90, 180);
    // Reduced in the stored orientation, then turned.
    QTest::newRow("reduced, then turned") << QSize(1600, 800) << false << true << QSize(100, 200);
}

void tst_pictureloader::loadsJpegReducedAndTurned()
{
    QFETCH(QSize, stored);
    QFETCH(bool, progressive);
    QFETCH(bool, turned);
    QFETCH(QSize, shown);
    QByteArray jpeg = encode(halves(stored.width(), stored.height()), "jpeg", progressive);
    if (turned)
        jpeg.insert(2, kExifTurned);
    const LoadedPicture loaded = load("picture.jpg", jpeg);
    QVERIFY2(loaded.ok(), qPrintable(loaded.error));
    QCOMPARE(loaded.image.format(), QImage::Format_RGB32);
    QCOMPARE(loaded.image.size(), shown);
    const int w = shown.width(), h = shown.height();
    const QPoint red = turned ? QPoint(w / 2, h / 16) : QPoint(w / 16, h / 2);
    const QPoint blue = QPoint(w - 1, h - 1) - red;
    QVERIFY(qRed(loaded.image.pixel(red)) > 240 && qBlue(loaded.image.pixel(red)) < 15);
    QVERIFY(qBlue(loaded.image.pixel(blue)) > 240 && qRed(loaded.image.pixel(blue)) < 15);
}

void tst_pictureloader::refusesBadFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray bmp = encode(halves(64, 48), "bmp");
    const QByteArray jpeg = encode(halves(64, 48), "jpeg");

    QTest::newRow("empty file") << "empty.jpg" << QByteArray();
    QTest::newRow("text named .jpg") << "text.jpg" << QByteArray("This is not a picture.\n");
    QTest::newRow("JPEG cut in its header") << "cut.jpg" << jpeg.left(40);
    QTest::newRow("truncated BMP") << "cutpixels.bmp" << bmp.left(bmp.size() / 2);
    QTest::newRow("truncated GIF") << "cutpixels.gif" << kSmallFrame.left(kSmallFrame.size() - 6);
    for (const int side : {60000, 10000}) {
        const qint32 little = qToLittleEndian<qint32>(side);
        const auto* bytes = reinterpret_cast<const char*>(&little);
        QByteArray hugeBmp = bmp;
        for (const int at : {18, 22})
            hugeBmp.replace(at, 4, bytes, 4);
        QTest::addRow("BMP claiming %d x %d", side, side) << "huge.bmp" << hugeBmp;
        QByteArray hugeGif = kSmallFrame;
        for (const int at : {6, 8, 30, 32})
            hugeGif.replace(at, 2, bytes, 2);
        QTest::addRow("GIF claiming %d x %d", side, side) << "huge.gif" << hugeGif;
    }
    QTest::newRow("JPEG claiming 60000 x 60000")
        << "huge.jpg" << withJpegFrameSize(jpeg, 60000, 60000);
    // A progressive file is buffered whole by the decoder: 8000 x 5000 is
    // already too much memory for it.
    QTest::newRow("progressive JPEG claiming 8000 x 5000")
        << "hugeprogressive.jpg"
        << withJpegFrameSize(encode(halves(64, 48), "jpeg", true), 8000, 5000);
}

void tst_pictureloader::refusesBadFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    const LoadedPicture loaded = load(name, bytes);
    QVERIFY(!loaded.ok());
    QVERIFY(loaded.image.isNull());
    QVERIFY(!loaded.error.isEmpty());
}

void tst_pictureloader::truncatedJpegDataLoadsWhatWasDecoded()
{
    // Cut in the middle of its data, a JPEG still gives a whole picture:
    // the part that was decoded and grey below it. Refusing it would lose
    // a picture the user can see is mostly there.
    const QByteArray jpeg = encode(halves(320, 240), "jpeg");
    const LoadedPicture loaded = load("half.jpg", jpeg.left(jpeg.size() / 2));
    QVERIFY2(loaded.ok(), qPrintable(loaded.error));
    QCOMPARE(loaded.image.size(), QSize(160, 120));
    QVERIFY(qRed(loaded.image.pixel(5, 2)) > 240);

    QVERIFY(!PictureLoader::load(m_dir.filePath("no such file.jpg")).error.isEmpty());
}

void tst_pictureloader::reduceScreenCapture()
{
    QImage screen(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    screen.fill(qRgba(0, 0, 0, 0));
    const QImage reduced = PictureLoader::reduce(screen);
    QCOMPARE(reduced.size(), QSize(240, 135));
    QCOMPARE(reduced.format(), QImage::Format_RGB32);
    // Transparent parts are laid on white, like a transparent GIF.
    QCOMPARE(reduced.pixel(100, 100), qRgb(255, 255, 255));
    QCOMPARE(PictureLoader::reduce(halves(150, 150)), halves(150, 150));
    QVERIFY(PictureLoader::reduce(QImage()).isNull());
}

QUILTON_TEST_MAIN(tst_pictureloader)
#include "tst_pictureloader.moc"
