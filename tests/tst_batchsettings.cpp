// The batch settings' reading rules, the batch naming and the per-file batch
// steps over a recording TileOperations.
#include "TestEnv.h"

#include "app/inifile_IO.h"
#include "batch/BatchEngine.h"
#include "batch/BatchSettings.h"
#include "tile/TileOperations.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using Order = std::array<int, 6>;

// Records the operations a batch step calls, in order.
class RecordingOps : public TileOperations
{
public:
    QStringList calls;
    bool loadOk = true;
    QString failSave; // a path whose save fails

    bool loadSource(const QString& path, QString* error) override
    {
        calls << QStringLiteral("load ") + QDir(path).dirName();
        if (!loadOk && error)
            *error = QStringLiteral("broken");
        return loadOk;
    }
    void cmdExec_Click(qint16 index) override { calls << QStringLiteral("exec %1").arg(index); }
    void picDst_MouseDown(qint16 index, int button, int shift, float x, float y) override
    {
        calls << QStringLiteral("select %1 %2 %3 %4 %5")
                     .arg(index)
                     .arg(button)
                     .arg(shift)
                     .arg(x)
                     .arg(y);
    }
    bool CLight(qint16 p) override
    {
        calls << QStringLiteral("light %1").arg(p);
        return true;
    }
    void mnuBokashi_Click() override { calls << QStringLiteral("blur"); }
    void mnuBlock_Click() override { calls << QStringLiteral("block"); }
    void mnuEnboss_Click() override { calls << QStringLiteral("emboss"); }
    void mnuGray_Click() override { calls << QStringLiteral("gray"); }
    void mnuContrast_Click() override { calls << QStringLiteral("contrast"); }
    bool SPic(const QString& fileName, QString* error) override
    {
        calls << QStringLiteral("save ") + fileName;
        if (fileName == failSave) {
            if (error)
                *error = QStringLiteral("disc full");
            return false;
        }
        return true;
    }
};

} // namespace

