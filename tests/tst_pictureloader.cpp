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
// A fuzzer's find: 16 x 16, but its data ends after 202 pixels.
const QByteArray kShortData = QByteArray::fromBase64(
    "R0lGODlhEAAQAPAAAACAAAAAACH5BAAAAAAALAAAAAAQABAAAAIOhI+my+0Po5y02ouzPgUAOw==");

// A 4 x 2 RLE8 bitmap of the given run-length data; palette black, red, blue.
QByteArray rle8Bmp(const QByteArray& data)
{
    const QByteArray palette("\0\0\0\0\0\0\xff\0\xff\0\0\0", 12);
    QByteArray bmp(54, '\0');
    const auto put = [&bmp](int at, quint32 value) {
        qToLittleEndian<quint32>(value, bmp.data() + at);
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    const std::pair<int, quint32> fields[] = {
        {2, 54 + 12 + data.size()}, {10, 54 + 12}, {14, 40}, {18, 4}, {22, 2},
        {26, 1 | 8 << 16},          {30, 1},       {46, 3}};
    for (const auto& [at, value] : fields)
        put(at, value);
    return bmp + palette + data;
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
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, format);
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
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

private slots:
    void loadsBmpAndGifExactlyAndOpaque();
    void loadsJpegReducedTurnedOrCut();
    void refusesGifAndBmpThatEndEarly_data();
    void refusesGifAndBmpThatEndEarly();
    void refusesBadFiles_data();
    void refusesBadFiles();

private:
    // Loaded from a file of those bytes; refused or not Format_RGB32: null.
    QImage load(const QString& name, const QByteArray& bytes)
    {
        testsupport::writeBytes(m_dir.filePath(name), bytes);
        const LoadedPicture loaded = PictureLoader::load(m_dir.filePath(name));
        if (loaded.image.format() != QImage::Format_RGB32)
            qWarning() << name << loaded.error << loaded.image.format();
        return loaded.image.format() == QImage::Format_RGB32 ? loaded.image : QImage();
    }
    QTemporaryDir m_dir;
};

void tst_pictureloader::loadsBmpAndGifExactlyAndOpaque()
{
    // The content decides, not the name: a BMP named .jpg still loads.
    const QByteArray bmp = halves(37, 23, "bmp");
    for (const char* name : {"plain.bmp", "bmp.jpg"})
        QCOMPARE(load(name, bmp), QImage::fromData(bmp).convertToFormat(QImage::Format_RGB32));

    // A GIF gives its first frame, transparent parts on white.
    QImage expected = testsupport::flatImage(4, 4, qRgb(255, 255, 255));
    int y = 0;
    for (const QColor colour : {Qt::red, Qt::green, Qt::blue})
        QPainter(&expected).fillRect(0, y++, 4, 1, colour);
    QCOMPARE(load("frames.gif", kTwoFrames), expected);

    // Qt's reader may leave pixels that no frame data reached with a top
    // byte other than 0xff; the tiles and effects count on opaque pixels.
    const QImage undrawn = load("undrawn.gif", kSmallFrame);
    QVERIFY(!undrawn.isNull());
    QCOMPARE(testsupport::rawWords(undrawn), undrawn.convertToFormat(QImage::Format_ARGB32));
}

void tst_pictureloader::refusesGifAndBmpThatEndEarly_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error"); // empty: loaded, the same as whole

    const QString cut = QStringLiteral("the file is cut short");
    const QString noTrailer = QStringLiteral("the file ends before its trailer");
    // kTwoFrames: first frame's data at 44..55, the second's at 75..86.
    QTest::newRow("GIF cut in its colour table") << kTwoFrames.left(20) << cut;
    QTest::newRow("GIF cut in the first frame") << kTwoFrames.left(50) << cut;
    QTest::newRow("GIF cut after the first frame") << kTwoFrames.left(56) << noTrailer;
    QTest::newRow("GIF cut in the second frame") << kTwoFrames.left(80) << cut;
    QTest::newRow("GIF without its trailer") << kTwoFrames.chopped(1) << noTrailer;
    QTest::newRow("GIF data ending before its pixels")
        << kShortData << QStringLiteral("the first frame's data ends before all its pixels");
    QTest::newRow("GIF with bytes after its trailer") << kTwoFrames + "trailing" << QString();

    // Two rows: four red, then four blue.
    const QByteArray rows("\x04\x01\x00\x00\x04\x02", 6);
    QTest::newRow("RLE BMP whole") << rle8Bmp(rows + QByteArray("\0\x01", 2)) << QString();
    QTest::newRow("RLE BMP without its end marker") << rle8Bmp(rows) << QString();
    QTest::newRow("RLE BMP cut after a row") << rle8Bmp(rows.left(4)) << cut;
    QTest::newRow("RLE BMP cut in a run") << rle8Bmp(rows.left(5)) << cut;
    QTest::newRow("RLE BMP cut in stored pixels")
        << rle8Bmp(QByteArray("\x00\x04\x01\x01", 4)) << cut;
    QTest::newRow("RLE BMP cut in its palette") << rle8Bmp(rows).left(60) << cut;
    QTest::newRow("BMP with bytes after its pixels") << halves(8, 4, "bmp") + "xx" << QString();
    // A fuzzer's find: row length times height overflowed in the length check.
    QTest::newRow("BMP whose pixel data length overflows")
        << QByteArray::fromBase64("Qk1GAAAAAAAAAEIAAAIAAAAEAEYAEwsAABMLAAADAAAAAAAAAAkAAAAAAAAA////"
                                  "AAAA/wAEEgAB")
        << QStringLiteral("Unable to read image data");
}

