// The main window over a temporary program folder: start-up and shut-down
// settings, intake by dialog and drop, the menus as a table of what each
// entry starts, the progress bar, tile selection, half size and chamfer,
// closing during a batch run, the sample page and saving a tile by name.
// Then the smaller windows: the about box, the JPEG quality dialog, the
// effect order dialog; and every caption of every window.
#include "TestEnv.h"
#include "support/TestInstall.h"

#include "about/frmVersion.h"
#include "app/frmMain.h"
#include "batch/frmBatch.h"
#include "batch/frmKouka.h"
#include "batch/frmList.h"
#include "output/frmJpegSet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>

using namespace testsupport;

namespace {

// A picture without symmetry, so that every effect and every tile differs.
const QImage kPicture = randomImage(160, 120, 7);
const QString kCap = QStringLiteral("起動時に画面を取り込む(&C)");
const QString kClickOpen = QStringLiteral("元画像クリックでファイルを開く(&C)");

// Position, folders, quality, then for both options and the quality entry
// whether it is ticked and whether it can be used.
QString settings(frmMain& w)
{
    QStringList s{QString::number(w.x()), QString::number(w.y()), w.SourceFolder(), w.SaveFolder(),
                  QString::number(w.JpegQuality())};
    for (const QString& c : {kCap, kClickOpen, QStringLiteral("JPEG保存時の圧縮率設定(&J)...")})
        s << QString::number(findAction(w, c)->isChecked()) +
                 QString::number(findAction(w, c)->isEnabled());
    return s.join(' ');
}

std::array<QImage, 4> tiles(const TileDesigner& d)
{
    return {d.tile(0).copy(), d.tile(1).copy(), d.tile(2).copy(), d.tile(3).copy()};
}

// Closes every modal window that opens while it lives, noting its class
// after inspect has seen it.
struct ModalWatch : QTimer
{
    QStringList seen;
    std::function<void(QDialog*)> inspect = [](QDialog*) {};
    ModalWatch()
    {
        connect(this, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                seen << dialog->metaObject()->className();
                inspect(dialog);
                dialog->reject();
            }
        });
        start(10);
    }
};