class tst_batchsettings : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_counter = 0;

    inifile_IO iniWith(const QByteArray& contents)
    {
        const QString path = m_dir.filePath(QStringLiteral("b%1.ini").arg(++m_counter));
        if (!contents.isNull()) {
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(contents) != contents.size())
                qFatal("cannot write %s", qPrintable(path));
        }
        inifile_IO ini;
        ini.setFileName(path);
        return ini;
    }

    static void touch(const QString& path)
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot create %s", qPrintable(path));
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void firstStartDefaults()
    {
        const inifile_IO ini = iniWith(QByteArray()); // no file at all
        const BatchSettings s = BatchSettings::read(ini, true);
        for (const TileEffects& fx : s.tiles) {
            QVERIFY(fx.produce);
            QVERIFY(!fx.light && !fx.blur && !fx.block && !fx.emboss && !fx.gray && !fx.contrast);
            QCOMPARE(fx.lightIndex, 0);
            QCOMPARE(fx.blurIndex, 0);
        }
        QCOMPARE(s.order, (Order{0, 1, 2, 3, 4, 5}));
        QCOMPARE(s.inputTypes, (std::array<bool, 3>{true, false, false}));
        QVERIFY(!s.jpegOutput);
        QCOMPARE(BatchNaming::inputPattern(s.inputTypes), QStringLiteral("*.bmp"));
    }

    // The window writes its keys in a fixed order; a fresh file shows it.
    void writeOrderAndRoundTrip()
    {
        BatchSettings s;
        s.tiles[0].light = true;
        s.tiles[0].lightIndex = 7;
        s.tiles[1].blur = true;
        s.tiles[1].blurIndex = 2;
        s.tiles[2].block = s.tiles[2].emboss = true;
        s.tiles[3].gray = s.tiles[3].contrast = true;
        s.order = {5, 4, 3, 2, 1, 0};
        s.inputTypes = {false, true, true};
        s.jpegOutput = true;
        inifile_IO ini = iniWith(QByteArray());
        s.write(ini);

        QFile f(ini.FileName());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QCOMPARE(text, QByteArray("[ImageType]\r\nSrcFile=011\r\nDstFile=1\r\n"
                                  "[Kouka]\r\nLight=1000\r\nBokashi=0100\r\nBlock=0010\r\n"
                                  "Enboss=0010\r\nGray=0001\r\nContrast=0001\r\nBIndex=0200\r\n"
                                  "LIndex=7000\r\nJunjo=543210\r\n"));

        const BatchSettings back = BatchSettings::read(ini, true);
        for (int t = 0; t < 4; ++t) {
            QCOMPARE(back.tiles[t].light, s.tiles[t].light);
            QCOMPARE(back.tiles[t].lightIndex, s.tiles[t].lightIndex);
            QCOMPARE(back.tiles[t].blur, s.tiles[t].blur);
            QCOMPARE(back.tiles[t].blurIndex, s.tiles[t].blurIndex);
            QCOMPARE(back.tiles[t].block, s.tiles[t].block);
            QCOMPARE(back.tiles[t].emboss, s.tiles[t].emboss);
            QCOMPARE(back.tiles[t].gray, s.tiles[t].gray);
            QCOMPARE(back.tiles[t].contrast, s.tiles[t].contrast);
        }
        QCOMPARE(back.order, s.order);
        QCOMPARE(back.inputTypes, s.inputTypes);
        QVERIFY(back.jpegOutput);
    }

    void junjo_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("order");
        QTest::newRow("5 is padded to 500000, lacking digits") << "5"
                                                               << "012345";
        QTest::newRow("seven digits: the first six") << "5432101"
                                                     << "543210";
        QTest::newRow("five digits padded to a permutation") << "12345"
                                                             << "123450";
        QTest::newRow("a repeated digit") << "012344"
                                          << "012345";
        QTest::newRow("digit 6") << "612345"
                                 << "012345";
        QTest::newRow("letters") << "abcdef"
                                 << "012345";
        QTest::newRow("a permutation") << "302154"
                                       << "302154";
    }
    void junjo()
    {
        QFETCH(QString, stored);
        QFETCH(QString, order);
        const inifile_IO ini = iniWith("[Kouka]\r\nJunjo=" + stored.toUtf8() + "\r\n");
        const Order got = BatchSettings::read(ini, false).order;
        QString text;
        for (int c : got)
            text += QString::number(c);
        QCOMPARE(text, order);
        QCOMPARE(BatchNaming::parseOrder(stored), got);
    }

    void dstFile_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("jpegFlag");
        QTest::addColumn<bool>("jpeg");
        QTest::newRow("1 with the library") << QByteArray("1") << true << true;
        QTest::newRow("1 without the library") << QByteArray("1") << false << false;
        QTest::newRow("any non-zero number means JPEG") << QByteArray("7") << true << true;
        QTest::newRow("0") << QByteArray("0") << true << false;
        QTest::newRow("not a number: default 0") << QByteArray("jpg") << true << false;
    }
    void dstFile()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, jpegFlag);
        QFETCH(bool, jpeg);
        const inifile_IO ini = iniWith("[ImageType]\r\nDstFile=" + value + "\r\n");
        QCOMPARE(BatchSettings::read(ini, jpegFlag).jpegOutput, jpeg);
    }

    // Hand-edited values: every character that is missing, not a digit or out
    // of range takes the key's default, the others are read.
    void malformedPerTileStrings()
    {
        const inifile_IO ini = iniWith("[Kouka]\r\nLight=1x1\r\nBokashi=2111\r\nGray=11111\r\n"
                                       "LIndex=9A3\r\nBIndex=3 2-\r\n"
                                       "[ImageType]\r\nSrcFile=x1\r\n");
        const BatchSettings s = BatchSettings::read(ini, false);
        QCOMPARE((std::array<bool, 4>{s.tiles[0].light, s.tiles[1].light, s.tiles[2].light,
                                      s.tiles[3].light}),
                 (std::array<bool, 4>{true, false, true, false}));
        QCOMPARE((std::array<bool, 4>{s.tiles[0].blur, s.tiles[1].blur, s.tiles[2].blur,
                                      s.tiles[3].blur}),
                 (std::array<bool, 4>{false, true, true, true}));
        for (const TileEffects& fx : s.tiles)
            QVERIFY(fx.gray);
        QCOMPARE((std::array<int, 4>{s.tiles[0].lightIndex, s.tiles[1].lightIndex,
                                     s.tiles[2].lightIndex, s.tiles[3].lightIndex}),
                 (std::array<int, 4>{9, 0, 3, 0}));
        QCOMPARE((std::array<int, 4>{s.tiles[0].blurIndex, s.tiles[1].blurIndex,
                                     s.tiles[2].blurIndex, s.tiles[3].blurIndex}),
                 (std::array<int, 4>{0, 0, 2, 0}));
        // "x1": bmp takes its default (ticked), jpg is ticked, gif is missing.
        QCOMPARE(s.inputTypes, (std::array<bool, 3>{true, true, false}));
    }

    void inputPattern_data()
    {
        QTest::addColumn<bool>("bmp");
        QTest::addColumn<bool>("jpg");
        QTest::addColumn<bool>("gif");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("bmp") << true << false << false << "*.bmp";
        QTest::newRow("jpg and gif") << false << true << true << "*.jpg;*.gif";
        QTest::newRow("first and third") << true << false << true << "*.bmp;*.gif";
        QTest::newRow("all") << true << true << true << "*.bmp;*.jpg;*.gif";
        QTest::newRow("none") << false << false << false << "xxxx.xxxx";
    }
    void inputPattern()
    {
        QFETCH(bool, bmp);
        QFETCH(bool, jpg);
        QFETCH(bool, gif);
        QFETCH(QString, pattern);
        QCOMPARE(BatchNaming::inputPattern({bmp, jpg, gif}), pattern);
    }

    void matchingFiles()
    {
        QTemporaryDir dir;
        const QStringList names{QStringLiteral("b.jpg"),     QStringLiteral("a.BMP"),
                                QStringLiteral("C.Gif"),     QStringLiteral("d.png"),
                                QStringLiteral("B.bmp"),     QStringLiteral("xxxx.xxxx"),
                                QStringLiteral("e.bmp.txt"), QStringLiteral("c.bmp")};
        for (const QString& n : names)
            touch(dir.filePath(n));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.bmp"))); // a folder is no file

        QCOMPARE(BatchNaming::matchingFiles(dir.path(), QStringLiteral("*.bmp;*.gif")),
                 (QStringList{QStringLiteral("a.BMP"), QStringLiteral("B.bmp"),
                              QStringLiteral("c.bmp"), QStringLiteral("C.Gif")}));
        QCOMPARE(BatchNaming::matchingFiles(dir.path(), QStringLiteral("*.jpg")),
                 QStringList{QStringLiteral("b.jpg")});
        QCOMPARE(BatchNaming::matchingFiles(dir.path(), QStringLiteral("xxxx.xxxx")),
                 QStringList{QStringLiteral("xxxx.xxxx")});
        QVERIFY(BatchNaming::matchingFiles(dir.filePath(QStringLiteral("missing")),
                                           QStringLiteral("*.bmp"))
                    .isEmpty());
    }

    void outFileName_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("tile");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QString>("name");
        QTest::newRow("flower.jpg A bmp") << "flower.jpg" << 0 << "bmp"
                                          << "flower(A).bmp";
        QTest::newRow("my.photo.gif D jpg") << "my.photo.gif" << 3 << "jpg"
                                            << "my.photo(D).jpg";
        QTest::newRow("letter case kept") << "Sea View.BMP" << 1 << "bmp"
                                          << "Sea View(B).bmp";
        QTest::newRow("an earlier output as input") << "a(A).bmp" << 1 << "bmp"
                                                    << "a(A)(B).bmp";
        QTest::newRow("no dot") << "plain" << 2 << "bmp"
                                << "plain(C).bmp";
    }
    void outFileName()
    {
        QFETCH(QString, input);
        QFETCH(int, tile);
        QFETCH(QString, ext);
        QFETCH(QString, name);
        QCOMPARE(BatchNaming::OutFileName(input, tile, ext), name);
    }

    void lightPercent()
    {
        const int expected[10] = {-50, -40, -30, -20, -10, 10, 20, 30, 40, 50};
        for (int i = 0; i < 10; ++i)
            QCOMPARE(BatchNaming::lightPercent(i), expected[i]);
    }

    // The effects run in the effect order, each ticked one once, blur as many
    // times as its list says.
    void effectsFollowTheOrder_data()
    {
        QTest::addColumn<Order>("order");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("012345: brightness then two blurs")
            << Order{0, 1, 2, 3, 4, 5}
            << QStringList{"light -30", "blur", "blur", "gray", "contrast"};
        QTest::newRow("102345: two blurs then brightness")
            << Order{1, 0, 2, 3, 4, 5}
            << QStringList{"blur", "blur", "light -30", "gray", "contrast"};
        QTest::newRow("543210: contrast before grayscale")
            << Order{5, 4, 3, 2, 1, 0}
            << QStringList{"contrast", "gray", "blur", "blur", "light -30"};
    }
    void effectsFollowTheOrder()
    {
        QFETCH(Order, order);
        QFETCH(QStringList, calls);
        TileEffects fx;
        fx.light = true;
        fx.lightIndex = 2; // "-30"
        fx.blur = true;
        fx.blurIndex = 1; // "x2"
        fx.gray = fx.contrast = true;
        RecordingOps ops;
        BatchEngine::applyEffects(ops, fx, order);
        QCOMPARE(ops.calls, calls);
    }

    void processFileSteps()
    {
        BatchSettings s;
        s.tiles[1].produce = false;
        s.tiles[2].emboss = true;
        s.tiles[3].block = true;
        RecordingOps ops;
        const BatchEngine::FileResult r =
            BatchEngine::processFile(ops, s, QStringLiteral("/in/my.photo.gif"),
                                     QStringLiteral("/out"), QStringLiteral("jpg"));
        QCOMPARE(r.status, BatchEngine::FileResult::Done);
        QCOMPARE(ops.calls, (QStringList{"load my.photo.gif", "exec -1", "select 0 0 0 1 1",
                                         "save /out/my.photo(A).jpg", "select 2 0 0 1 1", "emboss",
                                         "save /out/my.photo(C).jpg", "select 3 0 0 1 1", "block",
                                         "save /out/my.photo(D).jpg"}));
        QCOMPARE(r.written.size(), 3);
        // The root folder does not double its '/'.
        QCOMPARE(BatchEngine::joinPath(QStringLiteral("/"), QStringLiteral("a.bmp")),
                 QStringLiteral("/a.bmp"));
    }

    // Regression: the tiles on screen belong to the previous picture, so an
    // unreadable input must not save them under its own name.
    void unreadableInputWritesNoTiles()
    {
        RecordingOps ops;
        ops.loadOk = false;
        const BatchEngine::FileResult r =
            BatchEngine::processFile(ops, BatchSettings{}, QStringLiteral("/in/bad.jpg"),
                                     QStringLiteral("/out"), QStringLiteral("bmp"));
        QCOMPARE(r.status, BatchEngine::FileResult::Unreadable);
        QCOMPARE(r.error, QStringLiteral("broken"));
        QCOMPARE(ops.calls, QStringList{"load bad.jpg"});
        QVERIFY(r.written.isEmpty());
    }

    void writeFailureStopsTheFile()
    {
        RecordingOps ops;
        ops.failSave = QStringLiteral("/out/a(B).bmp");
        const BatchEngine::FileResult r =
            BatchEngine::processFile(ops, BatchSettings{}, QStringLiteral("/in/a.bmp"),
                                     QStringLiteral("/out"), QStringLiteral("bmp"));
        QCOMPARE(r.status, BatchEngine::FileResult::WriteFailed);
        QCOMPARE(r.failedPath, QStringLiteral("/out/a(B).bmp"));
        QCOMPARE(r.error, QStringLiteral("disc full"));
        QCOMPARE(r.written, QStringList{"/out/a(A).bmp"});
        QVERIFY(!ops.calls.contains(QStringLiteral("select 2 0 0 1 1")));
    }
};

QUILTON_TEST_MAIN(tst_batchsettings)
#include "tst_batchsettings.moc"
