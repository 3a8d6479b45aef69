// quilton-batch, run as the built program over temporary folders.
#include "TestEnv.h"

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

// The program (the built quilton-batch unless given) with the words of line
// as its arguments; the temporary paths hold no spaces.
Run batch(const QString& line, const QString& program = {})
{
    QProcess p;
    p.start(program.isEmpty() ? testenv::binDir() + u"/quilton-batch"_s : program,
            line.split(u' '));
    const bool ended = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit;
    return {ended ? p.exitCode() : -2, QString::fromLocal8Bit(p.readAllStandardError())};
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
    QString m_pictures; // a.bmp, b.jpg

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
        testsupport::writeBytes(m_tmp.filePath(u"plain-file"_s), "x");
    }

    // Good and damaged pictures: the good ones become tiles, each damaged one
    // is named and gets no tile file, and the status says some failed.
    void damagedPicturesAreNamedAndSkipped()
    {
        const QString in = freshFolder(u"mixed"_s);
        const QString out = m_tmp.filePath(u"mixed-out/deeper"_s); // created
        QVERIFY(testsupport::randomImage(200, 150, 5).save(in + u"/good.bmp"_s));
        testsupport::writeBytes(in + u"/broken.jpg"_s,
                                QByteArray("\xff\xd8\xff\xe0\x00\x10JFIF\x00", 11) +
                                    QByteArray(300, 'x'));
        testsupport::writeBytes(in + u"/empty.bmp"_s, QByteArray());
        const Run r = batch(in + u' ' + out);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(u"broken.jpg"_s) && r.err.contains(u"empty.bmp"_s) &&
                     !r.err.contains(u"good.bmp"_s),
                 qPrintable(r.err));
        QCOMPARE(filesIn(out),
                 (QStringList{"good(A).bmp", "good(B).bmp", "good(C).bmp", "good(D).bmp"}));
    }

    // The files quilton-batch writes are exactly the core's own steps, the
    // effects in the order given.
    void tilesAreTheDesignersTiles()
    {
        const QString out = freshFolder(u"exact"_s);
        const QString input = m_pictures + u"/b.jpg"_s;
        QCOMPARE(batch(u"--half --chamfer --tiles bd --effect D=blur:2,light:20,emboss --order "
                       u"102345 %1 %2"_s.arg(input, out))
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
        QCOMPARE(QImage(out + u"/b(D).bmp"_s).convertToFormat(QImage::Format_RGB32), d.tile(3));
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
        QTest::newRow("effect light 15") << u"--effect A=light:15 IN OUT"_s << u"light"_s;
        QTest::newRow("quality 101") << u"--quality 101 IN OUT"_s << u"--quality"_s;
        QTest::newRow("unknown option") << u"--fast IN OUT"_s << u"--fast"_s;
        QTest::newRow("value missing") << u"IN OUT --order"_s << u"needs a value"_s;
        QTest::newRow("one argument") << u"IN"_s << u"OUTPUT_DIR"_s;
        QTest::newRow("input missing") << u"/no/such/folder OUT"_s << u"does not exist"_s;
        QTest::newRow("output is a file") << u"IN FILE"_s << u"is not a folder"_s;
    }
    void usageErrors()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, message);
        const QString out = m_tmp.filePath(u"usage-out"_s);
        const QString file = m_tmp.filePath(u"plain-file"_s);
        QDir(out).removeRecursively();
        QStringList words = arguments.split(u' ');
        for (QString& w : words)
            w = w == u"IN"_s ? m_pictures : w == u"OUT"_s ? out : w == u"FILE"_s ? file : w;
        const Run r = batch(words.join(u' '));
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(out));
        QCOMPARE(readAll(file), "x");
    }

    // A tile file that cannot be written ends the run with status 2 and its
    // name; what was written before stays whole.
    void tileFileThatCannotBeWritten()
    {
        const QString out = freshFolder(u"blocked"_s);
        QVERIFY(QDir(out).mkdir(u"a(B).bmp"_s)); // a folder in the way
        const Run r = batch(u"--jobs 1 %1/a.bmp %2"_s.arg(m_pictures, out));
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
        const QString one = freshFolder(u"many-1"_s), two = freshFolder(u"many-2"_s),
                      single = freshFolder(u"many-single"_s);
        const QString effects = u"--effect A=contrast,blur:3 --effect C=light:-40,block "_s;
        QCOMPARE(batch(effects + u"--jobs 1 %1 %2"_s.arg(in, one)).status, 0);
        QCOMPARE(batch(effects + u"--jobs=2 %1 %2"_s.arg(in, two)).status, 0);
        QCOMPARE(batch(effects + u"%1/p3.jpg %2"_s.arg(in, single)).status, 0);
        const QStringList names = filesIn(one);
        QCOMPARE(names.size(), 28);
        QCOMPARE(filesIn(two), names);
        for (const QString& name : names)
            QVERIFY2(readAll(one + u'/' + name) == readAll(two + u'/' + name), qPrintable(name));
        QCOMPARE(readAll(one + u"/p3(A).bmp"_s), readAll(single + u"/p3(A).bmp"_s));
    }

    // JPEG through the SaveJPG.so beside the program, the quality followed.
    // Without a loadable one (a file of that name that is no library does not
    // count) a JPEG run writes nothing at all; BMP output needs none.
    void jpegOutput()
    {
        const QString low = freshFolder(u"jpeg-10"_s), high = freshFolder(u"jpeg-95"_s);
        QCOMPARE(batch(u"--format jpg --quality 10 %1/a.bmp %2"_s.arg(m_pictures, low)).status, 0);
        QCOMPARE(batch(u"--format=JPG --quality=95 %1/a.bmp %2"_s.arg(m_pictures, high)).status, 0);
        QCOMPARE(filesIn(high), (QStringList{"a(A).jpg", "a(B).jpg", "a(C).jpg", "a(D).jpg"}));
        QCOMPARE(QImageReader(high + u"/a(D).jpg"_s).format(), QByteArray("jpeg"));
        QVERIFY(QFileInfo(high + u"/a(D).jpg"_s).size() > QFileInfo(low + u"/a(D).jpg"_s).size());

        const QString program = freshFolder(u"alone"_s) + u"/quilton-batch"_s;
        QVERIFY(QFile::copy(testenv::binDir() + u"/quilton-batch"_s, program));
        QVERIFY(QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeUser));
        testsupport::writeBytes(m_tmp.filePath(u"alone/SaveJPG.so"_s), "not a library");
        const QString out = m_tmp.filePath(u"alone-out"_s);
        const Run r = batch(u"--format jpg %1 %2"_s.arg(m_pictures, out), program);
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(u"SaveJPG.so"_s), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(out));
        QCOMPARE(batch(m_pictures + u' ' + out, program).status, 0);
    }
};

QUILTON_TEST_MAIN(tst_batch_cli)
#include "tst_batch_cli.moc"
