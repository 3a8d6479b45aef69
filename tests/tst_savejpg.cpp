#include "TestEnv.h"

#include "app/SaveJpgLoader.h"
#include "support/FileFixtures.h"
#include "support/TestInstall.h"

#include <QApplication>
#include <QImageReader>
#include <QTemporaryDir>

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
        const QImage detail = randomImage(160, 160, 77);
        QCOMPARE(save(detail, detail.size(), dir.filePath(u"q10.jpg"_s), 10), 0);
        QCOMPARE(save(detail, detail.size(), dir.filePath(u"q100.jpg"_s), 100), 0);
        QVERIFY(QFileInfo(dir.filePath(u"q100.jpg"_s)).size() >
                2 * QFileInfo(dir.filePath(u"q10.jpg"_s)).size());
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
