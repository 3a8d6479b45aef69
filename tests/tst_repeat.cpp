// The repeat preview: the shown wall is the committed tile repeated, at every
// zoom, with seams only when asked, following the main window live; its
// settings survive a restart; the saved desktop picture is the tile repeated.
#include "TestEnv.h"
#include "support/PictureChecks.h"
#include "support/TestInstall.h"

#include "app/frmMain.h"
#include "app/frmRepeat.h"
#include "app/guiMessage.h"
#include "app/guiRepeatView.h"
#include "app/inifile_IO.h"

#include <QApplication>
#include <QCheckBox>
#include <QScreen>

#include <functional>

using namespace testsupport;
using RepeatPattern::Zoom;

namespace {

// A picture without symmetry, so that every tile and effect differs.
const QImage kPicture = randomImage(160, 120, 7);

// The oracle: tile repeated from the top-left corner, each pixel factor x
// factor, over size.
QImage wall(const QImage& tile, const QSize& size, int factor)
{
    QImage out(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            out.setPixel(x, y, tile.pixel(x / factor % tile.width(), y / factor % tile.height()));
    return out;
}

QImage grabbed(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage shown(const frmRepeat& repeat)
{
    return grabbed(*repeat.view());
}

QImage current(frmMain& w)
{
    return w.designer().tile(w.CurrentTile());
}

} // namespace

class tst_repeat : public QObject
{
    Q_OBJECT

private slots:
    void zoomsAndSeams_data()
    {
        QTest::addColumn<Zoom>("zoom");
        QTest::addColumn<bool>("seams");
        for (const Zoom zoom : {Zoom::X1, Zoom::X2, Zoom::X3, Zoom::X4})
            for (const bool seams : {false, true})
                QTest::addRow("%dx%s", int(zoom), seams ? " with seams" : "") << zoom << seams;
    }

    void zoomsAndSeams()
    {
        QFETCH(Zoom, zoom);
        QFETCH(bool, seams);
        // Not square, so that a width taken for a height shows.
        const QImage tile = randomImage(100, 50, 3);
        guiRepeatView view;
        view.resize(457, 333);
        view.setTile(tile);
        view.setZoom(zoom);
        view.setSeams(seams);
        const QImage picture = grabbed(view);
        const int k = int(zoom);
        const QImage expected = wall(tile, view.size(), k);
        QVERIFY(seams || picture == expected);
        // The seams are exactly the rows and columns where repeats begin.
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const bool seam = seams && (x % (100 * k) == 0 || y % (50 * k) == 0);
                if ((picture.pixel(x, y) != expected.pixel(x, y)) != seam)
                    QFAIL(qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
            }
    }

    void fitScreen_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("view");
        QTest::addColumn<QRect>("area");
        QTest::addColumn<double>("maxMean"); // mean difference per channel
        QTest::newRow("wide screen reduced")
            << QSize(1920, 1080) << QSize(800, 600) << QRect(0, 75, 800, 450) << 2.0;
        QTest::newRow("tall view")
            << QSize(1024, 768) << QSize(512, 768) << QRect(0, 192, 512, 384) << 2.0;
        QTest::newRow("quarter") << QSize(2400, 1600) << QSize(600, 600) << QRect(0, 100, 600, 400)
                                 << 2.0;
        QTest::newRow("never enlarged")
            << QSize(300, 200) << QSize(640, 480) << QRect(170, 140, 300, 200) << 0.0;
    }

    void fitScreen()
    {
        QFETCH(QSize, screen);
        QFETCH(QSize, view);
        QFETCH(QRect, area);
        QFETCH(double, maxMean);
        QCOMPARE(RepeatPattern::fitRect(screen, view), area);
        // Detail of a few pixels, like a design: random colours enlarged.
        const QImage tile = randomImage(25, 25, 5).scaled(100, 100);
        guiRepeatView v;
        v.resize(view);
        v.setScreenSize(screen);
        v.setZoom(Zoom::FitScreen);
        v.setTile(tile);
        const QImage picture = grabbed(v);
        QCOMPARE(picture.pixel(area.left() - 1 + (area.left() == 0), area.top() - 1),
                 guiRepeatView::surroundColour().rgb());
        // At full size the screen shows exactly as the wallpaper would;
        // reduced, as the wallpaper's picture reduced.
        const QImage expected =
            wall(tile, screen, 1)
                .scaled(area.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QVERIFY(testpictures::difference(picture.copy(area), expected).mean <= maxMean);
    }

    void followsEveryChangeOfTheShownTileAndHasTheTileMenusKeys()
    {
        Install install;
        frmMain w(install.context(kPicture));
        frmRepeat& repeat = *w.repeatWindow();
        QVERIFY(!repeat.isVisible());
        QTest::mouseDClick(w.tileBox(1), Qt::LeftButton);
        QVERIFY(repeat.isVisible());
        QCOMPARE(w.CurrentTile(), qint16(1));
        QVERIFY(repeat.windowTitle().contains(QStringLiteral("タイルB")));
        for (const bool visible : {false, true}) {
            QTest::keyClick(&w, Qt::Key_T, Qt::ControlModifier);
            QCOMPARE(repeat.isVisible(), visible);
        }
        repeat.resize(420, 300);
        QCOMPARE(shown(repeat), wall(current(w), repeat.view()->size(), 1));

        const std::pair<const char*, std::function<void()>> steps[] = {
            {"blur", [&] { w.mnuBokashi_Click(); }},
            {"brightness from the batch", [&] { QVERIFY(w.CLight(20)); }},
            {"press on tile C", [&] { QTest::mousePress(w.tileBox(2), Qt::LeftButton); }},
            {"emboss on C", [&] { w.mnuEnboss_Click(); }},
            {"undo", [&] { w.mnuUndo_Click(); }},
            {"emboss by the tile menu's key in the preview",
             [&] { QTest::keyClick(&repeat, Qt::Key_E, Qt::ControlModifier); }},
            {"the batch selects D", [&] { w.picDst_MouseDown(3, 0, 0, 1, 1); }},
            {"chamfer",
             [&] { QTest::mouseClick(w.findChild<QWidget*>("chkMeji"), Qt::LeftButton); }},
            {"half size", [&] { w.findChild<QCheckBox*>("chkHalf")->click(); }},
            {"gray at half size", [&] { w.mnuGray_Click(); }},
        };
        for (const auto& [name, step] : steps) {
            const QImage before = shown(repeat);
            step();
            const QImage after = shown(repeat);
            QVERIFY2(after != before, name);
            QVERIFY2(after == wall(current(w), repeat.view()->size(), 1), name);
        }
        QCOMPARE(current(w).size(), QSize(100, 50));

        // The wallpaper button: the shown tile becomes the wallpaper file;
        // the tests' store-only desktop says that the screen did not change.
        testsupport::Shown log;
        QTest::mouseClick(repeat.findChild<QWidget*>("cmdWall"), Qt::LeftButton);
        QCOMPARE(QImage(install.windows + "/quilton.bmp").convertToFormat(QImage::Format_RGB32),
                 current(w));
        QCOMPARE(log.messages.size(), 1);
        QVERIFY(!w.wallpaperUndoEnabled());
    }

    void settingsSurviveARestart_data()
    {
        QTest::addColumn<int>("state");
        QTest::newRow("never opened") << 0;
        QTest::newRow("closed") << 1;
        QTest::newRow("open") << 2;
    }

    void settingsSurviveARestart()
    {
        QFETCH(int, state);
        Install install;
        install.writeIni("[Start]\r\nScreenCap=False\r\n");
        {
            auto w = install.start();
            frmRepeat& repeat = *w->repeatWindow();
            if (state > 0) {
                repeat.showBeside();
                repeat.move(150, 90);
                repeat.resize(500, 400);
                repeat.setZoom(Zoom::X3);
                repeat.setSeams(true);
            }
            if (state == 1)
                repeat.close();
            QVERIFY(w->close());
            QVERIFY(!repeat.isVisible());
        }
        inifile_IO ini;
        ini.setFileName(install.ini());
        QCOMPARE(ini.ReadStr("RepeatView", "Left", {}), QString(state ? "2250" : ""));
        QCOMPARE(ini.ReadStr("RepeatView", "Open", {}), QString(state == 2 ? "True" : "False"));

        auto again = install.start();
        QCoreApplication::processEvents();
        frmRepeat& repeat = *again->repeatWindow();
        QCOMPARE(repeat.isVisible(), state == 2);
        if (state == 0) { // opens beside the main window
            again->move(40, 30);
            repeat.showBeside();
            QCOMPARE(repeat.pos(), again->frameGeometry().topRight() + QPoint(8, 0));
            return;
        }
        QCOMPARE(ini.ReadStr("RepeatView", "Zoom", {}), QStringLiteral("3"));
        QCOMPARE(repeat.pos(), QPoint(150, 90));
        QCOMPARE(repeat.size(), QSize(500, 400));
        QCOMPARE(repeat.view()->zoom(), Zoom::X3);
        QVERIFY(repeat.view()->seams());
    }

    void savedDesktopPictureIsTheTileRepeated_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("tolerance"); // mean difference per channel
        QTest::newRow("BMP") << "wall.bmp" << 0;
        QTest::newRow("PNG, any case") << "wall.PNG" << 0;
        QTest::newRow("JPEG through the library") << "wall.jpg" << 4;
    }

    void savedDesktopPictureIsTheTileRepeated()
    {
        QFETCH(QString, name);
        QFETCH(int, tolerance);
        Install install;
        install.installJpegLibrary();
        frmMain w(install.context(kPicture));
        QVERIFY(w.JpegFlag());
        w.setJpegQuality(100);
        w.picDst_MouseDown(2, 0, 0, 1, 1);
        w.mnuBlock_Click(); // smooth enough for a JPEG at full quality
        frmRepeat& repeat = *w.repeatWindow();
        const QString path = install.dir.filePath(name);
        QVERIFY(repeat.savePicture(path));
        const QImage saved = QImage(path).convertToFormat(QImage::Format_RGB32);
        const QImage expected = wall(current(w), repeat.screenPixels(), 1);
        QCOMPARE(saved.size(), QGuiApplication::primaryScreen()->size());
        QVERIFY(testpictures::difference(saved, expected).mean <= tolerance);
    }
};

QUILTON_TEST_MAIN(tst_repeat)
#include "tst_repeat.moc"
