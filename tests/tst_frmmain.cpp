// The main window over a temporary program folder: start-up and shut-down
// settings, intake by dialog and drop, the menus as a table of what each
// entry starts, tile selection, half size, chamfer and the progress bar,
// closing during a batch run.
#include "TestEnv.h"
#include "support/TestInstall.h"

#include "app/frmMain.h"
#include "app/inifile_IO.h"
#include "batch/frmBatch.h"
#include "tile/TileDesigner.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMenuBar>
#include <QMimeData>

using namespace testsupport;

namespace {

constexpr QRgb kColour = 0xff3366cc;
// A picture without symmetry, so that every effect and every tile differs.
const QImage kPicture = randomImage(160, 120, 7);

const QString kCap = QStringLiteral("起動時に画面を取り込む(&C)");
const QString kClickOpen = QStringLiteral("元画像クリックでファイルを開く(&C)");
const QString kJpegSet = QStringLiteral("JPEG保存時の圧縮率設定(&J)...");

QStringList iniValues(const Install& install, const char* section, const QStringList& keys)
{
    inifile_IO ini;
    ini.setFileName(install.ini());
    QStringList values;
    for (const QString& key : keys)
        values << ini.ReadStr(section, key, {});
    return values;
}

// Position, folders, quality, the two options and whether the quality entry
// can be used.
QString settings(frmMain& w)
{
    const auto on = [&w](const QString& caption) {
        QAction* a = findAction(w, caption);
        return QStringLiteral(" %1%2").arg(int(a->isChecked())).arg(int(a->isEnabled()));
    };
    return QStringLiteral("%1,%2 %3 %4 %5")
               .arg(w.x())
               .arg(w.y())
               .arg(w.SourceFolder(), w.SaveFolder())
               .arg(w.JpegQuality()) +
           on(kCap) + on(kClickOpen) + on(kJpegSet);
}

std::array<QImage, 4> tiles(const TileDesigner& d)
{
    const auto t = [&d](int i) { return d.tile(i).copy(); };
    return {t(0), t(1), t(2), t(3)};
}

// Closes every modal window that opens while it lives, noting its class.
struct ModalWatch
{
    QStringList seen;
    QTimer timer;
    std::function<void(QWidget*)> inspect;
    ModalWatch()
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                seen << QString::fromLatin1(dialog->metaObject()->className());
                if (inspect)
                    inspect(dialog);
                if (dialog->isVisible())
                    dialog->reject();
            }
        });
        timer.start();
    }
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

