// The main window over a temporary program folder: start-up and shut-down
// settings, intake by dialog and drop, tile selection, the tile menu's
// effects and undo, half size and the progress bar.
#include "TestEnv.h"

#include "app/AppContext.h"
#include "app/frmMain.h"
#include "app/guiMessage.h"
#include "app/inifile_IO.h"
#include "batch/frmBatch.h"
#include "effects/Effects.h"
#include "platform/Desktop.h"
#include "platform/RegistryStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr QRgb kCaptureColour = 0xff3366cc;

// A picture with no symmetry, so that every effect and every tile differs.
QImage patternPicture(int w = 160, int h = 120)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y,
                           qRgb(x * 255 / (w - 1), y * 255 / (h - 1), (x * 7 + y * 13) % 256));
    return image;
}

QImage flatPicture(QRgb colour, int w = 64, int h = 48)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

bool allPixels(const QImage& image, QRgb colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xffffff) != (colour & 0xffffff))
                return false;
    return true;
}

// A one-pixel red GIF (Qt reads GIF but does not write it).
QByteArray tinyGif()
{
    static const unsigned char bytes[] = {'G', 'I',  'F', '8', '9', 'a', 1, 0,   1,   0, 0x80, 0,
                                          0,   0xff, 0,   0,   0,   0,   0, ',', 0,   0, 0,    0,
                                          1,   0,    1,   0,   0,   0,   2, 2,   'D', 1, 0,    ';'};
    return QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A program folder, system folder and Windows folder of their own, with the
// store-only desktop and a capture that gives a chosen picture.
struct Install
{
    QTemporaryDir dir;
    QString program;
    QString system;
    QString windows;
    std::shared_ptr<RegistryStore> registry;
    std::shared_ptr<Desktop> desktop;
    int captures = 0;

    Install()
    {
        program = dir.path() + QStringLiteral("/prog");
        system = dir.path() + QStringLiteral("/lib");
        windows = dir.path() + QStringLiteral("/backgrounds");
        QDir().mkpath(program);
        QDir().mkpath(system);
        QDir().mkpath(windows);
        registry = std::make_shared<RegistryStore>(dir.path() + QStringLiteral("/registry.ini"));
        desktop = std::shared_ptr<Desktop>(makeStoreOnlyDesktop(*registry).release());
    }

    QString ini() const { return program + QStringLiteral("/quilton.ini"); }

    AppContext context(const QImage& capture, const QStringList& arguments = {})
    {
        AppContext context;
        context.programFolder = program;
        context.systemFolder = system;
        context.windowsFolder = windows;
        context.arguments = arguments;
        context.registry = registry;
        context.desktop = desktop;
        context.captureScreen = [this, capture] {
            ++captures;
            return capture;
        };
        return context;
    }

    void writeIni(const QString& text) const { writeBytes(ini(), text.toUtf8()); }
};

QAction* findAction(const QWidget& window, const QString& caption)
{
    const QList<QAction*> actions = window.findChildren<QAction*>();
    for (QAction* action : actions)
        if (action->text() == caption)
            return action;
    return nullptr;
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

std::unique_ptr<QMimeData> fileDrag(const QStringList& paths)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(path.startsWith(QLatin1String("http")) ? QUrl(path)
                                                           : QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

bool dragOffered(QWidget* box, const QMimeData* data)
{
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(box, &enter);
    return enter.isAccepted() && enter.dropAction() == Qt::CopyAction;
}

void drop(QWidget* box, const QMimeData* data)
{
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box, &event);
}

} // namespace

class tst_frmmain : public QObject
{
    Q_OBJECT

private slots:
    void firstStartCapturesTheScreenWithDefaults();
    void everySettingSurvivesARestart();
    void screenCapOption_data();
    void screenCapOption();
    void nullCaptureStartsWithoutSource();
    void pictureOnTheCommandLineIsOpened();
    void openDialogCancelAndBadFilesChangeNothing();
    void openDialogTakesGifAndItsFolderExactly();
    void openDialogShowsPictureFilters();
    void clickOnSourceBoxOpensDialogOnlyWhenTicked();
    void dropOffered_data();
    void dropOffered();
    void dropKeepsLetterCaseOfPath();
    void dropOfDamagedFileSaysDropError();
    void leftClickSelectsWithoutMenuThenCtrlSBlursThatTile();
    void rightClickOpensMenuOnlyWithSource();
    void undoAfterEffectsRestoresTheComposedTile();
    void effectsWithoutSourceAreHarmless();
    void halfSizeChangesHeightsOnly();
    void progressBarFollowsTheRun();
    void menusHaveCaptionsAndShortcuts();
    void closeDuringBatchRunWaitsForTheRunToStop();
    void batchWindowClosedByItsBoxIsLoadedAgain();
};

void tst_frmmain::firstStartCapturesTheScreenWithDefaults()
{
    Install install;
    frmMain w(install.context(flatPicture(kCaptureColour, 320, 200)));

    QCOMPARE(w.windowTitle(), QStringLiteral("100角化粧タイル図案生成"));
    QCOMPARE(w.pos(), QPoint(0, 0));
    QVERIFY(QFileInfo(install.program + QStringLiteral("/Tiles")).isDir());
    QCOMPARE(w.SaveFolder(), install.program + QStringLiteral("/Tiles"));
    QCOMPARE(w.SourceFolder(), install.program);
    QCOMPARE(w.JpegQuality(), qint16(50));
    QCOMPARE(w.settings().FileName(), install.ini());
    QVERIFY(capOption(w)->isChecked());
    QVERIFY(!clickOpenOption(w)->isChecked());
    QCOMPARE(w.CurrentTile(), qint16(0));
    QVERIFY(w.batchWindow());
    QVERIFY(!w.batchWindow()->isVisible());

    // The capture became the source, the window showed and all four tiles
    // were composed: A and B keep the colour, C is black (four equal copies
    // XORed), D is white (white background OR the colour).
    QCOMPARE(install.captures, 1);
    QVERIFY(w.isVisible());
    QVERIFY(w.designer().hasSource());
    QVERIFY(allPixels(w.designer().source(), kCaptureColour));
    for (int i = 0; i < 4; ++i)
        QCOMPARE(w.designer().tile(i).size(), QSize(100, 100));
    QVERIFY(allPixels(w.designer().tile(0), kCaptureColour));
    QVERIFY(allPixels(w.designer().tile(1), kCaptureColour));
    QVERIFY(allPixels(w.designer().tile(2), 0xff000000));
    QVERIFY(allPixels(w.designer().tile(3), 0xffffffff));
    // The selection frame lies around tile A.
    QCOMPARE(child(w, "Shape1")->pos(), w.tileBox(0)->pos() - QPoint(3, 3));
    // Nothing is written before the window closes.
    QVERIFY(!QFile::exists(install.ini()));
}

void tst_frmmain::everySettingSurvivesARestart()
{
    Install install;
    const QString source = install.dir.path() + QStringLiteral("/Pictures In");
    const QString save = install.dir.path() + QStringLiteral("/Out Folder");
    QDir().mkpath(source);
    QDir().mkpath(save);
    {
        frmMain w(install.context(flatPicture(kCaptureColour)));
        w.move(120, 45);
        w.batchWindow()->move(300, 210);
        w.setSourceFolder(source);
        w.setSaveFolder(save);
        capOption(w)->trigger();
        clickOpenOption(w)->trigger();
        w.setJpegQuality(77);
        QVERIFY(w.close());
    }
    inifile_IO ini;
    ini.setFileName(install.ini());
    QCOMPARE(ini.ReadStr("Position", "Top", {}), QStringLiteral("675"));
    QCOMPARE(ini.ReadStr("Position", "Left", {}), QStringLiteral("1800"));
    QCOMPARE(ini.ReadStr("Position", "SubLeft", {}), QStringLiteral("4500"));
    QCOMPARE(ini.ReadStr("Position", "SubTop", {}), QStringLiteral("3150"));
    QCOMPARE(ini.ReadStr("Start", "ScreenCap", {}), QStringLiteral("False"));
    QCOMPARE(ini.ReadStr("Start", "ClickOpen", {}), QStringLiteral("True"));
    QCOMPARE(ini.ReadStr("Start", "FormHide", {}), QStringLiteral("False"));
    QCOMPARE(ini.ReadStr("Jpeg", "Value", {}), QStringLiteral("77"));

    install.captures = 0;
    frmMain again(install.context(flatPicture(kCaptureColour)));
    QCOMPARE(again.pos(), QPoint(120, 45));
    QCOMPARE(again.SourceFolder(), source);
    QCOMPARE(again.SaveFolder(), save);
    QVERIFY(!capOption(again)->isChecked());
    QVERIFY(clickOpenOption(again)->isChecked());
    QCOMPARE(again.JpegQuality(), qint16(77));
    // With the capture option off the screen is not taken.
    QCOMPARE(install.captures, 0);
    QVERIFY(!again.designer().hasSource());
    QVERIFY(!again.isVisible());
}

void tst_frmmain::screenCapOption_data()
{
    QTest::addColumn<QString>("ini");
    QTest::addColumn<bool>("ticked");
    QTest::newRow("missing key") << QStringLiteral("[Start]\r\nClickOpen=False\r\n") << true;
    QTest::newRow("empty value counts as missing")
        << QStringLiteral("[Start]\r\nScreenCap=\r\n") << true;
    QTest::newRow("False") << QStringLiteral("[Start]\r\nScreenCap=False\r\n") << false;
    QTest::newRow("false in small letters")
        << QStringLiteral("[start]\r\nscreencap=false\r\n") << false;
    QTest::newRow("TRUE in capitals") << QStringLiteral("[Start]\r\nScreenCap=TRUE\r\n") << true;
    QTest::newRow("another word keeps it on")
        << QStringLiteral("[Start]\r\nScreenCap=maybe\r\n") << true;
}

void tst_frmmain::screenCapOption()
{
    QFETCH(QString, ini);
    QFETCH(bool, ticked);
    Install install;
    install.writeIni(ini);
    frmMain w(install.context(flatPicture(kCaptureColour)));
    QCOMPARE(capOption(w)->isChecked(), ticked);
    QCOMPARE(install.captures, ticked ? 1 : 0);
    QCOMPARE(w.designer().hasSource(), ticked);
}

void tst_frmmain::nullCaptureStartsWithoutSource()
{
    Install install;
    frmMain w(install.context(QImage()));
    QCOMPARE(install.captures, 1);
    QVERIFY(capOption(w)->isChecked());
    QVERIFY(!w.designer().hasSource());
    QVERIFY(w.designer().tile(0).isNull());
    // The composer has nothing to work on and leaves the pointer alone.
    w.cmdExec_Click(-1);
    w.cmdExec_Click(2);
    QVERIFY(w.designer().tile(2).isNull());
    QVERIFY(!QApplication::overrideCursor());
}

void tst_frmmain::pictureOnTheCommandLineIsOpened()
{
    Install install;
    const QString folder = install.dir.path() + QStringLiteral("/Cmd Line");
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/Start.bmp");
    QVERIFY(patternPicture().save(path, "BMP"));
    {
        frmMain w(install.context(flatPicture(kCaptureColour), {QStringLiteral("/C"), path}));
        // The named picture is taken instead of the screen.
        QCOMPARE(install.captures, 0);
        QVERIFY(w.isVisible());
        QCOMPARE(w.designer().source().size(), QSize(160, 120));
        QCOMPARE(w.SourceFolder(), folder);
        QCOMPARE(w.batchWindow()->folder(0), folder);
        QCOMPARE(w.designer().tile(3).size(), QSize(100, 100));
    }
    MessageLog log;
    frmMain bad(install.context(QImage(), {folder + QStringLiteral("/missing.jpg")}));
    QVERIFY(!bad.designer().hasSource());
    QCOMPARE(log.messages.size(), 1);
    QCOMPARE(log.messages.first().caption, QStringLiteral("Quilton"));
    QVERIFY(log.messages.first().text.contains(QStringLiteral("missing.jpg")));
}

void tst_frmmain::openDialogCancelAndBadFilesChangeNothing()
{
    Install install;
    frmMain w(install.context(QImage()));
    const QString folder = install.dir.path() + QStringLiteral("/Good");
    QDir().mkpath(folder);
    QVERIFY(patternPicture().save(folder + QStringLiteral("/first.bmp"), "BMP"));
    QString answer = folder + QStringLiteral("/first.bmp");
    QStringList startFolders;
    w.setOpenDialog([&](const QString& start) {
        startFolders.append(start);
        return answer;
    });
    w.setSourceFolder(QString());
    w.cmdFileOpen_Click();
    // An empty SourceFolder starts the dialog in the program folder.
    QCOMPARE(startFolders.value(0), install.program);
    QCOMPARE(w.SourceFolder(), folder);
    const QImage sourceBefore = w.designer().source();
    const QImage tileBefore = w.designer().tile(0);
    QVERIFY(!tileBefore.isNull());

    MessageLog log;
    const QString broken = install.dir.path() + QStringLiteral("/Broken/damaged.jpg");
    QDir().mkpath(QFileInfo(broken).path());
    QVERIFY(writeBytes(broken, QByteArray("\xff\xd8\xff\xe0 not really a picture")));
    for (const QString& refused :
         QStringList{QString(), broken, install.dir.path() + QStringLiteral("/none.bmp")}) {
        answer = refused;
        w.cmdFileOpen_Click();
        QCOMPARE(startFolders.last(), folder);
        QCOMPARE(w.SourceFolder(), folder);
        QCOMPARE(w.batchWindow()->folder(0), folder);
        QCOMPARE(w.designer().source(), sourceBefore);
        QCOMPARE(w.designer().tile(0), tileBefore);
    }
    QVERIFY(log.messages.isEmpty());
}

void tst_frmmain::openDialogTakesGifAndItsFolderExactly()
{
    Install install;
    frmMain w(install.context(QImage()));
    const QString folder = install.dir.path() + QStringLiteral("/Mixed Case/GIFs");
    QDir().mkpath(folder);
    const QString gif = folder + QStringLiteral("/Red.GIF");
    QVERIFY(writeBytes(gif, tinyGif()));
    w.setOpenDialog([&](const QString&) { return gif; });
    w.cmdFileOpen_Click();
    QCOMPARE(w.SourceFolder(), folder);
    QCOMPARE(w.batchWindow()->folder(0), folder);
    QVERIFY(allPixels(w.designer().tile(0), 0xffff0000));
    QVERIFY(allPixels(w.designer().tile(2), 0xff000000));
}

void tst_frmmain::openDialogShowsPictureFilters()
{
    Install install;
    frmMain w(install.context(QImage()));
    const QString folder = install.dir.path() + QStringLiteral("/Start Here");
    QDir().mkpath(folder);
    w.setSourceFolder(folder);
    QStringList filters;
    QString selected;
    QString directory;
    bool seen = false;
    QTimer::singleShot(0, &w, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen = true;
        filters = dialog->nameFilters();
        selected = dialog->selectedNameFilter();
        directory = dialog->directory().absolutePath();
        dialog->reject();
    });
    w.cmdFileOpen_Click();
    QVERIFY(seen);
    const QStringList expected{QStringLiteral("利用可能ファイル (*.bmp *.gif *.jpg *.jpeg)"),
                               QStringLiteral("ＪＰＥＧ (*.jpg *.jpeg)"),
                               QStringLiteral("ＧＩＦ (*.gif)"), QStringLiteral("ＢＭＰ (*.bmp)")};
    QCOMPARE(filters, expected);
    QCOMPARE(selected, expected.first());
    QCOMPARE(directory, folder);
    QCOMPARE(w.SourceFolder(), folder);
    QVERIFY(!w.designer().hasSource());
}

