// The batch settings' reading rules, the batch naming and the per-file batch
// steps over a recording TileOperations.
#include "TestEnv.h"

#include "app/inifile_IO.h"
#include "batch/BatchEngine.h"
#include "batch/BatchSettings.h"
#include "support/TestInstall.h"
#include "tile/TileOperations.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace {

// Records the operations a batch step calls, in order.
class RecordingOps : public TileOperations
{
public:
    QStringList calls;
    QString failSave; // a path whose save fails

    bool log(const QString& call, bool ok = true) { return calls << call, ok; }
    bool loadSource(const QString& path, QString*) override
    {
        return log(u"load "_s + QFileInfo(path).fileName());
    }
    void cmdExec_Click(qint16 index) override { log(u"exec %1"_s.arg(index)); }
    void picDst_MouseDown(qint16 i, int, int, float, float) override { log(u"select %1"_s.arg(i)); }
    bool CLight(qint16 p) override { return log(u"light %1"_s.arg(p)); }
    void mnuBokashi_Click() override { log(u"blur"_s); }
    void mnuBlock_Click() override { log(u"block"_s); }
    void mnuEnboss_Click() override { log(u"emboss"_s); }
    void mnuGray_Click() override { log(u"gray"_s); }
    void mnuContrast_Click() override { log(u"contrast"_s); }
    bool SPic(const QString& f, QString*) override { return log(u"save "_s + f, f != failSave); }
};

} // namespace

class tst_batchsettings : public QObject
{
    Q_OBJECT

private slots:
    // Settings read from stored are written back with each "Key=Value" of
    // expected among them.
    void readingRules_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("library");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first start: no file")
            << QString() << true
            << "SrcFile=100;DstFile=0;Light=0000;Bokashi=0000;Block=0000;Enboss=0000;Gray=0000;"
               "Contrast=0000;BIndex=0000;LIndex=0000;Junjo=012345";
        QTest::newRow("Junjo 5: padded, lacking digits") << "Junjo=5" << true << "Junjo=012345";
        QTest::newRow("Junjo 7 digits: first six") << "Junjo=5432101" << true << "Junjo=543210";
        QTest::newRow("Junjo repeating a digit") << "Junjo=012344" << true << "Junjo=012345";
        QTest::newRow("DstFile non-zero with the library") << "DstFile=7" << true << "DstFile=1";
        QTest::newRow("DstFile 1 without the library") << "DstFile=1" << false << "DstFile=0";
        // Every character missing, not a digit or out of range takes the
        // key's default; the others are read.
        QTest::newRow("hand-edited per-tile strings")
            << "Light=1x1;Bokashi=2111;Gray=11111;LIndex=9A3;BIndex=3 2-;SrcFile=x1" << true
            << "Light=1010;Bokashi=0111;Gray=1111;LIndex=9030;BIndex=0020;SrcFile=110";
    }
    void readingRules()
    {
        QFETCH(QString, stored);
        QFETCH(bool, library);
        QFETCH(QString, expected);
        // Each "Key=Value" of stored in both sections: the reader takes its own.
        QTemporaryDir dir;
        inifile_IO in, out;
        in.setFileName(dir.filePath(u"in.ini"_s));
        out.setFileName(dir.filePath(u"out.ini"_s));
        const QString lines = QString(stored).replace(u';', u"\r\n"_s) + u"\r\n"_s;
        if (!stored.isNull())
            testsupport::writeBytes(
                in.FileName(),
                QString(u"[Kouka]\r\n"_s + lines + u"[ImageType]\r\n"_s + lines).toUtf8());
        BatchSettings::read(in, library).write(out);
        const QStringList written = QString::fromUtf8(testsupport::readAll(out.FileName()))
                                        .split(u"\r\n"_s, Qt::SkipEmptyParts);
        for (const QString& key : expected.split(u';'))
            QVERIFY2(written.contains(key), qPrintable(key + u" in "_s + written.join(u' ')));
    }

    // The files in a folder a pattern matches, and the names of the tiles.
    void naming()
    {
        using namespace BatchNaming;
        QTemporaryDir dir;
        for (const char* name :
             {"b.jpg", "a.BMP", "C.Gif", "d.png", "B.bmp", "xxxx.xxxx", "e.bmp.txt", "c.bmp"})
            testsupport::writeBytes(dir.filePath(QLatin1String(name)), {});
        QVERIFY(QDir(dir.path()).mkdir(u"folder.bmp"_s)); // a folder is no file
        QCOMPARE(matchingFiles(dir.path(), u"*.bmp;*.gif"_s),
                 (QStringList{"a.BMP", "B.bmp", "c.bmp", "C.Gif"}));
        QCOMPARE(matchingFiles(dir.path(), u"xxxx.xxxx"_s), QStringList{"xxxx.xxxx"});
        QCOMPARE(OutFileName(u"my.photo.gif"_s, 3, u"jpg"_s), u"my.photo(D).jpg"_s);
    }

    // A whole file: the effects of a tile in the effect order, each ticked
    // one once, blur as often as its list says; unticked tile B gets no file;
    // a tile that cannot be written ends the file.
    void processFile()
    {
        BatchSettings s;
        s.tiles[0].light = s.tiles[0].blur = s.tiles[0].gray = s.tiles[0].contrast = true;
        s.tiles[0].lightIndex = 2; // "-30"
        s.tiles[0].blurIndex = 1;  // "x2"
        s.tiles[1].produce = false;
        s.tiles[3].block = true;
        s.order = {5, 4, 3, 2, 1, 0};
        RecordingOps ops;
        auto r = BatchEngine::processFile(ops, s, u"/in/my.photo.gif"_s, u"/out"_s, u"jpg"_s);
        QCOMPARE(r.status, BatchEngine::FileResult::Done);
        QCOMPARE(ops.calls,
                 (QStringList{"load my.photo.gif", "exec -1", "select 0", "contrast", "gray",
                              "blur", "blur", "light -30", "save /out/my.photo(A).jpg", "select 2",
                              "save /out/my.photo(C).jpg", "select 3", "block",
                              "save /out/my.photo(D).jpg"}));

        RecordingOps full;
        full.failSave = u"/a(B).bmp"_s; // the root folder does not double its '/'
        r = BatchEngine::processFile(full, BatchSettings{}, u"/in/a.bmp"_s, u"/"_s, u"bmp"_s);
        QCOMPARE(r.status, BatchEngine::FileResult::WriteFailed);
        QCOMPARE(r.failedPath, full.failSave);
        QCOMPARE(r.written, QStringList{"/a(A).bmp"});
        QCOMPARE(full.calls.size(), 6); // nothing after the failed save
    }
};

QUILTON_TEST_MAIN(tst_batchsettings)
#include "tst_batchsettings.moc"