// The menu bar in order: menu, caption ("-" a separator), shortcut, the
// operation the entry starts (as the test below recognises it) and whether
// it needs a designed tile.
struct MenuEntry
{
    const char *menu, *caption, *shortcut, *operation;
    bool needsTile;
};
const MenuEntry kMenus[] = {
    {"ファイル(&F)", "元になる画像を開く", "Ctrl+O", "open dialog", false},
    {"ファイル(&F)", "-", "", "", false},
    {"ファイル(&F)", "フォルダ一括処理", "", "batch window", false},
    {"ファイル(&F)", "-", "", "", false},
    {"ファイル(&F)", "終了(&X)", "", "close", false},
    {"設定(&S)", "起動時に画面を取り込む(&C)", "", "tick", false},
    {"設定(&S)", "元画像クリックでファイルを開く(&C)", "", "tick", false},
    {"設定(&S)", "JPEG保存時の圧縮率設定(&J)...", "", "frmJpegSet", false},
    {"実行(&J)", "ファイルに保存(&A)", "Ctrl+A", "QFileDialog", true},
    {"実行(&J)", "壁紙で並べて表示(&K)", "Ctrl+K", "wallpaper", true},
    {"実行(&J)", "ＩＥでサンプル表示(&I)", "Ctrl+I", "sample page", true},
    {"実行(&J)", "-", "", "", false},
    {"実行(&J)", "明度(+10%)(&P)", "Ctrl+P", "mnuLight_Click(0)", true},
    {"実行(&J)", "明度(-10%)(&M)", "Ctrl+M", "mnuLight_Click(1)", true},
    {"実行(&J)", "コントラスト(&C)", "Ctrl+C", "mnuContrast_Click", true},
    {"実行(&J)", "ぼかし(&S)", "Ctrl+S", "mnuBokashi_Click", true},
    {"実行(&J)", "ブロック(&B)", "Ctrl+B", "mnuBlock_Click", true},
    {"実行(&J)", "グレースケール(&G)", "Ctrl+G", "mnuGray_Click", true},
    {"実行(&J)", "エンボス(&E)", "Ctrl+E", "mnuEnboss_Click", true},
    {"実行(&J)", "-", "", "", false},
    {"実行(&J)", "元に戻す", "Ctrl+Z", "mnuUndo_Click", true},
    {"バージョン情報(&V)", "バージョン情報(&V)", "", "frmVersion", false},
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
            QCOMPARE(w.windowTitle(), QStringLiteral("100角化粧タイル図案生成"));
            for (int i = 0; i < 4; ++i)
                QCOMPARE(w.tileBox(i)->toolTip(), QStringLiteral("右クリックでメニュー表示"));
            QVERIFY(QFileInfo(install.program + QStringLiteral("/Tiles")).isDir());
            // Without the library the quality entry is disabled.
            QCOMPARE(settings(w),
                     "0,0 " + install.program + ' ' + install.program + "/Tiles 50 11 01 00");
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
        install.installJpegLibrary();
        frmMain again(install.context(flatImage(64, 48, kColour)));
        QCOMPARE(settings(again),
                 "120,45 " + install.system + ' ' + install.windows + " 77 01 11 01");
        // With the capture option off the screen is not taken.
        QVERIFY(install.captures == 0 && !again.designer().hasSource());
    }

    void screenCapOption()
    {
        const struct
        {
            QByteArray line; // of [Start]
            bool captured, ticked;
        } rows[] = {
            {"ClickOpen=False", true, true}, // missing key
            {"ScreenCap=", true, true},      // empty value counts as missing
            {"ScreenCap=False", true, false},
            {"ScreenCap=maybe", true, true}, // another word keeps it on
            {"", false, true},               // capture gives nothing
        };
        for (const auto& [line, captured, ticked] : rows) {
            Install install;
            install.writeIni("[Start]\r\n" + line + "\r\n");
            frmMain w(install.context(captured ? flatImage(64, 48, kColour) : QImage()));
            const bool source = w.designer().hasSource();
            QCOMPARE(QList<bool>({findAction(w, kCap)->isChecked(), install.captures == 1, source,
                                  w.isVisible()}),
                     QList<bool>({ticked, ticked, ticked && captured, source}));
        }
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
        QCOMPARE(starts + QStringList{w.batchWindow()->folder(0)},
                 (QStringList{install.program, folder}));
        QCOMPARE(w.designer().source(), kPicture);

        Shown log;
        const QString broken = install.dir.filePath(QStringLiteral("damaged.jpg"));
        QVERIFY(writeBytes(broken, QByteArray("\xff\xd8\xff\xe0 not really a picture")));
        for (const QString& refused : {QString(), broken, QString(folder + "/none.bmp")}) {
            answer = refused;
            w.cmdFileOpen_Click();
            QCOMPARE(starts.last() + '|' + w.SourceFolder(), folder + '|' + folder);
            QCOMPARE(w.designer().source(), kPicture);
        }
        QVERIFY(log.messages.isEmpty());
    }

    // The program's own dialog: the four types with their captions exactly,
    // each showing only the files of its patterns.
    void openDialogTypesShowTheirCaptionsAndFilter()
    {
        Install install;
        frmMain w(install.context(QImage()));
        const QString folder = install.dir.filePath(QStringLiteral("pictures"));
        QDir().mkpath(folder);
        for (const char* name : {"a.bmp", "b.gif", "c.jpg", "d.jpeg", "e.png", "f.txt"})
            QVERIFY(kPicture.save(folder + '/' + QLatin1String(name), "BMP"));
        w.setSourceFolder(folder);
        const QList<QStringList> expected{
            {"a.bmp", "b.gif", "c.jpg", "d.jpeg"}, {"c.jpg", "d.jpeg"}, {"b.gif"}, {"a.bmp"}};
        QStringList captions;
        ModalWatch watch;
        watch.inspect = [&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            auto* model = dialog->findChild<QFileSystemModel*>();
            watch.timer.stop(); // no second inspection from the waits below
            // The names the dialog offers; the folder is read in the background.
            const auto offered = [&] {
                QStringList names;
                const QModelIndex root = model->index(folder);
                for (int row = 0; row < model->rowCount(root); ++row) {
                    const QModelIndex entry = model->index(row, 0, root);
                    if (entry.flags() & Qt::ItemIsEnabled)
                        names << entry.data().toString();
                }
                names.sort();
                return names;
            };
            for (int i = 0; i < types->count(); ++i) {
                captions << types->itemText(i);
                dialog->selectNameFilter(dialog->nameFilters().at(i));
                QTRY_COMPARE(offered(), expected.value(i));
            }
        };
        w.cmdFileOpen_Click();
        QCOMPARE(watch.seen, QStringList{"QFileDialog"});
        QCOMPARE(captions,
                 (QStringList{"利用可能ファイル (*.bmp;*.gif;*.jpg;*.jpeg)",
                              "ＪＰＥＧ (*.jpg;*.jpeg)", "ＧＩＦ (*.gif)", "ＢＭＰ (*.bmp)"}));
    }

    void dropOfferedForOnePictureKeepsThePathsLetterCase()
    {
        Install install;
        frmMain w(install.context(flatImage(64, 48, kColour)));
        Shown log;
        const QString d = install.dir.filePath(QStringLiteral("My Pictures/Summer"));
        QDir().mkpath(d);
        QVERIFY(!dragAndDrop(w.sourceBox(), {d + "/a.png"}));
        QVERIFY(!dragAndDrop(w.sourceBox(), {d + "/a.bmp", d + "/b.bmp"}));
        // A damaged picture, offered by its .JPEG in capitals: "Drop Error"
        // and nothing changes.
        QVERIFY(writeBytes(d + "/BROKEN.JPEG", QByteArray("GIF89a\x10\x00", 8)));
        QVERIFY(dragAndDrop(w.sourceBox(), {d + "/BROKEN.JPEG"}));
        QCOMPARE(log.messages.size(), 1);
        QCOMPARE(std::pair(log.messages[0].text, log.messages[0].icon),
                 std::pair(QStringLiteral("Drop Error"), QMessageBox::Warning));
        QVERIFY(w.SourceFolder() == install.program &&
                w.designer().source() == flatImage(64, 48, kColour));

        QVERIFY(kPicture.save(d + "/Beach.BMP", "BMP"));
        QVERIFY(dragAndDrop(w.sourceBox(), {d + "/Beach.BMP"}));
        QVERIFY(log.messages.size() == 1 && w.designer().source() == kPicture);
        QCOMPARE(w.SourceFolder() + '|' + w.batchWindow()->folder(0), d + '|' + d);
    }

    void menusInOrder()
    {
        Install install;
        frmMain w(install.context(QImage()));
        QStringList expected, actual;
        for (const MenuEntry& e : kMenus)
            expected << QString::fromUtf8(e.menu) + " / " + QString::fromUtf8(e.caption) + " / " +
                            QLatin1String(e.shortcut);
        const QList<QAction*> bar = w.menuBar()->actions();
        for (QAction* top : bar) {
            const QList<QAction*> entries = top->menu() ? top->menu()->actions() : QList{top};
            for (QAction* a : entries)
                actual << top->text() + " / " + (a->isSeparator() ? "-" : a->text()) + " / " +
                              a->shortcut().toString();
        }
        QCOMPARE(actual, expected);
    }

    // Each entry, by its shortcut where it has one, starts its operation on
    // the current tile B; with no picture the tile commands do nothing.
    void menuEntryStartsItsOperation_data()
    {
        QTest::addColumn<int>("entry"); // in kMenus
        QTest::addColumn<bool>("picture");
        for (int i = 0; i < int(std::size(kMenus)); ++i) {
            if (QLatin1String(kMenus[i].caption) == QLatin1String("-"))
                continue;
            QTest::newRow(kMenus[i].caption) << i << true;
            if (kMenus[i].needsTile)
                QTest::addRow("%s without a picture", kMenus[i].caption) << i << false;
        }
    }
    void menuEntryStartsItsOperation()
    {
        QFETCH(int, entry);
        QFETCH(bool, picture);
        const QString caption = QString::fromUtf8(kMenus[entry].caption);
        const QString shortcut = QLatin1String(kMenus[entry].shortcut);
        const QString operation = picture ? QLatin1String(kMenus[entry].operation) : QString();
        Install install;
        install.installJpegLibrary();
        frmMain w(install.context(picture ? kPicture : QImage()));
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.picDst_MouseDown(1, 0, 0, 1, 1);
        // Tile B carries an effect, so that undo shows; what each effect
        // command makes of it, undone again after each.
        const QImage composed = w.designer().tile(1);
        w.mnuBokashi_Click();
        QList<std::pair<QString, QImage>> outcomes{{"mnuUndo_Click", composed}};
        const std::pair<const char*, std::function<void()>> effects[] = {
            {"mnuLight_Click(0)", [&] { w.mnuLight_Click(0); }},
            {"mnuLight_Click(1)", [&] { w.mnuLight_Click(1); }},
            {"mnuContrast_Click", [&] { w.mnuContrast_Click(); }},
            {"mnuBokashi_Click", [&] { w.mnuBokashi_Click(); }},
            {"mnuBlock_Click", [&] { w.mnuBlock_Click(); }},
            {"mnuGray_Click", [&] { w.mnuGray_Click(); }},
            {"mnuEnboss_Click", [&] { w.mnuEnboss_Click(); }},
        };
        for (const auto& [name, run] : effects) {
            run();
            outcomes.append({QLatin1String(name), w.designer().tile(1)});
            w.mnuUndo_Click();
            w.mnuBokashi_Click();
        }
        const std::array<QImage, 4> before = tiles(w.designer());

        QAction* action = findAction(w, caption);
        QVERIFY(action);
        const bool ticked = action->isChecked();
        QStringList opened;
        w.setOpenDialog([&](const QString&) {
            opened << "open dialog";
            return QString();
        });
        Shown log;
        ModalWatch watch;
        if (shortcut.isEmpty()) {
            action->trigger();
        } else {
            const QKeyCombination keys = QKeySequence(shortcut)[0];
            QTest::keyClick(&w, keys.key(), keys.keyboardModifiers());
        }

        QStringList seen = opened + watch.seen;
        // The store-only desktop of the tests records the wallpaper and says
        // that the screen could not be changed.
        const bool wallpaper = QFile::exists(install.windows + QStringLiteral("/quilton.bmp"));
        if (wallpaper) {
            QCOMPARE(log.messages.size(), 1);
            QCOMPARE(log.messages.first().caption, QStringLiteral("cWallSet Class"));
            log.messages.clear();
        }
        const std::pair<bool, const char*> signs[] = {
            {!log.opened.isEmpty(), "sample page"},
            {wallpaper, "wallpaper"},
            {w.batchWindow()->isVisible(), "batch window"},
            {!w.isVisible(), "close"},
            {action->isChecked() != ticked, "tick"}};
        for (const auto& [shows, name] : signs)
            if (shows)
                seen << QLatin1String(name);
        // Tile B as one of the effect commands makes it, the others unchanged.
        const std::array<QImage, 4> after = tiles(w.designer());
        for (const auto& [name, tile] : outcomes) {
            std::array<QImage, 4> expected = before;
            expected[1] = tile;
            if (after != before && after == expected)
                seen << name;
        }
        QCOMPARE(seen.join(" + "), operation);
        QVERIFY(log.messages.isEmpty());
    }

    // A press with any button moves the frame 50 twips (3 pixels) up and
    // left of the tile and makes it current; the menu opens for the right
    // button over a design only.
    void pressOnATileMovesTheFrame()
    {
        const QPoint frames[] = {{27, 21}, {153, 21}, {27, 135}, {153, 135}};
        struct Row
        {
            int tile;
            Qt::MouseButton button;
            bool picture, menu;
        };
        QList<Row> rows{{3, Qt::RightButton, false, false}, {2, Qt::MiddleButton, true, false}};
        for (int t = 0; t < 4; ++t)
            rows << Row{t, Qt::LeftButton, true, false} << Row{t, Qt::RightButton, true, true};
        for (const auto& [tile, button, picture, menu] : rows) {
            Install install;
            frmMain w(install.context(picture ? kPicture : QImage()));
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QWidget* shape = w.findChild<QWidget*>(QStringLiteral("Shape1"));
            QCOMPARE(shape->geometry(), QRect(27, 21, 107, 107)); // around A at start
            QTest::mousePress(w.tileBox(tile), button, {}, QPoint(10, 10));
            QCOMPARE(shape->geometry(), QRect(frames[tile], QSize(107, 107)));
            QCOMPARE(w.CurrentTile(), qint16(tile));
            QCOMPARE(w.tileMenu()->isVisible(), menu);
            w.tileMenu()->hide();
        }
    }

    // Half size or chamfer clicked: every tile is composed afresh as the
    // designer makes it (an effect on tile A is thrown away), the boxes and
    // the frame take the half height; unticked, all is as before.
    void halfSizeAndChamferClickedInTheWindow()
    {
        for (const char* box : {"chkHalf", "chkMeji"}) {
            const bool half = QByteArray(box) == "chkHalf";
            Install install;
            frmMain w(install.context(kPicture));
            QWidget* shape = w.findChild<QWidget*>(QStringLiteral("Shape1"));
            const std::array<QImage, 4> full = tiles(w.designer());
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

    // The bar during a four-tile run: 0, 1/3, 2/3 and the full track of 209
    // pixels after A to D (at least the one-pixel empty width), then empty;
    // one tile (undo) shows the full track.
    void progressBarDuringARun()
    {
        Install install;
        frmMain w(install.context(kPicture));
        WidthLog log;
        w.findChild<QWidget*>(QStringLiteral("shaUp"))->installEventFilter(&log);
        w.cmdExec_Click(-1);
        QCOMPARE(log.widths, (QList<int>{70, 139, 209, 1}));
        log.widths.clear();
        w.mnuUndo_Click();
        QCOMPARE(log.widths, (QList<int>{209, 1}));
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
        Shown log;
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
