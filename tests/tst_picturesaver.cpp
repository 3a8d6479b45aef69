#include "TestEnv.h"
#include "support/FileFixtures.h"
#include "support/TestInstall.h"

#include "output/PictureSaver.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QImageReader>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <functional>

#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using FileCheck::Failure;
using PictureSaver::JpegOutcome;
using testsupport::randomImage;
using testsupport::readAll;

namespace {

// Runs save with the file size limit lowered to bytes, so that a larger write
// fails as on a full disc (for root as for anyone else).
bool saveUnderFileSizeLimit(rlim_t bytes, const std::function<bool()>& save)
{
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{bytes, old.rlim_max};
    const bool saved = setrlimit(RLIMIT_FSIZE, &limit) == 0 && save();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
    return saved;
}

// The file type bits of path itself (a link is not followed).
mode_t typeOf(const QString& path)
{
    struct stat st
    {
    };
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

// The pid of a process that has ended.
long deadPid()
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return long(child);
}

void makeOld(const QString& path, int seconds)
{
    const QDateTime when = QDateTime::currentDateTime().addSecs(-seconds);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
}

} // namespace

class tst_picturesaver : public QObject
{
    Q_OBJECT

private slots:
    void bmpIsExact24BitsWhateverTheResolution();
    void failedOverwriteKeepsTheOldFile();
    void jpegQualityAndOutcomes();
    void bmpOnlyOverRegularFiles_data();
    void bmpOnlyOverRegularFiles();
    void replacingKeepsModeAndLink();
    void fullDiscIsSaidSo();
    void leftoversOfDeadWritersGo_data();
    void leftoversOfDeadWritersGo();
};

