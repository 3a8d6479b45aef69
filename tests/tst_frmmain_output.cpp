// The main window's output commands over a temporary installation: saving a
// tile by name and through the dialog, the sample page from the tile menu,
// the wallpaper and its restore button across a restart, the quality dialog.
#include "TestEnv.h"

#include "app/AppContext.h"
#include "app/frmMain.h"
#include "app/guiMessage.h"
#include "batch/frmBatch.h"
#include "output/frmJpegSet.h"
#include "platform/Browser.h"
#include "platform/Desktop.h"
#include "platform/RegistryStore.h"

#include <QApplication>
#include <QFileDialog>
#include <QImageReader>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

const QString kDesk = QStringLiteral("Control Panel\\desktop");

QImage patternPicture(int w = 120, int h = 90)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 2, y * 2, (x * 5 + y * 3) % 256));
    return image;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A program folder (with or without SaveJPG.so installed), the wallpaper
// folder and the registry store of their own; the store-only desktop; no
// start-up capture.
struct Install
{
    QTemporaryDir dir;
    QString program = dir.filePath(QStringLiteral("prog"));
    QString system = dir.filePath(QStringLiteral("lib"));
    QString windows = dir.filePath(QStringLiteral("backgrounds"));
    QString pictures = dir.filePath(QStringLiteral("pictures"));
    std::shared_ptr<RegistryStore> registry =
        std::make_shared<RegistryStore>(dir.filePath(QStringLiteral("registry.ini")));
    std::shared_ptr<Desktop> desktop{makeStoreOnlyDesktop(*registry).release()};

    explicit Install(bool withLibrary)
    {
        for (const QString& folder : {program, system, windows, pictures})
            QDir().mkpath(folder);
        QFile ini(program + QStringLiteral("/quilton.ini"));
        ini.open(QIODevice::WriteOnly);
        ini.write("[Start]\r\nScreenCap=False\r\n");
        ini.close();
        if (withLibrary)
            QFile::copy(testenv::binDir() + QStringLiteral("/SaveJPG.so"),
                        system + QStringLiteral("/SaveJPG.so"));
        QImage source = patternPicture();
        source.save(pictures + QStringLiteral("/source.bmp"));
    }

    AppContext context() const
    {
        AppContext c;
        c.programFolder = program;
        c.systemFolder = system;
        c.windowsFolder = windows;
        c.registry = registry;
        c.desktop = desktop;
        c.captureScreen = [] { return QImage(); };
        return c;
    }

    // A window with the source picture loaded, all tiles composed and tile
    // B current.
    std::unique_ptr<frmMain> window() const
    {
        auto w = std::make_unique<frmMain>(context());
        QString error;
        if (!w->loadSource(pictures + QStringLiteral("/source.bmp"), &error))
            qWarning() << "source not loaded:" << error;
        w->cmdExec_Click(-1);
        w->picDst_MouseDown(1, 1, 0, 10.f, 10.f);
        return w;
    }
};

struct MessageLog
{
    QList<guiMessage::Message> messages;
    MessageLog()
    {
        guiMessage::setCapture([this](const guiMessage::Message& m) { messages.append(m); });
    }
    ~MessageLog() { guiMessage::setCapture(nullptr); }
};

struct BrowserLog
{
    QStringList opened;
    BrowserLog()
    {
        Browser::setOpener([this](const QString& page) { opened << page; });
    }
    ~BrowserLog() { Browser::setOpener(nullptr); }
};

// Runs action on the modal dialog of type T as soon as it is shown.
template <typename T> void whenModal(std::function<void(T*)> action)
{
    QTimer::singleShot(0, [action] {
        T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog) {
            qWarning("no modal dialog of the expected type");
            if (QWidget* other = QApplication::activeModalWidget())
                other->close();
            return;
        }
        action(dialog);
    });
}

QAction* tileCommand(const frmMain& w, const QString& caption)
{
    const QList<QAction*> actions = w.tileMenu()->actions();
    for (QAction* action : actions)
        if (action->text() == caption)
            return action;
    return nullptr;
}

