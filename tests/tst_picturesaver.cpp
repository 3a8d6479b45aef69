#include "TestEnv.h"
#include "support/TestInstall.h"

#include "output/PictureSaver.h"

#include <QDir>
#include <QImageReader>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <sys/resource.h>

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

} // namespace

class tst_picturesaver : public QObject
{
    Q_OBJECT

private slots:
    void bmpIsExact24BitsWhateverTheResolution();
    void failedOverwriteKeepsTheOldFile();
    void jpegQualityAndOutcomes();
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

QUILTON_TEST_MAIN(tst_picturesaver)
#include "tst_picturesaver.moc"
