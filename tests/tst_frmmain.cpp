// The main window over a temporary program folder: start-up and shut-down
// settings, intake by dialog and drop, tile selection, the tile menu's
// effects and undo, half size, the progress bar and the batch window.
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
QImage picture()
{
    return randomImage(160, 120, 7);
}

QAction* capOption(const frmMain& w)
{
    return findAction(w, QStringLiteral("起動時に画面を取り込む(&C)"));
}
QAction* clickOpenOption(const frmMain& w)
{
    return findAction(w, QStringLiteral("元画像クリックでファイルを開く(&C)"));
}
QWidget* child(const frmMain& w, const char* name)
{
    return w.findChild<QWidget*>(QString::fromLatin1(name));
}
QString iniValue(const Install& install, const char* section, const char* key)
{
    inifile_IO ini;
    ini.setFileName(install.ini());
    return ini.ReadStr(section, key, {});
}
std::array<QImage, 4> tiles(frmMain& w)
{
    return {w.designer().tile(0).copy(), w.designer().tile(1).copy(), w.designer().tile(2).copy(),
            w.designer().tile(3).copy()};
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
        urls.append(QUrl::fromUserInput(path));
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

// Records the widths a widget takes.
struct WidthRecorder : QObject
{
    QList<int> widths;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            widths.append(static_cast<QWidget*>(watched)->width());
        return false;
    }
};

} // namespace

class tst_frmmain : public QObject
{
    Q_OBJECT

private slots:
    void firstStartDefaultsAndEverySettingSurvivesARestart()
    {
        Install install;
        const QString source = install.dir.filePath(QStringLiteral("Pictures In"));
        QDir().mkpath(source);
        {
            frmMain w(install.context(flatImage(320, 200, kColour)));
            QCOMPARE(w.pos(), QPoint(0, 0));
            QVERIFY(QFileInfo(install.program + QStringLiteral("/Tiles")).isDir());
            QCOMPARE(w.SaveFolder(), install.program + QStringLiteral("/Tiles"));
            QCOMPARE(w.SourceFolder(), install.program);
            QCOMPARE(w.JpegQuality(), qint16(50));
            QVERIFY(capOption(w)->isChecked());
            QVERIFY(!clickOpenOption(w)->isChecked());
            // The capture became the source and the tiles were composed: B
            // keeps the colour, C is black (four equal copies XORed).
            QCOMPARE(install.captures, 1);
            QVERIFY(w.isVisible());
            QCOMPARE(w.designer().tile(1), flatImage(100, 100, kColour));
            QCOMPARE(w.designer().tile(2), flatImage(100, 100, 0xff000000));
            QVERIFY(!QFile::exists(install.ini())); // nothing written before the close

            w.move(120, 45);
            w.batchWindow()->move(300, 210);
            w.setSourceFolder(source);
            w.setSaveFolder(install.windows);
            capOption(w)->trigger();
            clickOpenOption(w)->trigger();
            w.setJpegQuality(77);
            QVERIFY(w.close());
        }
        // Positions are kept in twips, 15 to the pixel.
        QCOMPARE(iniValue(install, "Position", "Left"), QStringLiteral("1800"));
        QCOMPARE(iniValue(install, "Position", "Top"), QStringLiteral("675"));
        QCOMPARE(iniValue(install, "Position", "SubLeft"), QStringLiteral("4500"));
        QCOMPARE(iniValue(install, "Position", "SubTop"), QStringLiteral("3150"));

        install.captures = 0;
        frmMain again(install.context(flatImage(64, 48, kColour)));
        QCOMPARE(again.pos(), QPoint(120, 45));
        QCOMPARE(again.SourceFolder(), source);
        QCOMPARE(again.SaveFolder(), install.windows);
        QVERIFY(!capOption(again)->isChecked());
        QVERIFY(clickOpenOption(again)->isChecked());
        QCOMPARE(again.JpegQuality(), qint16(77));
        // With the capture option off the screen is not taken.
        QCOMPARE(install.captures, 0);
        QVERIFY(!again.designer().hasSource());
    }