void tst_pictureloader::refusesGifAndBmpThatEndEarly()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    const QString path = m_dir.filePath(QStringLiteral("picture"));
    QVERIFY(testsupport::writeBytes(path, bytes));
    const LoadedPicture loaded = PictureLoader::load(path);
    if (error.isEmpty()) {
        QVERIFY2(loaded.ok(), qPrintable(loaded.error));
        return;
    }
    QVERIFY(!loaded.ok());
    QCOMPARE(loaded.error, QStringLiteral("Cannot load %1: %2").arg(path, error));
}

void tst_pictureloader::loadsJpegReducedTurnedOrCut()
{
    const struct
    {
        QSize stored;
        bool progressive, turned;
        QSize shown;
    } rows[] = {
        {{160, 120}, false, false, {160, 120}},   // small, kept
        {{4000, 3000}, false, false, {500, 375}}, // decoded at 1/8
        {{1200, 900}, true, false, {150, 112}},   // progressive, 1/8
        {{300, 299}, false, false, {112, 112}},   // 3/8, rounded down
        {{800, 90}, false, false, {800, 90}},     // a strip below the tile height, kept
        {{180, 90}, false, true, {90, 180}},      // turned: the red half comes out on top
        {{1600, 800}, false, true, {100, 200}},   // reduced as stored, then turned
    };
    for (const auto& row : rows) {
        QByteArray jpeg = halves(row.stored.width(), row.stored.height(), "jpeg", row.progressive);
        if (row.turned)
            jpeg.insert(2, kExifTurned);
        const QImage image = load("picture.jpg", jpeg);
        QCOMPARE(image.size(), row.shown);
        const int w = row.shown.width(), h = row.shown.height();
        const QPoint red = row.turned ? QPoint(w / 2, h / 16) : QPoint(w / 16, h / 2);
        const QPoint blue = QPoint(w - 1, h - 1) - red;
        QVERIFY(qRed(image.pixel(red)) > 240 && qBlue(image.pixel(red)) < 15);
        QVERIFY(qBlue(image.pixel(blue)) > 240 && qRed(image.pixel(blue)) < 15);
    }

    // Cut in the middle of its data, a JPEG still gives a whole picture:
    // the part that was decoded and grey below it. Refusing it would lose
    // a picture the user can see is mostly there.
    const QByteArray jpeg = halves(320, 240, "jpeg");
    const QImage cut = load("half.jpg", jpeg.left(jpeg.size() / 2));
    QCOMPARE(cut.size(), QSize(160, 120));
    QVERIFY(qRed(cut.pixel(5, 2)) > 240);
    QVERIFY(!PictureLoader::load(m_dir.filePath("no such file.jpg")).error.isEmpty());
}

void tst_pictureloader::refusesBadFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray bmp = halves(64, 48, "bmp");
    const QByteArray jpeg = halves(64, 48, "jpeg");

    QTest::newRow("empty file") << "empty.jpg" << QByteArray();
    QTest::newRow("text named .jpg") << "text.jpg" << QByteArray("This is not a picture.\n");
    QTest::newRow("JPEG cut in its header") << "cut.jpg" << jpeg.left(40);
    QTest::newRow("truncated BMP") << "cutpixels.bmp" << bmp.left(bmp.size() / 2);
    QTest::newRow("truncated GIF") << "cutpixels.gif" << kSmallFrame.chopped(6);
    for (const int side : {60000, 10000}) {
        // Little-endian: BMP width and height, GIF screen and frame sizes.
        const qint32 little = qToLittleEndian<qint32>(side);
        QByteArray hugeBmp = bmp, hugeGif = kSmallFrame;
        for (const int at : {18, 22})
            hugeBmp.replace(at, 4, reinterpret_cast<const char*>(&little), 4);
        for (const int at : {6, 8, 30, 32})
            hugeGif.replace(at, 2, reinterpret_cast<const char*>(&little), 2);
        QTest::addRow("BMP claiming %d x %d", side, side) << "huge.bmp" << hugeBmp;
        QTest::addRow("GIF claiming %d x %d", side, side) << "huge.gif" << hugeGif;
    }
    QTest::newRow("JPEG claiming 60000 x 60000")
        << "h.jpg" << withJpegFrameSize(jpeg, 60000, 60000);
    // A progressive file is buffered whole by the decoder: 8000 x 5000 is
    // already too much memory for it.
    QTest::newRow("progressive JPEG claiming 8000 x 5000")
        << "h.jpg" << withJpegFrameSize(halves(64, 48, "jpeg", true), 8000, 5000);
}

void tst_pictureloader::refusesBadFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QVERIFY(testsupport::writeBytes(m_dir.filePath(name), bytes));
    const LoadedPicture loaded = PictureLoader::load(m_dir.filePath(name));
    QVERIFY(loaded.image.isNull() && !loaded.error.isEmpty());
}

QUILTON_TEST_MAIN(tst_pictureloader)
#include "tst_pictureloader.moc"
