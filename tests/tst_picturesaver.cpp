#include "TestEnv.h"
#include "support/FileFixtures.h"
#include "support/Leftovers.h"
#include "support/TestInstall.h"

#include "output/PictureSaver.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QImageReader>
#include <QTemporaryDir>

#include <sys/file.h>
#include <sys/stat.h>

using FileCheck::Failure;
using PictureSaver::JpegOutcome;
using testsupport::randomImage;
using testsupport::readAll;

namespace {

// The file type bits of path itself (a link is not followed).
mode_t typeOf(const QString& path)
{
    struct stat st = {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

} // namespace

class tst_picturesaver : public QObject
{
    Q_OBJECT

private slots:
    // The windows' tiles carry the screen's resolution, quilton-batch's Qt's
    // default: both must write the same file for the same tile (96 dpi).
    void bmpIsExact24BitsWhateverTheResolution()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("tile.bmp");
        // An odd width makes the rows padded to four bytes.
        for (QImage picture : {randomImage(37, 23, 1),
                               randomImage(100, 50, 2).convertToFormat(QImage::Format_ARGB32),
                               randomImage(31, 7, 3).convertToFormat(QImage::Format_Grayscale8)}) {
            QVERIFY(PictureSaver::saveBmp(picture, path));
            const QByteArray bytes = readAll(path);
            QCOMPARE(bytes.mid(28, 2), QByteArray("\x18\x00", 2));     // 24 bits per pixel
            QCOMPARE(bytes.mid(38, 4), QByteArray("\xc4\x0e\0\0", 4)); // 3780 pixels per metre
            QCOMPARE(QImage(path).convertToFormat(QImage::Format_RGB32),
                     picture.convertToFormat(QImage::Format_RGB32));
            picture.setDotsPerMeterX(5669);
            picture.setDotsPerMeterY(2835);
            QVERIFY(PictureSaver::saveBmp(picture, path));
            QCOMPARE(readAll(path), bytes);
        }
    }

    // A write that fails as on a full disc keeps the old file and leaves no
    // temporary file (the disc really full: tst_batch_cli's "full disc").
    void failedOverwriteKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("tile.bmp");
        QVERIFY(PictureSaver::saveBmp(randomImage(10, 10, 4), path));
        const QByteArray before = readAll(path);
        QString error;
        {
            testfiles::FileSizeLimit limit(4096);
            QVERIFY(!PictureSaver::saveBmp(randomImage(200, 200, 5), path, &error));
        }
        QVERIFY(!error.isEmpty());
        QVERIFY(!PictureSaver::saveBmp(QImage(), path)); // nothing to write
        QCOMPARE(readAll(path), before);
        QCOMPARE(testfiles::folderEntries(dir.path()), QStringList{"tile.bmp"});
    }

    void jpegQualityAndOutcomes()
    {
        QTemporaryDir dir;
        const QString library = testenv::binDir() + "/SaveJPG.so", none = dir.filePath("none.so");
        const QString target = dir.filePath("t.jpg"), low = dir.filePath("10.jpg"),
                      high = dir.filePath("100.jpg");
        const QImage picture = randomImage(64, 64, 7);
        QCOMPARE(PictureSaver::saveJpeg(library, picture, low, 10), JpegOutcome::Saved);
        QCOMPARE(PictureSaver::saveJpeg(library, picture, high, 100), JpegOutcome::Saved);
        QCOMPARE(QImageReader(high).format(), "jpeg");
        QCOMPARE(QImage(low).size(), picture.size());
        QVERIFY(QFileInfo(low).size() < QFileInfo(high).size());

        QCOMPARE(PictureSaver::saveJpeg(none, picture, target, 50), JpegOutcome::CannotLoad);
        QCOMPARE(PictureSaver::jpegMessage(JpegOutcome::CannotLoad),
                 "SaveJPG.DLLが見つかりません。別途入手してください。");
        // A quality that does not fit a byte never reaches the library, and
        // fails without a message.
        QCOMPARE(PictureSaver::saveJpeg(none, picture, target, 256), JpegOutcome::QualityOverflow);
        QCOMPARE(PictureSaver::jpegMessage(JpegOutcome::QualityOverflow), QString());
        // The library refuses quality 0 and an empty picture (its code 3); a
        // file it cannot open is its code 1.
        QCOMPARE(PictureSaver::saveJpeg(library, picture, target, 0), JpegOutcome::FormatError);
        QCOMPARE(PictureSaver::saveJpeg(library, QImage(), target, 50), JpegOutcome::FormatError);
        QCOMPARE(PictureSaver::jpegMessage(JpegOutcome::FormatError), "File Format Error");
        QCOMPARE(PictureSaver::saveJpeg(library, picture, dir.filePath("no/t.jpg"), 50),
                 JpegOutcome::OpenError);
        QVERIFY(!QFileInfo::exists(target));
    }

