// The main window over a temporary program folder: start-up and shut-down
// settings, intake by dialog and drop, tile selection, the tile menu's
// effects and undo, closing during a batch run.
#include "TestEnv.h"
#include "support/TestInstall.h"

#include "app/frmMain.h"
#include "app/guiMessage.h"
#include "app/inifile_IO.h"
#include "batch/frmBatch.h"
#include "effects/Effects.h"

#include <QApplication>
#include <QMenu>
#include <QMimeData>

using namespace testsupport;

namespace {

constexpr QRgb kColour = 0xff3366cc;
// A picture without symmetry, so that every effect and every tile differs.
const QImage kPicture = randomImage(160, 120, 7);

const QString kCap = QStringLiteral("起動時に画面を取り込む(&C)");
const QString kClickOpen = QStringLiteral("元画像クリックでファイルを開く(&C)");

QStringList iniValues(const Install& install, const char* section, const QStringList& keys)
{
    inifile_IO ini;
    ini.setFileName(install.ini());
    QStringList values;
    for (const QString& key : keys)
        values << ini.ReadStr(section, key, {});
    return values;
}

std::array<QImage, 4> tiles(frmMain& w)
{
    const auto t = [&w](int i) { return w.designer().tile(i).copy(); };
    return {t(0), t(1), t(2), t(3)};
}

// Collects the messages the window would show.
struct MessageLog
{
    QList<guiMessage::Message> messages;
    MessageLog()
    {
        guiMessage::setCapture([this](const guiMessage::Message& m) { messages.append(m); });
    }
    ~MessageLog() { guiMessage::setCapture(nullptr); }
};

// Drags paths over box: false when not offered as a copy, else dropped.
bool dragAndDrop(QWidget* box, const QStringList& paths)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          {});
    QApplication::sendEvent(box, &enter);
    if (!enter.isAccepted() || enter.dropAction() != Qt::CopyAction)
        return false;
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(box, &drop);
    return true;
}

} // namespace

class tst_frmmain : public QObject
{
    Q_OBJECT

private slots:
    void firstStartDefaultsAndEverySettingSurvivesARestart()
    {
        Install install;
        {
            frmMain w(install.context(flatImage(320, 200, kColour)));
            QCOMPARE(w.pos(), QPoint(0, 0));
            QVERIFY(QFileInfo(install.program + QStringLiteral("/Tiles")).isDir());
            QCOMPARE(w.SaveFolder(), install.program + QStringLiteral("/Tiles"));
            QCOMPARE(w.SourceFolder(), install.program);
            QCOMPARE(w.JpegQuality(), qint16(50));
            QVERIFY(findAction(w, kCap)->isChecked() && !findAction(w, kClickOpen)->isChecked());
            QCOMPARE(install.captures, 1);
            QVERIFY(!QFile::exists(install.ini())); // nothing written before the close

            w.move(120, 45);
            w.batchWindow()->move(300, 210);
            w.setSourceFolder(install.system);
            w.setSaveFolder(install.windows);
            findAction(w, kCap)->trigger();
            findAction(w, kClickOpen)->trigger();
            w.setJpegQuality(77);
            QVERIFY(w.close());
        }
        // Positions are kept in twips, 15 to the pixel.
        QCOMPARE(iniValues(install, "Position", {"Left", "Top", "SubLeft", "SubTop"}),
                 (QStringList{"1800", "675", "4500", "3150"}));
        install.captures = 0;
        frmMain again(install.context(flatImage(64, 48, kColour)));
        QCOMPARE(again.pos(), QPoint(120, 45));
        QCOMPARE(again.SourceFolder(), install.system);
        QCOMPARE(again.SaveFolder(), install.windows);
        QVERIFY(!findAction(again, kCap)->isChecked() &&
                findAction(again, kClickOpen)->isChecked());
        QCOMPARE(again.JpegQuality(), qint16(77));
        // With the capture option off the screen is not taken.
        QCOMPARE(install.captures, 0);
        QVERIFY(!again.designer().hasSource());
    }

