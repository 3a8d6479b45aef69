// The batch window over a main window built on temporary folders: loading
// and unloading its settings, the folder lists, the tile frames and the
// batch run with its progress, stopping and failures.
#include "TestEnv.h"

#include "app/frmMain.h"
#include "app/guiMessage.h"
#include "app/inifile_IO.h"
#include "batch/frmBatch.h"
#include "batch/frmKouka.h"
#include "batch/guiFolderList.h"
#include "support/TestInstall.h"
#include "tile/PictureLoader.h"
#include "tile/TileDesigner.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidgetItemIterator>

using namespace Qt::Literals::StringLiterals;

namespace {

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

// Input folder "Photos" and output folder "Tiles out" in the settings, no
// screen capture; the main window and its batch window over them.
struct Install : testsupport::Install
{
    QString in = dir.filePath(u"Photos"_s);
    QString out = dir.filePath(u"Tiles out"_s);
    std::unique_ptr<frmMain> main;

    explicit Install(const QByteArray& extraIni = {}, bool jpegLibrary = false)
    {
        QDir().mkpath(in);
        QDir().mkpath(out);
        if (jpegLibrary)
            installJpegLibrary();
        // The extra keys come first: the first section of a name wins.
        writeIni(extraIni + "[Start]\r\nScreenCap=False\r\n[Folder]\r\nSource=" + in.toUtf8() +
                 "\r\nSave=" + out.toUtf8() + "\r\n");
    }
    frmBatch& batch()
    {
        main = start();
        return *main->batchWindow();
    }
    void picture(const QString& name, quint32 seed, int w = 160, int h = 120) const
    {
        testsupport::randomImage(w, h, seed)
            .save(in + u'/' + name, name.endsWith(u"jpg"_s) ? "JPG" : "BMP");
    }
    QString key(const char* section, const char* key) const
    {
        inifile_IO file;
        file.setFileName(ini());
        return file.ReadStr(QLatin1String(section), QLatin1String(key), {});
    }
};

template <typename T = QWidget> T* child(const QWidget& w, const QString& name)
{
    T* found = w.findChild<T*>(name);
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}
QString text(const QWidget& w, const QString& name)
{
    if (auto* label = w.findChild<QLabel*>(name))
        return label->text();
    return child<QAbstractButton>(w, name)->text();
}
void tick(const QWidget& w, const QString& name, bool on)
{
    child<QCheckBox>(w, name)->setChecked(on);
}
void run(const QWidget& w)
{
    child<QPushButton>(w, u"cmdBatch"_s)->click();
}

// Captures the program's messages for one test.
struct Messages
{
    QList<guiMessage::Message> list;
    std::function<void()> onMessage;
    Messages()
    {
        guiMessage::setCapture([this](const guiMessage::Message& m) {
            list.append(m);
            if (onMessage)
                onMessage();
        });
    }
    ~Messages() { guiMessage::setCapture(nullptr); }
};

} // namespace

class tst_frmbatch : public QObject
{
    Q_OBJECT

private slots:
    // The input pattern follows the type boxes; "DstFile" chooses JPEG output
    // only with the JPEG library, and the output list follows the output type.
    void typeBoxes_data()
    {
        QTest::addColumn<bool>("library");
        QTest::newRow("with the JPEG library") << true;
        QTest::newRow("without") << false;
    }
    void typeBoxes()
    {
        QFETCH(bool, library);
        Install install("[ImageType]\r\nSrcFile=011\r\nDstFile=1\r\n", library);
        install.picture(u"a.bmp"_s, 1);
        install.picture(u"b.jpg"_s, 2);
        testsupport::writeBytes(install.in + u"/c.GIF"_s, "GIF89a");
        for (const char* name : {"x(A).jpg", "x(A).bmp", "y(A).JPG"})
            testsupport::writeBytes(install.out + u'/' + QLatin1String(name), "x");
        frmBatch& b = install.batch();
        QCOMPARE(b.filePattern(0), u"*.jpg;*.gif"_s);
        QCOMPARE(b.fileList(0), (QStringList{"b.jpg", "c.GIF"}));
        auto* jpeg = child<QRadioButton>(b, u"optType_1"_s);
        QCOMPARE(jpeg->isEnabled(), library);
        QCOMPARE(jpeg->isChecked(), library);
        QCOMPARE(text(b, u"lblNum_1"_s), library ? u"2"_s : u"1"_s);
        child<QRadioButton>(b, u"optType_0"_s)->click();
        QCOMPARE(text(b, u"lblNum_1"_s), u"1"_s);

        tick(b, u"chkType_0"_s, true);
        QCOMPARE(b.filePattern(0), u"*.bmp;*.jpg;*.gif"_s);
        QCOMPARE(text(b, u"lblNum_0"_s), u"3"_s);
        for (int i = 0; i < 3; ++i)
            tick(b, u"chkType_%1"_s.arg(i), false);
        QCOMPARE(b.filePattern(0), u"xxxx.xxxx"_s);
        QCOMPARE(text(b, u"lblNum_0"_s), u"0"_s);
    }

