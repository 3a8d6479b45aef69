#include "TestEnv.h"

#include "app/SaveJpgLoader.h"
#include "support/FileFixtures.h"
#include "support/TestInstall.h"
#include "tile/Composer.h"

#include <QApplication>
#include <QImageReader>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <dlfcn.h>
#include <optional>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace testsupport;
using testfiles::folderEntries;

namespace {

// The library's return code, or -100 when it could not be loaded.
int save(const QImage& image, QSize area, const QString& fileName, int quality,
         const QString& library = testenv::binDir() + u"/SaveJPG.so"_s)
{
    const JpegCallResult result =
        SaveJpgLoader::save(library, image, area.width(), area.height(), fileName, quality);
    return result.loaded ? result.code : -100;
}

// What a JPEG file's header says: the frame marker (0xc0 baseline), each
// component's sampling factors and quantisation table, the tables in
// natural order, and how many codes each Huffman table lists.
struct JpegHeader
{
    int frameMarker = 0;
    QList<QPoint> sampling;
    QList<int> tableOf;
    QList<int> tables[4];
    QList<int> huffmanCodes;
};

JpegHeader parseHeader(const QByteArray& jpeg)
{
    static const int kNaturalOrder[64] = {
        0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
        41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
        30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    const auto byte = [&jpeg](qsizetype at) { return int(uchar(jpeg.at(at))); };
    JpegHeader header;
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && byte(at) == 0xff && byte(at + 1) != 0xda) {
        const int marker = byte(at + 1);
        const qsizetype end = at + 2 + (byte(at + 2) << 8 | byte(at + 3));
        qsizetype p = at + 4;
        if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xcc) {
            header.frameMarker = marker;
            for (int c = 0, n = byte(p + 5); c < n; ++c) {
                const int factors = byte(p + 7 + 3 * c);
                header.sampling.append(QPoint(factors >> 4, factors & 15));
                header.tableOf.append(byte(p + 8 + 3 * c));
            }
        } else if (marker == 0xdb) {
            for (; p < end; p += 65) { // 8-bit tables only: baseline
                QList<int> table(64);
                for (int k = 0; k < 64; ++k)
                    table[kNaturalOrder[k]] = byte(p + 1 + k);
                header.tables[byte(p) & 3] = table;
            }
        } else if (marker == 0xc4) {
            while (p < end) {
                int codes = 0;
                for (int bits = 1; bits <= 16; ++bits)
                    codes += byte(p + bits);
                header.huffmanCodes.append(codes);
                p += 17 + codes;
            }
        }
        at = end;
    }
    return header;
}

// The quantisation table libjpeg makes from a standard one at a quality,
// limited to 8 bits.
QList<int> scaledTable(const int (&standard)[64], int quality)
{
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    QList<int> table;
    for (const int value : standard)
        table.append(std::clamp((value * scale + 50) / 100, 1, 255));
    return table;
}

const int kLuminance[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                            14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                            18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                            49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const int kChrominance[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                              24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                              99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                              99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

// The largest difference of one colour channel between two pictures.
int largestDifference(const QImage& a, const QImage& b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            largest = std::max({largest, qAbs(qRed(p) - qRed(q)), qAbs(qGreen(p) - qGreen(q)),
                                qAbs(qBlue(p) - qBlue(q))});
        }
    return largest;
}

double psnr(const QImage& a, const QImage& b)
{
    double squares = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                squares += d * d;
        }
    const double mean = squares / (3.0 * a.width() * a.height());
    return 10 * std::log10(255.0 * 255.0 / std::max(mean, 1e-9));
}

// Sharp designs of the kind tiles are: 100 x 100.
QImage sharpDesign(int kind)
{
    QImage image = flatImage(100, 100, qRgb(255, 255, 255));
    const QRgb saturated[] = {qRgb(255, 0, 0),   qRgb(0, 255, 0),    qRgb(0, 0, 255),
                              qRgb(255, 255, 0), qRgb(0, 255, 255),  qRgb(255, 0, 255),
                              qRgb(0, 0, 0),     qRgb(255, 255, 255)};
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            if (kind == 0) // 3-pixel red and blue checker
                image.setPixel(x, y, (x / 3 + y / 3) % 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
            else if (kind == 1 && x % 4 == 0) // 1-pixel red lines on white
                image.setPixel(x, y, qRgb(255, 0, 0));
            else if (kind == 2) // 10-pixel blocks of saturated colours
                image.setPixel(x, y, saturated[(x / 10 + 3 * (y / 10)) % 8]);
        }
    return image;
}

} // namespace