QPushButton* undoButton(const frmMain& w)
{
    const QList<QPushButton*> buttons = w.findChildren<QPushButton*>();
    for (QPushButton* b : buttons)
        if (b->text() == QStringLiteral("壁紙を戻す(&U)"))
            return b;
    return nullptr;
}

} // namespace

class tst_frmmain_output : public QObject
{
    Q_OBJECT

private slots:
    void sPicWithNameChoosesFormatByNameAlone_data();
    void sPicWithNameChoosesFormatByNameAlone();
    void sPicWithNameReportsAFailedWrite();
    void sPicDialogSavesAndMovesTheSaveFolder();
    void sPicDialogCancelChangesNothing();
    void sPicDialogOnEmptySaveFolderStartsInProgramFolder();
    void saveTileJpegMessages();
    void samplePageFromTheTileMenu_data();
    void samplePageFromTheTileMenu();
    void samplePageForAGivenPicture();
    void samplePageNotWrittenIsSaidAndNotOpened_data();
    void samplePageNotWrittenIsSaidAndNotOpened();
    void wallpaperSetRestartAndRestore();
    void qualityDialogFromTheMenu();
};

void tst_frmmain_output::sPicWithNameChoosesFormatByNameAlone_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("withLibrary");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("bmp") << "tile.bmp" << true << QByteArray("bmp");
    QTest::newRow("jpg") << "tile.jpg" << true << QByteArray("jpeg");
    QTest::newRow("upper-case JPG") << "TILE.JPG" << true << QByteArray("jpeg");
    QTest::newRow(".jpeg") << "tile.jpeg" << true << QByteArray("bmp");
    QTest::newRow("no extension") << "tile" << true << QByteArray("bmp");
    QTest::newRow("jpg without the library") << "tile.jpg" << false << QByteArray("bmp");
}

void tst_frmmain_output::sPicWithNameChoosesFormatByNameAlone()
{
    QFETCH(QString, name);
    QFETCH(bool, withLibrary);
    QFETCH(QByteArray, format);
    Install install(withLibrary);
    MessageLog log;
    auto w = install.window();
    QCOMPARE(w->JpegFlag(), withLibrary);

    const QString out = install.dir.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    const QString path = out + QLatin1Char('/') + name;
    QString error;
    QVERIFY2(w->SPic(path, &error), qPrintable(error));
    QCOMPARE(QDir(out).entryList(QDir::Files), QStringList{name}); // no extension added
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    QCOMPARE(reader.format(), format);
    const QImage saved = reader.read();
    const QImage tile = w->designer().tile(1).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(saved.size(), tile.size());
    if (format == "bmp")
        QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), tile);
    QVERIFY(log.messages.isEmpty());
}

void tst_frmmain_output::sPicWithNameReportsAFailedWrite()
{
    Install install(false);
    MessageLog log;
    auto w = install.window();
    QString error;
    QVERIFY(!w->SPic(install.dir.filePath(QStringLiteral("missing/tile.bmp")), &error));
    QVERIFY(error.contains(QStringLiteral("missing/tile.bmp")));
    QVERIFY(log.messages.isEmpty()); // the caller decides what to say
}

