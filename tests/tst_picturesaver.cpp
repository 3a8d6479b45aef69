#include "TestEnv.h"

#include "output/PictureSaver.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

using PictureSaver::JpegOutcome;

namespace {

QImage noisePicture(int w, int h, quint32 seed)
{
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = 0xff000000u | (rng.generate() & 0xffffffu);
    }
    return image;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString libraryPath()
{
    return testenv::binDir() + QStringLiteral("/SaveJPG.so");
}

// Lowers the file size limit for the lifetime of the object, so that a write
// beyond it fails as on a full disc (for root as for anyone else).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

} // namespace

class tst_picturesaver : public QObject
{
    Q_OBJECT

private slots:
    void formatIsChosenByTheNameAlone_data();
    void formatIsChosenByTheNameAlone();
    void bmpRoundTripIsExactAt24Bits_data();
    void bmpRoundTripIsExactAt24Bits();
    void bmpBytesDoNotDependOnTheScreenResolution();
    void failedOverwriteKeepsTheOldFile();
    void bmpRefusesNothingToWrite();
    void jpegQualityReachesTheLibrary();
    void jpegOutcomes();
    void jpegMessages_data();
    void jpegMessages();
};

void tst_picturesaver::formatIsChosenByTheNameAlone_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("jpegFlag");
    QTest::addColumn<bool>("jpeg");
    QTest::newRow("jpg") << "/t/a.jpg" << true << true;
    QTest::newRow("upper-case JPG") << "/t/a.JPG" << true << true;
    QTest::newRow("mixed-case Jpg") << "/t/a.Jpg" << true << true;
    QTest::newRow("no dot before jpg") << "/t/ajpg" << true << true;
    QTest::newRow(".jpeg") << "/t/a.jpeg" << true << false;
    QTest::newRow("no extension") << "/t/a" << true << false;
    QTest::newRow("bmp") << "/t/a.bmp" << true << false;
    QTest::newRow("jpg without the library") << "/t/a.jpg" << false << false;
    QTest::newRow("shorter than three") << "pg" << true << false;
    QTest::newRow("empty") << "" << true << false;
}

void tst_picturesaver::formatIsChosenByTheNameAlone()
{
    QFETCH(QString, name);
    QFETCH(bool, jpegFlag);
    QFETCH(bool, jpeg);
    QCOMPARE(PictureSaver::isJpegName(name, jpegFlag), jpeg);
}

void tst_picturesaver::bmpRoundTripIsExactAt24Bits_data()
{
    QTest::addColumn<QImage>("picture");
    // An odd width makes the rows padded to four bytes.
    QTest::newRow("rgb32 37x23") << noisePicture(37, 23, 1);
    QTest::newRow("argb32 100x50")
        << noisePicture(100, 50, 2).convertToFormat(QImage::Format_ARGB32);
    QImage gray = noisePicture(31, 7, 3).convertToFormat(QImage::Format_Grayscale8);
    QTest::newRow("grayscale 31x7") << gray;
}

void tst_picturesaver::bmpRoundTripIsExactAt24Bits()
{
    QFETCH(QImage, picture);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tile.bmp"));
    QString error;
    QVERIFY2(PictureSaver::saveBmp(picture, path, &error), qPrintable(error));

    const QByteArray bytes = readAll(path);
    QVERIFY(bytes.startsWith("BM"));
    const int bitCount = quint8(bytes[28]) | (quint8(bytes[29]) << 8);
    QCOMPARE(bitCount, 24);

    QImage loaded(path);
    QVERIFY(!loaded.isNull());
    QCOMPARE(loaded.convertToFormat(QImage::Format_RGB32),
             picture.convertToFormat(QImage::Format_RGB32));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("tile.bmp")});
}

// The windows' tiles carry the screen's resolution, quilton-batch's Qt's
// default: both must write the same file for the same tile.
void tst_picturesaver::bmpBytesDoNotDependOnTheScreenResolution()
{
    QImage at96(10, 6, QImage::Format_RGB32);
    at96.fill(QColor(12, 200, 99));
    QImage at144 = at96;
    at96.setDotsPerMeterX(3780);
    at96.setDotsPerMeterY(3780);
    at144.setDotsPerMeterX(5669);
    at144.setDotsPerMeterY(2835);
    QTemporaryDir dir;
    QVERIFY(PictureSaver::saveBmp(at96, dir.filePath(QStringLiteral("a.bmp"))));
    QVERIFY(PictureSaver::saveBmp(at144, dir.filePath(QStringLiteral("b.bmp"))));
    const QByteArray a = readAll(dir.filePath(QStringLiteral("a.bmp")));
    QCOMPARE(readAll(dir.filePath(QStringLiteral("b.bmp"))), a);
    const int xPelsPerMeter = quint8(a[38]) | (quint8(a[39]) << 8);
    QCOMPARE(xPelsPerMeter, 3780);
}

void tst_picturesaver::failedOverwriteKeepsTheOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tile.bmp"));
    QVERIFY(PictureSaver::saveBmp(noisePicture(10, 10, 4), path));
    const QByteArray before = readAll(path);
    QVERIFY(before.size() > 300);

    // A new picture far larger than the disc "has room" for.
    const QImage big = noisePicture(200, 200, 5);
    QString error;
    bool saved = true;
    {
        FileSizeLimit limit(4096);
        QVERIFY(limit.ok());
        saved = PictureSaver::saveBmp(big, path, &error);
    }
    QVERIFY(!saved);
    QVERIFY(!error.isEmpty());
    QCOMPARE(readAll(path), before);
    // No temporary file is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("tile.bmp")});

    // A folder where the file should go is not replaced either.
    const QString folder = dir.filePath(QStringLiteral("folder.bmp"));
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/inside")));
    QVERIFY(!PictureSaver::saveBmp(big, folder, &error));
    QVERIFY(QFileInfo(folder + QStringLiteral("/inside")).isDir());
}

