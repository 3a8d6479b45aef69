// quilton-batch, run as the built program over temporary folders.
#include "TestEnv.h"

#include "output/PictureSaver.h"
#include "support/TestInstall.h"
#include "tile/PictureLoader.h"
#include "tile/TileDesigner.h"

#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QProcess>

using namespace Qt::Literals::StringLiterals;
using testsupport::readAll;

namespace {

struct Run
{
    int status = -1;
    QString err;
};

Run runProgram(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    const bool ended = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit;
    return {ended ? p.exitCode() : -2, QString::fromLocal8Bit(p.readAllStandardError())};
}

Run batch(const QStringList& arguments)
{
    return runProgram(testenv::binDir() + u"/quilton-batch"_s, arguments);
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class tst_batch_cli : public QObject
{
    Q_OBJECT

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
        m_pictures = freshFolder(u"pictures"_s);
        QVERIFY(testsupport::randomImage(160, 120, 1).save(m_pictures + u"/a.bmp"_s));
        QVERIFY(testsupport::randomImage(400, 300, 2).save(m_pictures + u"/b.jpg"_s, "JPG", 90));
        QVERIFY(testsupport::randomImage(90, 70, 3).save(m_pictures + u"/c.BMP"_s, "BMP"));
        QVERIFY(testsupport::randomImage(640, 200, 4).save(m_pictures + u"/d.jpg"_s, "JPG", 80));
        testsupport::writeBytes(m_tmp.filePath(u"plain-file"_s), "x");
    }

    // Good and damaged pictures: the good ones become tiles, each damaged one
    // is named and gets no tile file, and the status says some failed.
    void damagedPicturesAreNamedAndSkipped()
    {
        const QString in = freshFolder(u"mixed"_s);
        const QString out = m_tmp.filePath(u"mixed-out/deeper"_s); // created
        QVERIFY(testsupport::randomImage(200, 150, 5).save(in + u"/good.bmp"_s));
        QVERIFY(testsupport::randomImage(300, 300, 6).save(in + u"/Photo.JPG"_s, "JPG"));
        testsupport::writeBytes(in + u"/broken.jpg"_s,
                                QByteArray("\xff\xd8\xff\xe0\x00\x10JFIF\x00", 11) +
                                    QByteArray(300, 'x'));
        testsupport::writeBytes(in + u"/empty.bmp"_s, QByteArray());
        testsupport::writeBytes(in + u"/notes.txt"_s, "not a picture");

        const Run r = batch({in, out});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(u"broken.jpg"_s) && r.err.contains(u"empty.bmp"_s),
                 qPrintable(r.err));
        QVERIFY(!r.err.contains(u"good.bmp"_s));
        QCOMPARE(filesIn(out),
                 (QStringList{"Photo(A).bmp", "Photo(B).bmp", "Photo(C).bmp", "Photo(D).bmp",
                              "good(A).bmp", "good(B).bmp", "good(C).bmp", "good(D).bmp"}));
        for (const QString& name : filesIn(out)) {
            const QImage tile(out + u'/' + name, "BMP");
            QCOMPARE(tile.size(), QSize(100, 100));
            // Tiles A to C are mirror-symmetric both ways.
            if (!name.contains(u"(D)"_s))
                QCOMPARE(tile.mirrored(true, true), tile);
        }
    }

    // The files quilton-batch writes are exactly the core's own steps, the
    // effects in the order given.
    void tilesAreTheDesignersTiles()
    {
        const QString out = freshFolder(u"exact"_s);
        const QString input = m_pictures + u"/b.jpg"_s;
        QCOMPARE(batch({u"--half"_s, u"--chamfer"_s, u"--tiles"_s, u"bd"_s, u"--effect"_s,
                        u"D=blur:2,light:20,emboss"_s, u"--order"_s, u"102345"_s, input, out})
                     .status,
                 0);
        QCOMPARE(filesIn(out), (QStringList{"b(B).bmp", "b(D).bmp"}));
        TileDesigner d;
        d.setHalf(true);
        d.setChamfer(true);
        d.setSource(PictureLoader::load(input).image);
        QVERIFY(d.compose(-1));
        d.setCurrentTile(3);
        d.blur();
        d.blur();
        d.lightPercent(20);
        d.emboss();
        const QString expected = m_tmp.filePath(u"expected-D.bmp"_s);
        QVERIFY(PictureSaver::saveBmp(d.tile(3), expected));
        QCOMPARE(readAll(out + u"/b(D).bmp"_s), readAll(expected));
        QCOMPARE(QImage(out + u"/b(B).bmp"_s).size(), QSize(100, 50));
    }

