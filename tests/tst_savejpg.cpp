#include "TestEnv.h"

#include "SaveJPG.h"
#include "app/SaveJpgLoader.h"
#include "support/TestInstall.h"
#include "support/support_h1_files.h"

#include <QApplication>
#include <QImageReader>
#include <QLibrary>
#include <QTemporaryDir>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace testsupport;
using support_h1::folderEntries;

namespace {

QString libraryPath()
{
    return testenv::binDir() + u"/SaveJPG.so"_s;
}

// The library's return code, or -100 when it could not be loaded.
int save(const QImage& image, QSize area, const QString& fileName, int quality)
{
    const JpegCallResult result =
        SaveJpgLoader::save(libraryPath(), image, area.width(), area.height(), fileName, quality);
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
        const QRgb colour = qRgb(200, 100, 50);
        const QImage image = flatImage(64, 48, colour).copy(0, 0, 80, 60);
        for (const auto format :
             {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_RGB888}) {
            QCOMPARE(save(image.convertToFormat(format), QSize(64, 48), file, 90), 0);
            QImageReader reader(file);
            QCOMPARE(reader.format(), QByteArray("jpeg"));
            const QImage back = reader.read();
            QCOMPARE(back.size(), QSize(64, 48));
            for (const QPoint p : {QPoint(0, 0), QPoint(63, 47), QPoint(31, 20)}) {
                const QRgb got = back.pixel(p);
                QVERIFY2(qAbs(qRed(got) - 200) + qAbs(qGreen(got) - 100) + qAbs(qBlue(got) - 50) <=
                             12,
                         qPrintable(QString::number(got, 16)));
            }
        }
        QCOMPARE(folderEntries(dir.path()), QStringList{u"タイル(A).jpg"_s});
    }

    void higherQualityGivesLargerFile()
    {
        QTemporaryDir dir;
        const QImage detail = randomImage(160, 160, 77);
        const QString low = dir.filePath(u"q10.jpg"_s), high = dir.filePath(u"q100.jpg"_s);
        QCOMPARE(save(detail, detail.size(), low, 10), 0);
        QCOMPARE(save(detail, detail.size(), high, 100), 0);
        QVERIFY(QFileInfo(high).size() > 2 * QFileInfo(low).size());
    }

