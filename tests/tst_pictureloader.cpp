#include "TestEnv.h"

#include "tile/PictureLoader.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>

#include <vector>

namespace {

// A GIF with a four-colour palette, written by hand (Qt reads GIF but does
// not write it). Each frame is w x h palette indices. The LZW stream sends
// every index as a literal and a clear code after every second one, so the
// codes stay three bits wide.
// The frames cover frameSize at the top-left corner (the whole picture when
// empty).
QByteArray makeGif(int w, int h, const QList<QRgb>& palette,
                   const std::vector<std::vector<uchar>>& frames, int transparentIndex = -1,
                   QSize frameSize = QSize())
{
    if (frameSize.isEmpty())
        frameSize = QSize(w, h);
    QByteArray gif("GIF89a");
    const auto word = [&gif](int v) {
        gif.append(char(v & 0xff));
        gif.append(char((v >> 8) & 0xff));
    };
    word(w);
    word(h);
    gif.append(char(0x91)); // global colour table of 4 entries
    gif.append(char(0));
    gif.append(char(0));
    for (int i = 0; i < 4; ++i) {
        const QRgb c = palette.value(i);
        gif.append(char(qRed(c)));
        gif.append(char(qGreen(c)));
        gif.append(char(qBlue(c)));
    }
    for (const std::vector<uchar>& frame : frames) {
        if (transparentIndex >= 0) {
            gif.append("\x21\xf9\x04\x01\x00\x00", 6);
            gif.append(char(transparentIndex));
            gif.append(char(0));
        }
        gif.append(char(0x2c));
        word(0);
        word(0);
        word(frameSize.width());
        word(frameSize.height());
        gif.append(char(0));
        gif.append(char(2)); // LZW minimum code size

        QByteArray data;
        quint32 bits = 0;
        int bitCount = 0;
        const auto putCode = [&](int code) {
            bits |= quint32(code) << bitCount;
            bitCount += 3;
            while (bitCount >= 8) {
                data.append(char(bits & 0xff));
                bits >>= 8;
                bitCount -= 8;
            }
        };
        putCode(4);
        for (std::size_t i = 0; i < frame.size(); ++i) {
            putCode(frame[i]);
            if (i % 2 == 1)
                putCode(4);
        }
        putCode(5);
        if (bitCount > 0)
            data.append(char(bits & 0xff));
        for (qsizetype at = 0; at < data.size(); at += 255) {
            const QByteArray block = data.mid(at, 255);
            gif.append(char(block.size()));
            gif.append(block);
        }
        gif.append(char(0));
    }
    gif.append(char(0x3b));
    return gif;
}

QByteArray encode(const QImage& image, const char* format, int quality = -1,
                  bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        qWarning() << "cannot encode" << format << writer.errorString();
    return bytes;
}

// Left half red, right half blue: any turn or mirror shows.
QImage halves(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 255));
    QPainter painter(&image);
    painter.fillRect(0, 0, w / 2, h, QColor(255, 0, 0));
    return image;
}

// An APP1 segment holding nothing but an EXIF Orientation tag, big-endian.
QByteArray exifOrientation(int orientation)
{
    QByteArray payload("Exif\0\0", 6);
    payload.append("MM\x00\x2a\x00\x00\x00\x08", 8); // TIFF header, IFD at 8
    payload.append("\x00\x01", 2);                   // one entry
    payload.append("\x01\x12\x00\x03\x00\x00\x00\x01", 8);
    payload.append(char(0));
    payload.append(char(orientation));
    payload.append("\x00\x00", 2);
    payload.append("\x00\x00\x00\x00", 4); // no next IFD
    QByteArray segment("\xff\xe1", 2);
    const int length = int(payload.size()) + 2;
    segment.append(char(length >> 8));
    segment.append(char(length & 0xff));
    return segment + payload;
}

// Overwrites the frame size of a JPEG (first SOFn marker).
QByteArray withJpegFrameSize(QByteArray jpeg, int w, int h)
{
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i) {
        const uchar m = uchar(jpeg[i + 1]);
        if (uchar(jpeg[i]) == 0xff && (m == 0xc0 || m == 0xc1 || m == 0xc2)) {
            jpeg[i + 5] = char(h >> 8);
            jpeg[i + 6] = char(h & 0xff);
            jpeg[i + 7] = char(w >> 8);
            jpeg[i + 8] = char(w & 0xff);
            return jpeg;
        }
    }
    qWarning("no frame marker");
    return jpeg;
}

} // namespace