void tst_frmmain::clickOnSourceBoxOpensDialogOnlyWhenTicked()
{
    Install install;
    frmMain w(install.context(QImage()));
    int opened = 0;
    w.setOpenDialog([&](const QString&) {
        ++opened;
        return QString();
    });
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(!clickOpenOption(w)->isChecked());
    QTest::mouseClick(w.sourceBox(), Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(opened, 0);
    clickOpenOption(w)->trigger();
    QTest::mouseClick(w.sourceBox(), Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(opened, 1);
    QTest::mouseClick(w.sourceBox(), Qt::RightButton, {}, QPoint(20, 20));
    QCOMPARE(opened, 1);
}

void tst_frmmain::dropOffered_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("offered");
    const QString d = QStringLiteral("/tmp/Some Folder/");
    QTest::newRow(".JPEG in capitals") << QStringList{d + "PHOTO.JPEG"} << true;
    QTest::newRow(".jpg") << QStringList{d + "a.jpg"} << true;
    QTest::newRow(".Bmp") << QStringList{d + "a.Bmp"} << true;
    QTest::newRow(".gif") << QStringList{d + "a.gif"} << true;
    QTest::newRow(".png") << QStringList{d + "a.png"} << false;
    QTest::newRow(".jpe") << QStringList{d + "a.jpe"} << false;
    QTest::newRow("two bmp files") << QStringList{d + "a.bmp", d + "b.bmp"} << false;
    QTest::newRow("web address") << QStringList{QStringLiteral("https://example.org/a.jpg")}
                                 << false;
    QTest::newRow("nothing") << QStringList{} << false;
}

void tst_frmmain::dropOffered()
{
    QFETCH(QStringList, paths);
    QFETCH(bool, offered);
    Install install;
    frmMain w(install.context(QImage()));
    const auto data = fileDrag(paths);
    QCOMPARE(dragOffered(w.sourceBox(), data.get()), offered);
}

void tst_frmmain::dropKeepsLetterCaseOfPath()
{
    Install install;
    frmMain w(install.context(QImage()));
    const QString folder = install.dir.path() + QStringLiteral("/My Pictures/Summer");
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/Beach.BMP");
    QVERIFY(patternPicture().save(path, "BMP"));
    MessageLog log;
    const auto data = fileDrag({path});
    QVERIFY(dragOffered(w.sourceBox(), data.get()));
    drop(w.sourceBox(), data.get());
    QVERIFY(log.messages.isEmpty());
    QCOMPARE(w.designer().source().size(), QSize(160, 120));
    QCOMPARE(w.SourceFolder(), folder);
    QCOMPARE(w.batchWindow()->folder(0), folder);
    for (int i = 0; i < 4; ++i)
        QVERIFY(!w.designer().tile(i).isNull());
}

void tst_frmmain::dropOfDamagedFileSaysDropError()
{
    Install install;
    frmMain w(install.context(flatPicture(kCaptureColour)));
    const QString before = w.SourceFolder();
    const QImage tileBefore = w.designer().tile(1);
    const QString path = install.dir.path() + QStringLiteral("/Damaged/broken.gif");
    QDir().mkpath(QFileInfo(path).path());
    QVERIFY(writeBytes(path, QByteArray("GIF89a\x10\x00", 8)));
    MessageLog log;
    const auto data = fileDrag({path});
    QVERIFY(dragOffered(w.sourceBox(), data.get()));
    drop(w.sourceBox(), data.get());
    QCOMPARE(log.messages.size(), 1);
    QCOMPARE(log.messages.first().caption, QStringLiteral("Quilton"));
    QCOMPARE(log.messages.first().text, QStringLiteral("Drop Error"));
    QCOMPARE(log.messages.first().icon, QMessageBox::Warning);
    QCOMPARE(w.SourceFolder(), before);
    QCOMPARE(w.designer().tile(1), tileBefore);
    QVERIFY(allPixels(w.designer().source(), kCaptureColour));
}

void tst_frmmain::leftClickSelectsWithoutMenuThenCtrlSBlursThatTile()
{
    Install install;
    frmMain w(install.context(patternPicture()));
    QVERIFY(w.isVisible());
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    std::array<QImage, 4> before;
    for (int i = 0; i < 4; ++i)
        before[i] = w.designer().tile(i).copy();

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
}

void tst_frmmain::rightClickOpensMenuOnlyWithSource()
{
    Install install;
    frmMain w(install.context(QImage()));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(w.tileBox(3), Qt::RightButton, {}, QPoint(10, 10));
    QCOMPARE(w.CurrentTile(), qint16(3));
    QCOMPARE(child(w, "Shape1")->pos(), w.tileBox(3)->pos() - QPoint(3, 3));
    QVERIFY(!w.tileMenu()->isVisible());

    w.designer().setSource(patternPicture());
    w.cmdExec_Click(-1);
    // The batch's call with no button selects without a menu.
    w.picDst_MouseDown(1, 0, 0, 1, 1);
    QCOMPARE(w.CurrentTile(), qint16(1));
    QVERIFY(!w.tileMenu()->isVisible());
    QTest::mousePress(w.tileBox(0), Qt::RightButton, {}, QPoint(10, 10));
    QCOMPARE(w.CurrentTile(), qint16(0));
    QVERIFY(w.tileMenu()->isVisible());
    w.tileMenu()->hide();
}

void tst_frmmain::undoAfterEffectsRestoresTheComposedTile()
{
    Install install;
    frmMain w(install.context(patternPicture()));
    // Composed with the chamfer: undo must follow the current options.
    QTest::mouseClick(child(w, "chkMeji"), Qt::LeftButton);
    std::array<QImage, 4> composed;
    for (int i = 0; i < 4; ++i)
        composed[i] = w.designer().tile(i).copy();
    QCOMPARE(composed[1].pixel(0, 50) & 0xffffff, 0x646464u);

    QTest::mouseClick(w.tileBox(1), Qt::LeftButton, {}, QPoint(5, 5));
    w.mnuLight_Click(0);
    w.mnuBokashi_Click();
    w.mnuContrast_Click();
    w.mnuEnboss_Click();
    QVERIFY(w.designer().tile(1) != composed[1]);
    w.mnuUndo_Click();
    for (int i = 0; i < 4; ++i)
        QCOMPARE(w.designer().tile(i), composed[i]);

    // The percentage step of the batch: 10 % is 26 levels, more than the
    // menu's 25.
    QImage menuStep = composed[1].copy();
    ChangeBrightness(menuStep, 25);
    QImage percentStep = composed[1].copy();
    ChangeBrightness(percentStep, 26);
    w.mnuLight_Click(0);
    QCOMPARE(w.designer().tile(1), menuStep);
    w.mnuUndo_Click();
    QVERIFY(w.CLight(10));
    QCOMPARE(w.designer().tile(1), percentStep);
    w.mnuUndo_Click();
    QVERIFY(!w.CLight(200));
    QCOMPARE(w.designer().tile(1), composed[1]);
}

void tst_frmmain::effectsWithoutSourceAreHarmless()
{
    Install install;
    frmMain w(install.context(QImage()));
    for (qint16 tile : {0, 3}) {
        w.picDst_MouseDown(tile, 2, 0, 15, 15);
        w.mnuLight_Click(0);
        w.mnuLight_Click(1);
        w.mnuContrast_Click();
        w.mnuBokashi_Click();
        w.mnuBlock_Click();
        w.mnuGray_Click();
        w.mnuEnboss_Click();
        w.mnuUndo_Click();
        QVERIFY(w.CLight(-50));
        QVERIFY(!w.CLight(129));
        QVERIFY(w.designer().tile(tile).isNull());
    }
}

void tst_frmmain::halfSizeChangesHeightsOnly()
{
    Install install;
    frmMain w(install.context(patternPicture()));
    auto* half = qobject_cast<QCheckBox*>(child(w, "chkHalf"));
    QWidget* frame = child(w, "Shape1");
    QTest::mouseClick(w.tileBox(3), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(half, Qt::LeftButton);
    QVERIFY(half->isChecked());
    QCOMPARE(w.sourceBox()->size(), QSize(100, 50));
    QCOMPARE(frame->size(), QSize(107, 57));
    QCOMPARE(frame->pos(), w.tileBox(3)->pos() - QPoint(3, 3));
    QVERIFY(frame->isVisible());
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(w.tileBox(i)->size(), QSize(100, 50));
        QVERIFY(w.tileBox(i)->isVisible());
        QCOMPARE(w.designer().tile(i).size(), QSize(100, 50));
    }
    QCOMPARE(w.CurrentTile(), qint16(3));
    QTest::mouseClick(half, Qt::LeftButton);
    QCOMPARE(w.sourceBox()->size(), QSize(100, 100));
    QCOMPARE(frame->size(), QSize(107, 107));
    for (int i = 0; i < 4; ++i)
        QCOMPARE(w.designer().tile(i).size(), QSize(100, 100));
}

// Records the widths the progress bar takes while it is visible.
class WidthRecorder : public QObject
{
public:
    QList<int> widths;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            widths.append(static_cast<QWidget*>(watched)->width());
        return false;
    }
};

