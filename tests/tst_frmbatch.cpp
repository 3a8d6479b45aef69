// The batch window over a main window built on temporary folders: loading
// and unloading its settings, the folder lists, the tile frames and the
// batch run with its progress, stopping and failures.
#include "TestEnv.h"

#include "app/AppContext.h"
#include "app/frmMain.h"
#include "app/guiMessage.h"
#include "app/inifile_IO.h"
#include "batch/frmBatch.h"
#include "batch/frmKouka.h"
#include "batch/guiFolderList.h"
#include "platform/Desktop.h"
#include "platform/RegistryStore.h"
#include "tile/PictureLoader.h"
#include "tile/TileDesigner.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidgetItemIterator>

#include <memory>

namespace {

QImage testPicture(int w, int h, int seed)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y,
                         qRgb((x * 3 + seed * 50) & 0xff, (y * 5 + seed * 20) & 0xff,
                              ((x ^ y) * 7 + seed) & 0xff));
    return img;
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

// A program folder with its settings file, input and output folders, the
// store-only desktop and no screen capture; the main window over them.
struct Install
{
    QTemporaryDir dir;
    QString program, system, windows, in, out;
    std::shared_ptr<RegistryStore> registry;
    std::shared_ptr<Desktop> desktop;
    std::unique_ptr<frmMain> main;

    explicit Install(const QByteArray& extraIni = {}, bool jpegLibrary = false)
    {
        program = dir.filePath(QStringLiteral("prog"));
        system = dir.filePath(QStringLiteral("lib"));
        windows = dir.filePath(QStringLiteral("backgrounds"));
        in = dir.filePath(QStringLiteral("Photos"));
        out = dir.filePath(QStringLiteral("Tiles out"));
        for (const QString& f : {program, system, windows, in, out})
            QDir().mkpath(f);
        if (jpegLibrary)
            QFile::copy(testenv::binDir() + QStringLiteral("/SaveJPG.so"),
                        system + QStringLiteral("/SaveJPG.so"));
        registry = std::make_shared<RegistryStore>(dir.filePath(QStringLiteral("registry.ini")));
        desktop = std::shared_ptr<Desktop>(makeStoreOnlyDesktop(*registry).release());
        // The extra keys come first: the first section of a name wins.
        writeBytes(ini(), extraIni + "[Start]\r\nScreenCap=False\r\n[Folder]\r\nSource=" +
                              in.toUtf8() + "\r\nSave=" + out.toUtf8() + "\r\n");
    }

    QString ini() const { return program + QStringLiteral("/quilton.ini"); }

    frmBatch& start()
    {
        AppContext c;
        c.programFolder = program;
        c.systemFolder = system;
        c.windowsFolder = windows;
        c.registry = registry;
        c.desktop = desktop;
        c.captureScreen = [] { return QImage(); };
        main = std::make_unique<frmMain>(c);
        return *main->batchWindow();
    }

    void picture(const QString& name, int seed, int w = 160, int h = 120)
    {
        const QString path = in + QLatin1Char('/') + name;
        if (!testPicture(w, h, seed)
                 .save(path, name.endsWith(QLatin1String("jpg")) ? "JPG" : "BMP"))
            qFatal("cannot write %s", qPrintable(path));
    }
};

template <typename T> T* child(const QWidget& w, const QString& name)
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

// Captures the program's messages for one test.
struct Messages
{
    QList<guiMessage::Message> list;
    std::function<void(const guiMessage::Message&)> onMessage;
    Messages()
    {
        guiMessage::setCapture([this](const guiMessage::Message& m) {
            list.append(m);
            if (onMessage)
                onMessage(m);
        });
    }
    ~Messages() { guiMessage::setCapture(nullptr); }
};

} // namespace