class tst_pictureloader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void reducedSizeKeepsTileSize_data();
    void reducedSizeKeepsTileSize();
    void loadsBmpExactly();
    void loadsGifFirstFrameOnWhite();
    void gifWithUndrawnPixelsComesOutOpaque();
    void loadsJpeg();
    void largeJpegIsDecodedReduced();
    void honoursExifOrientation_data();
    void honoursExifOrientation();
    void loadsProgressiveJpeg();
    void refusesBadFiles_data();
    void refusesBadFiles();
    void truncatedJpegDataLoadsWhatWasDecoded();
    void reduceScreenCapture();

private:
    QString write(const QString& name, const QByteArray& bytes);
    QTemporaryDir m_dir;
};

void tst_pictureloader::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString tst_pictureloader::write(const QString& name, const QByteArray& bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qWarning() << "cannot write" << path;
    return path;
}

void tst_pictureloader::reducedSizeKeepsTileSize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("reduced");
    QTest::newRow("24 MP photo, 1/8") << QSize(6000, 4000) << QSize(750, 500);
    QTest::newRow("12 MP photo, 1/8") << QSize(4000, 3000) << QSize(500, 375);
    QTest::newRow("portrait") << QSize(3000, 4000) << QSize(375, 500);
    QTest::newRow("1/8 leaves exactly 100") << QSize(1000, 800) << QSize(125, 100);
    QTest::newRow("needs 2/8") << QSize(600, 400) << QSize(150, 100);
    QTest::newRow("needs 3/8, rounded down") << QSize(300, 299) << QSize(112, 112);
    QTest::newRow("1/8 would leave 99") << QSize(799, 799) << QSize(199, 199);
    QTest::newRow("just over the small size") << QSize(201, 201) << QSize(100, 100);
    QTest::newRow("small picture kept") << QSize(200, 150) << QSize(200, 150);
    QTest::newRow("tile-sized kept") << QSize(100, 100) << QSize(100, 100);
    QTest::newRow("tiny kept") << QSize(3, 2) << QSize(3, 2);
    QTest::newRow("long strip below tile height kept") << QSize(800, 90) << QSize(800, 90);
    QTest::newRow("long strip") << QSize(8000, 300) << QSize(3000, 112);
}

void tst_pictureloader::reducedSizeKeepsTileSize()
{
    QFETCH(QSize, size);
    QFETCH(QSize, reduced);
    QCOMPARE(PictureLoader::reducedSize(size), reduced);
}

void tst_pictureloader::loadsBmpExactly()
{
    QImage image(37, 23, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 6, y * 11, (x * y) & 0xff));
    const LoadedPicture loaded = PictureLoader::load(write("plain.bmp", encode(image, "bmp")));
    QVERIFY2(loaded.ok(), qPrintable(loaded.error));
    QCOMPARE(loaded.image.format(), QImage::Format_RGB32);
    QCOMPARE(loaded.image, image);

    // The content decides, not the name: a BMP named .jpg still loads.
    const LoadedPicture misnamed = PictureLoader::load(write("bmp.jpg", encode(image, "bmp")));
    QVERIFY2(misnamed.ok(), qPrintable(misnamed.error));
    QCOMPARE(misnamed.image, image);
}

void tst_pictureloader::loadsGifFirstFrameOnWhite()
{
    const QList<QRgb> palette = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(9, 9, 9)};
    // First frame: rows of red, green, blue and the transparent index 3.
    std::vector<uchar> first;
    std::vector<uchar> second(4 * 4, uchar(1));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            first.push_back(uchar(y));
    const QString path = write("frames.gif", makeGif(4, 4, palette, {first, second}, 3));
    const LoadedPicture loaded = PictureLoader::load(path);
    QVERIFY2(loaded.ok(), qPrintable(loaded.error));
    QCOMPARE(loaded.image.format(), QImage::Format_RGB32);
    QCOMPARE(loaded.image.size(), QSize(4, 4));
    for (int x = 0; x < 4; ++x) {
        QCOMPARE(loaded.image.pixel(x, 0), qRgb(255, 0, 0));
        QCOMPARE(loaded.image.pixel(x, 1), qRgb(0, 255, 0));
        QCOMPARE(loaded.image.pixel(x, 2), qRgb(0, 0, 255));
        QCOMPARE(loaded.image.pixel(x, 3), qRgb(255, 255, 255));
    }
}