    void refusedCallsChangeNothing_data()
    {
        QTest::addColumn<QString>("name"); // prepared as its first word says
        QTest::addColumn<QSize>("area");   // of a 40 x 30 picture
        QTest::addColumn<int>("quality");
        QTest::addColumn<int>("code");
        const auto row = [](const char* tag, const char* name, QSize area, int quality, int code) {
            QTest::newRow(tag) << QString::fromUtf8(name) << area << quality << code;
        };
        const QSize all(40, 30);
        row("folder missing", "no/such/folder/out.jpg", all, 50, 1);
        row("no file name", "", all, 50, 1);
        row("pipe nobody reads fails at once", "pipe.jpg", all, 50, 1);
        row("folder not replaced", "folder.jpg", all, 50, 1);
        row("read-only file kept", "readonly.jpg", all, 50, 1);
        row("empty area", "out.jpg", QSize(0, 30), 50, 3);
        row("area larger than the surface", "out.jpg", QSize(41, 30), 50, 3);
        row("quality 0", "out.jpg", all, 0, 3);
        row("quality 255 fits the byte", "out.jpg", all, 255, 3);
        row("empty picture", "empty.jpg", all, 50, 3);
        row("quality 256 is not passed", "out.jpg", all, 256, -1);
        row("negative quality is not passed", "out.jpg", all, -1, -1);
    }
    void refusedCallsChangeNothing()
    {
        QFETCH(QString, name);
        QFETCH(QSize, area);
        QFETCH(int, quality);
        QFETCH(int, code);
        QTemporaryDir dir;
        const QString file = name.isEmpty() ? QString() : dir.filePath(name);
        if (name.startsWith(u"pipe"))
            QCOMPARE(mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        if (name.startsWith(u"folder"))
            QVERIFY(QDir().mkpath(file));
        if (name.startsWith(u"readonly")) {
            if (geteuid() == 0)
                QSKIP("the superuser may write anywhere");
            QVERIFY(writeBytes(file, "keep") && QFile::setPermissions(file, QFile::ReadOwner));
        }
        const QStringList before = folderEntries(dir.path());
        const QImage image = name.startsWith(u"empty") ? QImage() : flatImage(40, 30, 0);
        QCOMPARE(save(image, area, file, quality), code);
        QCOMPARE(folderEntries(dir.path()), before);
        QCOMPARE(QFileInfo(file).isFile(), name.startsWith(u"readonly"));
        if (name.startsWith(u"readonly")) // a pipe is not read: that would block
            QCOMPARE(readAll(file), "keep"_ba);
    }

    void directCallWithNullArguments()
    {
        QLibrary library(libraryPath());
        const auto saveToJpeg =
            reinterpret_cast<DCSavetoJPEGFunction>(library.resolve("DCSavetoJPEG"));
        QVERIFY(saveToJpeg);
        QTemporaryDir dir;
        const QByteArray file = QFile::encodeName(dir.filePath(u"x.jpg"_s));
        const QImage image = flatImage(8, 8, qRgb(9, 9, 9));
        const QuiltonSurface surface{image.constBits(), 8, 8, int32_t(image.bytesPerLine())};
        const QuiltonSurface noBits{nullptr, 8, 8, 32};
        const QuiltonSurface shortRows{image.constBits(), 8, 8, 8 * 4 - 1};
        QCOMPARE(saveToJpeg(nullptr, 8, 8, file.constData(), 50, 0), 3);
        QCOMPARE(saveToJpeg(&surface, 8, 8, nullptr, 50, 0), 3);
        QCOMPARE(saveToJpeg(&noBits, 8, 8, file.constData(), 50, 0), 3);
        QCOMPARE(saveToJpeg(&shortRows, 8, 8, file.constData(), 50, 0), 3);
        QCOMPARE(folderEntries(dir.path()), QStringList());
        QCOMPARE(saveToJpeg(&surface, 8, 8, file.constData(), 50, 12345), 0); // reserved ignored
    }

    void fullDeviceStaysADevice()
    {
        struct stat before = {}, after = {};
        if (stat("/dev/full", &before) != 0 || !S_ISCHR(before.st_mode))
            QSKIP("no /dev/full here");
        QCOMPARE(save(randomImage(64, 64, 1), QSize(64, 64), u"/dev/full"_s, 90), 2);
        // Written in place, never replaced by a file or removed.
        QCOMPARE(stat("/dev/full", &after), 0);
        QVERIFY(S_ISCHR(after.st_mode));
        QCOMPARE(after.st_rdev, before.st_rdev);
    }

    void failuresKeepTheOldFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"tile.jpg"_s);
        writeBytes(file, "old picture");
        // Wider than a JPEG can be: refused after the file was opened.
        QCOMPARE(save(flatImage(65501, 1, 0), QSize(65501, 1), file, 50), 4);
        {
            support_h1::FileSizeLimit limit(2000); // a full disc
            const QImage detail = randomImage(300, 300, 2);
            QCOMPARE(save(detail, detail.size(), file, 100), 2);
            QCOMPARE(save(detail, detail.size(), dir.filePath(u"new.jpg"_s), 100), 2);
        }
        QCOMPARE(readAll(file), QByteArray("old picture"));
        QCOMPARE(folderEntries(dir.path()), QStringList{u"tile.jpg"_s});
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
        QCOMPARE(folderEntries(dir.path()), (QStringList{u"link.jpg"_s, u"tile.jpg"_s}));
    }

    void libraryThatCannotBeLoaded()
    {
        QTemporaryDir dir;
        const QString text = dir.filePath(u"SaveJPG.so"_s);
        QVERIFY(writeBytes(text, "this is not a library\n"));
        Dl_info qtCore{}; // a real library without DCSavetoJPEG
        QVERIFY(dladdr(reinterpret_cast<void*>(&qVersion), &qtCore) != 0);
        const QString other = QFile::decodeName(qtCore.dli_fname);
        QVERIFY(QFileInfo(other).isFile());
        for (const QString& path :
             {u"/nonexistent/SaveJPG.so"_s, QString(), dir.path(), text, other})
            QVERIFY2(
                !SaveJpgLoader::save(path, flatImage(8, 8, 0), 8, 8, dir.filePath(u"out.jpg"_s), 50)
                     .loaded,
                qPrintable(path));
        QCOMPARE(folderEntries(dir.path()), QStringList{u"SaveJPG.so"_s});
    }
};

QUILTON_TEST_MAIN(tst_savejpg)
#include "tst_savejpg.moc"
