// quilton-batch, run as the built program over temporary folders.
#include "TestEnv.h"

#include "output/PictureSaver.h"
#include "tile/PictureLoader.h"
#include "tile/TileDesigner.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

Run runProgram(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    Run r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

Run batch(const QStringList& arguments)
{
    return runProgram(testenv::binDir() + QStringLiteral("/quilton-batch"), arguments);
}

// A picture with detail in every part, so every tile and effect shows.
QImage testPicture(int w, int h, int seed)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int r = (x * 255 / std::max(1, w - 1) + seed * 40) & 0xff;
            const int g = (y * 255 / std::max(1, h - 1) + seed * 90) & 0xff;
            const int b = ((x / 7 + y / 5) % 2 ? 220 : 30) ^ (seed * 17 & 0xff);
            img.setPixel(x, y, qRgb(r, g, b));
        }
    }
    return img;
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The largest difference between the colour channels of any pixel (0: grey).
int channelSpread(const QImage& image)
{
    int spread = 0;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb p = rgb.pixel(x, y);
            const int hi = std::max({qRed(p), qGreen(p), qBlue(p)});
            const int lo = std::min({qRed(p), qGreen(p), qBlue(p)});
            spread = std::max(spread, hi - lo);
        }
    }
    return spread;
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class tst_batch_cli : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_pictures; // a.bmp, b.jpg, c.BMP, d.jpg

    QString freshFolder(const QString& name)
    {
        const QString path = m_tmp.filePath(name);
        QDir(path).removeRecursively();
        QDir().mkpath(path);
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        QVERIFY(QFileInfo::exists(testenv::binDir() + QStringLiteral("/quilton-batch")));
        m_pictures = freshFolder(QStringLiteral("pictures"));
        QVERIFY(testPicture(160, 120, 1).save(m_pictures + QStringLiteral("/a.bmp")));
        QVERIFY(testPicture(400, 300, 2).save(m_pictures + QStringLiteral("/b.jpg"), "JPG", 90));
        QVERIFY(testPicture(90, 70, 3).save(m_pictures + QStringLiteral("/c.BMP"), "BMP"));
        QVERIFY(testPicture(640, 200, 4).save(m_pictures + QStringLiteral("/d.jpg"), "JPG", 80));
    }

    void help()
    {
        const Run r = batch({QStringLiteral("--help")});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.contains(QStringLiteral("Usage: quilton-batch")));
        QVERIFY(r.out.contains(QStringLiteral("--effect T=LIST")));
        QVERIFY(r.out.contains(QStringLiteral("Exit status")));
    }

    // Good and damaged pictures: the good ones become tiles, each damaged one
    // is named and gets no tile file, and the status says some failed.
    void damagedPicturesAreNamedAndSkipped()
    {
        const QString in = freshFolder(QStringLiteral("mixed"));
        const QString out = m_tmp.filePath(QStringLiteral("mixed-out/deeper")); // created
        QVERIFY(testPicture(200, 150, 5).save(in + QStringLiteral("/good.bmp")));
        QVERIFY(testPicture(300, 300, 6).save(in + QStringLiteral("/Photo.JPG"), "JPG"));
        writeBytes(in + QStringLiteral("/broken.jpg"),
                   QByteArray("\xff\xd8\xff\xe0\x00\x10JFIF\x00", 11) + QByteArray(300, 'x'));
        writeBytes(in + QStringLiteral("/empty.bmp"), QByteArray());
        writeBytes(in + QStringLiteral("/notes.txt"), "not a picture");

        const Run r = batch({in, out});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QStringLiteral("broken.jpg")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("empty.bmp")), qPrintable(r.err));
        QVERIFY(!r.err.contains(QStringLiteral("good.bmp")));
        QCOMPARE(filesIn(out),
                 (QStringList{"Photo(A).bmp", "Photo(B).bmp", "Photo(C).bmp", "Photo(D).bmp",
                              "good(A).bmp", "good(B).bmp", "good(C).bmp", "good(D).bmp"}));
        for (const QString& name : filesIn(out)) {
            QImageReader reader(out + QLatin1Char('/') + name);
            QCOMPARE(reader.format(), QByteArray("bmp"));
            const QImage tile = reader.read();
            QCOMPARE(tile.size(), QSize(100, 100));
            // Tiles A to C are mirror-symmetric both ways.
            if (!name.contains(QStringLiteral("(D)")))
                QCOMPARE(tile.mirrored(true, true), tile);
        }
    }

    // The files quilton-batch writes are exactly the core's own steps.
    void tilesAreTheDesignersTiles()
    {
        const QString out = freshFolder(QStringLiteral("exact"));
        const QString input = m_pictures + QStringLiteral("/b.jpg");
        const Run r =
            batch({QStringLiteral("--half"), QStringLiteral("--chamfer"), QStringLiteral("--tiles"),
                   QStringLiteral("bd"), QStringLiteral("--effect"),
                   QStringLiteral("D=blur:2,light:20,emboss"), input, out});
        QCOMPARE(r.status, 0);
        QCOMPARE(filesIn(out), (QStringList{"b(B).bmp", "b(D).bmp"}));

        TileDesigner d;
        d.setHalf(true);
        d.setChamfer(true);
        d.setSource(PictureLoader::load(input).image);
        QVERIFY(d.compose(-1));
        d.setCurrentTile(3);
        d.lightPercent(20);
        d.blur();
        d.blur();
        d.emboss();
        const QString expected = m_tmp.filePath(QStringLiteral("expected-D.bmp"));
        QVERIFY(PictureSaver::saveBmp(d.tile(3), expected));
        QCOMPARE(readBytes(out + QStringLiteral("/b(D).bmp")), readBytes(expected));
        QCOMPARE(QImage(out + QStringLiteral("/b(B).bmp")).size(), QSize(100, 50));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        const QString in = QStringLiteral("IN");
        const QString out = QStringLiteral("OUT");
        QTest::newRow("order too short") << QStringList{"--order", "01234", in, out} << "--order";
        QTest::newRow("order repeats a digit")
            << QStringList{"--order=012344", in, out} << "--order";
        QTest::newRow("order digit 6") << QStringList{"--order", "612345", in, out} << "--order";
        QTest::newRow("effect tile E") << QStringList{"--effect", "E=gray", in, out} << "--effect";
        QTest::newRow("effect light 15")
            << QStringList{"--effect", "A=light:15", in, out} << "light";
        QTest::newRow("effect light 0") << QStringList{"--effect", "A=light:0", in, out} << "light";
        QTest::newRow("effect blur 4") << QStringList{"--effect", "B=blur:4", in, out} << "blur";
        QTest::newRow("effect unknown")
            << QStringList{"--effect", "C=sparkle", in, out} << "sparkle";
        QTest::newRow("effect twice in a list")
            << QStringList{"--effect", "C=gray,gray", in, out} << "twice";
        QTest::newRow("quality 0") << QStringList{"--quality", "0", in, out} << "--quality";
        QTest::newRow("quality 101") << QStringList{"--quality", "101", in, out} << "--quality";
        QTest::newRow("quality text") << QStringList{"--quality", "high", in, out} << "--quality";
        QTest::newRow("format png") << QStringList{"--format", "png", in, out} << "--format";
        QTest::newRow("tiles X") << QStringList{"--tiles", "AX", in, out} << "--tiles";
        QTest::newRow("jobs 0") << QStringList{"--jobs", "0", in, out} << "--jobs";
        QTest::newRow("types tiff") << QStringList{"--types", "bmp,tiff", in, out} << "--types";
        QTest::newRow("unknown option") << QStringList{"--fast", in, out} << "--fast";
        QTest::newRow("value missing") << QStringList{in, out, "--order"} << "needs a value";
        QTest::newRow("one argument") << QStringList{in} << "OUTPUT_DIR";
        QTest::newRow("three arguments") << QStringList{in, out, "more"} << "too many";
        QTest::newRow("settings file missing")
            << QStringList{"--settings", "/no/such.ini", in, out} << "settings";
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        // The placeholders become real folders, so only the option is wrong.
        const QString out = m_tmp.filePath(QStringLiteral("usage-out"));
        QDir(out).removeRecursively();
        for (QString& a : arguments) {
            if (a == QLatin1String("IN"))
                a = m_pictures;
            else if (a == QLatin1String("OUT"))
                a = out;
        }
        const Run r = batch(arguments);
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(out)); // nothing written, not even the folder
    }

    void missingInput()
    {
        const Run r =
            batch({m_tmp.filePath(QStringLiteral("nowhere")), m_tmp.filePath(QStringLiteral("o"))});
        QCOMPARE(r.status, 2);
        QVERIFY(r.err.contains(QStringLiteral("does not exist")));
    }

    void unwritableOutputFolder()
    {
        const QString file = m_tmp.filePath(QStringLiteral("plain-file"));
        writeBytes(file, "x");
        Run r = batch({m_pictures, file + QStringLiteral("/sub")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(QStringLiteral("cannot be created")), qPrintable(r.err));
        r = batch({m_pictures, file});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(QStringLiteral("is not a folder")), qPrintable(r.err));
    }

    // A tile file that cannot be written ends the run with status 2 and its
    // name; what was written before stays whole.
    void tileFileThatCannotBeWritten()
    {
        const QString out = freshFolder(QStringLiteral("blocked"));
        QVERIFY(QDir(out).mkdir(QStringLiteral("a(B).bmp"))); // a folder in the way
        const Run r = batch({QStringLiteral("--jobs"), QStringLiteral("1"),
                             m_pictures + QStringLiteral("/a.bmp"), out});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(QStringLiteral("a(B).bmp")), qPrintable(r.err));
        QCOMPARE(QImage(out + QStringLiteral("/a(A).bmp")).size(), QSize(100, 100));
        QVERIFY(!QFileInfo::exists(out + QStringLiteral("/a(C).bmp")));
    }

    // Parallel pictures write exactly what one job writes, also when two
    // inputs give the same tile names (the later one wins either way).
    void jobsGiveIdenticalFiles()
    {
        const QString in = freshFolder(QStringLiteral("many"));
        for (int i = 0; i < 7; ++i) {
            QVERIFY(testPicture(120 + 37 * i, 90 + 23 * i, i)
                        .save(in + QStringLiteral("/p%1.bmp").arg(i)));
        }
        QVERIFY(testPicture(333, 222, 9).save(in + QStringLiteral("/p3.jpg"), "JPG"));
        const QString out1 = freshFolder(QStringLiteral("many-1"));
        const QString out2 = freshFolder(QStringLiteral("many-2"));
        const QStringList common{QStringLiteral("--effect"), QStringLiteral("A=contrast,blur:3"),
                                 QStringLiteral("--effect"), QStringLiteral("C=light:-40,block")};
        QCOMPARE(
            batch(common + QStringList{QStringLiteral("--jobs"), QStringLiteral("1"), in, out1})
                .status,
            0);
        QCOMPARE(batch(common + QStringList{QStringLiteral("--jobs=2"), in, out2}).status, 0);
        const QStringList names = filesIn(out1);
        QCOMPARE(names.size(), 28);
        QCOMPARE(filesIn(out2), names);
        for (const QString& name : names)
            QVERIFY2(readBytes(out1 + '/' + name) == readBytes(out2 + '/' + name),
                     qPrintable(name));
        // p3.jpg comes after p3.bmp in name order: its tiles are the ones kept.
        const QString single = freshFolder(QStringLiteral("many-single"));
        QCOMPARE(batch(common + QStringList{in + QStringLiteral("/p3.jpg"), single}).status, 0);
        QCOMPARE(readBytes(out1 + QStringLiteral("/p3(A).bmp")),
                 readBytes(single + QStringLiteral("/p3(A).bmp")));
    }

    // The effect order decides the result; the order of effects that are not
    // ticked does not.
    void effectOrderDecidesTheResult()
    {
        const QString input = m_pictures + QStringLiteral("/d.jpg");
        auto tileWithOrder = [&](const QString& order) {
            const QString out = freshFolder(QStringLiteral("order-") + order);
            const Run r = batch({QStringLiteral("--tiles"), QStringLiteral("A"),
                                 QStringLiteral("--effect"), QStringLiteral("A=light:50,blur:3"),
                                 QStringLiteral("--order"), order, input, out});
            return r.status == 0 ? readBytes(out + QStringLiteral("/d(A).bmp")) : QByteArray();
        };
        const QByteArray lightFirst = tileWithOrder(QStringLiteral("012345"));
        const QByteArray blurFirst = tileWithOrder(QStringLiteral("102345"));
        QVERIFY(!lightFirst.isEmpty() && !blurFirst.isEmpty());
        QVERIFY(lightFirst != blurFirst);
        QCOMPARE(tileWithOrder(QStringLiteral("015432")), lightFirst);
        QCOMPARE(tileWithOrder(QStringLiteral("543102")), blurFirst);
    }

    // JPEG through the SaveJPG.so beside the program.
    void jpegOutput()
    {
        QVERIFY(QFileInfo::exists(testenv::binDir() + QStringLiteral("/SaveJPG.so")));
        const QString low = freshFolder(QStringLiteral("jpeg-10"));
        const QString high = freshFolder(QStringLiteral("jpeg-95"));
        const QString input = m_pictures + QStringLiteral("/a.bmp");
        QCOMPARE(batch({QStringLiteral("--format"), QStringLiteral("jpg"),
                        QStringLiteral("--quality"), QStringLiteral("10"), input, low})
                     .status,
                 0);
        QCOMPARE(
            batch({QStringLiteral("--format=JPG"), QStringLiteral("--quality=95"), input, high})
                .status,
            0);
        QCOMPARE(filesIn(high), (QStringList{"a(A).jpg", "a(B).jpg", "a(C).jpg", "a(D).jpg"}));
        for (const QString& name : filesIn(high)) {
            QImageReader reader(high + '/' + name);
            QCOMPARE(reader.format(), QByteArray("jpeg"));
            QCOMPARE(reader.size(), QSize(100, 100));
            QVERIFY(QFileInfo(high + '/' + name).size() > QFileInfo(low + '/' + name).size());
        }
    }

    // Without any loadable SaveJPG.so a JPEG run writes nothing at all.
    void jpegWithoutLibraryWritesNothing()
    {
        const QString alone = freshFolder(QStringLiteral("alone"));
        const QString program = alone + QStringLiteral("/quilton-batch");
        QVERIFY(QFile::copy(testenv::binDir() + QStringLiteral("/quilton-batch"), program));
        QVERIFY(QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeUser));
        // A file of that name that is no library does not count either.
        writeBytes(alone + QStringLiteral("/SaveJPG.so"), "not a library");
        const QString out = m_tmp.filePath(QStringLiteral("alone-out"));
        Run r = runProgram(program,
                           {QStringLiteral("--format"), QStringLiteral("jpg"), m_pictures, out});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(QStringLiteral("SaveJPG.so")), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(out));
        // BMP output needs no library.
        r = runProgram(program, {m_pictures, out});
        QCOMPARE(r.status, 0);
        QCOMPARE(filesIn(out).size(), 16);
    }

    // A settings file as the batch window keeps it; options given win.
    void settingsFileAndOverrides()
    {
        const QString ini = m_tmp.filePath(QStringLiteral("quilton.ini"));
        writeBytes(ini, "[Kouka]\r\nGray=1000\r\nJunjo=543210\r\n"
                        "[ImageType]\r\nSrcFile=010\r\nDstFile=1\r\n[Jpeg]\r\nValue=80\r\n");
        const QString out = freshFolder(QStringLiteral("settings"));
        Run r = batch({QStringLiteral("--settings"), ini, m_pictures, out});
        QCOMPARE(r.status, 0);
        // Only *.jpg inputs, JPEG output, tile A in grey.
        QCOMPARE(filesIn(out), (QStringList{"b(A).jpg", "b(B).jpg", "b(C).jpg", "b(D).jpg",
                                            "d(A).jpg", "d(B).jpg", "d(C).jpg", "d(D).jpg"}));
        const QImage a(out + QStringLiteral("/b(A).jpg"));
        const QImage c(out + QStringLiteral("/b(C).jpg"));
        QVERIFY(!a.isNull() && !c.isNull());
        QVERIFY(channelSpread(a) <= 3); // grey, give or take JPEG's rounding
        QVERIFY(channelSpread(c) > 40);

        const QString over = freshFolder(QStringLiteral("settings-over"));
        r = batch({QStringLiteral("--settings"), ini, QStringLiteral("--format"),
                   QStringLiteral("bmp"), QStringLiteral("--types"), QStringLiteral("bmp"),
                   QStringLiteral("--effect"), QStringLiteral("A=none"), m_pictures, over});
        QCOMPARE(r.status, 0);
        QCOMPARE(filesIn(over).size(), 8); // a.bmp and c.BMP
        QVERIFY(channelSpread(QImage(over + QStringLiteral("/a(A).bmp"))) > 40);
        QVERIFY(QFileInfo::exists(over + QStringLiteral("/c(D).bmp")));
    }
};

QUILTON_TEST_MAIN(tst_batch_cli)
#include "tst_batch_cli.moc"