void tst_pictureloader::gifWithUndrawnPixelsComesOutOpaque()
{
    // Qt's reader gives Format_RGB32 but may leave pixels that no frame
    // data reached with a top byte other than 0xff (seen with data that ends
    // early); the tiles and effects count on opaque pixels.
    const QByteArray shortData = QByteArray::fromBase64(
        "R0lGODlhEAAQAPAAAACAAAAAACH5BAAAAAAALAAAAAAQABAAAAIOhI+my+0Po5y02ouzPgUAOw==");
    const QList<QRgb> palette = {qRgb(255, 0, 0), qRgb(0, 255, 0), 0, 0};
    const std::vector<uchar> frame(2 * 2, uchar(1));
    const QByteArray smallFrame = makeGif(4, 4, palette, {frame}, -1, QSize(2, 2));
    for (const QByteArray& gif : {shortData, smallFrame}) {
        const LoadedPicture loaded = PictureLoader::load(write("undrawn.gif", gif));
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

void tst_pictureloader::loadsJpeg()
{
    const QImage image = halves(160, 120);
    const LoadedPicture loaded = PictureLoader::load(write("small.jpg", encode(image, "jpeg", 95)));
    QVERIFY2(loaded.ok(), qPrintable(loaded.error));
    QCOMPARE(loaded.image.format(), QImage::Format_RGB32);
    QCOMPARE(loaded.image.size(), QSize(160, 120));
    QVERIFY(qRed(loaded.image.pixel(10, 60)) > 240 && qBlue(loaded.image.pixel(10, 60)) < 15);
    QVERIFY(qBlue(loaded.image.pixel(150, 60)) > 240 && qRed(loaded.image.pixel(150, 60)) < 15);
}

void tst_pictureloader::largeJpegIsDecodedReduced()
{
    const QImage image = halves(4000, 3000);
    const QString path = write("large.jpg", encode(image, "jpeg", 80));
    const LoadedPicture loaded = PictureLoader::load(path);
    QVERIFY2(loaded.ok(), qPrintable(loaded.error));
    QCOMPARE(loaded.image.format(), QImage::Format_RGB32);
    QCOMPARE(loaded.image.size(), QSize(500, 375));
    QVERIFY(qRed(loaded.image.pixel(50, 200)) > 240);
    QVERIFY(qBlue(loaded.image.pixel(450, 200)) > 240);
}

void tst_pictureloader::honoursExifOrientation_data()
{
    QTest::addColumn<QSize>("stored");
    QTest::addColumn<QSize>("shown");
    QTest::newRow("small, not reduced") << QSize(180, 90) << QSize(90, 180);
    // Reduced in the stored orientation, then turned.
    QTest::newRow("reduced while decoding") << QSize(1600, 800) << QSize(100, 200);
}

void tst_pictureloader::honoursExifOrientation()
{
    QFETCH(QSize, stored);
    QFETCH(QSize, shown);
    const QByteArray plain = encode(halves(stored.width(), stored.height()), "jpeg", 95);
    // Orientation 6: the stored picture is shown turned 90 degrees clockwise,
    // so its left (red) half comes out on top.
    const QByteArray turned = plain.left(2) + exifOrientation(6) + plain.mid(2);
    const LoadedPicture loaded = PictureLoader::load(write("turned.jpg", turned));
    QVERIFY2(loaded.ok(), qPrintable(loaded.error));
    QCOMPARE(loaded.image.size(), shown);
    const int w = shown.width();
    const int h = shown.height();
    QVERIFY(qRed(loaded.image.pixel(w / 2, h / 8)) > 240);
    QVERIFY(qBlue(loaded.image.pixel(w / 2, h * 7 / 8)) > 240);
}

void tst_pictureloader::loadsProgressiveJpeg()
{
    const QByteArray progressive = encode(halves(1200, 900), "jpeg", 90, true);
    const LoadedPicture loaded = PictureLoader::load(write("progressive.jpg", progressive));
    QVERIFY2(loaded.ok(), qPrintable(loaded.error));
    QCOMPARE(loaded.image.size(), QSize(150, 112));
}

void tst_pictureloader::refusesBadFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");

    const QImage small = halves(64, 48);
    const QByteArray bmp = encode(small, "bmp");
    const QByteArray jpeg = encode(small, "jpeg", 90);
    const QByteArray gif =
        makeGif(2, 2, {qRgb(0, 0, 0), qRgb(255, 255, 255), 0, 0}, {{0, 1, 1, 0}});

    QTest::newRow("empty file") << "empty.jpg" << QByteArray();
    QTest::newRow("text named .jpg") << "text.jpg" << QByteArray("This is not a picture.\n");
    QTest::newRow("JPEG cut in its header") << "cut.jpg" << jpeg.left(40);
    QTest::newRow("BMP cut in its header") << "cut.bmp" << bmp.left(30);
    QTest::newRow("GIF cut in its header") << "cut.gif" << gif.left(9);
    QTest::newRow("BMP cut in its pixels") << "cutpixels.bmp" << bmp.left(bmp.size() / 2);
    QTest::newRow("GIF cut in its pixels") << "cutpixels.gif" << gif.left(gif.size() - 6);

    const auto putInt32 = [](QByteArray& bytes, int at, qint32 v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = char((v >> (8 * i)) & 0xff);
    };
    for (const int side : {60000, 10000}) {
        QByteArray hugeBmp = bmp;
        putInt32(hugeBmp, 18, side);
        putInt32(hugeBmp, 22, side);
        QTest::addRow("BMP claiming %d x %d", side, side) << "huge.bmp" << hugeBmp;

        QByteArray hugeGif = gif;
        for (const int at : {6, 8, 13 + 12 + 5, 13 + 12 + 7}) {
            hugeGif[at] = char(side & 0xff);
            hugeGif[at + 1] = char(side >> 8);
        }
        QTest::addRow("GIF claiming %d x %d", side, side) << "huge.gif" << hugeGif;
    }

    QTest::newRow("JPEG claiming 60000 x 60000")
        << "huge.jpg" << withJpegFrameSize(jpeg, 60000, 60000);
    // A progressive file is buffered whole by the decoder: 8000 x 5000 is
    // already too much memory for it.
    QTest::newRow("progressive JPEG claiming 8000 x 5000")
        << "hugeprogressive.jpg" << withJpegFrameSize(encode(small, "jpeg", 90, true), 8000, 5000);
}

void tst_pictureloader::refusesBadFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    const LoadedPicture loaded = PictureLoader::load(write(name, bytes));
    QVERIFY(!loaded.ok());
    QVERIFY(loaded.image.isNull());
    QVERIFY(!loaded.error.isEmpty());
}

void tst_pictureloader::truncatedJpegDataLoadsWhatWasDecoded()
{
    // Cut in the middle of its data, a JPEG still gives a whole picture:
    // the part that was decoded and grey below it. Refusing it would lose
    // a picture the user can see is mostly there.
    const QByteArray jpeg = encode(halves(320, 240), "jpeg", 90);
    const LoadedPicture loaded = PictureLoader::load(write("half.jpg", jpeg.left(jpeg.size() / 2)));
    QVERIFY2(loaded.ok(), qPrintable(loaded.error));
    QCOMPARE(loaded.image.size(), QSize(160, 120));
    QVERIFY(qRed(loaded.image.pixel(5, 2)) > 240);

    const LoadedPicture missing = PictureLoader::load(m_dir.filePath("no such file.jpg"));
    QVERIFY(!missing.ok());
    QVERIFY(!missing.error.isEmpty());
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

    const QImage small = halves(150, 150);
    QCOMPARE(PictureLoader::reduce(small), small);
    QVERIFY(PictureLoader::reduce(QImage()).isNull());
}

QUILTON_TEST_MAIN(tst_pictureloader)
#include "tst_pictureloader.moc"