// The windows' tiles carry the screen's resolution, quilton-batch's Qt's
// default: both must write the same file for the same tile (96 dpi).
void tst_picturesaver::bmpIsExact24BitsWhateverTheResolution()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tile.bmp");
    // An odd width makes the rows padded to four bytes.
    for (QImage picture :
         {randomImage(37, 23, 1), randomImage(100, 50, 2).convertToFormat(QImage::Format_ARGB32),
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

void tst_picturesaver::failedOverwriteKeepsTheOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tile.bmp");
    QVERIFY(PictureSaver::saveBmp(randomImage(10, 10, 4), path));
    const QByteArray before = readAll(path);
    QString error;
    QVERIFY(!saveUnderFileSizeLimit(
        4096, [&] { return PictureSaver::saveBmp(randomImage(200, 200, 5), path, &error); }));
    QVERIFY(!error.isEmpty());
    QVERIFY(!PictureSaver::saveBmp(QImage(), path)); // nothing to write
    QCOMPARE(readAll(path), before);
    // No temporary file is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"tile.bmp"});
}

void tst_picturesaver::jpegQualityAndOutcomes()
{
    QTemporaryDir dir;
    const QString library = testenv::binDir() + "/SaveJPG.so";
    const QImage picture = randomImage(64, 64, 7);
    for (const int quality : {10, 100}) {
        const QString path = dir.filePath(QString::number(quality) + ".jpg");
        QCOMPARE(PictureSaver::saveJpeg(library, picture, path, quality), JpegOutcome::Saved);
        QCOMPARE(QImageReader(path).format(), "jpeg");
        QCOMPARE(QImage(path).size(), picture.size());
    }
    QVERIFY(QFileInfo(dir.filePath("10.jpg")).size() < QFileInfo(dir.filePath("100.jpg")).size());

    const QString target = dir.filePath("t.jpg");
    const QString none = dir.filePath("none.so");
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

// Anything at a tile's name but a regular file or nothing is refused with a
// message and left as it was; it is never replaced by a regular file.
void tst_picturesaver::bmpOnlyOverRegularFiles_data()
{
    QTest::addColumn<QString>("thing");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("message");
    QTest::newRow("pipe") << "fifo" << int(Failure::NotRegularFile)
                          << "it is not a regular file (a pipe)";
    QTest::newRow("device") << "/dev/full" << int(Failure::NotRegularFile)
                            << "it is not a regular file (a device)";
    QTest::newRow("link to a device")
        << "link" << int(Failure::NotRegularFile) << "it is not a regular file (a device)";
    QTest::newRow("folder") << "folder" << int(Failure::IsFolder) << "it is a folder, not a file";
    QTest::newRow("folder missing")
        << "no/t.bmp" << int(Failure::Missing) << "no such file or folder";
}

void tst_picturesaver::bmpOnlyOverRegularFiles()
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

// A file written over keeps its permissions; through a symbolic link the file
// it names is replaced and the link stays.
void tst_picturesaver::replacingKeepsModeAndLink()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("t.bmp"), link = dir.filePath("link.bmp");
    QVERIFY(PictureSaver::saveBmp(randomImage(5, 5, 1), file));
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QVERIFY(QFile::link(file, link));
    const QImage picture = randomImage(9, 4, 2);
    QVERIFY(PictureSaver::saveBmp(picture, link));
    QCOMPARE(typeOf(link), mode_t(S_IFLNK));
    QCOMPARE(QImage(file).convertToFormat(QImage::Format_RGB32), picture);
    QCOMPARE(QFile::permissions(file), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                           QFile::WriteUser | QFile::ReadGroup);
    QCOMPARE(testfiles::folderEntries(dir.path()), (QStringList{"link.bmp", "t.bmp"}));
}

// On a really full file system (a 64 KiB one, where this test may mount one) the message
// says the disc is full, the previous file stays whole and nothing is left.
void tst_picturesaver::fullDiscIsSaidSo()
{
    QTemporaryDir dir;
    const QString disc = dir.filePath("disc");
    QVERIFY(QDir().mkdir(disc));
    const int mounted = mount("tmpfs", QFile::encodeName(disc).constData(), "tmpfs", 0, "size=64k");
    if (mounted != 0 && errno == EPERM)
        QSKIP("mounting a small file system is not permitted here; the size limit case and the "
              "device /dev/full cover the rest");
    QCOMPARE(mounted, 0);
    const QString path = disc + "/t.bmp";
    QString error;
    Failure kind = Failure::None;
    const bool small = PictureSaver::saveBmp(randomImage(10, 10, 1), path);
    const QByteArray before = readAll(path);
    const bool large = PictureSaver::saveBmp(randomImage(200, 200, 2), path, &error, &kind);
    const QStringList left = testfiles::folderEntries(disc);
    const QByteArray after = readAll(path);
    QCOMPARE(umount(QFile::encodeName(disc).constData()), 0);
    QVERIFY(small);
    QVERIFY(!large);
    QCOMPARE(error, "the disc is full");
    QCOMPARE(int(kind), int(Failure::DiskFull));
    QCOMPARE(left, QStringList{"t.bmp"});
    QCOMPARE(after, before);
}

// What killed writers leave is removed at the next write into the folder;
// what a live writer holds, what is young and may belong to one, and files
// of the user's that merely look alike, stay.
void tst_picturesaver::leftoversOfDeadWritersGo_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("age");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<bool>("removed");
    const QString dead = QString::number(deadPid());
    const QString alive = QString::number(getpid());
    QTest::newRow("dead writer") << ".quilton-" + dead + "-0000abcd.tmp" << QByteArray("BM") << 0
                                 << false << true;
    QTest::newRow("dead JPEG writer, empty")
        << ".savejpg-" + dead + "-1234abcd.tmp" << QByteArray() << 0 << false << true;
    QTest::newRow("live writer, young")
        << ".quilton-" + alive + "-0000abcd.tmp" << QByteArray("BM") << 0 << false << false;
    QTest::newRow("live pid, old")
        << ".savejpg-" + alive + "-0000abcd.tmp" << QByteArray("x") << 120 << false << true;
    QTest::newRow("held by a writer")
        << ".quilton-" + dead + "-0000abcd.tmp" << QByteArray("BM") << 120 << true << false;
    QTest::newRow("earlier writer's bitmap, old")
        << "p(A).bmp.Ab3xY9" << QByteArray("BM\x10") << 120 << false << true;
    QTest::newRow("earlier writer's settings, old")
        << "quilton.ini.k3Jd9Q" << QByteArray("[A]") << 120 << false << true;
    QTest::newRow("earlier writer's bitmap, young")
        << "p(A).bmp.Ab3xY9" << QByteArray("BM") << 0 << false << false;
    QTest::newRow("earlier output folder check, old")
        << ".quilton-batch-a8Zk2Q" << QByteArray() << 120 << false << true;
    QTest::newRow("user's backup") << "p.bmp.backup" << QByteArray("BM") << 120 << false << false;
    QTest::newRow("user's text") << "p.bmp.Ab3xY9" << QByteArray("text") << 120 << false << false;
    QTest::newRow("no pid") << ".quilton-x-0000abcd.tmp" << QByteArray() << 120 << false << false;
}

void tst_picturesaver::leftoversOfDeadWritersGo()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    QFETCH(int, age);
    QFETCH(bool, locked);
    QFETCH(bool, removed);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QVERIFY(testsupport::writeBytes(path, contents));
    if (age > 0)
        makeOld(path, age);
    QFile holder(path);
    if (locked) {
        QVERIFY(holder.open(QIODevice::ReadOnly));
        QCOMPARE(flock(holder.handle(), LOCK_EX), 0);
    }
    QCOMPARE(AtomicFile::removeLeftovers(dir.path(), true), removed ? 1 : 0);
    QCOMPARE(QFileInfo::exists(path), !removed);
}

QUILTON_TEST_MAIN(tst_picturesaver)
#include "tst_picturesaver.moc"