    void screenCapOption_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QImage>("capture");
        QTest::addColumn<bool>("ticked");
        const QImage flat = flatImage(64, 48, kColour);
        QTest::newRow("missing key")
            << QByteArray("[Start]\r\nClickOpen=False\r\n") << flat << true;
        QTest::newRow("empty value counts as missing")
            << QByteArray("[Start]\r\nScreenCap=\r\n") << flat << true;
        QTest::newRow("False") << QByteArray("[Start]\r\nScreenCap=False\r\n") << flat << false;
        QTest::newRow("another word keeps it on")
            << QByteArray("[Start]\r\nScreenCap=maybe\r\n") << flat << true;
        QTest::newRow("capture gives nothing") << QByteArray() << QImage() << true;
    }

    void screenCapOption()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QImage, capture);
        QFETCH(bool, ticked);
        Install install;
        install.writeIni(ini);
        frmMain w(install.context(capture));
        QCOMPARE(capOption(w)->isChecked(), ticked);
        QCOMPARE(install.captures, ticked ? 1 : 0);
        QCOMPARE(w.designer().hasSource(), ticked && !capture.isNull());
        QCOMPARE(w.isVisible(), w.designer().hasSource());
    }

    void openDialogCancelAndBadFilesChangeNothing()
    {
        Install install;
        frmMain w(install.context(QImage()));
        const QString folder = install.dir.filePath(QStringLiteral("Mixed Case"));
        QDir().mkpath(folder);
        QString answer = folder + QStringLiteral("/Start.BMP");
        QVERIFY(picture().save(answer, "BMP"));
        QStringList startFolders;
        w.setOpenDialog([&](const QString& start) {
            startFolders.append(start);
            return answer;
        });
        // A click on the source box opens the dialog only with its option on.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(w.sourceBox(), Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(startFolders.isEmpty());
        clickOpenOption(w)->trigger();
        w.setSourceFolder(QString());
        QTest::mouseClick(w.sourceBox(), Qt::LeftButton, {}, QPoint(20, 20));
        // An empty SourceFolder starts the dialog in the program folder.
        QCOMPARE(startFolders, QStringList{install.program});
        QCOMPARE(w.SourceFolder(), folder);
        QCOMPARE(w.batchWindow()->folder(0), folder);
        QCOMPARE(w.designer().source(), picture());

        const QImage tileBefore = w.designer().tile(0);
        MessageLog log;
        const QString broken = install.dir.filePath(QStringLiteral("damaged.jpg"));
        QVERIFY(writeBytes(broken, QByteArray("\xff\xd8\xff\xe0 not really a picture")));
        for (const QString& refused :
             {QString(), broken, install.dir.filePath(QStringLiteral("none.bmp"))}) {
            answer = refused;
            w.cmdFileOpen_Click();
            QCOMPARE(startFolders.last(), folder);
            QCOMPARE(w.SourceFolder(), folder);
            QCOMPARE(w.batchWindow()->folder(0), folder);
            QCOMPARE(w.designer().source(), picture());
            QCOMPARE(w.designer().tile(0), tileBefore);
        }
        QVERIFY(log.messages.isEmpty());
    }

    void dropOffered_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<bool>("offered");
        const QString d = QStringLiteral("/tmp/Some Folder/");
        QTest::newRow(".JPEG in capitals") << QStringList{d + "PHOTO.JPEG"} << true;
        QTest::newRow(".Bmp") << QStringList{d + "a.Bmp"} << true;
        QTest::newRow(".png") << QStringList{d + "a.png"} << false;
        QTest::newRow("two files") << QStringList{d + "a.bmp", d + "b.bmp"} << false;
        QTest::newRow("web address")
            << QStringList{QStringLiteral("https://example.org/a.jpg")} << false;
    }

    void dropOffered()
    {
        QFETCH(QStringList, paths);
        QFETCH(bool, offered);
        Install install;
        frmMain w(install.context(QImage()));
        MessageLog log; // an offered file that does not exist is a drop error
        QCOMPARE(dragAndDrop(w.sourceBox(), paths), offered);
    }

    void dropKeepsLetterCaseOfPathAndReportsDamagedFile()
    {
        Install install;
        frmMain w(install.context(flatImage(64, 48, kColour)));
        const QImage tileBefore = w.designer().tile(1);
        MessageLog log;
        const QString damaged = install.dir.filePath(QStringLiteral("broken.gif"));
        QVERIFY(writeBytes(damaged, QByteArray("GIF89a\x10\x00", 8)));
        QVERIFY(dragAndDrop(w.sourceBox(), {damaged}));
        QCOMPARE(log.messages.size(), 1);
        QCOMPARE(log.messages.first().text, QStringLiteral("Drop Error"));
        QCOMPARE(log.messages.first().icon, QMessageBox::Warning);
        QCOMPARE(w.SourceFolder(), install.program);
        QCOMPARE(w.designer().tile(1), tileBefore);

        const QString folder = install.dir.filePath(QStringLiteral("My Pictures/Summer"));
        QDir().mkpath(folder);
        QVERIFY(picture().save(folder + QStringLiteral("/Beach.BMP"), "BMP"));
        QVERIFY(dragAndDrop(w.sourceBox(), {folder + QStringLiteral("/Beach.BMP")}));
        QCOMPARE(log.messages.size(), 1);
        QCOMPARE(w.designer().source(), picture());
        QCOMPARE(w.SourceFolder(), folder);
        QCOMPARE(w.batchWindow()->folder(0), folder);
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
        w.mnuLight_Click(0);
        for (auto command :
             {&frmMain::mnuContrast_Click, &frmMain::mnuBokashi_Click, &frmMain::mnuBlock_Click,
              &frmMain::mnuGray_Click, &frmMain::mnuEnboss_Click, &frmMain::mnuUndo_Click})
            (w.*command)();
        QVERIFY(w.CLight(-50));
        QVERIFY(!w.CLight(129));
        QVERIFY(w.designer().tile(3).isNull());
        QVERIFY(!QApplication::overrideCursor());

        // Composed with the chamfer: undo below must follow the options.
        QTest::mouseClick(child(w, "chkMeji"), Qt::LeftButton);
        w.designer().setSource(picture());
        w.cmdExec_Click(-1);
        std::array<QImage, 4> before = tiles(w);
        QCOMPARE(before[1].pixel(0, 50) & 0xffffff, 0x646464u);
        // A left click makes C current without a menu; Ctrl+S blurs C only.
        QTest::mouseClick(w.tileBox(2), Qt::LeftButton, {}, QPoint(30, 40));
        QCOMPARE(w.CurrentTile(), qint16(2));
        QCOMPARE(child(w, "Shape1")->pos(), w.tileBox(2)->pos() - QPoint(3, 3));
        QVERIFY(!w.tileMenu()->isVisible());
        QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
        QImage blurred = before[2].copy();
        BlurFilter(blurred);
        QVERIFY(blurred != before[2]);
        QCOMPARE(w.designer().tile(2), blurred);
        for (int i : {0, 1, 3})
            QCOMPARE(w.designer().tile(i), before[i]);

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
        before[2] = blurred;
        QCOMPARE(tiles(w), before);
        QTest::mousePress(w.tileBox(0), Qt::RightButton, {}, QPoint(10, 10));
        QCOMPARE(w.CurrentTile(), qint16(0));
        QVERIFY(w.tileMenu()->isVisible());
        w.tileMenu()->hide();
    }

    void halfSizeChangesHeightsOnly()
    {
        Install install;
        frmMain w(install.context(picture()));
        QWidget* frame = child(w, "Shape1");
        QTest::mouseClick(w.tileBox(3), Qt::LeftButton, {}, QPoint(5, 5));
        for (const int height : {50, 100}) {
            QTest::mouseClick(child(w, "chkHalf"), Qt::LeftButton);
            QCOMPARE(w.sourceBox()->size(), QSize(100, height));
            QCOMPARE(frame->size(), QSize(107, height + 7));
            QCOMPARE(frame->pos(), w.tileBox(3)->pos() - QPoint(3, 3));
            for (int i = 0; i < 4; ++i) {
                QCOMPARE(w.tileBox(i)->size(), QSize(100, height));
                QCOMPARE(w.designer().tile(i).size(), QSize(100, height));
            }
        }
    }

    void progressBarFollowsTheRun()
    {
        Install install;
        frmMain w(install.context(picture()));
        WidthRecorder recorder;
        child(w, "shaUp")->installEventFilter(&recorder);
        // After A the bar is still empty (0 of the track), then 1/3, 2/3, full.
        w.cmdExec_Click(-1);
        QCOMPARE(recorder.widths, (QList<int>{70, 139, 209, 1}));
        recorder.widths.clear();
        w.cmdExec_Click(0);
        QCOMPARE(recorder.widths, (QList<int>{209, 1}));
    }

    void closeDuringBatchRunWaitsForTheRunToStop()
    {
        Install install;
        frmMain w(install.context(picture()));
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
        QCOMPARE(iniValue(install, "Folder", "Source"), in);
        QCOMPARE(iniValue(install, "Folder", "Save"), install.windows);
    }

    void batchWindowClosedByItsBoxIsLoadedAgain()
    {
        Install install;
        frmMain w(install.context(QImage()));
        w.showBatchWindow();
        QPointer<frmBatch> first = w.batchWindow();
        QVERIFY(first->close());
        // Unloaded by its close box: the next use loads a new, hidden one that
        // still follows the main window's folders.
        frmBatch* second = w.batchWindow();
        QVERIFY(second != first.data());
        QVERIFY(!second->isVisible());
        second->setFolder(0, install.windows);
        QCOMPARE(w.SourceFolder(), install.windows);
    }
};

QUILTON_TEST_MAIN(tst_frmmain)
#include "tst_frmmain.moc"