    // The order dialog from the menu edits the window's order; the close box
    // unloads (keys written, a fresh window at the next use) and the settings
    // come back, the tile ticks all on again.
    void settingsSurviveUnloadAndLoad()
    {
        Install install(
            "[Kouka]\r\nJunjo=5432101\r\n[Position]\r\nSubLeft=1500\r\nSubTop=3000\r\n");
        frmBatch& b = install.batch();
        QCOMPARE(b.pos(), QPoint(100, 200));
        QCOMPARE(b.EffectOrder(), (std::array<int, 6>{5, 4, 3, 2, 1, 0}));
        QTimer::singleShot(0, this, [&] {
            if (auto* dialog = qobject_cast<frmKouka*>(QApplication::activeModalWidget())) {
                dialog->exchange(5, 0);
                dialog->close();
            }
        });
        testsupport::findAction(b, u"効果の処理順序設定(&K)..."_s)->trigger();
        QCOMPARE(b.EffectOrder(), (std::array<int, 6>{0, 4, 3, 2, 1, 5}));
        tick(b, u"chkGray_3"_s, true);
        child<QComboBox>(b, u"cmbBokashi_2"_s)->setCurrentIndex(2);
        tick(b, u"chkType_2"_s, true);
        tick(b, u"chkTile_0"_s, false);
        QPointer<frmBatch> first(&b);
        QVERIFY(b.close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(first.isNull());
        QCOMPARE(install.key("Kouka", "Gray") + install.key("Kouka", "BIndex"), u"00010020"_s);
        QCOMPARE(install.key("Kouka", "Junjo"), u"043215"_s);
        QCOMPARE(install.key("ImageType", "SrcFile"), u"101"_s);

        frmBatch& again = *install.main->batchWindow();
        QCOMPARE(child<QComboBox>(again, u"cmbBokashi_2"_s)->currentText(), u"x3"_s);
        QVERIFY(child<QCheckBox>(again, u"chkTile_0"_s)->isChecked());
    }

    void foldersFollowTheMainWindow()
    {
        Install install;
        const QString sub = install.in + u"/Summer"_s;
        QDir().mkpath(sub);
        install.picture(u"Summer/s.bmp"_s, 3);
        frmBatch& b = install.batch();
        // A double click on a subfolder in the input list opens it.
        auto* dir = child<guiFolderList>(b, u"Dir1_0"_s);
        QTreeWidgetItemIterator it(dir);
        while (*it && guiFolderList::folderOf(*it) != sub)
            ++it;
        QVERIFY(*it);
        emit dir->itemActivated(*it, 0);
        QCOMPARE(install.main->SourceFolder(), sub);
        QCOMPARE(child<QGroupBox>(b, u"fraFolderSel_0"_s)->title(), u"入力設定 - Summer"_s);
        QCOMPARE(text(b, u"lblNum_0"_s), u"1"_s);
        // A drive that cannot be read: folder and drive lists go back, silently.
        auto* drive = child<guiDriveList>(b, u"Drive1_0"_s);
        const QString driveBefore = drive->currentText();
        drive->addItem(u"/no-such-volume"_s);
        drive->setCurrentIndex(drive->count() - 1);
        b.Drive1_Change(0);
        QCOMPARE(b.folder(0), sub);
        QCOMPARE(drive->currentText(), driveBefore);
        // A folder that no longer exists: its nearest existing parent.
        b.setFolder(0, sub + u"/gone/deeper"_s);
        QCOMPARE(b.folder(0), sub);
    }

    // The first start's defaults; runs over a.bmp and b.jpg: every tile, then
    // without tile B and with effects in their order, then into the input
    // folder itself.
    void firstStartAndRuns()
    {
        Install install;
        install.picture(u"a.bmp"_s, 1);
        install.picture(u"b.jpg"_s, 2, 400, 300);
        install.picture(u"c.gif.txt"_s, 3); // no input type
        frmBatch& b = install.batch();
        QVERIFY(!b.isVisible());
        // Just to the right of the main window.
        const QRect mainFrame = install.main->frameGeometry();
        QCOMPARE(b.pos(), QPoint(mainFrame.x() + mainFrame.width(), mainFrame.y()));
        QCOMPARE(b.EffectOrder(), (std::array<int, 6>{0, 1, 2, 3, 4, 5}));
        QCOMPARE(b.filePattern(0), u"*.bmp"_s);
        QCOMPARE(b.fileList(0), QStringList{"a.bmp"});
        QCOMPARE(child<QGroupBox>(b, u"fraFolderSel_0"_s)->title(), u"入力設定 - Photos"_s);
        QCOMPARE(child<QGroupBox>(b, u"fraFolderSel_1"_s)->title(), u"出力設定 - Tiles out"_s);
        tick(b, u"chkType_1"_s, true);
        Messages messages;
        // A right click on the output folder list opens the output list only
        // when there are output files; with none, nothing at all happens.
        b.show();
        auto* outputs = child<guiFolderList>(b, u"Dir1_1"_s);
        QTest::mouseClick(outputs->viewport(), Qt::RightButton, {}, QPoint(5, 5));
        run(b);
        QCOMPARE(filesIn(install.out),
                 (QStringList{"a(A).bmp", "a(B).bmp", "a(C).bmp", "a(D).bmp", "b(A).bmp",
                              "b(B).bmp", "b(C).bmp", "b(D).bmp"}));
        QCOMPARE(text(b, u"lblNum_1"_s), u"8"_s);
        QString caption;
        QTimer::singleShot(0, this, [&] {
            if (auto* list = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                caption = list->windowTitle();
                list->reject();
            }
        });
        QTest::mouseClick(outputs->viewport(), Qt::RightButton, {}, QPoint(5, 5));
        QCOMPARE(caption, u"出力先ファイル一覧 [ *.bmp ]"_s);
        // The main window shows the last file's tiles, the last tile current.
        QCOMPARE(install.main->CurrentTile(), qint16(3));
        QCOMPARE(QImage(install.out + u"/b(C).bmp"_s).convertToFormat(QImage::Format_RGB32),
                 install.main->designer().tile(2));

        // An unticked tile disables its frame and gets no file.
        const QString second = install.dir.filePath(u"second"_s);
        QDir().mkpath(second);
        b.setFolder(1, second);
        tick(b, u"chkTile_1"_s, false);
        QVERIFY(!child(b, u"FraPic_1"_s)->isEnabled() && !child(b, u"chkGray_1"_s)->isEnabled());
        QVERIFY(child(b, u"chkTile_1"_s)->isEnabled() && child(b, u"FraPic_0"_s)->isEnabled());
        tick(b, u"chkGray_0"_s, true);
        tick(b, u"chkLight_0"_s, true);
        child<QComboBox>(b, u"cmbLight_0"_s)->setCurrentIndex(9); // +50
        b.EffectOrder() = {4, 0, 1, 2, 3, 5};                     // grey, then brighter
        run(b);
        QCOMPARE(filesIn(second), (QStringList{"a(A).bmp", "a(C).bmp", "a(D).bmp", "b(A).bmp",
                                               "b(C).bmp", "b(D).bmp"}));
        TileDesigner d;
        d.setSource(PictureLoader::load(install.in + u"/a.bmp"_s).image);
        d.compose(-1);
        d.setCurrentTile(0);
        d.gray();
        d.lightPercent(50);
        QCOMPARE(QImage(second + u"/a(A).bmp"_s).convertToFormat(QImage::Format_RGB32), d.tile(0));

        // Output folder = input folder: a run does not take its own tiles as
        // inputs; the next run does.
        b.setFolder(1, install.in);
        for (const QString& tile : {u"chkTile_2"_s, u"chkTile_3"_s})
            tick(b, tile, false);
        run(b);
        QCOMPARE(filesIn(install.in).filter(u"(A)"_s), (QStringList{"a(A).bmp", "b(A).bmp"}));
        run(b);
        QCOMPARE(filesIn(install.in).filter(u"(A)"_s).size(), 4);
        QVERIFY(messages.list.isEmpty());
    }

    // The run ended during the third of five files by the stop button (once
    // its tiles are composed, once while it loads off the user-interface
    // thread), by the batch window's close box (refused while running) or by
    // closing the main window: no tile of it, the bar at 3/5, the list
    // refreshed, one message, the labels empty and the caption back. Then a
    // click starts a new run from the first file, the batch window unloads or
    // the main window closes, each with its keys written.
    void runEndedDuringTheThirdOfFiveFiles_data()
    {
        QTest::addColumn<frmBatch::RunPoint>("when");
        QTest::addColumn<int>("how");
        QTest::newRow("stop after composing") << frmBatch::RunPoint::AfterCompose << 0;
        QTest::newRow("stop while loading") << frmBatch::RunPoint::LoadStarted << 0;
        QTest::newRow("batch window's close box") << frmBatch::RunPoint::AfterCompose << 1;
        QTest::newRow("main window closed") << frmBatch::RunPoint::AfterCompose << 2;
    }
    void runEndedDuringTheThirdOfFiveFiles()
    {
        QFETCH(frmBatch::RunPoint, when);
        QFETCH(int, how);
        Install install;
        for (int i = 0; i < 5; ++i)
            install.picture(u"f%1.bmp"_s.arg(i), i, 600, 450);
        frmBatch& b = install.batch();
        install.main->show();
        b.show();
        QPointer<frmBatch> alive(&b);
        tick(b, u"chkBlock_2"_s, true);
        auto* button = child<QPushButton>(b, u"cmdBatch"_s);
        b.setRunHook([&](frmBatch::RunPoint point, int file, int) {
            if (point != when || file != 2)
                return;
            QCOMPARE(button->text(), u"中止(&S)"_s);
            if (how == 0) {
                button->click(); // asks the run to stop
                button->click(); // starts nothing while the run is still going
            } else if (how == 1) {
                QVERIFY(!b.close());
            } else {
                install.main->close();
            }
        });
        Messages messages;
        double barAtMessage = -1;
        QString countAtMessage;
        messages.onMessage = [&] {
            barAtMessage = b.progressTwips();
            countAtMessage = text(b, u"lblNum_1"_s);
        };
        button->click();
        QCOMPARE(messages.list.size(), 1);
        QCOMPARE(messages.list.first().text, u"中断しました。"_s);
        QCOMPARE(barAtMessage, 3.0 / 5.0 * 2415);
        QCOMPARE(countAtMessage, u"8"_s);
        QCOMPARE(filesIn(install.out).size(), 8);
        QCOMPARE(button->text(), u"実行(&R)"_s);
        QVERIFY(text(b, u"lblNowSel_0"_s).isEmpty() && text(b, u"lblNowSel_1"_s).isEmpty());
        QVERIFY(!child(b, u"shaProcess_1"_s)->isVisibleTo(&b));
        if (how == 0) {
            b.setRunHook({});
            button->click();
            QCOMPARE(filesIn(install.out).size(), 20);
            QCOMPARE(messages.list.size(), 1);
            return;
        }
        QTRY_COMPARE(install.main->isVisible(), how == 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(alive.isNull());
        QCOMPARE(install.key("Kouka", "Block"), u"0010"_s);
    }

    // Unreadable inputs are skipped with no tiles under their names (never
    // the previous picture's), the run goes on, and one message lists them.
    // A tile file that cannot be written ends the run with one message
    // naming it; the files before it stay.
    void unreadableInputsAndUnwritableTiles()
    {
        Install install;
        install.picture(u"a.bmp"_s, 1);
        testsupport::writeBytes(install.in + u"/b.bmp"_s, "BM broken");
        testsupport::writeBytes(install.in + u"/c.bmp"_s, QByteArray());
        install.picture(u"d.bmp"_s, 2);
        frmBatch& b = install.batch();
        Messages messages;
        run(b);
        QCOMPARE(filesIn(install.out),
                 (QStringList{"a(A).bmp", "a(B).bmp", "a(C).bmp", "a(D).bmp", "d(A).bmp",
                              "d(B).bmp", "d(C).bmp", "d(D).bmp"}));
        QCOMPARE(messages.list.size(), 1);
        const QString m = messages.list.first().text;
        QVERIFY2(m.contains(u"b.bmp"_s) && m.contains(u"c.bmp"_s) && !m.contains(u"a.bmp"_s),
                 qPrintable(m));

        QDir(install.out).removeRecursively();
        QDir(install.out).mkpath(u"a(C).bmp"_s); // a folder in the way
        run(b);
        QCOMPARE(messages.list.size(), 2);
        QVERIFY(messages.list.last().text.contains(install.out + u"/a(C).bmp"_s));
        QCOMPARE(filesIn(install.out), (QStringList{"a(A).bmp", "a(B).bmp"}));
        QCOMPARE(text(b, u"cmdBatch"_s), u"実行(&R)"_s);
    }

    // The window's batch and quilton-batch write the same bytes.
    void sameFilesAsTheCommandLine()
    {
        Install install("[Kouka]\r\nBokashi=1000\r\nBIndex=1000\r\nContrast=0010\r\n"
                        "Enboss=0001\r\nJunjo=502134\r\n[ImageType]\r\nSrcFile=110\r\n");
        install.picture(u"a.bmp"_s, 1, 300, 200);
        install.picture(u"b.jpg"_s, 2, 640, 480);
        run(install.batch());
        const QString cli = install.dir.filePath(u"cli"_s);
        QCOMPARE(QProcess::execute(testenv::binDir() + u"/quilton-batch"_s,
                                   {u"--settings"_s, install.ini(), install.in, cli}),
                 0);
        const QStringList names = filesIn(install.out);
        QCOMPARE(names.size(), 8);
        QCOMPARE(filesIn(cli), names);
        for (const QString& name : names)
            QVERIFY2(testsupport::readAll(install.out + u'/' + name) ==
                         testsupport::readAll(cli + u'/' + name),
                     qPrintable(name));
    }
};

QUILTON_TEST_MAIN(tst_frmbatch)
#include "tst_frmbatch.moc"
