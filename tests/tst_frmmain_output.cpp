// The main window's output commands over a temporary installation: saving a
// tile by name and through the dialog, the sample page from the tile menu,
// the wallpaper and its restore button across a restart, the quality dialog.
#include "TestEnv.h"
#include "support/TestInstall.h"

#include "app/frmMain.h"
#include "app/guiMessage.h"
#include "batch/frmBatch.h"
#include "output/frmJpegSet.h"
#include "platform/Browser.h"
#include "platform/Desktop.h"
#include "platform/RegistryStore.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QImageReader>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>

using testsupport::findAction;
using testsupport::Install;

namespace {

const QString kDesk = QStringLiteral("Control Panel\\desktop");

// The window over install (with or without the JPEG library) with a picture
// loaded, all tiles composed and tile B current.
std::unique_ptr<frmMain> startWithTiles(Install& install, bool withLibrary)
{
    install.writeIni("[Start]\r\nScreenCap=False\r\n");
    if (withLibrary)
        install.installJpegLibrary();
    const QString source = install.dir.filePath(QStringLiteral("source.bmp"));
    testsupport::randomImage(120, 90, 1).save(source);
    auto w = install.start();
    QString error;
    if (!w->loadSource(source, &error))
        qWarning() << "source not loaded:" << error;
    w->cmdExec_Click(-1);
    w->picDst_MouseDown(1, 1, 0, 10.f, 10.f);
    return w;
}

QImage tileB(frmMain& w)
{
    return w.designer().tile(1).convertToFormat(QImage::Format_RGB32);
}

// The messages shown and the pages opened while it lives.
struct Shown
{
    QList<guiMessage::Message> messages;
    QStringList opened;
    Shown()
    {
        guiMessage::setCapture([this](const guiMessage::Message& m) { messages.append(m); });
        Browser::setOpener([this](const QString& page) { opened << page; });
    }
    ~Shown()
    {
        guiMessage::setCapture(nullptr);
        Browser::setOpener(nullptr);
    }
};

// Runs action on the modal dialog of type T as soon as it is shown.
template <typename T> void whenModal(std::function<void(T*)> action)
{
    QTimer::singleShot(0, [action] {
        if (T* dialog = qobject_cast<T*>(QApplication::activeModalWidget()))
            return action(dialog);
        qWarning("no modal dialog of the expected type");
        if (QWidget* other = QApplication::activeModalWidget())
            other->close();
    });
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
    void sPicAndQualityDialogs();
    void samplePageFromTheTileMenu_data();
    void samplePageFromTheTileMenu();
    void samplePageNotWrittenIsSaidAndNotOpened_data();
    void samplePageNotWrittenIsSaidAndNotOpened();
    void wallpaperSetRestartAndRestore();
};

void tst_frmmain_output::sPicWithNameChoosesFormatByNameAlone_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("withLibrary");
    QTest::addColumn<QByteArray>("format");
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
    Install install;
    Shown log;
    auto w = startWithTiles(install, withLibrary);
    const QImage before = tileB(*w);
    w->mnuGray_Click();
    QVERIFY(tileB(*w) != before);

    const QString out = install.dir.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    QString error;
    QVERIFY2(w->SPic(out + QLatin1Char('/') + name, &error), qPrintable(error));
    QCOMPARE(QDir(out).entryList(QDir::Files), QStringList{name}); // no extension added
    QImageReader reader(out + QLatin1Char('/') + name);
    reader.setDecideFormatFromContent(true);
    QCOMPARE(reader.format(), format);
    const QImage saved = reader.read().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(saved.size(), before.size());
    if (format == "bmp")
        QCOMPARE(saved, tileB(*w)); // the tile after the effect

    // A failed write is for the caller to tell.
    QVERIFY(!w->SPic(install.dir.filePath(QStringLiteral("missing/t.bmp")), &error));
    QVERIFY(error.contains(QStringLiteral("missing/t.bmp")));
    QVERIFY(log.messages.isEmpty());
}