class tst_frmbatch : public QObject
{
    Q_OBJECT

private slots:
    void firstStartDefaults()
    {
        Install install;
        install.picture(QStringLiteral("a.bmp"), 1);
        install.picture(QStringLiteral("b.jpg"), 2);
        frmBatch& b = install.start();
        QVERIFY(!b.isVisible());
        QCOMPARE(b.windowTitle(), QStringLiteral("フォルダ一括処理"));
        // Just to the right of the main window.
        const QRect mainFrame = install.main->frameGeometry();
        QCOMPARE(b.pos(), QPoint(mainFrame.x() + mainFrame.width(), mainFrame.y()));
        QVERIFY(child<QCheckBox>(b, "chkType_0")->isChecked());
        QVERIFY(!child<QCheckBox>(b, "chkType_1")->isChecked());
        QVERIFY(!child<QCheckBox>(b, "chkType_2")->isChecked());
        QVERIFY(child<QRadioButton>(b, "optType_0")->isChecked());
        QVERIFY(!child<QRadioButton>(b, "optType_1")->isEnabled()); // no JPEG library
        for (int t = 0; t < 4; ++t) {
            const QString i = QString::number(t);
            QVERIFY(child<QCheckBox>(b, "chkTile_" + i)->isChecked());
            for (const char* box : {"chkLight_", "chkBokashi_", "chkBlock_", "chkEnboss_",
                                    "chkGray_", "chkContrast_"})
                QVERIFY(!child<QCheckBox>(b, QLatin1String(box) + i)->isChecked());
            QCOMPARE(child<QComboBox>(b, "cmbLight_" + i)->currentText(), QStringLiteral("-50"));
            QCOMPARE(child<QComboBox>(b, "cmbBokashi_" + i)->currentText(), QStringLiteral("x1"));
        }
        QCOMPARE(b.EffectOrder(), (std::array<int, 6>{0, 1, 2, 3, 4, 5}));
        QVERIFY(!b.hideOthers());
        QCOMPARE(b.filePattern(0), QStringLiteral("*.bmp"));
        QCOMPARE(b.fileList(0), QStringList{QStringLiteral("a.bmp")});
        QCOMPARE(text(b, "lblNum_0"), QStringLiteral("1"));
        QCOMPARE(text(b, "lblNum_1"), QStringLiteral("0"));
        QCOMPARE(child<QGroupBox>(b, "fraFolderSel_0")->title(),
                 QStringLiteral("入力設定 - Photos"));
        QCOMPARE(child<QGroupBox>(b, "fraFolderSel_1")->title(),
                 QStringLiteral("出力設定 - Tiles out"));
        QCOMPARE(text(b, "cmdBatch"), QStringLiteral("実行(&R)"));
        // Every design position is twips / 15 in pixels.
        QCOMPARE(child<QPushButton>(b, "cmdBatch")->geometry(), QRect(204, 460, 109, 33));
        QCOMPARE(child<QGroupBox>(b, "FraPic_3")->geometry(), QRect(220, 336, 161, 113));
        QCOMPARE(child<QCheckBox>(b, "chkTile_2")->pos(), QPoint(12, 340));
    }

    void inputAndOutputTypes()
    {
        Install install("[ImageType]\r\nSrcFile=011\r\nDstFile=1\r\n", true);
        install.picture(QStringLiteral("a.bmp"), 1);
        install.picture(QStringLiteral("b.jpg"), 2);
        writeBytes(install.in + QStringLiteral("/c.GIF"), "GIF89a");
        writeBytes(install.out + QStringLiteral("/x(A).jpg"), "x");
        writeBytes(install.out + QStringLiteral("/x(A).bmp"), "x");
        writeBytes(install.out + QStringLiteral("/y(A).JPG"), "x");
        frmBatch& b = install.start();
        QCOMPARE(b.filePattern(0), QStringLiteral("*.jpg;*.gif"));
        QCOMPARE(b.fileList(0), (QStringList{"b.jpg", "c.GIF"}));
        // JPEG output chosen: the output list shows only .jpg files.
        QVERIFY(child<QRadioButton>(b, "optType_1")->isEnabled());
        QVERIFY(child<QRadioButton>(b, "optType_1")->isChecked());
        QCOMPARE(b.OutExt(), QStringLiteral("jpg"));
        QCOMPARE(b.filePattern(1), QStringLiteral("*.jpg"));
        QCOMPARE(text(b, "lblNum_1"), QStringLiteral("2"));
        child<QRadioButton>(b, "optType_0")->click();
        QCOMPARE(b.OutExt(), QStringLiteral("bmp"));
        QCOMPARE(text(b, "lblNum_1"), QStringLiteral("1"));

        child<QCheckBox>(b, "chkType_0")->setChecked(true);
        QCOMPARE(b.filePattern(0), QStringLiteral("*.bmp;*.jpg;*.gif"));
        QCOMPARE(text(b, "lblNum_0"), QStringLiteral("3"));
        for (int i = 0; i < 3; ++i)
            child<QCheckBox>(b, "chkType_" + QString::number(i))->setChecked(false);
        QCOMPARE(b.filePattern(0), QStringLiteral("xxxx.xxxx"));
        QCOMPARE(text(b, "lblNum_0"), QStringLiteral("0"));
    }