class tst_savejpg : public QObject
{
    Q_OBJECT

private slots:
    void areaComesBackInItsColour()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"タイル(A).jpg"_s);
        // Channels differ, so a swapped one shows; the area is the top-left
        // 64 x 48 of a larger picture, black elsewhere.
        const QImage image = flatImage(64, 48, qRgb(200, 100, 50)).copy(0, 0, 80, 60);
        for (const auto format :
             {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_RGB888}) {
            QCOMPARE(save(image.convertToFormat(format), QSize(64, 48), file, 90), 0);
            QImageReader reader(file);
            QCOMPARE(reader.format(), "jpeg"_ba);
            const QImage back = reader.read();
            QCOMPARE(back.size(), QSize(64, 48));
            for (const QPoint p : {QPoint(0, 0), QPoint(63, 47), QPoint(31, 20)}) {
                const QRgb got = back.pixel(p);
                QVERIFY(qAbs(qRed(got) - 200) + qAbs(qGreen(got) - 100) + qAbs(qBlue(got) - 50) <=
                        12);
            }
        }
    }

    // Baseline, colour at full resolution from quality 90 up, the standard
    // tables scaled by the quality, Huffman tables fitted to the picture.
    void headerFollowsTheQuality_data()
    {
        QTest::addColumn<int>("quality");
        QTest::addColumn<int>("lumaFactor"); // colour components are always 1 x 1
        for (const int quality : {1, 10, 25, 50, 75, 89})
            QTest::addRow("quality %d, colour at half resolution", quality) << quality << 2;
        for (const int quality : {90, 95, 100})
            QTest::addRow("quality %d, colour at full resolution", quality) << quality << 1;
    }
    void headerFollowsTheQuality()
    {
        QFETCH(int, quality);
        QFETCH(int, lumaFactor);
        QTemporaryDir dir;
        const QString file = dir.filePath(u"tile.jpg"_s);
        QCOMPARE(save(flatImage(100, 100, qRgb(120, 80, 200)), QSize(100, 100), file, quality), 0);
        const JpegHeader header = parseHeader(readAll(file));
        QCOMPARE(header.frameMarker, 0xc0);
        const QPoint luma(lumaFactor, lumaFactor), colour(1, 1);
        QCOMPARE(header.sampling, (QList<QPoint>{luma, colour, colour}));
        QCOMPARE(header.tableOf, (QList<int>{0, 1, 1}));
        QCOMPARE(header.tables[0], scaledTable(kLuminance, quality));
        QCOMPARE(header.tables[1], scaledTable(kChrominance, quality));
        // A flat picture needs few codes: the standard tables list 12 and
        // 162 (DC, AC) for each of luminance and colour.
        QCOMPARE(header.huffmanCodes.size(), 4);
        for (const int codes : header.huffmanCodes)
            QVERIFY2(codes < 12, qPrintable(QString::number(codes)));
    }

    void sharpDesignsKeepTheirColoursAtQuality100_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("3-pixel red and blue checker") << 0;
        QTest::newRow("1-pixel red lines on white") << 1;
        QTest::newRow("saturated blocks") << 2;
    }
    void sharpDesignsKeepTheirColoursAtQuality100()
    {
        QFETCH(int, kind);
        QTemporaryDir dir;
        const QString file = dir.filePath(u"tile.jpg"_s);
        const QImage tile = sharpDesign(kind);
        QCOMPARE(save(tile, tile.size(), file, 100), 0);
        const int off = largestDifference(QImage(file), tile);
        QVERIFY2(off <= 4, qPrintable(QString::number(off)));
    }

    void xorTileOfANoisySourceAndFileSizes()
    {
        QTemporaryDir dir;
        const QImage tile = Composer::compose(randomImage(40, 30, 5), 2, false, true);
        QList<qint64> sizes;
        for (const int quality : {10, 30, 50, 70, 89, 90, 95, 100}) {
            const QString file = dir.filePath(u"q%1.jpg"_s.arg(quality));
            QCOMPARE(save(tile, tile.size(), file, quality), 0);
            sizes.append(QFileInfo(file).size());
            const double decibels = psnr(QImage(file), tile);
            QVERIFY2(quality != 95 || decibels > 30, qPrintable(QString::number(decibels)));
        }
        QList<qint64> sorted = sizes;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(sizes, sorted); // a higher quality gives a larger file
        QVERIFY(sizes.size() == QSet<qint64>(sizes.begin(), sizes.end()).size());
    }

    void refusedCallsChangeNothing_data()
    {
        QTest::addColumn<QString>("name"); // "old": the file exists; "full": the disc is full
        QTest::addColumn<QSize>("area");   // of a 300 x 300 picture
        QTest::addColumn<int>("quality");
        QTest::addColumn<int>("code");
        const QSize all(300, 300);
        QTest::newRow("folder missing") << u"no/such/folder/out.jpg"_s << all << 50 << 1;
        QTest::newRow("empty area") << u"out.jpg"_s << QSize(0, 300) << 50 << 3;
        QTest::newRow("area larger than the surface") << u"out.jpg"_s << QSize(301, 300) << 50 << 3;
        QTest::newRow("quality 0, old file kept") << u"old.jpg"_s << all << 0 << 3;
        QTest::newRow("quality 256 is not passed") << u"out.jpg"_s << all << 256 << -1;
        QTest::newRow("full disc") << u"full.jpg"_s << all << 100 << 2;
        QTest::newRow("full disc, old file kept") << u"old-full.jpg"_s << all << 100 << 2;
    }
    void refusedCallsChangeNothing()
    {
        QFETCH(QString, name);
        QFETCH(QSize, area);
        QFETCH(int, quality);
        QFETCH(int, code);
        QTemporaryDir dir;
        const QString file = dir.filePath(name);
        QVERIFY(!name.startsWith(u"old") || writeBytes(file, "old picture"));
        const QStringList before = folderEntries(dir.path());
        {
            std::optional<testfiles::FileSizeLimit> limit;
            if (name.contains(u"full"))
                limit.emplace(2000);
            QCOMPARE(save(randomImage(300, 300, 2), area, file, quality), code);
        }
        QCOMPARE(folderEntries(dir.path()), before);
        QCOMPARE(readAll(file), name.startsWith(u"old") ? "old picture"_ba : QByteArray());
    }

    void fullDeviceStaysADevice()
    {
        struct stat before = {}, after = {};
        if (stat("/dev/full", &before) != 0 || !S_ISCHR(before.st_mode))
            QSKIP("no /dev/full here");
        QCOMPARE(save(randomImage(64, 64, 1), QSize(64, 64), u"/dev/full"_s, 90), 2);
        // Written in place, never replaced by a file or removed.
        QCOMPARE(stat("/dev/full", &after), 0);
        QVERIFY(S_ISCHR(after.st_mode) && after.st_rdev == before.st_rdev);
    }

    void replacingKeepsPermissionsAndLinks()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"tile.jpg"_s), link = dir.filePath(u"link.jpg"_s);
        const auto mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        writeBytes(file, "old");
        QVERIFY(QFile::setPermissions(file, mode) && QFile::link(file, link));
        QCOMPARE(save(flatImage(16, 16, qRgb(10, 200, 30)), QSize(16, 16), link, 80), 0);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(QImage(file).size(), QSize(16, 16));
        QCOMPARE(QFileInfo(file).permissions() & 0x7077, mode); // owner, group, others
    }

    void libraryThatCannotBeLoaded()
    {
        QTemporaryDir dir;
        const QString text = dir.filePath(u"SaveJPG.so"_s), out = dir.filePath(u"out.jpg"_s);
        QVERIFY(writeBytes(text, "this is not a library\n"));
        Dl_info qtCore{}; // a real library without DCSavetoJPEG
        QVERIFY(dladdr(reinterpret_cast<void*>(&qVersion), &qtCore) != 0);
        for (const QString& path :
             {u"/nonexistent/SaveJPG.so"_s, text, QFile::decodeName(qtCore.dli_fname)})
            QCOMPARE(save(flatImage(8, 8, 0), QSize(8, 8), out, 50, path), -100);
        QCOMPARE(folderEntries(dir.path()), QStringList{u"SaveJPG.so"_s});
    }
};

QUILTON_TEST_MAIN(tst_savejpg)
#include "tst_savejpg.moc"