void tst_frmmain_output::sPicDialogSavesAndMovesTheSaveFolder()
{
    Install install(true);
    MessageLog log;
    auto w = install.window();
    const QString start = install.dir.filePath(QStringLiteral("start"));
    const QString target = install.dir.filePath(QStringLiteral("chosen folder"));
    QDir().mkpath(start);
    QDir().mkpath(target);
    w->setSaveFolder(start);

    QStringList filters;
    QString selectedFilter;
    QString directory;
    QString suffix = QStringLiteral("unset");
    whenModal<QFileDialog>([&](QFileDialog* d) {
        filters = d->nameFilters();
        selectedFilter = d->selectedNameFilter();
        directory = d->directory().absolutePath();
        suffix = d->defaultSuffix();
        QCOMPARE(d->acceptMode(), QFileDialog::AcceptSave);
        QVERIFY(!d->testOption(QFileDialog::DontConfirmOverwrite));
        d->selectFile(target + QStringLiteral("/no extension"));
        static_cast<QDialog*>(d)->accept(); // QFileDialog::accept, through the public slot
    });
    w->mnuSave_Click();

    QCOMPARE(filters,
             (QStringList{QStringLiteral("ＢＭＰ (*.bmp)"), QStringLiteral("ＪＰＧ (*.jpg)")}));
    QCOMPARE(selectedFilter, QStringLiteral("ＢＭＰ (*.bmp)"));
    QCOMPARE(directory, start);
    QCOMPARE(suffix, QString());
    // Saved under exactly the typed name, as BMP.
    QCOMPARE(QDir(target).entryList(QDir::Files), QStringList{QStringLiteral("no extension")});
    QCOMPARE(QImage(target + QStringLiteral("/no extension")).convertToFormat(QImage::Format_RGB32),
             w->designer().tile(1).convertToFormat(QImage::Format_RGB32));
    QCOMPARE(w->SaveFolder(), target);
    QCOMPARE(w->batchWindow()->folder(1), target);

    // A JPEG name through the dialog uses the quality setting.
    w->setJpegQuality(90);
    whenModal<QFileDialog>([&](QFileDialog* d) {
        d->selectFile(target + QStringLiteral("/tile.JPG"));
        static_cast<QDialog*>(d)->accept(); // QFileDialog::accept, through the public slot
    });
    w->mnuSave_Click();
    QImageReader reader(target + QStringLiteral("/tile.JPG"));
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    QVERIFY(log.messages.isEmpty());

    // Without the library only BMP is offered.
    Install plain(false);
    auto w2 = plain.window();
    whenModal<QFileDialog>([&](QFileDialog* d) {
        filters = d->nameFilters();
        d->reject();
    });
    w2->mnuSave_Click();
    QCOMPARE(filters, QStringList{QStringLiteral("ＢＭＰ (*.bmp)")});
}

void tst_frmmain_output::sPicDialogCancelChangesNothing()
{
    Install install(true);
    auto w = install.window();
    const QString start = install.dir.filePath(QStringLiteral("start"));
    QDir().mkpath(start);
    w->setSaveFolder(start);
    whenModal<QFileDialog>([&](QFileDialog* d) {
        d->selectFile(install.dir.filePath(QStringLiteral("elsewhere.bmp")));
        d->reject();
    });
    QVERIFY(!w->SPic(QString(), nullptr));
    QCOMPARE(w->SaveFolder(), start);
    QVERIFY(!QFileInfo::exists(install.dir.filePath(QStringLiteral("elsewhere.bmp"))));
}

void tst_frmmain_output::sPicDialogOnEmptySaveFolderStartsInProgramFolder()
{
    Install install(false);
    auto w = install.window();
    w->setSaveFolder(QString());
    QString directory;
    whenModal<QFileDialog>([&](QFileDialog* d) {
        directory = d->directory().absolutePath();
        d->reject();
    });
    w->mnuSave_Click();
    QCOMPARE(directory, install.program);
    QCOMPARE(w->SaveFolder(), install.program);
}

void tst_frmmain_output::saveTileJpegMessages()
{
    Install install(true);
    MessageLog log;
    auto w = install.window();
    const QString folder = install.dir.filePath(QStringLiteral("out"));
    QDir().mkpath(folder);

    // A file the library cannot open: its code 1.
    QVERIFY(!w->SaveTileJpeg(install.dir.filePath(QStringLiteral("no/such/t.jpg")), 50));
    QCOMPARE(log.messages.size(), 1);
    QCOMPARE(log.messages[0].text, QStringLiteral("File Open Error"));
    QCOMPARE(log.messages[0].caption, QStringLiteral("Quilton"));
    QCOMPARE(log.messages[0].icon, QMessageBox::Information);

    // A quality beyond a byte fails without a message.
    QVERIFY(!w->SaveTileJpeg(folder + QStringLiteral("/q.jpg"), 300));
    QCOMPARE(log.messages.size(), 1);
    QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/q.jpg")));

    // The library gone after start-up: it cannot be loaded at the call.
    QVERIFY(QFile::remove(install.system + QStringLiteral("/SaveJPG.so")));
    QVERIFY(!w->SaveTileJpeg(folder + QStringLiteral("/t.jpg"), 50));
    QCOMPARE(log.messages.size(), 2);
    QCOMPARE(log.messages[1].text,
             QStringLiteral("SaveJPG.DLLが見つかりません。別途入手してください。"));
    QCOMPARE(log.messages[1].icon, QMessageBox::Information);
}

