#include "TestEnv.h"

#include "SaveJPG.h"
#include "app/SaveJpgLoader.h"
#include "support/support_h1_files.h"

#include <QApplication>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

using support_h1::folderEntries;
using support_h1::readFile;
using support_h1::writeFile;

namespace {

QString libraryPath()
{
    return testenv::binDir() + QStringLiteral("/SaveJPG.so");
}

QImage flat(int width, int height, QRgb colour, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(width, height, format);
    image.fill(colour);
    return image;
}

QImage noise(int width, int height)
{
    QRandomGenerator random(77);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = 0xff000000u | (random.generate() & 0x00ffffffu);
    }
    return image;
}

bool near(QRgb got, QRgb want, int tolerance)
{
    return qAbs(qRed(got) - qRed(want)) <= tolerance &&
           qAbs(qGreen(got) - qGreen(want)) <= tolerance &&
           qAbs(qBlue(got) - qBlue(want)) <= tolerance;
}

// The Qt Core library mapped into this process: a real library without
// DCSavetoJPEG.
QString qtCoreLibrary()
{
    const QList<QByteArray> lines = readFile(QStringLiteral("/proc/self/maps")).split('\n');
    for (const QByteArray& line : lines) {
        const qsizetype at = line.indexOf('/');
        if (at >= 0 && line.contains("libQt6Core.so"))
            return QString::fromLocal8Bit(line.mid(at).trimmed());
    }
    return QString();
}

JpegCallResult save(const QImage& image, int width, int height, const QString& fileName,
                    int quality)
{
    return SaveJpgLoader::save(libraryPath(), image, width, height, fileName, quality);
}

} // namespace

