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

QString libraryPath()
{
    return testenv::binDir() + QStringLiteral("/SaveJPG.so");
}

// Runs save with the file size limit lowered to bytes, so that a larger write
// fails as on a full disc (for root as for anyone else).
bool saveUnderFileSizeLimit(rlim_t bytes, const std::function<bool()>& save)
{
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = bytes;
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
    void bmpIsExact24BitsWhateverTheResolution_data();
    void bmpIsExact24BitsWhateverTheResolution();
    void failedOverwriteKeepsTheOldFile();
    void jpegQualityReachesTheLibrary();
    void jpegOutcomesAndMessages();
};

void tst_picturesaver::bmpIsExact24BitsWhateverTheResolution_data()
{
    QTest::addColumn<QImage>("picture");
    // An odd width makes the rows padded to four bytes.
    QTest::newRow("rgb32 37x23") << randomImage(37, 23, 1);
    QTest::newRow("argb32") << randomImage(100, 50, 2).convertToFormat(QImage::Format_ARGB32);
    QTest::newRow("grayscale") << randomImage(31, 7, 3).convertToFormat(QImage::Format_Grayscale8);
}

// The windows' tiles carry the screen's resolution, quilton-batch's Qt's
// default: both must write the same file for the same tile (96 dpi).
void tst_picturesaver::bmpIsExact24BitsWhateverTheResolution()
{
    QFETCH(QImage, picture);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tile.bmp"));
    QString error;
    QVERIFY2(PictureSaver::saveBmp(picture, path, &error), qPrintable(error));
    const QByteArray bytes = readAll(path);
    QVERIFY(bytes.startsWith("BM"));
    QCOMPARE(quint8(bytes[28]) | (quint8(bytes[29]) << 8), 24);   // bits per pixel
    QCOMPARE(quint8(bytes[38]) | (quint8(bytes[39]) << 8), 3780); // pixels per metre
    QCOMPARE(QImage(path).convertToFormat(QImage::Format_RGB32),
             picture.convertToFormat(QImage::Format_RGB32));

    picture.setDotsPerMeterX(5669);
    picture.setDotsPerMeterY(2835);
    QVERIFY(PictureSaver::saveBmp(picture, path));
    QCOMPARE(readAll(path), bytes);
}

void tst_picturesaver::failedOverwriteKeepsTheOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tile.bmp"));
    QVERIFY(PictureSaver::saveBmp(randomImage(10, 10, 4), path));
    const QByteArray before = readAll(path);
    QString error;
    QVERIFY(!saveUnderFileSizeLimit(
        4096, [&] { return PictureSaver::saveBmp(randomImage(200, 200, 5), path, &error); }));
    QVERIFY(!error.isEmpty());
    QVERIFY(!PictureSaver::saveBmp(QImage(), path, &error)); // nothing to write
    QCOMPARE(readAll(path), before);
    // No temporary file is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"tile.bmp"});

    // A folder where the file should go is not replaced either.
    const QString folder = dir.filePath(QStringLiteral("folder.bmp"));
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/inside")));
    QVERIFY(!PictureSaver::saveBmp(randomImage(4, 4, 6), folder, &error));
    QVERIFY(QFileInfo(folder + QStringLiteral("/inside")).isDir());
}

void tst_picturesaver::jpegQualityReachesTheLibrary()
{
    QTemporaryDir dir;
    const QImage picture = randomImage(64, 64, 7);
    qint64 sizes[2] = {};
    for (int i : {0, 1}) {
        const QString path = dir.filePath(QStringLiteral("q%1.jpg").arg(i));
        QCOMPARE(PictureSaver::saveJpeg(libraryPath(), picture, path, i ? 100 : 10),
                 JpegOutcome::Saved);
        QImageReader reader(path);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        QCOMPARE(reader.read().size(), picture.size());
        sizes[i] = QFileInfo(path).size();
    }
    QVERIFY(sizes[0] < sizes[1]);
}

void tst_picturesaver::jpegOutcomesAndMessages()
{
    QTemporaryDir dir;
    const QImage picture = randomImage(16, 16, 8);
    const QString target = dir.filePath(QStringLiteral("t.jpg"));
    const QString fake = dir.filePath(QStringLiteral("fake.so"));
    QVERIFY(testsupport::writeBytes(fake, "not a library"));
    const auto save = [&](const QString& library, const QImage& p, const QString& t, int quality) {
        return PictureSaver::saveJpeg(library, p, t, quality);
    };

    QCOMPARE(save(dir.filePath("none.so"), picture, target, 50), JpegOutcome::CannotLoad);
    QCOMPARE(save(fake, picture, target, 50), JpegOutcome::CannotLoad);
    QCOMPARE(PictureSaver::jpegMessage(JpegOutcome::CannotLoad),
             QStringLiteral("SaveJPG.DLLが見つかりません。別途入手してください。"));
    // A quality that does not fit a byte never reaches the library, and
    // fails without a message.
    QCOMPARE(save(libraryPath(), picture, target, 256), JpegOutcome::QualityOverflow);
    QCOMPARE(save(dir.filePath("none.so"), picture, target, -1), JpegOutcome::QualityOverflow);
    QCOMPARE(PictureSaver::jpegMessage(JpegOutcome::QualityOverflow), QString());
    // The library refuses quality 0 and an empty picture (its code 3); a
    // file it cannot open is its code 1.
    QCOMPARE(save(libraryPath(), picture, target, 0), JpegOutcome::FormatError);
    QCOMPARE(save(libraryPath(), QImage(), target, 50), JpegOutcome::FormatError);
    QCOMPARE(PictureSaver::jpegMessage(JpegOutcome::FormatError),
             QStringLiteral("File Format Error"));
    QCOMPARE(save(libraryPath(), picture, dir.filePath("no/such/t.jpg"), 50),
             JpegOutcome::OpenError);
    QVERIFY(!QFileInfo::exists(target));
}

QUILTON_TEST_MAIN(tst_picturesaver)
#include "tst_picturesaver.moc"
