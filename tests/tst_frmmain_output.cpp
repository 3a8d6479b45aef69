// The main window's output commands over a temporary installation: saving a
// tile by name, the sample page from the tile menu, the wallpaper command
// without a desktop to show it.
#include "TestEnv.h"
#include "support/TestInstall.h"

#include "app/frmMain.h"
#include "platform/Desktop.h"
#include "platform/RegistryStore.h"

#include <QImageReader>
#include <QPushButton>

using namespace testsupport;

namespace {

const QString kDesk = QStringLiteral("Control Panel\\desktop");

// The window over install (with or without the JPEG library) with a picture
// as source, all tiles composed and tile B current.
std::unique_ptr<frmMain> startWithTiles(Install& install, bool withLibrary)
{
    install.writeIni("[Start]\r\nScreenCap=False\r\n");
    if (withLibrary)
        install.installJpegLibrary();
    auto w = install.start();
    w->designer().setSource(randomImage(120, 90, 1));
    w->cmdExec_Click(-1);
    w->picDst_MouseDown(1, 1, 0, 10.f, 10.f);
    return w;
}

QImage tileB(frmMain& w)
{
    return w.designer().tile(1).convertToFormat(QImage::Format_RGB32);
}

QImage readRgb(const QString& path, const QByteArray& format)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.format() == format ? reader.read().convertToFormat(QImage::Format_RGB32)
                                     : QImage();
}

QPushButton* undoButton(const frmMain& w)
{
    return w.findChild<QPushButton*>(QStringLiteral("cmdUndo"));
}

} // namespace

class tst_frmmain_output : public QObject
{
    Q_OBJECT

private slots:
    // The format by the name alone: JPEG for .jpg in any case with the
    // library, BMP otherwise; no extension is added.
    void sPicChoosesFormatByNameAlone()
    {
        const std::tuple<QString, bool, QByteArray> rows[] = {{"TILE.JPG", true, "jpeg"},
                                                              {"tile.jpeg", true, "bmp"},
                                                              {"tile", true, "bmp"},
                                                              {"tile.jpg", false, "bmp"}};
        for (const auto& [name, withLibrary, format] : rows) {
            Install install;
            Shown log;
            auto w = startWithTiles(install, withLibrary);
            const QImage before = tileB(*w);
            w->mnuGray_Click();
            const QString out = install.dir.filePath(QStringLiteral("out"));
            QDir().mkpath(out);
            QString error;
            QVERIFY2(w->SPic(QString(out + '/' + name), &error), qPrintable(error));
            QCOMPARE(QDir(out).entryList(QDir::Files), QStringList{name});
            const QImage saved = readRgb(QString(out + '/' + name), format);
            QCOMPARE(saved.size(), before.size());
            if (format == "bmp") // the tile after the effect
                QVERIFY(saved == tileB(*w) && saved != before);
            // A failed write is for the caller to tell.
            QVERIFY(!w->SPic(install.dir.filePath(QStringLiteral("missing/t.bmp")), &error));
            QVERIFY(error.contains(QStringLiteral("missing/t.bmp")));
            QVERIFY(log.messages.isEmpty());
        }
    }

    // Blocked: a folder in the way of that file (root cannot replace it
    // either); the JPEG writer's own message, and the page still opens.
    void samplePageFromTheTileMenu()
    {
        const std::tuple<bool, QString, QString> rows[] = {
            {true, {}, {}},
            {false, {}, {}},
            {false, "Sample.html", "Sample.html\n同じ名前のフォルダがあります。"},
            {false, "Sample.bmp", "Sample.bmp\n同じ名前のフォルダがあります。"},
            {true, "Sample.jpg", "File Open Error"}};
        for (const auto& [withLibrary, blocked, message] : rows) {
            Install install;
            Shown log;
            auto w = startWithTiles(install, withLibrary);
            w->setJpegQuality(10);
            QVERIFY(blocked.isEmpty() || QDir().mkpath(install.program + '/' + blocked + "/x"));
            findAction(*w, QStringLiteral("ＩＥでサンプル表示(&I)"))->trigger();
            const QString page = install.program + QStringLiteral("/Sample.html");
            const QString picture = install.program + (withLibrary ? "/Sample.jpg" : "/Sample.bmp");
            if (!blocked.isEmpty()) {
                QCOMPARE(log.messages.size(), 1);
                QVERIFY2(log.messages[0].text.contains(message), qPrintable(log.messages[0].text));
                QCOMPARE(log.messages[0].icon, QMessageBox::Information);
                QCOMPARE(log.opened, withLibrary ? QStringList{page} : QStringList());
                continue;
            }
            QCOMPARE(log.opened, QStringList{page});
            QVERIFY(
                readAll(page).contains(QString(" background=\"file://" + picture + '"').toUtf8()));
            const QImage shown = readRgb(picture, withLibrary ? "jpeg" : "bmp");
            QCOMPARE(shown.size(), QSize(100, 100));
            if (withLibrary) {
                // Quality 100 whatever the setting: larger than the same tile at 10.
                const QString low = install.dir.filePath(QStringLiteral("low.jpg"));
                QVERIFY(w->SPic(low, nullptr));
                QVERIFY(QFileInfo(picture).size() > QFileInfo(low).size());
            } else {
                QCOMPARE(shown, tileB(*w));
            }
            QVERIFY(log.messages.isEmpty());
        }
    }

    // Without a desktop that can show it (the store only), the wallpaper
    // command says so and offers nothing to undo. Real desktops:
    // tst_desktops.
    void wallpaperWithoutADesktopIsReported()
    {
        Install install;
        Shown log;
        auto w = startWithTiles(install, false);
        findAction(*w, QStringLiteral("壁紙で並べて表示(&K)"))->trigger();
        QVERIFY(!undoButton(*w)->isEnabled());
        QCOMPARE(readRgb(install.windows + QStringLiteral("/quilton.bmp"), "bmp"), tileB(*w));
        QCOMPARE(log.messages.size(), 1);
        QCOMPARE(log.messages[0].caption, QStringLiteral("cWallSet Class"));
        QCOMPARE(log.messages[0].icon, QMessageBox::Critical);
        QVERIFY(!undoButton(*startWithTiles(install, false))->isEnabled());
    }
};

QUILTON_TEST_MAIN(tst_frmmain_output)
#include "tst_frmmain_output.moc"