class tst_savejpg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(QFileInfo::exists(libraryPath())); }

    void flatColourComesBack_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("RGB32") << int(QImage::Format_RGB32);
        QTest::newRow("ARGB32 converted") << int(QImage::Format_ARGB32);
        QTest::newRow("RGB888 converted") << int(QImage::Format_RGB888);
    }
    void flatColourComesBack()
    {
        QFETCH(int, format);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("タイル(A).jpg"));
        // Red, green and blue all differ, so a swapped channel shows.
        const QRgb colour = qRgb(200, 100, 50);
        const JpegCallResult result =
            save(flat(64, 48, colour, QImage::Format(format)), 64, 48, file, 90);
        QVERIFY(result.loaded);
        QCOMPARE(result.code, 0);
        QImageReader reader(file);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        const QImage back = reader.read();
        QCOMPARE(back.size(), QSize(64, 48));
        for (const QPoint p : {QPoint(0, 0), QPoint(63, 47), QPoint(31, 20)})
            QVERIFY2(near(back.pixel(p), colour, 4),
                     qPrintable(QString::number(back.pixel(p), 16)));
        QCOMPARE(folderEntries(dir.path()), QStringList{QStringLiteral("タイル(A).jpg")});
    }

    void areaIsTakenFromTopLeft()
    {
        QTemporaryDir dir;
        QImage image = flat(100, 80, qRgb(0, 0, 255));
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 50; ++x)
                image.setPixel(x, y, qRgb(255, 0, 0));
        const QString file = dir.filePath(QStringLiteral("part.jpg"));
        QCOMPARE(save(image, 48, 32, file, 95).code, 0);
        const QImage back(file);
        QCOMPARE(back.size(), QSize(48, 32));
        QVERIFY(near(back.pixel(47, 31), qRgb(255, 0, 0), 6));
        QVERIFY(near(back.pixel(0, 0), qRgb(255, 0, 0), 6));
    }

    void higherQualityGivesLargerFile()
    {
        QTemporaryDir dir;
        const QImage detail = noise(160, 160);
        const QString low = dir.filePath(QStringLiteral("q10.jpg"));
        const QString high = dir.filePath(QStringLiteral("q100.jpg"));
        QCOMPARE(save(detail, 160, 160, low, 10).code, 0);
        QCOMPARE(save(detail, 160, 160, high, 100).code, 0);
        QVERIFY(QFileInfo(high).size() > 2 * QFileInfo(low).size());
        QCOMPARE(QImage(high).size(), QSize(160, 160));
    }

    void refusedCallsLeaveNoFile_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("quality");
        QTest::addColumn<bool>("nullImage");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("code");
        const QString plain = QStringLiteral("out.jpg");
        QTest::newRow("folder missing") << 40 << 30 << 50 << false << "no/such/folder/out.jpg" << 1;
        QTest::newRow("empty name") << 40 << 30 << 50 << false << QString() << 1;
        QTest::newRow("zero width") << 0 << 30 << 50 << false << plain << 3;
        QTest::newRow("negative height") << 40 << -1 << 50 << false << plain << 3;
        QTest::newRow("area wider than the surface") << 41 << 30 << 50 << false << plain << 3;
        QTest::newRow("area higher than the surface") << 40 << 31 << 50 << false << plain << 3;
        QTest::newRow("quality 0") << 40 << 30 << 0 << false << plain << 3;
        QTest::newRow("quality 101") << 40 << 30 << 101 << false << plain << 3;
        QTest::newRow("quality 255 fits the byte") << 40 << 30 << 255 << false << plain << 3;
        QTest::newRow("empty picture") << 40 << 30 << 50 << true << plain << 3;
        QTest::newRow("quality 256 is not passed") << 40 << 30 << 256 << false << plain << -1;
        QTest::newRow("negative quality is not passed") << 40 << 30 << -1 << false << plain << -1;
    }
    void refusedCallsLeaveNoFile()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, quality);
        QFETCH(bool, nullImage);
        QFETCH(QString, name);
        QFETCH(int, code);
        QTemporaryDir dir;
        const QImage image = nullImage ? QImage() : flat(40, 30, qRgb(1, 2, 3));
        const QString file = name.isEmpty() ? QString() : dir.filePath(name);
        const JpegCallResult result = save(image, width, height, file, quality);
        QVERIFY(result.loaded);
        QCOMPARE(result.code, code);
        QCOMPARE(folderEntries(dir.path()), QStringList());
    }

    void encoderFailureLeavesNoFile()
    {
        // Wider than a JPEG can be: the encoder refuses it after the file
        // was opened, and nothing may stay behind.
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("wide.jpg"));
        writeFile(file, "old picture");
        QCOMPARE(save(flat(65501, 1, qRgb(5, 5, 5)), 65501, 1, file, 50).code, 4);
        QCOMPARE(readFile(file), QByteArray("old picture"));
        QCOMPARE(folderEntries(dir.path()), QStringList{QStringLiteral("wide.jpg")});
    }

    void directCallWithNullArguments()
    {
        void* handle = dlopen(QFile::encodeName(libraryPath()).constData(), RTLD_NOW | RTLD_LOCAL);
        QVERIFY(handle);
        const auto saveToJpeg =
            reinterpret_cast<DCSavetoJPEGFunction>(dlsym(handle, "DCSavetoJPEG"));
        QVERIFY(saveToJpeg);
        QTemporaryDir dir;
        const QByteArray file = QFile::encodeName(dir.filePath(QStringLiteral("x.jpg")));
        const QImage image = flat(8, 8, qRgb(9, 9, 9));
        const QuiltonSurface surface{image.constBits(), 8, 8, int32_t(image.bytesPerLine())};
        const QuiltonSurface noBits{nullptr, 8, 8, 32};
        const QuiltonSurface shortRows{image.constBits(), 8, 8, 8 * 4 - 1};
        QCOMPARE(saveToJpeg(nullptr, 8, 8, file.constData(), 50, 0), 3);
        QCOMPARE(saveToJpeg(&surface, 8, 8, nullptr, 50, 0), 3);
        QCOMPARE(saveToJpeg(&noBits, 8, 8, file.constData(), 50, 0), 3);
        QCOMPARE(saveToJpeg(&shortRows, 8, 8, file.constData(), 50, 0), 3);
        QCOMPARE(folderEntries(dir.path()), QStringList());
        // The reserved argument is ignored.
        QCOMPARE(saveToJpeg(&surface, 8, 8, file.constData(), 50, 12345), 0);
        dlclose(handle);
    }

    void fullDevice()
    {
        const QString full = QStringLiteral("/dev/full");
        struct stat before
        {
        };
        if (stat("/dev/full", &before) != 0 || !S_ISCHR(before.st_mode))
            QSKIP("no /dev/full here");
        QCOMPARE(save(noise(64, 64), 64, 64, full, 90).code, 2);
        // The device is written directly, never replaced or removed.
        struct stat after
        {
        };
        QCOMPARE(stat("/dev/full", &after), 0);
        QVERIFY(S_ISCHR(after.st_mode));
        QCOMPARE(after.st_rdev, before.st_rdev);
    }

    void fullDiscKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("tile.jpg"));
        writeFile(file, "old picture");
        {
            support_h1::FileSizeLimit limit(2000);
            QCOMPARE(save(noise(300, 300), 300, 300, file, 100).code, 2);
        }
        QCOMPARE(readFile(file), QByteArray("old picture"));
        QCOMPARE(folderEntries(dir.path()), QStringList{QStringLiteral("tile.jpg")});
        {
            support_h1::FileSizeLimit limit(2000);
            QCOMPARE(
                save(noise(300, 300), 300, 300, dir.filePath(QStringLiteral("new.jpg")), 100).code,
                2);
        }
        QCOMPARE(folderEntries(dir.path()), QStringList{QStringLiteral("tile.jpg")});
    }

    void replacingKeepsPermissionsAndLinks()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("tile.jpg"));
        writeFile(file, "old");
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ReadGroup));
        const QString link = dir.filePath(QStringLiteral("link.jpg"));
        QVERIFY(QFile::link(file, link));
        QCOMPARE(save(flat(16, 16, qRgb(10, 200, 30)), 16, 16, link, 80).code, 0);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(QImage(file).size(), QSize(16, 16));
        QCOMPARE(QFileInfo(file).permissions() & 0x7077, // owner, group, others
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
        QCOMPARE(folderEntries(dir.path()),
                 (QStringList{QStringLiteral("link.jpg"), QStringLiteral("tile.jpg")}));
    }

    void namesThatCannotBeWritten()
    {
        QTemporaryDir dir;
        // A pipe nobody reads fails at once instead of blocking the program.
        const QString pipe = dir.filePath(QStringLiteral("pipe.jpg"));
        QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QCOMPARE(save(flat(8, 8, qRgb(1, 1, 1)), 8, 8, pipe, 50).code, 1);
        QVERIFY(QFileInfo::exists(pipe));
        // A folder is not replaced.
        const QString folder = dir.filePath(QStringLiteral("folder.jpg"));
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(save(flat(8, 8, qRgb(1, 1, 1)), 8, 8, folder, 50).code, 1);
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(folderEntries(dir.path()),
                 (QStringList{QStringLiteral("folder.jpg"), QStringLiteral("pipe.jpg")}));
        if (geteuid() != 0) {
            const QString readOnly = dir.filePath(QStringLiteral("ro.jpg"));
            writeFile(readOnly, "keep");
            QFile::setPermissions(readOnly, QFileDevice::ReadOwner);
            QCOMPARE(save(flat(8, 8, qRgb(1, 1, 1)), 8, 8, readOnly, 50).code, 1);
            QCOMPARE(readFile(readOnly), QByteArray("keep"));
        }
    }

    void libraryThatCannotBeLoaded_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing file") << QStringLiteral("/nonexistent/SaveJPG.so");
        QTest::newRow("empty path") << QString();
        QTest::newRow("a folder") << QDir::tempPath();
        QTest::newRow("text file") << QStringLiteral("text");
        QTest::newRow("library without the function") << qtCoreLibrary();
    }
    void libraryThatCannotBeLoaded()
    {
        QFETCH(QString, path);
        QTemporaryDir dir;
        if (path == QLatin1String("text")) {
            path = dir.filePath(QStringLiteral("SaveJPG.so"));
            writeFile(path, "this is not a library\n");
        }
        if (QTest::currentDataTag() == QLatin1String("library without the function"))
            QVERIFY(QFileInfo(path).isFile());
        const QString file = dir.filePath(QStringLiteral("out.jpg"));
        const JpegCallResult result =
            SaveJpgLoader::save(path, flat(8, 8, qRgb(1, 1, 1)), 8, 8, file, 50);
        QVERIFY(!result.loaded);
        QVERIFY(!QFileInfo::exists(file));
    }
};

QUILTON_TEST_MAIN(tst_savejpg)
#include "tst_savejpg.moc"
