// The start-up screen capture on a real X screen (run under xvfb-run): the
// root window is painted one known colour, and the captured screen must come
// in as the source picture with the four tiles composed from it.
#include "TestEnv.h"
#include "support/TestInstall.h"

#include "app/frmMain.h"

#include <QApplication>
#include <QScreen>

#include <cstdlib>

namespace {

// Only a display made by xvfb-run (its own authority file) is painted: the
// root window of a real desktop is never touched. The harness falls back to
// the offscreen platform, which has no screen to grab, so with such a
// display this test asks for the X11 one. Runs before main().
const bool kUnderXvfb = [] {
    const char* display = std::getenv("DISPLAY");
    const char* authority = std::getenv("XAUTHORITY");
    const bool xvfb =
        display && *display && authority && QByteArray(authority).contains("xvfb-run");
    if (xvfb)
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    return xvfb;
}();

constexpr QRgb kRootColour = 0xff3366cc;

} // namespace

class tst_xvfb_capture : public QObject
{
    Q_OBJECT

private slots:
    void startUpCapturesTheRootWindow();
};

void tst_xvfb_capture::startUpCapturesTheRootWindow()
{
    if (!kUnderXvfb || QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs the X display of xvfb-run");
    // xsetroot: x11-xserver-utils (scripts/deps.sh test).
    QCOMPARE(QProcess::execute(QStringLiteral("xsetroot"), {"-solid", "#3366cc"}), 0);

    // The real capture, over an installation of the test's own.
    testsupport::Install install;
    AppContext context = install.context();
    context.captureScreen = AppContext::fromSystem({}).captureScreen;

    // The grab covers the whole screen at its pixel size.
    const QImage screen = context.captureScreen();
    QScreen* primary = QGuiApplication::primaryScreen();
    QCOMPARE(screen.size(), primary->geometry().size() * primary->devicePixelRatio());
    QCOMPARE(screen.pixel(screen.width() / 2, screen.height() / 2) | 0xff000000, kRootColour);

    frmMain w(context);
    QVERIFY(w.isVisible());
    // One colour in: A and B keep it, C is black, D white.
    for (const auto& [tile, colour] : {std::pair{1, kRootColour}, {2, 0xff000000}, {3, 0xffffffff}})
        QCOMPARE(w.designer().tile(tile), testsupport::flatImage(100, 100, colour));
}

QUILTON_TEST_MAIN(tst_xvfb_capture)
#include "tst_xvfb_capture.moc"