void tst_picturesaver::bmpRefusesNothingToWrite()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.bmp"));
    QVERIFY(PictureSaver::saveBmp(noisePicture(4, 4, 6), path));
    const QByteArray before = readAll(path);
    QString error;
    QVERIFY(!PictureSaver::saveBmp(QImage(), path, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(readAll(path), before);
    QVERIFY(!PictureSaver::saveBmp(noisePicture(4, 4, 6), dir.filePath("missing/x.bmp"), &error));
}

void tst_picturesaver::jpegQualityReachesTheLibrary()
{
    QVERIFY2(QFileInfo::exists(libraryPath()), qPrintable(libraryPath()));
    QTemporaryDir dir;
    // Smooth gradients with a little noise: high quality keeps more detail.
    QImage picture = noisePicture(100, 100, 7);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            const QRgb n = picture.pixel(x, y);
            picture.setPixel(x, y,
                             qRgb(2 * x + (qRed(n) & 31), 2 * y + (qGreen(n) & 31),
                                  x + y / 2 + (qBlue(n) & 31)));
        }

    QMap<int, qint64> sizes;
    for (int quality : {1, 10, 50, 100}) {
        const QString path = dir.filePath(QStringLiteral("q%1.jpg").arg(quality));
        QCOMPARE(PictureSaver::saveJpeg(libraryPath(), picture, path, quality), JpegOutcome::Saved);
        QImageReader reader(path);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        const QImage decoded = reader.read();
        QCOMPARE(decoded.size(), picture.size());
        sizes[quality] = QFileInfo(path).size();
        if (quality == 100) {
            // Close to the original at the highest quality.
            qint64 diff = 0;
            for (int y = 0; y < 100; ++y)
                for (int x = 0; x < 100; ++x)
                    diff += qAbs(qGreen(decoded.pixel(x, y)) - qGreen(picture.pixel(x, y)));
            QVERIFY2(diff / 10000 <= 4, qPrintable(QString::number(diff / 10000.0)));
        }
    }
    QVERIFY(sizes[1] < sizes[10]);
    QVERIFY(sizes[10] < sizes[50]);
    QVERIFY(sizes[50] < sizes[100]);
}

void tst_picturesaver::jpegOutcomes()
{
    QTemporaryDir dir;
    const QImage picture = noisePicture(16, 16, 8);
    const QString target = dir.filePath(QStringLiteral("t.jpg"));

    QCOMPARE(PictureSaver::saveJpeg(dir.filePath("SaveJPG.so"), picture, target, 50),
             JpegOutcome::CannotLoad);
    // A file that is not a library cannot be loaded either.
    QFile fake(dir.filePath(QStringLiteral("fake.so")));
    QVERIFY(fake.open(QIODevice::WriteOnly));
    fake.write("not a library");
    fake.close();
    QCOMPARE(PictureSaver::saveJpeg(fake.fileName(), picture, target, 50), JpegOutcome::CannotLoad);

    // A quality that does not fit a byte never reaches the library, even a
    // missing one.
    QCOMPARE(PictureSaver::saveJpeg(libraryPath(), picture, target, 256),
             JpegOutcome::QualityOverflow);
    QCOMPARE(PictureSaver::saveJpeg(libraryPath(), picture, target, -1),
             JpegOutcome::QualityOverflow);
    QCOMPARE(PictureSaver::saveJpeg(dir.filePath("none.so"), picture, target, 300),
             JpegOutcome::QualityOverflow);
    QVERIFY(!QFileInfo::exists(target));

    // The library refuses quality 0 and an empty picture; an unopenable
    // file is its code 1.
    QCOMPARE(PictureSaver::saveJpeg(libraryPath(), picture, target, 0), JpegOutcome::FormatError);
    QCOMPARE(PictureSaver::saveJpeg(libraryPath(), QImage(), target, 50), JpegOutcome::FormatError);
    QCOMPARE(PictureSaver::saveJpeg(libraryPath(), picture, dir.filePath("no/such/t.jpg"), 50),
             JpegOutcome::OpenError);
    QVERIFY(!QFileInfo::exists(target));
}

void tst_picturesaver::jpegMessages_data()
{
    QTest::addColumn<JpegOutcome>("outcome");
    QTest::addColumn<QString>("text");
    QTest::newRow("saved") << JpegOutcome::Saved << QString();
    QTest::newRow("1") << JpegOutcome::OpenError << "File Open Error";
    QTest::newRow("2") << JpegOutcome::WriteError << "File Write Error";
    QTest::newRow("3") << JpegOutcome::FormatError << "File Format Error";
    QTest::newRow("4") << JpegOutcome::EncoderError << "Stack Overflow";
    QTest::newRow("other code") << JpegOutcome::OtherCode << QString();
    QTest::newRow("overflow") << JpegOutcome::QualityOverflow << QString();
    QTest::newRow("cannot load") << JpegOutcome::CannotLoad
                                 << "SaveJPG.DLLが見つかりません。別途入手してください。";
}

void tst_picturesaver::jpegMessages()
{
    QFETCH(JpegOutcome, outcome);
    QFETCH(QString, text);
    QCOMPARE(PictureSaver::jpegMessage(outcome), text);
}

QUILTON_TEST_MAIN(tst_picturesaver)
#include "tst_picturesaver.moc"