void tst_frmmain_output::samplePageFromTheTileMenu_data()
{
    QTest::addColumn<bool>("withLibrary");
    QTest::newRow("with the library") << true;
    QTest::newRow("without the library") << false;
}

void tst_frmmain_output::samplePageFromTheTileMenu()
{
    QFETCH(bool, withLibrary);
    Install install(withLibrary);
    MessageLog log;
    BrowserLog browser;
    auto w = install.window();
    w->setJpegQuality(10);
    QAction* html = tileCommand(*w, QStringLiteral("ＩＥでサンプル表示(&I)"));
    QVERIFY(html);
    html->trigger();

    const QString page = install.program + QStringLiteral("/Sample.html");
    const QString picture = install.program + (withLibrary ? QStringLiteral("/Sample.jpg")
                                                           : QStringLiteral("/Sample.bmp"));
    QCOMPARE(browser.opened, QStringList{page});
    const QByteArray bytes = readAll(page);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 75);
    QCOMPARE(lines[2], QString(QStringLiteral("<body style=\"background-attachment:fixed\" "
                                              "background=\"") +
                               picture + QStringLiteral("\" alink=blue link=pink>")));
    QImageReader reader(picture);
    QCOMPARE(reader.format(), withLibrary ? QByteArray("jpeg") : QByteArray("bmp"));
    const QImage written = reader.read();
    const QImage tile = w->designer().tile(1).convertToFormat(QImage::Format_RGB32);
    if (withLibrary) {
        // Quality 100 whatever the setting: larger than the same tile at 10.
        const QString low = install.dir.filePath(QStringLiteral("low.jpg"));
        QVERIFY(w->SPic(low, nullptr));
        QVERIFY(QFileInfo(picture).size() > QFileInfo(low).size());
        QCOMPARE(written.size(), tile.size());
    } else {
        QCOMPARE(written.convertToFormat(QImage::Format_RGB32), tile);
    }
    QVERIFY(log.messages.isEmpty());
}

void tst_frmmain_output::samplePageForAGivenPicture()
{
    Install install(true);
    BrowserLog browser;
    auto w = install.window();
    const QString given = install.dir.filePath(QStringLiteral("out/source(B).jpg"));
    w->HTML(given);
    QCOMPARE(browser.opened, QStringList{install.program + QStringLiteral("/Sample.html")});
    QVERIFY(readAll(install.program + QStringLiteral("/Sample.html"))
                .contains(QByteArray(QByteArray("background=\"") + given.toUtf8() + '"')));
    QVERIFY(!QFileInfo::exists(install.program + QStringLiteral("/Sample.jpg")));
    QVERIFY(!QFileInfo::exists(install.program + QStringLiteral("/Sample.bmp")));
    QVERIFY(!QFileInfo::exists(given));
}

void tst_frmmain_output::samplePageNotWrittenIsSaidAndNotOpened_data()
{
    QTest::addColumn<bool>("withLibrary");
    QTest::addColumn<QString>("blocked");
    QTest::addColumn<QString>("message");
    QTest::newRow("page") << false << "Sample.html"
                          << "Sample.html";
    QTest::newRow("bmp picture") << false << "Sample.bmp"
                                 << "Sample.bmp";
    QTest::newRow("jpeg picture") << true << "Sample.jpg"
                                  << "File Open Error";
}