    void screenCapOption_data()
    {
        QTest::addColumn<QByteArray>("line"); // of [Start]
        QTest::addColumn<bool>("captured");
        QTest::addColumn<bool>("ticked");
        QTest::newRow("missing key") << QByteArray("ClickOpen=False") << true << true;
        QTest::newRow("empty value counts as missing") << QByteArray("ScreenCap=") << true << true;
        QTest::newRow("False") << QByteArray("ScreenCap=False") << true << false;
        QTest::newRow("another word keeps it on") << QByteArray("ScreenCap=maybe") << true << true;
        QTest::newRow("capture gives nothing") << QByteArray() << false << true;
    }

    void screenCapOption()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, captured);
        QFETCH(bool, ticked);
        Install install;
        install.writeIni("[Start]\r\n" + line + "\r\n");
        frmMain w(install.context(captured ? flatImage(64, 48, kColour) : QImage()));
        QCOMPARE(findAction(w, kCap)->isChecked(), ticked);
        QCOMPARE(install.captures, ticked ? 1 : 0);
        QCOMPARE(w.designer().hasSource(), ticked && captured);
        QCOMPARE(w.isVisible(), w.designer().hasSource());
    }

    void openDialogCancelAndBadFilesChangeNothing()
    {
        Install install;
        frmMain w(install.context(QImage()));
        const QString folder = install.dir.filePath(QStringLiteral("Mixed Case"));
        QDir().mkpath(folder);
        QString answer = folder + QStringLiteral("/Start.BMP");
        QVERIFY(kPicture.save(answer, "BMP"));
        QStringList starts;
        w.setOpenDialog([&](const QString& start) {
            starts.append(start);
            return answer;
        });
        // With its option on a click on the source box opens the dialog, at
        // first in the program folder.
        findAction(w, kClickOpen)->trigger();
        w.setSourceFolder(QString());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(w.sourceBox(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(starts, QStringList{install.program});
        QCOMPARE(w.batchWindow()->folder(0), folder);
        QCOMPARE(w.designer().source(), kPicture);

        MessageLog log;
        const QString broken = install.dir.filePath(QStringLiteral("damaged.jpg"));
        QVERIFY(writeBytes(broken, QByteArray("\xff\xd8\xff\xe0 not really a picture")));
        for (const QString& refused : {QString(), broken, QString(folder + "/none.bmp")}) {
            answer = refused;
            w.cmdFileOpen_Click();
            QCOMPARE(starts.last(), folder);
            QCOMPARE(w.SourceFolder(), folder);
            QCOMPARE(w.designer().source(), kPicture);
        }
        QVERIFY(log.messages.isEmpty());
    }

    void dropOfferedForOnePictureKeepsThePathsLetterCase()
    {
        Install install;
        frmMain w(install.context(flatImage(64, 48, kColour)));
        MessageLog log;
        const QString d = install.dir.filePath(QStringLiteral("My Pictures/Summer"));
        QDir().mkpath(d);
        QVERIFY(!dragAndDrop(w.sourceBox(), {d + "/a.png"}));
        QVERIFY(!dragAndDrop(w.sourceBox(), {d + "/a.bmp", d + "/b.bmp"}));
        // A damaged picture, offered by its .JPEG in capitals: "Drop Error"
        // and nothing changes.
        QVERIFY(writeBytes(d + "/BROKEN.JPEG", QByteArray("GIF89a\x10\x00", 8)));
        QVERIFY(dragAndDrop(w.sourceBox(), {d + "/BROKEN.JPEG"}));
        QCOMPARE(log.messages.size(), 1);
        QCOMPARE(log.messages.first().text, QStringLiteral("Drop Error"));
        QCOMPARE(log.messages.first().icon, QMessageBox::Warning);
        QCOMPARE(w.SourceFolder(), install.program);
        QCOMPARE(w.designer().source(), flatImage(64, 48, kColour));

        QVERIFY(kPicture.save(d + "/Beach.BMP", "BMP"));
        QVERIFY(dragAndDrop(w.sourceBox(), {d + "/Beach.BMP"}));
        QCOMPARE(log.messages.size(), 1);
        QCOMPARE(w.designer().source(), kPicture);
        QCOMPARE(w.SourceFolder(), d);
        QCOMPARE(w.batchWindow()->folder(0), d);
    }

    void clicksSelectTilesEffectsAndUndoWorkOnTheCurrentTile()
    {
        Install install;
        frmMain w(install.context(QImage()));
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // Without a source: a right click selects without a menu, and the
        // effects find nothing to work on.
        QTest::mouseClick(w.tileBox(3), Qt::RightButton, {}, QPoint(10, 10));
        QCOMPARE(w.CurrentTile(), qint16(3));
        QVERIFY(!w.tileMenu()->isVisible());
        w.cmdExec_Click(-1);
        for (auto command :
             {&frmMain::mnuContrast_Click, &frmMain::mnuBokashi_Click, &frmMain::mnuBlock_Click,
              &frmMain::mnuGray_Click, &frmMain::mnuEnboss_Click, &frmMain::mnuUndo_Click})
            (w.*command)();
        QVERIFY(w.designer().tile(3).isNull());

        // Composed with the chamfer: undo below must follow the options.
        QTest::mouseClick(w.findChild<QWidget*>(QStringLiteral("chkMeji")), Qt::LeftButton);
        w.designer().setSource(kPicture);
        w.cmdExec_Click(-1);
        std::array<QImage, 4> before = tiles(w);
        QCOMPARE(before[1].pixel(0, 50) & 0xffffff, 0x646464u);
        // A left click makes C current without a menu; Ctrl+S blurs C only.
        QTest::mouseClick(w.tileBox(2), Qt::LeftButton, {}, QPoint(30, 40));
        QCOMPARE(w.CurrentTile(), qint16(2));
        QVERIFY(!w.tileMenu()->isVisible());
        QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
        BlurFilter(before[2]);
        QCOMPARE(tiles(w), before);

        // The batch's call with no button selects without a menu. Undo
        // after effects on B restores B exactly.
        w.picDst_MouseDown(1, 0, 0, 1, 1);
        QCOMPARE(w.CurrentTile(), qint16(1));
        QVERIFY(!w.tileMenu()->isVisible());
        w.mnuLight_Click(0);
        QVERIFY(w.CLight(10));
        w.mnuBokashi_Click();
        w.mnuEnboss_Click();
        QVERIFY(w.designer().tile(1) != before[1]);
        w.mnuUndo_Click();
        QCOMPARE(tiles(w), before);
        QTest::mousePress(w.tileBox(0), Qt::RightButton, {}, QPoint(10, 10));
        QVERIFY(w.tileMenu()->isVisible());
        w.tileMenu()->hide();
    }

    void closeDuringBatchRunWaitsForTheRunToStop()
    {
        Install install;
        frmMain w(install.context(kPicture));
        const QString in = install.dir.filePath(QStringLiteral("In"));
        QDir().mkpath(in);
        for (int i = 0; i < 3; ++i)
            QVERIFY(randomImage(40 + i, 30, i).save(in + QStringLiteral("/p%1.bmp").arg(i)));
        frmBatch* batch = w.batchWindow();
        batch->setFolder(0, in);
        batch->setFolder(1, install.windows);
        MessageLog log;
        int filesStarted = 0;
        bool closedAtOnce = true;
        batch->setRunHook([&](frmBatch::RunPoint point, int, int) {
            if (point == frmBatch::RunPoint::BeforeFile && filesStarted++ == 0)
                closedAtOnce = w.close() || !w.isVisible() || QFile::exists(install.ini());
        });
        batch->cmdBatch_Click();
        // The close only asked the run to stop; nothing was written meanwhile.
        QVERIFY(!closedAtOnce);
        QVERIFY(filesStarted < 3);
        QVERIFY(!batch->isRunning());
        // Once the run has ended the window closes and writes its settings.
        QTRY_VERIFY(!w.isVisible());
        QCOMPARE(iniValues(install, "Folder", {"Source", "Save"}),
                 (QStringList{in, install.windows}));
    }
};

QUILTON_TEST_MAIN(tst_frmmain)
#include "tst_frmmain.moc"