void tst_frmmain::progressBarFollowsTheRun()
{
    Install install;
    frmMain w(install.context(patternPicture()));
    QWidget* bar = child(w, "shaUp");
    QCOMPARE(bar->width(), 1);
    QCOMPARE(child(w, "shaDown")->size(), QSize(209, 21));
    WidthRecorder recorder;
    bar->installEventFilter(&recorder);
    // After A the bar is still empty (0 of the track), then 1/3, 2/3, full.
    w.cmdExec_Click(-1);
    QCOMPARE(recorder.widths, (QList<int>{70, 139, 209, 1}));
    recorder.widths.clear();
    w.cmdExec_Click(0);
    QCOMPARE(recorder.widths, (QList<int>{209, 1}));
    QVERIFY(!QApplication::overrideCursor());
}

void tst_frmmain::menusHaveCaptionsAndShortcuts()
{
    Install install;
    frmMain w(install.context(QImage()));
    QStringList titles;
    const QList<QAction*> bar = w.menuBar()->actions();
    for (QAction* action : bar)
        titles.append(action->text());
    QCOMPARE(titles,
             (QStringList{QStringLiteral("ファイル(&F)"), QStringLiteral("設定(&S)"),
                          QStringLiteral("実行(&J)"), QStringLiteral("バージョン情報(&V)")}));

    auto entries = [](QMenu* menu) {
        QStringList list;
        const QList<QAction*> actions = menu->actions();
        for (QAction* action : actions)
            list.append(action->isSeparator()
                            ? QStringLiteral("-")
                            : action->text() + QLatin1Char('|') +
                                  action->shortcut().toString(QKeySequence::PortableText));
        return list;
    };
    QCOMPARE(entries(bar.at(0)->menu()),
             (QStringList{QStringLiteral("元になる画像を開く|Ctrl+O"), QStringLiteral("-"),
                          QStringLiteral("フォルダ一括処理|"), QStringLiteral("-"),
                          QStringLiteral("終了(&X)|")}));
    QCOMPARE(entries(bar.at(1)->menu()),
             (QStringList{QStringLiteral("起動時に画面を取り込む(&C)|"),
                          QStringLiteral("元画像クリックでファイルを開く(&C)|"),
                          QStringLiteral("JPEG保存時の圧縮率設定(&J)...|")}));
    QCOMPARE(bar.at(2)->menu(), w.tileMenu());
    QCOMPARE(entries(w.tileMenu()),
             (QStringList{
                 QStringLiteral("ファイルに保存(&A)|Ctrl+A"),
                 QStringLiteral("壁紙で並べて表示(&K)|Ctrl+K"),
                 QStringLiteral("ＩＥでサンプル表示(&I)|Ctrl+I"), QStringLiteral("-"),
                 QStringLiteral("明度(+10%)(&P)|Ctrl+P"), QStringLiteral("明度(-10%)(&M)|Ctrl+M"),
                 QStringLiteral("コントラスト(&C)|Ctrl+C"), QStringLiteral("ぼかし(&S)|Ctrl+S"),
                 QStringLiteral("ブロック(&B)|Ctrl+B"), QStringLiteral("グレースケール(&G)|Ctrl+G"),
                 QStringLiteral("エンボス(&E)|Ctrl+E"), QStringLiteral("-"),
                 QStringLiteral("元に戻す|Ctrl+Z")}));
    // Without the JPEG library its quality entry is disabled.
    QVERIFY(!w.JpegFlag());
    QVERIFY(!findAction(w, QStringLiteral("JPEG保存時の圧縮率設定(&J)..."))->isEnabled());

    for (const char* name :
         {"chkMeji", "chkHalf", "cmdFileOpen", "cmdFolderSel", "cmdUndo", "cmdExit"})
        QVERIFY2(child(w, name), name);
    QCOMPARE(static_cast<QAbstractButton*>(child(w, "chkMeji"))->text(),
             QStringLiteral("面取りをする(&M)"));
    QCOMPARE(static_cast<QAbstractButton*>(child(w, "cmdFolderSel"))->text(),
             QStringLiteral("一括処理(&B)..."));
    QCOMPARE(w.tileBox(0)->toolTip(), QStringLiteral("右クリックでメニュー表示"));
}

