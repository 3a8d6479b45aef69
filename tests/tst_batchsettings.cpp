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
    bool loadOk = true;
    QString failSave; // a path whose save fails

    bool record(const QString& call, bool ok = true, QString* error = nullptr,
                const QString& why = {})
    {
        calls << call;
        if (!ok)
            *error = why;
        return ok;
    }
    bool loadSource(const QString& path, QString* error) override
    {
        return record(u"load "_s + QFileInfo(path).fileName(), loadOk, error, u"broken"_s);
    }
    void cmdExec_Click(qint16 index) override { record(u"exec %1"_s.arg(index)); }
    void picDst_MouseDown(qint16 index, int button, int shift, float x, float y) override
    {
        record(u"select %1 %2 %3 %4 %5"_s.arg(index).arg(button).arg(shift).arg(x).arg(y));
    }
    bool CLight(qint16 p) override { return record(u"light %1"_s.arg(p)); }
    void mnuBokashi_Click() override { record(u"blur"_s); }
    void mnuBlock_Click() override { record(u"block"_s); }
    void mnuEnboss_Click() override { record(u"emboss"_s); }
    void mnuGray_Click() override { record(u"gray"_s); }
    void mnuContrast_Click() override { record(u"contrast"_s); }
    bool SPic(const QString& fileName, QString* error) override
    {
        return record(u"save "_s + fileName, fileName != failSave, error, u"disc full"_s);
    }
};

} // namespace

class tst_batchsettings : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    // A settings file with each "Key=Value" of keys (";" between them) in
    // both sections, where the reader looks for its own; no file for a null
    // string.
    inifile_IO iniWith(const QString& keys)
    {
        inifile_IO ini;
        ini.setFileName(m_dir.filePath(u"b%1.ini"_s.arg(++m_files)));
        const QString lines = QString(keys).replace(u';', u"\r\n"_s) + u"\r\n"_s;
        if (!keys.isNull())
            testsupport::writeBytes(
                ini.FileName(),
                QString(u"[Kouka]\r\n"_s + lines + u"[ImageType]\r\n"_s + lines).toUtf8());
        return ini;
    }

private slots:
    // Settings read from stored are written back: all keys in the window's
    // order, with each "Key=Value" of expected among them.
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
        QTest::newRow("Junjo 5 digits: padded") << "Junjo=12345" << true << "Junjo=123450";
        QTest::newRow("Junjo repeating a digit") << "Junjo=012344" << true << "Junjo=012345";
        QTest::newRow("DstFile 1 with the library") << "DstFile=1" << true << "DstFile=1";
        QTest::newRow("DstFile 1 without the library") << "DstFile=1" << false << "DstFile=0";
        QTest::newRow("DstFile any non-zero number") << "DstFile=7" << true << "DstFile=1";
        QTest::newRow("DstFile not a number") << "DstFile=jpg" << true << "DstFile=0";
        // Every character missing, not a digit or out of range takes the
        // key's default; the others are read.
        QTest::newRow("hand-edited per-tile strings")
            << "Light=1x1;Bokashi=2111;Gray=11111;LIndex=9A3;BIndex=3 2-;SrcFile=x1" << true
            << "Light=1010;Bokashi=0111;Gray=1111;LIndex=9030;BIndex=0020;SrcFile=110";
        const char* everyKey = "SrcFile=011;DstFile=1;Light=1000;Bokashi=0100;Block=0010;"
                               "Enboss=0010;Gray=0001;Contrast=0001;BIndex=0200;LIndex=7000;"
                               "Junjo=543210";
        QTest::newRow("every key set: the same again") << everyKey << true << everyKey;
    }
    void readingRules()
    {
        QFETCH(QString, stored);
        QFETCH(bool, library);
        QFETCH(QString, expected);
        inifile_IO written = iniWith(QString());
        BatchSettings::read(iniWith(stored), library).write(written);
        const QStringList lines = QString::fromUtf8(testsupport::readAll(written.FileName()))
                                      .split(u"\r\n"_s, Qt::SkipEmptyParts);
        QStringList keys;
        for (const QString& line : lines)
            keys << line.section(u'=', 0, 0);
        QCOMPARE(keys.join(u' '), u"[ImageType] SrcFile DstFile [Kouka] Light Bokashi Block "
                                  u"Enboss Gray Contrast BIndex LIndex Junjo"_s);
        for (const QString& key : expected.split(u';'))
            QVERIFY2(lines.contains(key), qPrintable(key + u" in "_s + lines.join(u' ')));
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
        QVERIFY(matchingFiles(dir.filePath(u"missing"_s), u"*.bmp"_s).isEmpty());

        QCOMPARE(OutFileName(u"flower.jpg"_s, 0, u"bmp"_s), u"flower(A).bmp"_s);
        QCOMPARE(OutFileName(u"my.photo.gif"_s, 3, u"jpg"_s), u"my.photo(D).jpg"_s);
        QCOMPARE(OutFileName(u"Sea(A).BMP"_s, 1, u"bmp"_s), u"Sea(A)(B).bmp"_s);
        QCOMPARE(OutFileName(u"plain"_s, 2, u"bmp"_s), u"plain(C).bmp"_s);
    }

    // A whole file: the effects of a tile in the effect order, each ticked
    // one once, blur as often as its list says; unticked tile B gets no file;
    // an unreadable input writes no tiles (those on screen are the previous
    // picture's); a tile that cannot be written ends the file.
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
                 (QStringList{"load my.photo.gif", "exec -1", "select 0 0 0 1 1", "contrast",
                              "gray", "blur", "blur", "light -30", "save /out/my.photo(A).jpg",
                              "select 2 0 0 1 1", "save /out/my.photo(C).jpg", "select 3 0 0 1 1",
                              "block", "save /out/my.photo(D).jpg"}));
        QCOMPARE(r.written.size(), 3);

        RecordingOps unreadable;
        unreadable.loadOk = false;
        r = BatchEngine::processFile(unreadable, s, u"/in/bad.jpg"_s, u"/out"_s, u"bmp"_s);
        QCOMPARE(r.status, BatchEngine::FileResult::Unreadable);
        QCOMPARE(r.error, u"broken"_s);
        QCOMPARE(unreadable.calls, QStringList{"load bad.jpg"});

        RecordingOps full;
        full.failSave = u"/a(B).bmp"_s; // the root folder does not double its '/'
        r = BatchEngine::processFile(full, BatchSettings{}, u"/in/a.bmp"_s, u"/"_s, u"bmp"_s);
        QCOMPARE(r.status, BatchEngine::FileResult::WriteFailed);
        QCOMPARE(r.failedPath, full.failSave);
        QCOMPARE(r.error, u"disc full"_s);
        QCOMPARE(r.written, QStringList{"/a(A).bmp"});
        QCOMPARE(full.calls.size(), 6); // nothing after the failed save
    }
};

QUILTON_TEST_MAIN(tst_batchsettings)
#include "tst_batchsettings.moc"