    void jpegOutputNeedsTheLibrary()
    {
        Install install("[ImageType]\r\nDstFile=1\r\n", false);
        frmBatch& b = install.start();
        QVERIFY(!child<QRadioButton>(b, "optType_1")->isEnabled());
        QVERIFY(child<QRadioButton>(b, "optType_0")->isChecked());
        QCOMPARE(b.OutExt(), QStringLiteral("bmp"));
    }

    void settingsSurviveUnloadAndLoad()
    {
        Install install(
            "[Kouka]\r\nJunjo=5432101\r\nLight=0100\r\nLIndex=0700\r\n"
            "[Position]\r\nSubLeft=1500\r\nSubTop=3000\r\n[Start]\r\nFormHide=True\r\n");
        frmBatch& b = install.start();
        QCOMPARE(b.pos(), QPoint(100, 200));
        QVERIFY(b.hideOthers());
        QCOMPARE(b.EffectOrder(), (std::array<int, 6>{5, 4, 3, 2, 1, 0}));
        QVERIFY(child<QCheckBox>(b, "chkLight_1")->isChecked());
        QCOMPARE(child<QComboBox>(b, "cmbLight_1")->currentText(), QStringLiteral("+30"));

        child<QCheckBox>(b, "chkGray_3")->setChecked(true);
        child<QComboBox>(b, "cmbBokashi_2")->setCurrentIndex(2);
        child<QCheckBox>(b, "chkType_2")->setChecked(true);
        child<QCheckBox>(b, "chkTile_0")->setChecked(false);
        b.EffectOrder() = {1, 0, 2, 3, 4, 5};
        // The close box unloads: keys written, a fresh window at the next use.
        QPointer<frmBatch> first(&b);
        QVERIFY(b.close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(first.isNull());
        inifile_IO ini;
        ini.setFileName(install.ini());
        QCOMPARE(ini.ReadStr("Kouka", "Gray", {}), QStringLiteral("0001"));
        QCOMPARE(ini.ReadStr("Kouka", "BIndex", {}), QStringLiteral("0020"));
        QCOMPARE(ini.ReadStr("Kouka", "LIndex", {}), QStringLiteral("0700"));
        QCOMPARE(ini.ReadStr("Kouka", "Junjo", {}), QStringLiteral("102345"));
        QCOMPARE(ini.ReadStr("ImageType", "SrcFile", {}), QStringLiteral("101"));
        QCOMPARE(ini.ReadStr("ImageType", "DstFile", {}), QStringLiteral("0"));

        frmBatch& again = *install.main->batchWindow();
        QVERIFY(child<QCheckBox>(again, "chkGray_3")->isChecked());
        QCOMPARE(child<QComboBox>(again, "cmbBokashi_2")->currentText(), QStringLiteral("x3"));
        QCOMPARE(again.EffectOrder(), (std::array<int, 6>{1, 0, 2, 3, 4, 5}));
        // Tile ticks are not stored: all four on again.
        QVERIFY(child<QCheckBox>(again, "chkTile_0")->isChecked());

        // "閉じる(&C)" and Esc only hide: the state stays.
        again.show();
        child<QCheckBox>(again, "chkTile_1")->setChecked(false);
        QTest::keyClick(&again, Qt::Key_Escape);
        QVERIFY(!again.isVisible());
        QCOMPARE(install.main->batchWindow(), &again);
        QVERIFY(!child<QCheckBox>(again, "chkTile_1")->isChecked());
    }

    void tileFrameFollowsItsTick()
    {
        Install install;
        frmBatch& b = install.start();
        child<QCheckBox>(b, "chkLight_1")->setChecked(true);
        child<QComboBox>(b, "cmbLight_1")->setCurrentIndex(6);
        child<QCheckBox>(b, "chkTile_1")->setChecked(false);
        QVERIFY(!child<QGroupBox>(b, "FraPic_1")->isEnabled());
        for (const char* name : {"chkLight_1", "cmbLight_1", "chkBokashi_1", "cmbBokashi_1",
                                 "chkBlock_1", "chkEnboss_1", "chkGray_1", "chkContrast_1"})
            QVERIFY2(!child<QWidget>(b, QLatin1String(name))->isEnabled(), name);
        QVERIFY(child<QCheckBox>(b, "chkTile_1")->isEnabled());
        QVERIFY(child<QGroupBox>(b, "FraPic_0")->isEnabled());
        child<QCheckBox>(b, "chkTile_1")->setChecked(true);
        QVERIFY(child<QWidget>(b, "cmbLight_1")->isEnabled());
        QVERIFY(child<QCheckBox>(b, "chkLight_1")->isChecked());
        QCOMPARE(child<QComboBox>(b, "cmbLight_1")->currentIndex(), 6);
    }

    void foldersFollowTheMainWindow()
    {
        Install install;
        const QString sub = install.in + QStringLiteral("/Summer");
        QDir().mkpath(sub);
        frmBatch& b = install.start();
        // The main window sets a folder: the list, caption and count follow.
        install.picture(QStringLiteral("Summer/s.bmp"), 3);
        b.setFolder(1, sub);
        QCOMPARE(b.folder(1), sub);
        QCOMPARE(child<QGroupBox>(b, "fraFolderSel_1")->title(),
                 QStringLiteral("出力設定 - Summer"));
        QCOMPARE(install.main->SaveFolder(), sub);
        // A double click on a subfolder in the input list opens it.
        auto* dir = child<guiFolderList>(b, "Dir1_0");
        QTreeWidgetItem* summer = nullptr;
        for (QTreeWidgetItemIterator it(dir); *it; ++it)
            if (guiFolderList::folderOf(*it) == sub)
                summer = *it;
        QVERIFY(summer);
        emit dir->itemActivated(summer, 0);
        QCOMPARE(b.folder(0), sub);
        QCOMPARE(install.main->SourceFolder(), sub);
        QCOMPARE(child<QGroupBox>(b, "fraFolderSel_0")->title(),
                 QStringLiteral("入力設定 - Summer"));
        QCOMPARE(text(b, "lblNum_0"), QStringLiteral("1"));
        // The root folder shows its path.
        b.setFolder(0, QStringLiteral("/"));
        QCOMPARE(child<QGroupBox>(b, "fraFolderSel_0")->title(), QStringLiteral("入力設定 - /"));
        // A drive that cannot be read: folder and drive lists go back, silently.
        auto* drive = child<guiDriveList>(b, "Drive1_0");
        b.setFolder(0, sub);
        const QString driveBefore = drive->currentText();
        QVERIFY(!driveBefore.isEmpty());
        drive->addItem(QStringLiteral("/no-such-volume"));
        drive->setCurrentIndex(drive->count() - 1);
        b.Drive1_Change(0);
        QCOMPARE(b.folder(0), sub);
        QCOMPARE(drive->currentText(), driveBefore);
        // A readable one: its root becomes the folder.
        drive->setCurrentIndex(drive->findText(QStringLiteral("/")));
        b.Drive1_Change(0);
        QCOMPARE(b.folder(0), QStringLiteral("/"));
        b.setFolder(0, sub);
        // A folder that no longer exists: its nearest existing parent.
        b.setFolder(0, sub + QStringLiteral("/gone/deeper"));
        QCOMPARE(b.folder(0), sub);
    }

    // a.bmp and b.jpg, every tile, no effect: eight plain tiles, counted.
    void runWritesEveryTile()
    {
        Install install;
        install.picture(QStringLiteral("a.bmp"), 1);
        install.picture(QStringLiteral("b.jpg"), 2, 400, 300);
        install.picture(QStringLiteral("c.gif.txt"), 3); // no input type
        frmBatch& b = install.start();
        child<QCheckBox>(b, "chkType_1")->setChecked(true);
        Messages messages;
        child<QPushButton>(b, "cmdBatch")->click();
        QVERIFY(messages.list.isEmpty());
        QCOMPARE(filesIn(install.out),
                 (QStringList{"a(A).bmp", "a(B).bmp", "a(C).bmp", "a(D).bmp", "b(A).bmp",
                              "b(B).bmp", "b(C).bmp", "b(D).bmp"}));
        QCOMPARE(text(b, "lblNum_1"), QStringLiteral("8"));
        QCOMPARE(text(b, "cmdBatch"), QStringLiteral("実行(&R)"));
        QVERIFY(text(b, "lblNowSel_0").isEmpty() && text(b, "lblNowSel_1").isEmpty());
        QVERIFY(!child<QFrame>(b, "shaProcess_0")->isVisibleTo(&b));
        QVERIFY(!child<QFrame>(b, "shaProcess_1")->isVisibleTo(&b));
        // The main window shows the last file's tiles, the last tile current.
        QCOMPARE(install.main->CurrentTile(), qint16(3));
        QCOMPARE(
            QImage(install.out + QStringLiteral("/b(C).bmp")).convertToFormat(QImage::Format_RGB32),
            install.main->designer().tile(2));
    }

    // Unticking tile B leaves out its files; the effects follow the order.
    void runFollowsTilesAndEffects()
    {
        Install install;
        install.picture(QStringLiteral("p.bmp"), 4);
        frmBatch& b = install.start();
        child<QCheckBox>(b, "chkTile_1")->setChecked(false);
        child<QCheckBox>(b, "chkGray_0")->setChecked(true);
        child<QCheckBox>(b, "chkLight_0")->setChecked(true);
        child<QComboBox>(b, "cmbLight_0")->setCurrentIndex(9); // +50
        b.EffectOrder() = {4, 0, 1, 2, 3, 5};                  // grey, then brighter
        child<QPushButton>(b, "cmdBatch")->click();
        QCOMPARE(filesIn(install.out), (QStringList{"p(A).bmp", "p(C).bmp", "p(D).bmp"}));

        TileDesigner d;
        d.setSource(PictureLoader::load(install.in + QStringLiteral("/p.bmp")).image);
        d.compose(-1);
        d.setCurrentTile(0);
        d.gray();
        d.lightPercent(50);
        QCOMPARE(
            QImage(install.out + QStringLiteral("/p(A).bmp")).convertToFormat(QImage::Format_RGB32),
            d.tile(0));
    }

    // Output folder = input folder: this run does not take its own tiles as
    // inputs; the next run does.
    void outputIntoTheInputFolder()
    {
        Install install;
        install.picture(QStringLiteral("a.bmp"), 1);
        frmBatch& b = install.start();
        b.setFolder(1, install.in);
        child<QCheckBox>(b, "chkTile_1")->setChecked(false);
        child<QCheckBox>(b, "chkTile_2")->setChecked(false);
        child<QCheckBox>(b, "chkTile_3")->setChecked(false);
        child<QPushButton>(b, "cmdBatch")->click();
        QCOMPARE(filesIn(install.in), (QStringList{"a(A).bmp", "a.bmp"}));
        child<QPushButton>(b, "cmdBatch")->click();
        QCOMPARE(filesIn(install.in), (QStringList{"a(A)(A).bmp", "a(A).bmp", "a.bmp"}));
    }

    // A stop clicked while the third of five files is composed.
    void stopDuringTheThirdOfFiveFiles()
    {
        Install install;
        for (int i = 0; i < 5; ++i)
            install.picture(QStringLiteral("f%1.bmp").arg(i), i);
        frmBatch& b = install.start();
        auto* button = child<QPushButton>(b, "cmdBatch");
        int beforeFiles = 0;
        b.setRunHook([&](frmBatch::RunPoint point, int file, int) {
            if (point == frmBatch::RunPoint::BeforeFile)
                ++beforeFiles;
            if (point == frmBatch::RunPoint::AfterCompose && file == 2) {
                QCOMPARE(button->text(), QStringLiteral("中止(&S)"));
                button->click(); // asks the run to stop
                button->click(); // starts nothing while the run is still going
            }
        });
        Messages messages;
        double barAtMessage = -1;
        QString countAtMessage;
        messages.onMessage = [&](const guiMessage::Message&) {
            barAtMessage = b.progressTwips();
            countAtMessage = text(b, "lblNum_1");
        };
        button->click();
        QCOMPARE(beforeFiles, 3);
        QCOMPARE(messages.list.size(), 1);
        QCOMPARE(messages.list.first().text, QStringLiteral("中断しました。"));
        QCOMPARE(messages.list.first().caption, QStringLiteral("Quilton"));
        QCOMPARE(messages.list.first().icon, QMessageBox::Information);
        QCOMPARE(barAtMessage, 3.0 / 5.0 * 2415);
        QCOMPARE(countAtMessage, QStringLiteral("8")); // the list was refreshed
        QCOMPARE(filesIn(install.out).size(), 8);      // no tile of the third file
        QVERIFY(!QFileInfo::exists(install.out + QStringLiteral("/f2(A).bmp")));
        QCOMPARE(button->text(), QStringLiteral("実行(&R)"));
        QVERIFY(text(b, "lblNowSel_0").isEmpty() && text(b, "lblNowSel_1").isEmpty());
        QVERIFY(!child<QFrame>(b, "shaProcess_1")->isVisibleTo(&b));
        QVERIFY(!b.isRunning());

        // A click after the run starts a new one from the first file.
        b.setRunHook({});
        QDir(install.out).removeRecursively();
        QDir().mkpath(install.out);
        button->click();
        QCOMPARE(filesIn(install.out).size(), 20);
        QCOMPARE(messages.list.size(), 1);
    }

    // A stop while a picture is being loaded (off the user-interface thread)
    // ends the run at once: that picture gets no tiles, its end-of-file steps
    // still run.
    void stopWhileAPictureLoads()
    {
        Install install;
        for (int i = 0; i < 3; ++i)
            install.picture(QStringLiteral("f%1.jpg").arg(i), i, 1200, 900);
        frmBatch& b = install.start();
        child<QCheckBox>(b, "chkType_1")->setChecked(true);
        b.setRunHook([&](frmBatch::RunPoint point, int file, int) {
            if (point == frmBatch::RunPoint::LoadStarted && file == 1)
                child<QPushButton>(b, "cmdBatch")->click();
        });
        Messages messages;
        double barAtMessage = -1;
        messages.onMessage = [&](const guiMessage::Message&) { barAtMessage = b.progressTwips(); };
        child<QPushButton>(b, "cmdBatch")->click();
        QCOMPARE(messages.list.size(), 1);
        QCOMPARE(messages.list.first().text, QStringLiteral("中断しました。"));
        QCOMPARE(barAtMessage, 2.0 / 3.0 * 2415);
        QCOMPARE(filesIn(install.out),
                 (QStringList{"f0(A).bmp", "f0(B).bmp", "f0(C).bmp", "f0(D).bmp"}));
        QCOMPARE(text(b, "lblNum_1"), QStringLiteral("4"));
        // The next run starts from the first file and does them all.
        b.setRunHook({});
        child<QPushButton>(b, "cmdBatch")->click();
        QCOMPARE(filesIn(install.out).size(), 12);
    }

    // An unreadable input is skipped with no tiles under its name (never the
    // previous picture's), the run goes on, and one message lists it.
    void unreadableFilesAreListedOnce()
    {
        Install install;
        install.picture(QStringLiteral("a.bmp"), 1);
        writeBytes(install.in + QStringLiteral("/b.bmp"), "BM broken");
        writeBytes(install.in + QStringLiteral("/c.bmp"), QByteArray());
        install.picture(QStringLiteral("d.bmp"), 2);
        frmBatch& b = install.start();
        Messages messages;
        child<QPushButton>(b, "cmdBatch")->click();
        QCOMPARE(filesIn(install.out),
                 (QStringList{"a(A).bmp", "a(B).bmp", "a(C).bmp", "a(D).bmp", "d(A).bmp",
                              "d(B).bmp", "d(C).bmp", "d(D).bmp"}));
        QCOMPARE(messages.list.size(), 1);
        const QString m = messages.list.first().text;
        QVERIFY2(m.contains(QStringLiteral("2")) && m.contains(QStringLiteral("b.bmp")) &&
                     m.contains(QStringLiteral("c.bmp")) && !m.contains(QStringLiteral("a.bmp")),
                 qPrintable(m));
    }

    // A tile file that cannot be written ends the run with one message
    // naming it; the files before it stay.
    void unwritableTileEndsTheRun()
    {
        Install install;
        install.picture(QStringLiteral("a.bmp"), 1);
        install.picture(QStringLiteral("b.bmp"), 2);
        QDir(install.out).mkdir(QStringLiteral("a(C).bmp"));
        frmBatch& b = install.start();
        Messages messages;
        child<QPushButton>(b, "cmdBatch")->click();
        QCOMPARE(messages.list.size(), 1);
        QVERIFY(messages.list.first().text.contains(install.out + QStringLiteral("/a(C).bmp")));
        QCOMPARE(filesIn(install.out), (QStringList{"a(A).bmp", "a(B).bmp"}));
        QCOMPARE(text(b, "cmdBatch"), QStringLiteral("実行(&R)"));
    }

    // The window's batch and quilton-batch write the same bytes.
    void sameFilesAsTheCommandLine()
    {
        Install install("[Kouka]\r\nBokashi=1000\r\nBIndex=1000\r\nContrast=0010\r\n"
                        "Enboss=0001\r\nJunjo=502134\r\n[ImageType]\r\nSrcFile=110\r\n");
        install.picture(QStringLiteral("a.bmp"), 1, 300, 200);
        install.picture(QStringLiteral("b.jpg"), 2, 640, 480);
        frmBatch& b = install.start();
        child<QPushButton>(b, "cmdBatch")->click();
        const QString cli = install.dir.filePath(QStringLiteral("cli"));
        QProcess p;
        p.start(testenv::binDir() + QStringLiteral("/quilton-batch"),
                {QStringLiteral("--settings"), install.ini(), install.in, cli});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const QStringList names = filesIn(install.out);
        QCOMPARE(names.size(), 8);
        QCOMPARE(filesIn(cli), names);
        for (const QString& name : names)
            QVERIFY2(readBytes(install.out + '/' + name) == readBytes(cli + '/' + name),
                     qPrintable(name));
    }

    // The order dialog opened from the menu edits the window's order, which
    // the next run uses and the unload stores.
    void effectOrderFromTheMenu()
    {
        Install install;
        frmBatch& b = install.start();
        QAction* mnuKouka = nullptr;
        const QList<QAction*> actions = b.findChildren<QAction*>();
        for (QAction* a : actions)
            if (a->text() == QStringLiteral("効果の処理順序設定(&K)..."))
                mnuKouka = a;
        QVERIFY(mnuKouka);
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            if (auto* dialog = qobject_cast<frmKouka*>(QApplication::activeModalWidget())) {
                seen = true;
                dialog->exchange(5, 0);
                dialog->close();
            }
        });
        mnuKouka->trigger();
        QVERIFY(seen);
        QCOMPARE(b.EffectOrder(), (std::array<int, 6>{5, 1, 2, 3, 4, 0}));
        b.unload();
        inifile_IO ini;
        ini.setFileName(install.ini());
        QCOMPARE(ini.ReadStr("Kouka", "Junjo", {}), QStringLiteral("512340"));
    }

    // Closing the main window during a run stops the run, then closes.
    void closingTheMainWindowStopsTheRun()
    {
        Install install;
        for (int i = 0; i < 3; ++i)
            install.picture(QStringLiteral("f%1.bmp").arg(i), i);
        frmBatch& b = install.start();
        install.main->show();
        b.setRunHook([&](frmBatch::RunPoint point, int file, int tile) {
            if (point == frmBatch::RunPoint::BeforeTile && file == 0 && tile == 2)
                install.main->close();
        });
        Messages messages;
        child<QPushButton>(b, "cmdBatch")->click();
        QCOMPARE(filesIn(install.out), (QStringList{"f0(A).bmp", "f0(B).bmp"}));
        QCOMPARE(messages.list.size(), 1);
        QTRY_VERIFY(!install.main->isVisible());
        inifile_IO ini;
        ini.setFileName(install.ini());
        QCOMPARE(ini.ReadStr("Kouka", "Junjo", {}), QStringLiteral("012345"));
    }

    // The batch window's close box during a run: the run stops first, then
    // the window unloads (its keys written).
    void closeBoxDuringARun()
    {
        Install install;
        for (int i = 0; i < 2; ++i)
            install.picture(QStringLiteral("f%1.bmp").arg(i), i);
        frmBatch& b = install.start();
        b.show();
        QPointer<frmBatch> window(&b);
        child<QCheckBox>(b, "chkBlock_2")->setChecked(true);
        b.setRunHook([&](frmBatch::RunPoint point, int file, int tile) {
            if (point == frmBatch::RunPoint::BeforeTile && file == 0 && tile == 1)
                QVERIFY(!b.close()); // refused while running
        });
        Messages messages;
        child<QPushButton>(b, "cmdBatch")->click();
        QCOMPARE(messages.list.size(), 1);
        QCOMPARE(filesIn(install.out), QStringList{"f0(A).bmp"});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window.isNull());
        inifile_IO ini;
        ini.setFileName(install.ini());
        QCOMPARE(ini.ReadStr("Kouka", "Block", {}), QStringLiteral("0010"));
    }

    // A right click on the output folder list opens the output list only
    // when there are output files; with none, nothing at all happens.
    void rightClickOnTheOutputFolders()
    {
        Install install;
        frmBatch& b = install.start();
        b.show();
        Messages messages;
        auto* dir = child<guiFolderList>(b, "Dir1_1");
        QTest::mouseClick(dir->viewport(), Qt::RightButton, {}, QPoint(5, 5));
        QVERIFY(messages.list.isEmpty());
        child<QPushButton>(b, "cmdPrev")->click();
        QCOMPARE(messages.list.size(), 1);
        QCOMPARE(messages.list.first().text, QStringLiteral("ファイルがありません。"));

        install.picture(QStringLiteral("a.bmp"), 1);
        child<QPushButton>(b, "cmdBatch")->click();
        QString caption;
        QTimer::singleShot(0, this, [&] {
            auto* list = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (list) {
                caption = list->windowTitle();
                list->reject();
            }
        });
        QTest::mouseClick(dir->viewport(), Qt::RightButton, {}, QPoint(5, 5));
        QCOMPARE(caption, QStringLiteral("出力先ファイル一覧 [ *.bmp ]"));
        QTest::mouseClick(dir->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    }
};

QUILTON_TEST_MAIN(tst_frmbatch)
#include "tst_frmbatch.moc"
