// The repeat preview: the shown wall is the committed tile repeated, at every
// zoom, with seams only when asked, following the main window live; its
// settings survive a restart; the saved desktop picture is the tile repeated.
#include "TestEnv.h"
#include "support/PictureChecks.h"
#include "support/TestInstall.h"

#include "app/frmMain.h"
#include "app/frmRepeat.h"
#include "app/guiRepeatView.h"

#include <QApplication>
#include <QCheckBox>
#include <QScreen>

#include <functional>

using namespace testsupport;
using RepeatPattern::Zoom;
using testpictures::difference;

namespace {

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

} // namespace

class tst_repeat : public QObject
{
    Q_OBJECT

private slots:
    void zoomsAndSeams()
    {
        // Not square, so that a width taken for a height shows.
        const QImage tile = randomImage(100, 50, 3);
        guiRepeatView view;
        view.resize(457, 333);
        view.setTile(tile);
        for (const int k : {1, 2, 3, 4})
            for (const bool seams : {false, true}) {
                view.setZoom(Zoom(k));
                view.setSeams(seams);
                const QImage picture = grabbed(view), expected = wall(tile, view.size(), k);
                // The seams are exactly the rows and columns where repeats begin.
                for (int y = 0; y < picture.height(); ++y)
                    for (int x = 0; x < picture.width(); ++x) {
                        const bool seam = seams && (x % (100 * k) == 0 || y % (50 * k) == 0);
                        if ((picture.pixel(x, y) != expected.pixel(x, y)) != seam)
                            QFAIL(qPrintable(QString::asprintf("zoom %d, seams %d: pixel %d,%d", k,
                                                               seams, x, y)));
                    }
            }
    }

    // The screen's whole wall fitted into the view: limited by the width, by
    // the height, and a small screen never enlarged.
    void fitScreen()
    {
        const std::tuple<QSize, QSize, QRect> rows[] = {
            {{1920, 1080}, {800, 600}, {0, 75, 800, 450}},
            {{1024, 768}, {800, 384}, {144, 0, 512, 384}},
            {{300, 200}, {640, 480}, {170, 140, 300, 200}}};
        for (const auto& [screen, view, area] : rows) {
            QCOMPARE(RepeatPattern::fitRect(screen, view), area);
            // Detail of a few pixels, like a design: random colours enlarged.
            const QImage tile = randomImage(25, 25, 5).scaled(100, 100);
            guiRepeatView v;
            v.resize(view);
            v.setScreenSize(screen);
            v.setZoom(Zoom::FitScreen);
            v.setTile(tile);
            const QImage picture = grabbed(v);
            // Just outside the area: the surround.
            QCOMPARE(picture.pixel(area.topLeft() - QPoint(area.left() > 0, area.top() > 0)),
                     guiRepeatView::surroundColour().rgb());
            // Never enlarged, the screen shows exactly as the wallpaper would;
            // reduced, as the wallpaper's picture reduced.
            const QImage expected =
                wall(tile, screen, 1)
                    .scaled(area.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            QVERIFY(difference(picture.copy(area), expected).mean <=
                    (area.size() == screen ? 0 : 2));
        }
    }

    void followsTheShownTileAndSavesIt()
    {
        Install install;
        install.installJpegLibrary();
        // A picture without symmetry, so that every tile and effect differs.
        frmMain w(install.context(randomImage(160, 120, 7)));
        frmRepeat& repeat = *w.repeatWindow();
        const auto current = [&w] { return w.designer().tile(w.CurrentTile()); };
        const auto shown = [&repeat] { return grabbed(*repeat.view()); };
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
        QCOMPARE(shown(), wall(current(), repeat.view()->size(), 1));

        // One change of each kind.
        const std::pair<const char*, std::function<void()>> steps[] = {
            {"blur", [&] { w.mnuBokashi_Click(); }},
            {"undo", [&] { w.mnuUndo_Click(); }},
            {"press on tile C", [&] { QTest::mousePress(w.tileBox(2), Qt::LeftButton); }},
            {"emboss by the tile menu's key in the preview",
             [&] { QTest::keyClick(&repeat, Qt::Key_E, Qt::ControlModifier); }},
            {"the batch selects D", [&] { w.picDst_MouseDown(3, 0, 0, 1, 1); }},
            {"chamfer",
             [&] { QTest::mouseClick(w.findChild<QWidget*>("chkMeji"), Qt::LeftButton); }},
            {"half size", [&] { w.findChild<QCheckBox*>("chkHalf")->click(); }},
        };
        for (const auto& [name, step] : steps) {
            const QImage before = shown();
            step();
            QVERIFY2(shown() != before, name);
            QVERIFY2(shown() == wall(current(), repeat.view()->size(), 1), name);
        }
        QCOMPARE(current().size(), QSize(100, 50));

        // The wallpaper button: the shown tile becomes the wallpaper file;
        // the tests' store-only desktop says that the screen did not change.
        Shown log;
        QTest::mouseClick(repeat.findChild<QWidget*>("cmdWall"), Qt::LeftButton);
        QCOMPARE(QImage(install.windows + "/quilton.bmp").convertToFormat(QImage::Format_RGB32),
                 current());
        QCOMPARE(log.messages.size(), 1);
        QVERIFY(!w.wallpaperUndoEnabled());

        // The saved desktop picture is the shown tile repeated over the screen:
        // BMP, PNG whatever the case of its name, JPEG through the library.
        QVERIFY(w.JpegFlag());
        w.setJpegQuality(100);
        w.mnuBlock_Click(); // smooth enough for a JPEG at full quality
        for (const auto& [name, tolerance] :
             {std::pair("wall.bmp", 0), {"wall.PNG", 0}, {"wall.jpg", 4}}) {
            const QString path = install.dir.filePath(name);
            QVERIFY2(repeat.savePicture(path), name);
            const QImage saved(path);
            QCOMPARE(saved.size(), QGuiApplication::primaryScreen()->size());
            QVERIFY2(difference(saved, wall(current(), saved.size(), 1)).mean <= tolerance, name);
        }
    }

    // Never opened, closed, open at the shut-down: the next start shows it
    // again only when it was open, where and as it was.
    void settingsSurviveARestart()
    {
        for (const int state : {0, 1, 2}) {
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
                QVERIFY(w->close() && !repeat.isVisible());
            }
            auto again = install.start();
            QCoreApplication::processEvents();
            frmRepeat& repeat = *again->repeatWindow();
            QCOMPARE(repeat.isVisible(), state == 2);
            if (state == 0) { // opens beside the main window
                again->move(40, 30);
                repeat.showBeside();
                QCOMPARE(repeat.pos(), again->frameGeometry().topRight() + QPoint(8, 0));
                continue;
            }
            QCOMPARE(QRect(repeat.pos(), repeat.size()), QRect(150, 90, 500, 400));
            QVERIFY(repeat.view()->zoom() == Zoom::X3 && repeat.view()->seams());
        }
    }
};

QUILTON_TEST_MAIN(tst_repeat)
#include "tst_repeat.moc"