void tst_frmmain_output::sPicAndQualityDialogs()
{
    Install install;
    auto w = startWithTiles(install, true);
    const QString target = install.dir.filePath(QStringLiteral("chosen folder"));
    QDir().mkpath(target);
    w->setSaveFolder(QString()); // the dialog starts in the program folder
    QStringList filters;
    QString directory;
    whenModal<QFileDialog>([&](QFileDialog* d) {
        filters = d->nameFilters();
        directory = d->directory().absolutePath();
        QCOMPARE(d->selectedNameFilter(), QStringLiteral("ＢＭＰ (*.bmp)"));
        d->selectFile(target + QStringLiteral("/no extension"));
        static_cast<QDialog*>(d)->accept(); // QFileDialog::accept, through the public slot
    });
    w->mnuSave_Click();
    QCOMPARE(filters,
             (QStringList{QStringLiteral("ＢＭＰ (*.bmp)"), QStringLiteral("ＪＰＧ (*.jpg)")}));
    QCOMPARE(directory, install.program);
    // Saved under exactly the typed name, as BMP; the save folder follows.
    QCOMPARE(QImage(target + QStringLiteral("/no extension")).convertToFormat(QImage::Format_RGB32),
             tileB(*w));
    QCOMPARE(w->SaveFolder(), target);
    QCOMPARE(w->batchWindow()->folder(1), target);

    // The quality dialog's Set reaches the window.
    whenModal<frmJpegSet>([](frmJpegSet* d) {
        d->txtPercents()->setText(QStringLiteral("80"));
        d->cmdSet()->click();
    });
    w->mnuJpeg_Click();
    QCOMPARE(w->JpegQuality(), qint16(80));
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
    Install install;
    Shown log;
    auto w = startWithTiles(install, withLibrary);
    w->setJpegQuality(10);
    QAction* html = findAction(*w, QStringLiteral("ＩＥでサンプル表示(&I)"));
    QVERIFY(html);
    html->trigger();

    const QString page = install.program + QStringLiteral("/Sample.html");
    const QString picture = install.program + (withLibrary ? QStringLiteral("/Sample.jpg")
                                                           : QStringLiteral("/Sample.bmp"));
    QCOMPARE(log.opened, QStringList{page});
    const QByteArray bytes = testsupport::readAll(page);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 75); // 74 lines, the last one ended too
    QVERIFY(lines[2].contains(QString(QStringLiteral(" background=\"") + picture + '"')));
    QImageReader reader(picture);
    QCOMPARE(reader.format(), withLibrary ? QByteArray("jpeg") : QByteArray("bmp"));
    if (withLibrary) {
        // Quality 100 whatever the setting: larger than the same tile at 10.
        const QString low = install.dir.filePath(QStringLiteral("low.jpg"));
        QVERIFY(w->SPic(low, nullptr));
        QVERIFY(QFileInfo(picture).size() > QFileInfo(low).size());
    } else {
        QCOMPARE(reader.read().convertToFormat(QImage::Format_RGB32), tileB(*w));
    }

    // A given picture: named on the page, and nothing written for it.
    QVERIFY(QFile::remove(picture));
    const QString given = install.dir.filePath(QStringLiteral("out/source(B).jpg"));
    w->HTML(given);
    QCOMPARE(log.opened, (QStringList{page, page}));
    QVERIFY(QString::fromUtf8(testsupport::readAll(page))
                .contains(QString(QStringLiteral(" background=\"") + given + '"')));
    QVERIFY(!QFileInfo::exists(picture) && !QFileInfo::exists(given));
    QVERIFY(log.messages.isEmpty());
}

void tst_frmmain_output::samplePageNotWrittenIsSaidAndNotOpened_data()
{
    QTest::addColumn<bool>("withLibrary");
    QTest::addColumn<QString>("blocked");
    QTest::addColumn<QString>("message");
    const auto row = [](const char* blocked, bool withLibrary, const char* message) {
        QTest::newRow(blocked) << withLibrary << QString::fromUtf8(blocked)
                               << QString::fromUtf8(message);
    };
    row("Sample.html", false, "Sample.html");
    row("Sample.bmp", false, "Sample.bmp");
    row("Sample.jpg", true, "File Open Error");
}

void tst_frmmain_output::samplePageNotWrittenIsSaidAndNotOpened()
{
    QFETCH(bool, withLibrary);
    QFETCH(QString, blocked);
    QFETCH(QString, message);
    Install install;
    Shown log;
    auto w = startWithTiles(install, withLibrary);
    // A folder in the way cannot be replaced by a file, for root as well.
    QVERIFY(QDir().mkpath(install.program + QLatin1Char('/') + blocked + QStringLiteral("/x")));
    w->HTML(QString());
    QCOMPARE(log.messages.size(), 1);
    QVERIFY2(log.messages[0].text.contains(message), qPrintable(log.messages[0].text));
    QCOMPARE(log.messages[0].icon, QMessageBox::Information);
    QVERIFY(log.opened.isEmpty());
}

void tst_frmmain_output::wallpaperSetRestartAndRestore()
{
    Install install;
    Shown log;
    const QString beach = install.dir.filePath(QStringLiteral("beach.jpg"));
    QVERIFY(testsupport::flatImage(10, 10, qRgb(1, 2, 3)).save(beach, "JPG"));
    install.desktop->applyWallpaper(beach, false, 0, 0);
    install.registry->set(kDesk, QStringLiteral("TileWallpaper"), QStringLiteral("0"));
    {
        auto w = startWithTiles(install, false);
        QVERIFY(undoButton(*w) && !undoButton(*w)->isEnabled());
        findAction(*w, QStringLiteral("壁紙で並べて表示(&K)"))->trigger();
        QVERIFY(undoButton(*w)->isEnabled());
        QCOMPARE(QImage(install.windows + QStringLiteral("/quilton.bmp"))
                     .convertToFormat(QImage::Format_RGB32),
                 tileB(*w));
        QCOMPARE(install.registry->get(kDesk, QStringLiteral("TileWallpaper")),
                 QStringLiteral("1"));
        QVERIFY(w->close());
    }
    // The next run finds its own picture on the desktop: restore enabled.
    {
        auto w = startWithTiles(install, false);
        QVERIFY(undoButton(*w)->isEnabled());
        QTest::mouseClick(undoButton(*w), Qt::LeftButton);
        QVERIFY(!undoButton(*w)->isEnabled());
        QCOMPARE(install.registry->get(kDesk, QStringLiteral("Wallpaper")), beach);
        w->setWallpaperFrom(w->designer().tile(2));
        QVERIFY(w->close());
    }
    // The own file named by the desktop but no longer there: disabled.
    QVERIFY(QFile::remove(install.windows + QStringLiteral("/quilton.bmp")));
    QVERIFY(!undoButton(*startWithTiles(install, false))->isEnabled());
    QVERIFY(log.messages.isEmpty());
}

QUILTON_TEST_MAIN(tst_frmmain_output)
#include "tst_frmmain_output.moc"
