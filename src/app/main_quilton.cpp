// Quilton, the desktop program: "quilton [/C] [picture]".
//   /C       keep the program folder's copy of SaveJPG.so after installing it
//   picture  a BMP, GIF or JPEG file to start with, as if dropped on the window
#include "app/AppContext.h"
#include "app/frmMain.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quilton"));
    QStringList arguments = QApplication::arguments();
    if (!arguments.isEmpty())
        arguments.removeFirst();

    frmMain window(AppContext::fromSystem(arguments));
    // The start-up shows the window itself when it captured the screen.
    if (!window.isVisible())
        window.show();
    return app.exec();
}