    // Anything at a tile's name but a regular file or nothing is refused with
    // a message and left as it was; it is never replaced by a regular file.
    void bmpOnlyOverRegularFiles_data()
    {
        QTest::addColumn<QString>("thing");
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("message");
        const auto row = [](const char* tag, const char* thing, Failure failure, const char* text) {
            QTest::newRow(tag) << thing << int(failure) << text;
        };
        row("pipe", "fifo", Failure::NotRegularFile, "it is not a regular file (a pipe)");
        row("device", "/dev/full", Failure::NotRegularFile, "it is not a regular file (a device)");
        row("link to a device", "link", Failure::NotRegularFile,
            "it is not a regular file (a device)");
        row("folder", "folder", Failure::IsFolder, "it is a folder, not a file");
        row("folder missing", "no/t.bmp", Failure::Missing, "no such file or folder");
    }
    void bmpOnlyOverRegularFiles()
    {
        QFETCH(QString, thing);
        QFETCH(int, failure);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QString path = dir.filePath("t.bmp");
        const QByteArray name = QFile::encodeName(path);
        if (thing == "fifo")
            QCOMPARE(mkfifo(name.constData(), 0644), 0);
        else if (thing == "link")
            QCOMPARE(symlink("/dev/null", name.constData()), 0);
        else if (thing == "folder")
            QVERIFY(QDir().mkdir(path));
        else
            path = thing.startsWith('/') ? thing : dir.filePath(thing);
        const QStringList before = testfiles::folderEntries(dir.path());
        const mode_t type = typeOf(path);
        QString error;
        Failure kind = Failure::None;
        QVERIFY(!PictureSaver::saveBmp(randomImage(20, 20, 1), path, &error, &kind));
        QCOMPARE(error, message);
        QCOMPARE(int(kind), failure);
        QCOMPARE(typeOf(path), type);
        QCOMPARE(testfiles::folderEntries(dir.path()), before);
    }

    // A file written over keeps its permissions; through a symbolic link the
    // file it names is replaced and the link stays.
    void replacingKeepsModeAndLink()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("t.bmp"), link = dir.filePath("link.bmp");
        const auto mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        QVERIFY(PictureSaver::saveBmp(randomImage(5, 5, 1), file));
        QVERIFY(QFile::setPermissions(file, mode) && QFile::link(file, link));
        const QImage picture = randomImage(9, 4, 2);
        QVERIFY(PictureSaver::saveBmp(picture, link));
        QCOMPARE(typeOf(link), mode_t(S_IFLNK));
        QCOMPARE(QImage(file).convertToFormat(QImage::Format_RGB32), picture);
        QCOMPARE(QFile::permissions(file), mode | QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(testfiles::folderEntries(dir.path()), (QStringList{"link.bmp", "t.bmp"}));
    }

    // What killed writers leave is removed at the next write into the folder;
    // what a live writer holds, what is young and may belong to one, and
    // files of the user's that merely look alike, stay.
    void leftoversOfDeadWritersGo()
    {
        const QString dead = testfiles::deadPid(), alive = QString::number(getpid());
        struct Row
        {
            QString name;
            QByteArray contents;
            int age;
            bool locked, removed;
        };
        const Row rows[] = {
            {".quilton-" + dead + "-0000abcd.tmp", "BM", 0, false, true},   // dead writer
            {".savejpg-" + dead + "-1234abcd.tmp", "", 0, false, true},     // dead JPEG writer
            {".quilton-" + alive + "-0000abcd.tmp", "BM", 0, false, false}, // live, young
            {".savejpg-" + alive + "-0000abcd.tmp", "x", 120, false, true}, // live pid, old
            {".quilton-" + dead + "-0000abcd.tmp", "BM", 120, true, false}, // held by a writer
            {"p(A).bmp.Ab3xY9", "BM\x10", 120, false, true},    // earlier writer's bitmap, old
            {"quilton.ini.k3Jd9Q", "[A]", 120, false, true},    // earlier writer's settings, old
            {"p(A).bmp.Ab3xY9", "BM", 0, false, false},         // earlier writer's bitmap, young
            {".quilton-batch-a8Zk2Q", "", 120, false, true},    // earlier output folder check
            {"p.bmp.backup", "BM", 120, false, false},          // user's backup
            {"p.bmp.Ab3xY9", "text", 120, false, false},        // user's text
            {".quilton-x-0000abcd.tmp", "", 120, false, false}, // no pid
        };
        for (const Row& row : rows) {
            QTemporaryDir dir;
            const QString path = dir.filePath(row.name);
            QVERIFY(testsupport::writeBytes(path, row.contents));
            QVERIFY(row.age == 0 || testfiles::makeOld(path, row.age));
            QFile holder(path);
            QVERIFY(!row.locked ||
                    (holder.open(QIODevice::ReadOnly) && flock(holder.handle(), LOCK_EX) == 0));
            QVERIFY2(AtomicFile::removeLeftovers(dir.path(), true) == int(row.removed) &&
                         QFileInfo::exists(path) != row.removed,
                     qPrintable(row.name + u' ' + QString::number(row.age)));
        }
    }
};

QUILTON_TEST_MAIN(tst_picturesaver)
#include "tst_picturesaver.moc"
