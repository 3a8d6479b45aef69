// Quilton, the desktop program: "quilton [/C] [picture]".
//   /C       keep the program folder's copy of SaveJPG.so after installing it
//   picture  a BMP, GIF or JPEG file to start with, as if dropped on the window
#include "app/AppContext.h"
#include "app/QtTranslation.h"
#include "app/frmMain.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] =
    "Usage: quilton [/C] [PICTURE]\n"
    "\n"
    "Opens Quilton (100角化粧タイル図案生成), which designs square decorative wall\n"
    "tiles from a picture.\n"
    "\n"
    "  PICTURE     a BMP, GIF or JPEG file opened at start, as if dropped on the\n"
    "              window (the start-up screen capture is then skipped)\n"
    "  /C          keep a newer SaveJPG.so found beside the program after\n"
    "              installing it into ~/.local/lib at start\n"
    "  -h, --help  this text\n"
    "  --version   the program's version\n"
    "\n"
    "Qt's own options (such as -platform) are taken as well. See quilton(1).\n";

} // namespace

int main(int argc, char** argv)
{
    // Answered before any window system is needed.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("quilton " QUILTON_RELEASE_TEXT "\n", stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quilton"));
    // Ties the windows to the menu entry (Wayland app id, startup feedback).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.quilton.Quilton"));
    QtTranslation::install(app);
    QStringList arguments = QApplication::arguments();
    if (!arguments.isEmpty())
        arguments.removeFirst();

    frmMain window(AppContext::fromSystem(arguments));
    // The start-up shows the window itself when it captured the screen.
    if (!window.isVisible())
        window.show();
    return app.exec();
}