    // Status 2 with a message naming what is wrong, and nothing written, not
    // even the output folder. IN, OUT and FILE stand for the pictures, an
    // output folder and a plain file.
    void usageErrors_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("order too short") << u"--order 01234 IN OUT"_s << u"--order"_s;
        QTest::newRow("order repeats a digit") << u"--order=012344 IN OUT"_s << u"--order"_s;
        QTest::newRow("effect tile E") << u"--effect E=gray IN OUT"_s << u"--effect"_s;
        QTest::newRow("effect light 15") << u"--effect A=light:15 IN OUT"_s << u"light"_s;
        QTest::newRow("effect blur 4") << u"--effect B=blur:4 IN OUT"_s << u"blur"_s;
        QTest::newRow("effect with a level") << u"--effect C=gray:2 IN OUT"_s << u"gray:2"_s;
        QTest::newRow("effect unknown") << u"--effect C=sparkle IN OUT"_s << u"sparkle"_s;
        QTest::newRow("effect twice") << u"--effect C=gray,gray IN OUT"_s << u"twice"_s;
        QTest::newRow("quality 101") << u"--quality 101 IN OUT"_s << u"--quality"_s;
        QTest::newRow("format png") << u"--format png IN OUT"_s << u"--format"_s;
        QTest::newRow("tiles X") << u"--tiles AX IN OUT"_s << u"--tiles"_s;
        QTest::newRow("jobs 0") << u"--jobs 0 IN OUT"_s << u"--jobs"_s;
        QTest::newRow("types tiff") << u"--types bmp,tiff IN OUT"_s << u"--types"_s;
        QTest::newRow("unknown option") << u"--fast IN OUT"_s << u"--fast"_s;
        QTest::newRow("value missing") << u"IN OUT --order"_s << u"needs a value"_s;
        QTest::newRow("one argument") << u"IN"_s << u"OUTPUT_DIR"_s;
        QTest::newRow("three arguments") << u"IN OUT more"_s << u"too many"_s;
        QTest::newRow("settings file missing")
            << u"--settings /no/such.ini IN OUT"_s << u"settings"_s;
        QTest::newRow("input missing") << u"/no/such/folder OUT"_s << u"does not exist"_s;
        QTest::newRow("output under a file") << u"IN FILE/sub"_s << u"cannot be created"_s;
        QTest::newRow("output is a file") << u"IN FILE"_s << u"is not a folder"_s;
    }
    void usageErrors()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, message);
        const QString out = m_tmp.filePath(u"usage-out"_s);
        QDir(out).removeRecursively();
        QStringList list = arguments.split(u' ');
        for (QString& a : list) {
            if (a == u"IN"_s || a == u"OUT"_s)
                a = a == u"IN"_s ? m_pictures : out;
            else if (a.startsWith(u"FILE"_s))
                a.replace(0, 4, m_tmp.filePath(u"plain-file"_s));
        }
        const Run r = batch(list);
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(out));
        QCOMPARE(readAll(m_tmp.filePath(u"plain-file"_s)), "x");
    }

    // A tile file that cannot be written ends the run with status 2 and its
    // name; what was written before stays whole.
    void tileFileThatCannotBeWritten()
    {
        const QString out = freshFolder(u"blocked"_s);
        QVERIFY(QDir(out).mkdir(u"a(B).bmp"_s)); // a folder in the way
        const Run r = batch({u"--jobs"_s, u"1"_s, m_pictures + u"/a.bmp"_s, out});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(u"a(B).bmp"_s), qPrintable(r.err));
        QCOMPARE(QImage(out + u"/a(A).bmp"_s).size(), QSize(100, 100));
        QVERIFY(!QFileInfo::exists(out + u"/a(C).bmp"_s));
    }

    // Parallel pictures write exactly what one job writes, also when two
    // inputs give the same tile names (the later one in name order wins).
    void jobsGiveIdenticalFiles()
    {
        const QString in = freshFolder(u"many"_s);
        for (int i = 0; i < 7; ++i)
            testsupport::randomImage(120 + 37 * i, 90 + 23 * i, i).save(in + u"/p%1.bmp"_s.arg(i));
        testsupport::randomImage(333, 222, 9).save(in + u"/p3.jpg"_s, "JPG");
        const QString out1 = freshFolder(u"many-1"_s);
        const QString out2 = freshFolder(u"many-2"_s);
        const QString single = freshFolder(u"many-single"_s);
        const QStringList effects{u"--effect"_s, u"A=contrast,blur:3"_s, u"--effect"_s,
                                  u"C=light:-40,block"_s};
        QCOMPARE(batch(effects + QStringList{u"--jobs"_s, u"1"_s, in, out1}).status, 0);
        QCOMPARE(batch(effects + QStringList{u"--jobs=2"_s, in, out2}).status, 0);
        QCOMPARE(batch(effects + QStringList{in + u"/p3.jpg"_s, single}).status, 0);
        const QStringList names = filesIn(out1);
        QCOMPARE(names.size(), 28);
        QCOMPARE(filesIn(out2), names);
        for (const QString& name : names)
            QVERIFY2(readAll(out1 + u'/' + name) == readAll(out2 + u'/' + name), qPrintable(name));
        QCOMPARE(readAll(out1 + u"/p3(A).bmp"_s), readAll(single + u"/p3(A).bmp"_s));
    }

    // JPEG through the SaveJPG.so beside the program, the quality followed.
    // Without a loadable one (a file of that name that is no library does not
    // count) a JPEG run writes nothing at all; BMP output needs none.
    void jpegOutput()
    {
        const QString low = freshFolder(u"jpeg-10"_s);
        const QString high = freshFolder(u"jpeg-95"_s);
        const QString input = m_pictures + u"/a.bmp"_s;
        QCOMPARE(batch({u"--format"_s, u"jpg"_s, u"--quality"_s, u"10"_s, input, low}).status, 0);
        QCOMPARE(batch({u"--format=JPG"_s, u"--quality=95"_s, input, high}).status, 0);
        QCOMPARE(filesIn(high), (QStringList{"a(A).jpg", "a(B).jpg", "a(C).jpg", "a(D).jpg"}));
        for (const QString& name : filesIn(high)) {
            QImageReader reader(high + u'/' + name);
            QCOMPARE(reader.format(), QByteArray("jpeg"));
            QCOMPARE(reader.size(), QSize(100, 100));
            QVERIFY(QFileInfo(high + u'/' + name).size() > QFileInfo(low + u'/' + name).size());
        }

        const QString alone = freshFolder(u"alone"_s);
        const QString program = alone + u"/quilton-batch"_s;
        QVERIFY(QFile::copy(testenv::binDir() + u"/quilton-batch"_s, program));
        QVERIFY(QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeUser));
        testsupport::writeBytes(alone + u"/SaveJPG.so"_s, "not a library");
        const QString out = m_tmp.filePath(u"alone-out"_s);
        Run r = runProgram(program, {u"--format"_s, u"jpg"_s, m_pictures, out});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(u"SaveJPG.so"_s), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(out));
        QCOMPARE(runProgram(program, {m_pictures, out}).status, 0);
        QCOMPARE(filesIn(out).size(), 16);
    }

    // A settings file as the batch window keeps it; options given win.
    void settingsFileAndOverrides()
    {
        const QString ini = m_tmp.filePath(u"quilton.ini"_s);
        testsupport::writeBytes(ini, "[Kouka]\r\nGray=1000\r\nJunjo=543210\r\n[ImageType]\r\n"
                                     "SrcFile=010\r\nDstFile=1\r\n[Jpeg]\r\nValue=80\r\n");
        const QString out = freshFolder(u"settings"_s);
        QCOMPARE(batch({u"--settings"_s, ini, m_pictures, out}).status, 0);
        // Only *.jpg inputs, JPEG output, tile A in grey.
        QCOMPARE(filesIn(out), (QStringList{"b(A).jpg", "b(B).jpg", "b(C).jpg", "b(D).jpg",
                                            "d(A).jpg", "d(B).jpg", "d(C).jpg", "d(D).jpg"}));
        QVERIFY(QImage(out + u"/b(A).jpg"_s).allGray());
        QVERIFY(!QImage(out + u"/b(C).jpg"_s).allGray());

        const QString over = freshFolder(u"settings-over"_s);
        QCOMPARE(batch({u"--settings"_s, ini, u"--format"_s, u"bmp"_s, u"--types"_s, u"bmp"_s,
                        u"--effect"_s, u"A=none"_s, m_pictures, over})
                     .status,
                 0);
        QCOMPARE(filesIn(over).size(), 8); // a.bmp and c.BMP
        QVERIFY(!QImage(over + u"/a(A).bmp"_s).allGray());
    }
};

QUILTON_TEST_MAIN(tst_batch_cli)
#include "tst_batch_cli.moc"