void tst_frmmain_output::samplePageNotWrittenIsSaidAndNotOpened()
{
    QFETCH(bool, withLibrary);
    QFETCH(QString, blocked);
    QFETCH(QString, message);
    Install install(withLibrary);
    MessageLog log;
    BrowserLog browser;
    auto w = install.window();
    // A folder in the way cannot be replaced by a file, for root as well.
    QVERIFY(QDir().mkpath(install.program + QLatin1Char('/') + blocked + QStringLiteral("/x")));
    w->HTML(QString());
    QCOMPARE(log.messages.size(), 1);
    QVERIFY2(log.messages[0].text.contains(message), qPrintable(log.messages[0].text));
    QCOMPARE(log.messages[0].caption, QStringLiteral("Quilton"));
    QCOMPARE(log.messages[0].icon, QMessageBox::Information);
    QVERIFY(browser.opened.isEmpty());
}

void tst_frmmain_output::wallpaperSetRestartAndRestore()
{
    Install install(false);
    MessageLog log;
    const QString beach = install.pictures + QStringLiteral("/beach.jpg");
    QVERIFY(patternPicture(10, 10).save(beach, "JPG"));
    install.desktop->applyWallpaper(beach, false, 0, 0);
    install.registry->set(kDesk, QStringLiteral("TileWallpaper"), QStringLiteral("0"));

    const QString own = install.windows + QStringLiteral("/quilton.bmp");
    {
        auto w = install.window();
        QVERIFY(undoButton(*w));
        QVERIFY(!w->wallpaperUndoEnabled());
        QVERIFY(!undoButton(*w)->isEnabled());
        QAction* wall = tileCommand(*w, QStringLiteral("壁紙で並べて表示(&K)"));
        QVERIFY(wall);
        wall->trigger();
        QVERIFY(undoButton(*w)->isEnabled());
        QCOMPARE(QImage(own).convertToFormat(QImage::Format_RGB32),
                 w->designer().tile(1).convertToFormat(QImage::Format_RGB32));
        QCOMPARE(install.registry->get(kDesk, QStringLiteral("Wallpaper")), own);
        QCOMPARE(install.registry->get(kDesk, QStringLiteral("TileWallpaper")),
                 QStringLiteral("1"));
        QCOMPARE(install.registry->get(kDesk, QStringLiteral("WallpaperOriginX")),
                 QStringLiteral("0"));
        QVERIFY(w->close());
    }

    // The next run finds its own picture on the desktop: restore enabled.
    {
        auto w = install.window();
        QVERIFY(undoButton(*w)->isEnabled());
        QTest::mouseClick(undoButton(*w), Qt::LeftButton);
        QVERIFY(!undoButton(*w)->isEnabled());
        QCOMPARE(install.registry->get(kDesk, QStringLiteral("Wallpaper")), beach);
        QCOMPARE(install.registry->get(kDesk, QStringLiteral("TileWallpaper")),
                 QStringLiteral("0"));
        QVERIFY(w->close());
    }

    // With the user's picture back, the restore button starts disabled.
    {
        auto w = install.window();
        QVERIFY(!undoButton(*w)->isEnabled());
        w->setWallpaperFrom(w->designer().tile(2));
        QVERIFY(w->wallpaperUndoEnabled());
        QVERIFY(w->close());
    }
    // The own file named by the desktop but no longer there: disabled.
    QVERIFY(QFile::remove(own));
    {
        auto w = install.window();
        QVERIFY(!undoButton(*w)->isEnabled());
    }
    QVERIFY(log.messages.isEmpty());
}

void tst_frmmain_output::qualityDialogFromTheMenu()
{
    Install install(true);
    MessageLog log;
    auto w = install.window();
    whenModal<frmJpegSet>([](frmJpegSet* d) {
        d->txtPercents()->setText(QStringLiteral("80"));
        d->cmdSet()->click();
    });
    w->mnuJpeg_Click();
    QCOMPARE(w->JpegQuality(), qint16(80));

    // Closed without Set: the quality stays.
    whenModal<frmJpegSet>([](frmJpegSet* d) {
        QCOMPARE(d->txtPercents()->text(), QStringLiteral("80"));
        d->txtPercents()->setText(QStringLiteral("20"));
        d->reject();
    });
    w->mnuJpeg_Click();
    QCOMPARE(w->JpegQuality(), qint16(80));
    QVERIFY(log.messages.isEmpty());
}

QUILTON_TEST_MAIN(tst_frmmain_output)
#include "tst_frmmain_output.moc"
