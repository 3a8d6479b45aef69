#include "TestEnv.h"

#include "app/SaveJpgLoader.h"
#include "support/FileFixtures.h"
#include "support/PictureChecks.h"
#include "support/TestInstall.h"
#include "tile/Composer.h"

#include <QApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>

#include <cmath>
#include <dlfcn.h>
#include <optional>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace testsupport;
using testfiles::folderEntries;
using testpictures::difference;

namespace {

// The library's return code, or -100 when it could not be loaded.
int save(const QImage& image, QSize area, const QString& fileName, int quality,
         const QString& library = testenv::binDir() + u"/SaveJPG.so"_s)
{
    const JpegCallResult result =
        SaveJpgLoader::save(library, image, area.width(), area.height(), fileName, quality);
    return result.loaded ? result.code : -100;
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
        const QImage area = flatImage(64, 48, qRgb(200, 100, 50));
        for (const auto format :
             {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_RGB888}) {
            QCOMPARE(save(area.copy(0, 0, 80, 60).convertToFormat(format), area.size(), file, 90),
                     0);
            QCOMPARE(QImageReader(file).format(), "jpeg"_ba);
            QVERIFY(difference(QImage(file), area).largest <= 4);
        }
    }

    // The file is exactly what libjpeg's own cjpeg makes of the picture at
    // that quality with Huffman tables fitted to it: baseline, the standard
    // tables scaled by the quality, colour at full resolution from 90 up.
    // The picture is the XOR tile of a noisy source, with its chamfer.
    void fileIsLibjpegsOwnAtTheQuality_data()
    {
        QTest::addColumn<int>("quality");
        for (const int quality : {1, 10, 25, 50, 75, 89, 90, 95, 100})
            QTest::addRow("quality %d", quality) << quality;
    }
    void fileIsLibjpegsOwnAtTheQuality()
    {
        QFETCH(int, quality);
        QTemporaryDir dir;
        const QString file = dir.filePath(u"tile.jpg"_s);
        const QImage tile = Composer::compose(randomImage(40, 30, 5), 2, false, true);
        QCOMPARE(save(tile, tile.size(), file, quality), 0);
        const QByteArray jpeg = readAll(file);
        const qsizetype frame = jpeg.indexOf("\xff\xc0"); // baseline
        QVERIFY(frame > 0);
        QCOMPARE(int(jpeg[frame + 11]), quality >= 90 ? 0x11 : 0x22); // luminance sampling
        QStringList options{u"-quality"_s, QString::number(quality), u"-optimize"_s,
                            u"-baseline"_s};
        if (quality >= 90)
            options << u"-sample"_s << u"1x1"_s;
        QCOMPARE(jpeg, testpictures::run(u"cjpeg"_s, options, testpictures::encoded(tile, "ppm")));
    }

    // What the user sees of it: sharp colour designs come back within 4
    // levels at quality 100, a noisy XOR tile above 30 dB at 95, and a
    // higher quality still costs more bytes.
    void highQualityLooksLikeTheTile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"tile.jpg"_s);
        QImage checker(100, 100, QImage::Format_RGB32), lines = flatImage(100, 100, 0xffffffff),
                                                        blocks(100, 100, QImage::Format_RGB32);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x) {
                checker.setPixel(x, y, (x / 3 + y / 3) % 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
                if (x % 4 == 0)
                    lines.setPixel(x, y, qRgb(255, 0, 0));
                const QRgb saturated[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255),
                                          qRgb(255, 255, 0)};
                blocks.setPixel(x, y, saturated[(x / 25 + y / 25) % 4]);
            }
        for (const QImage& design : {checker, lines, blocks}) {
            QCOMPARE(save(design, design.size(), file, 100), 0);
            QVERIFY(difference(QImage(file), design).largest <= 4);
        }

        const QImage tile = Composer::compose(randomImage(100, 100, 7), 2, false, false);
        qint64 previous = 0;
        for (const int quality : {50, 75, 90, 95, 100}) {
            QCOMPARE(save(tile, tile.size(), file, quality), 0);
            QVERIFY(QFileInfo(file).size() > previous);
            previous = QFileInfo(file).size();
            if (quality == 95) {
                const QImage back = QImage(file).convertToFormat(QImage::Format_RGB32);
                double squared = 0;
                for (int y = 0; y < 100; ++y)
                    for (int x = 0; x < 100; ++x) {
                        const QRgb p = back.pixel(x, y), q = tile.pixel(x, y);
                        for (const int c :
                             {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                            squared += double(c) * c;
                    }
                const double psnr = 10 * std::log10(255.0 * 255.0 / (squared / 30000));
                QVERIFY2(psnr > 30, qPrintable(QString::number(psnr)));
            }
        }
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