void tst_frmmain::closeDuringBatchRunWaitsForTheRunToStop()
{
    Install install;
    frmMain w(install.context(patternPicture()));
    const QString in = install.dir.path() + QStringLiteral("/In");
    const QString out = install.dir.path() + QStringLiteral("/Out");
    QDir().mkpath(in);
    QDir().mkpath(out);
    for (int i = 0; i < 3; ++i)
        QVERIFY(patternPicture(40 + i, 30).save(in + QStringLiteral("/p%1.bmp").arg(i), "BMP"));
    frmBatch* batch = w.batchWindow();
    batch->setFolder(0, in);
    batch->setFolder(1, out);

    MessageLog log;
    int filesStarted = 0;
    bool closeAccepted = true;
    bool visibleDuringRun = false;
    bool iniDuringRun = true;
    batch->setRunHook([&](frmBatch::RunPoint point, int file, int) {
        if (point != frmBatch::RunPoint::BeforeFile)
            return;
        ++filesStarted;
        if (file == 0) {
            closeAccepted = w.close();
            visibleDuringRun = w.isVisible();
            iniDuringRun = QFile::exists(install.ini());
        }
    });
    batch->cmdBatch_Click();
    // The close only asked the run to stop; nothing was written meanwhile.
    QVERIFY(!closeAccepted);
    QVERIFY(visibleDuringRun);
    QVERIFY(!iniDuringRun);
    QVERIFY(filesStarted < 3);
    QVERIFY(!batch->isRunning());
    // Once the run has ended the window closes and writes its settings.
    QTRY_VERIFY(!w.isVisible());
    inifile_IO ini;
    ini.setFileName(install.ini());
    QCOMPARE(ini.ReadStr("Folder", "Source", {}), in);
    QCOMPARE(ini.ReadStr("Folder", "Save", {}), out);
}

void tst_frmmain::batchWindowClosedByItsBoxIsLoadedAgain()
{
    Install install;
    frmMain w(install.context(QImage()));
    w.showBatchWindow();
    QPointer<frmBatch> first = w.batchWindow();
    QVERIFY(first->isVisible());
    QVERIFY(first->close());
    // Unloaded by its close box: the next use loads a new, hidden one that
    // still follows the main window's folders.
    const QString folder = install.dir.path() + QStringLiteral("/Later");
    QDir().mkpath(folder);
    frmBatch* second = w.batchWindow();
    QVERIFY(second != first.data());
    QVERIFY(!second->isVisible());
    second->setFolder(0, folder);
    QCOMPARE(w.SourceFolder(), folder);
    QVERIFY(w.close());
    inifile_IO ini;
    ini.setFileName(install.ini());
    QCOMPARE(ini.ReadStr("Folder", "Source", {}), folder);
}

QUILTON_TEST_MAIN(tst_frmmain)
#include "tst_frmmain.moc"