// Drags files over box: false when not offered as a copy, else dropped.
bool dragAndDrop(QWidget* box, const QList<QUrl>& files)
{
    QMimeData data;
    data.setUrls(files);
    QDragEnterEvent enter({10, 10}, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(box, &enter);
    if (!enter.isAccepted() || enter.dropAction() != Qt::CopyAction)
        return false;
    QDropEvent drop({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(box, &drop);
    return true;
}

// The menu bar in order: menu, caption ("-" a separator), shortcut, the
// operation the entry starts as the test below recognises it, and for the
// tile commands what they make of the current tile, done on a designer.
// Every entry of "実行(&J)" needs a designed tile.
struct MenuEntry
{
    const char *menu, *caption, *shortcut, *operation;
    std::function<void(TileDesigner&)> effect = [](TileDesigner&) {};
};
const MenuEntry kMenus[] = {
    {"ファイル(&F)", "元になる画像を開く", "Ctrl+O", "open dialog"},
    {"ファイル(&F)", "-", "", ""},
    {"ファイル(&F)", "フォルダ一括処理", "", "batch window"},
    {"ファイル(&F)", "-", "", ""},
    {"ファイル(&F)", "終了(&X)", "", "close"},
    {"設定(&S)", "起動時に画面を取り込む(&C)", "", "tick"},
    {"設定(&S)", "元画像クリックでファイルを開く(&C)", "", "tick"},
    {"設定(&S)", "JPEG保存時の圧縮率設定(&J)...", "", "frmJpegSet"},
    {"実行(&J)", "ファイルに保存(&A)", "Ctrl+A", "QFileDialog"},
    // The store-only desktop of the tests records the wallpaper and says,
    // as an error, that the screen could not be changed.
    {"実行(&J)", "壁紙で並べて表示(&K)", "Ctrl+K", "wallpaper + cWallSet Class (critical)"},
    {"実行(&J)", "ＩＥでサンプル表示(&I)", "Ctrl+I", "sample page"},
    {"実行(&J)", "-", "", ""},
    {"実行(&J)", "明度(+10%)(&P)", "Ctrl+P", "", [](TileDesigner& d) { d.light(25); }},
    {"実行(&J)", "明度(-10%)(&M)", "Ctrl+M", "", [](TileDesigner& d) { d.light(-25); }},
    {"実行(&J)", "コントラスト(&C)", "Ctrl+C", "", &TileDesigner::contrast},
    {"実行(&J)", "ぼかし(&S)", "Ctrl+S", "", &TileDesigner::blur},
    {"実行(&J)", "ブロック(&B)", "Ctrl+B", "", &TileDesigner::block},
    {"実行(&J)", "グレースケール(&G)", "Ctrl+G", "", &TileDesigner::gray},
    {"実行(&J)", "エンボス(&E)", "Ctrl+E", "", &TileDesigner::emboss},
    {"実行(&J)", "-", "", ""},
    {"実行(&J)", "元に戻す", "Ctrl+Z", "", [](TileDesigner& d) { d.compose(1); }},
    {"バージョン情報(&V)", "バージョン情報(&V)", "", "frmVersion"},
};

// Records the widths a widget is given.
struct WidthLog : QObject
{
    QList<int> widths;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            widths << static_cast<QResizeEvent*>(event)->size().width();
        return false;
    }
};

// The effect order dialog's captions from left to right.
QStringList captionsLeftToRight(const frmKouka& dialog)
{
    QMap<int, QString> byX;
    for (int i = 0; i < 6; ++i)
        byX.insert(dialog.box(i)->x(), dialog.box(i)->text());
    return byX.values();
}

// What a user's drag in the effect order dialog does: the pointer over box
// `from`, then a drop of the box data (or data of another format) on target.
void dragBox(frmKouka& dialog, int from, QWidget* target, const QString& format = {})
{
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(dialog.box(from), &move);
    QMimeData data;
    data.setData(format.isEmpty() ? frmKouka::mimeType() : format, QByteArray::number(from));
    QDropEvent drop(QPointF(3, 3), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    // QApplication does not pass on a drop sent outside a real drag.
    static_cast<QObject*>(target)->event(&drop);
}

// A button's caption's own width plus what the style puts beside it.
int needed(const QAbstractButton& b)
{
    const auto metric = [&b](QStyle::PixelMetric m) {
        return b.style()->pixelMetric(m, nullptr, &b);
    };
    int beside = metric(QStyle::PM_ButtonMargin) + 2 * metric(QStyle::PM_DefaultFrameWidth);
    if (qobject_cast<const QCheckBox*>(&b))
        beside = metric(QStyle::PM_IndicatorWidth) + metric(QStyle::PM_CheckBoxLabelSpacing);
    else if (qobject_cast<const QRadioButton*>(&b))
        beside =
            metric(QStyle::PM_ExclusiveIndicatorWidth) + metric(QStyle::PM_RadioButtonLabelSpacing);
    return b.fontMetrics().horizontalAdvance(QString(b.text()).remove(u'&')) + beside;
}

} // namespace

class tst_frmmain : public QObject
{
    Q_OBJECT

private slots:
    // Positions are kept in twips, 15 to the pixel. The about box shows the
    // version line and the library's line, without and with the library;
    // closed it is hidden, not destroyed (opened again it is the same
    // window), and it goes for good with the main window.
    void firstStartDefaultsAndEverySettingSurvivesARestart()
    {
        Install install;
        QStringList lines; // of each opening of the about box
        QList<QPointer<QDialog>> boxes;
        ModalWatch watch;
        watch.inspect = [&](QDialog* box) {
            boxes << box;
            lines << box->findChild<QLabel*>("lblVersion")->text() + ' ' +
                         box->findChild<QLabel*>("lblDllVer")->text();
        };
        {
            frmMain w(install.context(kPicture));
            QCOMPARE(w.windowTitle(), QStringLiteral("100角化粧タイル図案生成"));
            for (int i = 0; i < 4; ++i)
                QCOMPARE(w.tileBox(i)->toolTip(), QStringLiteral("右クリックでメニュー表示"));
            QVERIFY(QFileInfo(install.program + QStringLiteral("/Tiles")).isDir());
            // Without the library the quality entry is disabled.
            QCOMPARE(settings(w),
                     "0 0 " + install.program + ' ' + install.program + "/Tiles 50 11 01 00");
            w.mnuVersion_Click();
            w.mnuVersion_Click();
            QVERIFY(boxes.size() == 2 && boxes[0] == boxes[1] && !boxes[0]->isVisible());
            QVERIFY(!QFile::exists(install.ini())); // nothing written before the close

            w.move(120, 45);
            w.batchWindow()->move(300, 210);
            w.setSourceFolder(install.system);
            w.setSaveFolder(install.windows);
            findAction(w, kCap)->trigger();
            findAction(w, kClickOpen)->trigger();
            w.setJpegQuality(77);
            QVERIFY(w.close() && !boxes[0]);
        }
        QVERIFY(readAll(install.ini())
                    .contains("[Position]\r\nSubLeft=4500\r\nSubTop=3150\r\nTop=675\r\nLeft=1800"));
        install.installJpegLibrary();
        frmMain again(install.context(kPicture));
        QCOMPARE(settings(again),
                 "120 45 " + install.system + ' ' + install.windows + " 77 01 11 01");
        // With the capture option off the screen is not taken: the one capture
        // is the first start's.
        QVERIFY(install.captures == 1 && !again.designer().hasSource());
        again.mnuVersion_Click();
        // This test program has no version block: the build's own 1.0.0.0.
        QCOMPARE(lines, (QStringList{"Version 1.0.0 [TalvikJPEG保存DLLがありません]",
                                     "Version 1.0.0 [TalvikJPEG保存DLLがありません]",
                                     "Version 1.0.0 [ with TalvikJPEG保存DLL Ver.1.0.0.2 ]"}));
    }

    void screenCapOption()
    {
        const std::tuple<QByteArray, bool, bool> rows[] = {
            // line of [Start], capture gives a picture, option ticked
            {"ClickOpen=False", true, true}, // missing key
            {"ScreenCap=", true, true},      // empty value counts as missing
            {"ScreenCap=False", true, false},
            {"ScreenCap=maybe", true, true}, // another word keeps it on
            {"", false, true},               // capture gives nothing
        };
        for (const auto& [line, captured, ticked] : rows) {
            Install install;
            install.writeIni("[Start]\r\n" + line + "\r\n");
            frmMain w(install.context(captured ? kPicture : QImage()));
            QCOMPARE(QList<bool>({findAction(w, kCap)->isChecked(), install.captures == 1,
                                  w.designer().hasSource(), w.isVisible()}),
                     QList<bool>({ticked, ticked, ticked && captured, ticked && captured}));
        }
    }

    // With its option on, a click on the source box opens the program's
    // dialog, at first in the program folder; its four types show their
    // captions exactly, each filtering by its patterns. Then the dialog is
    // the test's: a picture taken in sets the source folder and the batch
    // window's input folder, where the dialog opens from then on; a cancel,
    // a damaged or a missing file change nothing and say nothing. A drop is offered as a copy for
    // one picture of an accepted extension only; a damaged one says "Drop Error" and changes
    // nothing, a good one is taken in by its path as dropped.
    void intakeByDialogAndDrop()
    {
        Install install;
        frmMain w(install.context());
        Shown log;
        ModalWatch watch;
        QStringList shown; // the folder, then each type as caption = patterns
        watch.inspect = [&](QDialog* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            shown << dialog->directory().path();
            for (int i = 0; i < types->count(); ++i) {
                dialog->selectNameFilter(dialog->nameFilters().at(i));
                shown << types->itemText(i) + " = " +
                             dialog->findChild<QFileSystemModel*>()->nameFilters().join(' ');
            }
        };
        findAction(w, kClickOpen)->trigger();
        w.setSourceFolder(QString());
        QTest::mouseClick(w.sourceBox(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(
            shown,
            (QStringList{install.program,
                         "利用可能ファイル (*.bmp;*.gif;*.jpg;*.jpeg) = *.bmp *.gif *.jpg *.jpeg",
                         "ＪＰＥＧ (*.jpg;*.jpeg) = *.jpg *.jpeg", "ＧＩＦ (*.gif) = *.gif",
                         "ＢＭＰ (*.bmp) = *.bmp"}));
        // Without a picture a right press moves the frame and makes the tile
        // current, opening no menu.
        QTest::mousePress(w.tileBox(3), Qt::RightButton, {}, QPoint(10, 10));
        QVERIFY(w.CurrentTile() == 3 && !w.tileMenu()->isVisible());
        QCOMPARE(w.findChild<QWidget*>(QStringLiteral("Shape1"))->pos(), QPoint(153, 135));

        const QString d = install.dir.filePath(QStringLiteral("My Pictures/Summer"));
        QDir().mkpath(d);
        QString answer = install.windows + QStringLiteral("/Start.BMP");
        QVERIFY(kPicture.save(answer, "BMP"));
        QVERIFY(writeBytes(d + "/BROKEN.JPEG", QByteArray("GIF89a\x10\x00", 8)));
        QStringList starts;
        w.setOpenDialog([&](const QString& start) {
            starts << start;
            return answer;
        });
        for (const QString& next :
             {answer, QString(), QString(d + "/BROKEN.JPEG"), QString(d + "/none.bmp")}) {
            answer = next;
            w.cmdFileOpen_Click();
            QCOMPARE(w.SourceFolder() + '|' + w.batchWindow()->folder(0),
                     install.windows + '|' + install.windows);
            QCOMPARE(w.designer().source(), kPicture);
        }
        QCOMPARE(starts, QStringList{install.program} + QStringList(3, install.windows));
        QVERIFY(!dragAndDrop(w.sourceBox(), {QUrl::fromLocalFile(d + "/a.png")}));
        QVERIFY(!dragAndDrop(
            w.sourceBox(), {QUrl::fromLocalFile(d + "/a.bmp"), QUrl::fromLocalFile(d + "/b.bmp")}));
        QVERIFY(dragAndDrop(w.sourceBox(), {QUrl::fromLocalFile(d + "/BROKEN.JPEG")}));
        QCOMPARE(log.messages.size(), 1); // none from the dialog
        QCOMPARE(std::pair(log.messages[0].text, log.messages[0].icon),
                 std::pair(QStringLiteral("Drop Error"), QMessageBox::Warning));
        QVERIFY(w.SourceFolder() == install.windows && w.designer().source() == kPicture);
        const QImage beach = randomImage(64, 48, 1);
        QVERIFY(beach.save(d + "/Beach.BMP", "BMP"));
        QVERIFY(dragAndDrop(w.sourceBox(), {QUrl::fromLocalFile(d + "/Beach.BMP")}));
        QVERIFY(log.messages.size() == 1 && w.designer().source() == beach);
        QCOMPARE(w.SourceFolder() + '|' + w.batchWindow()->folder(0), d + '|' + d);
    }

    // The menu bar, read in the first window, in order as the table. Each
    // entry, by its shortcut where it has one, starts its operation on the
    // current tile B; with no picture the tile commands do nothing and no
    // dialog opens.
    void menusAndWhatEachEntryStarts()
    {
        QStringList expected, actual;
        for (const MenuEntry& e : kMenus) {
            expected << QStringLiteral("%1 / %2 / %3").arg(e.menu, e.caption, e.shortcut);
            for (const bool picture : {true, false}) {
                if (QByteArray(e.caption) == "-" || (!picture && QByteArray(e.menu) != "実行(&J)"))
                    continue;
                Install install;
                install.installJpegLibrary();
                frmMain w(install.context(picture ? kPicture : QImage()));
                for (QAction* top : actual.isEmpty() ? w.menuBar()->actions() : QList<QAction*>())
                    for (QAction* a : top->menu() ? top->menu()->actions() : QList{top})
                        actual << top->text() + " / " + (a->isSeparator() ? "-" : a->text()) +
                                      " / " + a->shortcut().toString();
                w.show();
                QVERIFY(QTest::qWaitForWindowActive(&w));
                // Tile B current and blurred, so that undo shows.
                w.picDst_MouseDown(1, 0, 0, 1, 1);
                w.mnuBokashi_Click();
                TileDesigner designer;
                designer.setSource(picture ? kPicture : QImage());
                designer.compose(-1);
                designer.setCurrentTile(1);
                designer.blur();
                e.effect(designer);
                QAction* action = findAction(w, e.caption);
                const bool ticked = action->isChecked();
                const QString row = e.caption + QString(picture ? ": " : " without a picture: ");
                QStringList seen;
                w.setOpenDialog([&](const QString&) {
                    seen << "open dialog";
                    return QString();
                });
                Shown log;
                ModalWatch watch;
                if (*e.shortcut)
                    QTest::keySequence(&w, QKeySequence(e.shortcut));
                else
                    action->trigger();

                for (const auto& [shows, name] :
                     {std::pair{!log.opened.isEmpty(), "sample page"},
                      {QFile::exists(install.windows + "/quilton.bmp"), "wallpaper"},
                      {w.batchWindow()->isVisible(), "batch window"},
                      {!w.isVisible(), "close"},
                      {action->isChecked() != ticked, "tick"}})
                    if (shows)
                        seen << name;
                for (const guiMessage::Message& m : log.messages)
                    seen << m.caption + (m.icon == QMessageBox::Critical ? " (critical)" : "");
                QCOMPARE(row + (seen + watch.seen).join(" + "), row + (picture ? e.operation : ""));
                QVERIFY2(tiles(w.designer()) == tiles(designer), qPrintable(row));
            }
        }
        QCOMPARE(actual, expected);
    }

    // The bar during a four-tile run: 0, 1/3, 2/3 and the full track of 209
    // pixels after A to D (at least the one-pixel empty width), then empty;
    // one tile (undo) shows the full track, then empty. A press with any
    // button moves the frame 50 twips (3 pixels) up and left of the tile and
    // makes it current; the right button over a design opens the tile menu
    // (without one: intakeByDialogAndDrop). Half size or chamfer clicked:
    // every tile is composed afresh as the designer makes it (an effect on
    // the current tile is thrown away), the boxes and the frame take the half
    // height; unticked, all is as before.
    void progressSelectionHalfSizeAndChamfer()
    {
        Install install;
        frmMain w(install.context(kPicture));
        WidthLog log;
        w.findChild<QWidget*>(QStringLiteral("shaUp"))->installEventFilter(&log);
        w.cmdExec_Click(-1);
        w.mnuUndo_Click();
        QCOMPARE(log.widths, (QList<int>{70, 139, 209, 1, 209, 1}));

        QWidget* shape = w.findChild<QWidget*>(QStringLiteral("Shape1"));
        QCOMPARE(shape->geometry(), QRect(27, 21, 107, 107)); // around A at start
        const QPoint frames[] = {{27, 21}, {153, 21}, {27, 135}, {153, 135}};
        for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
            for (const int tile : {1, 2, 3, 0}) {
                QTest::mousePress(w.tileBox(tile), button, {}, QPoint(10, 10));
                QCOMPARE(shape->geometry(), QRect(frames[tile], QSize(107, 107)));
                QCOMPARE(w.CurrentTile(), qint16(tile));
                QCOMPARE(w.tileMenu()->isVisible(), button == Qt::RightButton);
                w.tileMenu()->hide();
                QTest::mouseRelease(w.tileBox(tile), button, {}, QPoint(10, 10));
            }
        }

        const std::array<QImage, 4> full = tiles(w.designer());
        for (const char* box : {"chkHalf", "chkMeji"}) {
            const bool half = QByteArray(box) == "chkHalf";
            w.mnuGray_Click();
            TileDesigner design;
            design.setSource(kPicture);
            design.setHalf(half);
            design.setChamfer(!half);
            design.compose(-1);
            for (const bool ticked : {true, false}) {
                QTest::mouseClick(w.findChild<QWidget*>(box), Qt::LeftButton, {}, QPoint(5, 5));
                const int height = ticked && half ? 50 : 100;
                QCOMPARE(shape->size(), QSize(107, height + 7));
                for (QWidget* b :
                     {w.sourceBox(), w.tileBox(0), w.tileBox(1), w.tileBox(2), w.tileBox(3)})
                    QVERIFY(b->isVisible() && b->size() == QSize(100, height));
                QCOMPARE(tiles(w.designer()), ticked ? tiles(design) : full);
            }
        }
    }

    // The batch run reads the program folder, three pictures there. The close
    // only asks the run to stop, and nothing is written meanwhile; once the
    // run has ended the window closes and writes its settings.
    void closeDuringBatchRunWaitsForTheRunToStop()
    {
        Install install;
        frmMain w(install.context(kPicture));
        for (int i = 0; i < 3; ++i)
            QVERIFY(kPicture.save(install.program + QStringLiteral("/p%1.bmp").arg(i)));
        Shown log;
        int filesStarted = 0;
        bool closedAtOnce = true;
        w.batchWindow()->setRunHook([&](frmBatch::RunPoint point, int, int) {
            if (point == frmBatch::RunPoint::BeforeFile && filesStarted++ == 0)
                closedAtOnce = w.close() || !w.isVisible() || QFile::exists(install.ini());
        });
        w.batchWindow()->cmdBatch_Click();
        QVERIFY(!closedAtOnce && filesStarted < 3 && !w.batchWindow()->isRunning());
        QTRY_VERIFY(!w.isVisible());
        QVERIFY(QFile::exists(install.ini()));
    }

    // The page names its picture, Sample.jpg at quality 100 whatever the
    // setting with the library (larger than the tile saved at 10), else
    // Sample.bmp as the current tile. Blocked: a folder in the way of that
    // file (root cannot replace it either); the JPEG writer's own message,
    // and the page still opens. Unblocked, the tile is then saved by names:
    // JPEG for .jpg in any case with the library, BMP otherwise, no extension
    // added; a failed write is for the caller to tell.
    void samplePageAndSavingByName()
    {
        const std::tuple<bool, QString, QString> rows[] = {
            {true, {}, {}},
            {false, {}, {}},
            {false, "Sample.html", "Sample.html\n同じ名前のフォルダがあります。"},
            {false, "Sample.bmp", "Sample.bmp\n同じ名前のフォルダがあります。"},
            {true, "Sample.jpg", "File Open Error"}};
        for (const auto& [withLibrary, blocked, message] : rows) {
            Install install;
            if (withLibrary)
                install.installJpegLibrary();
            frmMain w(install.context(kPicture));
            Shown log;
            w.picDst_MouseDown(1, 1, 0, 10, 10);
            w.setJpegQuality(10);
            QVERIFY(blocked.isEmpty() || QDir().mkpath(install.program + '/' + blocked + "/x"));
            w.mnuHtml_Click();
            const QString page = install.program + QStringLiteral("/Sample.html");
            const QString picture = install.program + (withLibrary ? "/Sample.jpg" : "/Sample.bmp");
            QCOMPARE(log.opened,
                     blocked.isEmpty() || withLibrary ? QStringList{page} : QStringList());
            if (!blocked.isEmpty()) {
                QCOMPARE(log.messages.size(), 1);
                QVERIFY2(log.messages[0].text.contains(message) &&
                             log.messages[0].icon == QMessageBox::Information,
                         qPrintable(log.messages[0].text));
                continue;
            }
            QVERIFY(
                readAll(page).contains(QString(" background=\"file://" + picture + '"').toUtf8()));
            const QImage sample(picture);
            QVERIFY(withLibrary ? sample.size() == QSize(100, 100)
                                : sample == w.designer().tile(1));

            const QStringList names{"TILE.JPG", "tile", "tile.jpeg", "tile.jpg"};
            QStringList formats;
            for (const QString& name : names) {
                QVERIFY(w.SPic(install.windows + '/' + name, nullptr));
                QImageReader reader(install.windows + '/' + name);
                reader.setDecideFormatFromContent(true);
                formats << reader.format();
            }
            QCOMPARE(formats.join(' '), withLibrary ? "jpeg bmp bmp jpeg" : "bmp bmp bmp bmp");
            QCOMPARE(QDir(install.windows).entryList(QDir::Files, QDir::Name), names);
            QCOMPARE(QImage(install.windows + "/tile"), w.designer().tile(1));
            QVERIFY(!withLibrary ||
                    QFileInfo(picture).size() > QFileInfo(install.windows + "/TILE.JPG").size());
            QString error;
            QVERIFY(!w.SPic(install.dir.filePath(QStringLiteral("missing/t.bmp")), &error));
            QVERIFY(error.contains(QStringLiteral("missing/t.bmp")));
            QVERIFY(log.messages.isEmpty());
        }
    }

    // The link: light green, magenta and underlined under the pointer. It
    // opens its address on a left click on the label only: pressed at
    // (3, 3) and released where the row says (left, right, middle, left
    // dragged off the label); then a release alone (the press was elsewhere).
    void aboutBoxLink()
    {
        Shown log;
        frmVersion box(QIcon(), QString(), nullptr);
        QLabel* link = box.findChild<QLabel*>(QStringLiteral("Label3"));
        const auto looks = [link] {
            return std::pair(link->palette().color(QPalette::WindowText), link->font().underline());
        };
        QCOMPARE(looks(), std::pair(QColor(128, 255, 128), false));
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(link, &enter);
        QCOMPARE(looks(), std::pair(QColor(255, 0, 255), true));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(link, &leave);
        QCOMPARE(looks(), std::pair(QColor(128, 255, 128), false));
        for (const auto& [button, releaseAt] : {std::pair{Qt::LeftButton, QPoint(5, 5)},
                                                {Qt::RightButton, QPoint(5, 5)},
                                                {Qt::MiddleButton, QPoint(5, 5)},
                                                {Qt::LeftButton, QPoint(5, 500)}}) {
            QTest::mousePress(link, button, {}, QPoint(3, 3));
            QTest::mouseRelease(link, button, {}, releaseAt);
            QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(5, 5));
        }
        QCOMPARE(log.opened, QStringList{link->text()});
    }

    // Set takes whole numbers from 1 to 100 only. Quality 0: refused. 99999:
    // beyond 16 bits; fractions and exponents are no whole numbers even where
    // the bar lands on their rounded value. A refusal leaves the dialog open
    // for a correction. The text and the bar follow each other; Escape keeps
    // the quality.
    void qualityDialog()
    {
        const std::pair<QString, int> rows[] = {{"0", 0},   {"150", 0}, {"99999", 0}, {"abc", 0},
                                                {"2.5", 0}, {"1.4", 0}, {"50.5", 0},  {"1e2", 0},
                                                {"", 0},    {"1", 1},   {"100", 100}, {" +7 ", 7}};
        for (const auto& [text, quality] : rows) {
            Shown log;
            frmJpegSet dialog(60);
            dialog.show();
            dialog.txtPercents()->clear();
            QTest::keyClicks(dialog.txtPercents(), text);
            QTest::mouseClick(dialog.cmdSet(), Qt::LeftButton);
            QCOMPARE(log.messages.size(), quality ? 0 : 1);
            QVERIFY(quality || (log.messages[0].text == QStringLiteral("入力エラーです。") &&
                                log.messages[0].icon == QMessageBox::Warning));
            QCOMPARE(dialog.isVisible(), quality == 0);
            QCOMPARE(dialog.quality(), qint16(quality ? quality : 60));
        }

        frmJpegSet dialog(42);
        QCOMPARE(dialog.hsbJpeg()->value(), 42);
        dialog.show();
        // Typing 150 goes 1, 15, 150: the bar ends at 100, the text as typed.
        dialog.txtPercents()->clear();
        QTest::keyClicks(dialog.txtPercents(), QStringLiteral("150"));
        QCOMPARE(dialog.hsbJpeg()->value(), 100);
        QCOMPARE(dialog.txtPercents()->text(), QStringLiteral("150"));
        dialog.hsbJpeg()->triggerAction(QAbstractSlider::SliderPageStepSub);
        QCOMPARE(dialog.txtPercents()->text(), QStringLiteral("90"));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.quality(), qint16(42));
    }

    // Drops exchange the effect order dialog's boxes and the order at once,
    // and nothing else changes anything. No cancel: the close box keeps the
    // exchanges, and the next opening shows them with every box in its own
    // slot.
    void effectOrderDialog()
    {
        std::array<int, 6> order{0, 1, 2, 3, 4, 5};
        frmKouka dialog(order, QIcon());
        dragBox(dialog, 3, dialog.findChild<QWidget*>(QStringLiteral("cmdOK")));
        dragBox(dialog, 3, dialog.box(0), QStringLiteral("text/uri-list")); // a file
        dragBox(dialog, 2, dialog.box(2));
        QCOMPARE(order, (std::array<int, 6>{0, 1, 2, 3, 4, 5}));
        // "コントラスト" onto "明度", then onto "ぼかし".
        dragBox(dialog, 5, dialog.box(0));
        QCOMPARE(order, (std::array<int, 6>{5, 1, 2, 3, 4, 0}));
        QCOMPARE(dialog.box(0)->pos(), QPoint(16 + 96 * 5, 20)); // slot p at 240 + 1440 p twips
        dragBox(dialog, 5, dialog.box(1));
        QCOMPARE(order, (std::array<int, 6>{1, 5, 2, 3, 4, 0}));
        QCOMPARE(captionsLeftToRight(dialog), (QStringList{"ぼかし", "コントラスト", "ブロック",
                                                           "エンボス", "グレースケール", "明度"}));
        QVERIFY(dialog.close());
        QCOMPARE(captionsLeftToRight(frmKouka(order, QIcon())), captionsLeftToRight(dialog));
    }

    // Every caption of every window shows whole: no button, check box or
    // radio button is narrower than its text needs, none covers another, and
    // each lies inside its parent.
    void everyCaptionShowsWhole()
    {
        Install install;
        install.installJpegLibrary();
        frmMain main(install.context());
        frmList list(main, *main.batchWindow());
        std::array<int, 6> order{0, 1, 2, 3, 4, 5};
        frmKouka kouka(order, QIcon());
        frmJpegSet quality(50);
        frmVersion about(QIcon(), QStringLiteral("[TalvikJPEG保存DLLがありません]"), nullptr);
        QStringList faults;
        for (QWidget* window : std::initializer_list<QWidget*>{&main, main.batchWindow(), &list,
                                                               &kouka, &quality, &about}) {
            window->show();
            const QList<QAbstractButton*> buttons = window->findChildren<QAbstractButton*>();
            for (QAbstractButton* b : buttons) {
                if (b->text().isEmpty() || !b->isVisibleTo(window))
                    continue;
                const QString name = window->objectName() + '/' + b->text();
                if (b->width() < needed(*b))
                    faults << name + ": narrower than its caption";
                if (!b->parentWidget()->rect().contains(b->geometry()))
                    faults << name + ": outside its parent";
                for (QAbstractButton* other : buttons)
                    if (other != b && other->parentWidget() == b->parentWidget() &&
                        !other->text().isEmpty() && other->geometry().intersects(b->geometry()))
                        faults << name + ": covered by " + other->text();
            }
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    }
};

QUILTON_TEST_MAIN(tst_frmmain)
#include "tst_frmmain.moc"
