#include "platform/Desktop.h"
#include "platform/DesktopBackends.h"

#include <QStandardPaths>

std::unique_ptr<Desktop> makeDesktop(RegistryStore& store)
{
    // XDG_CURRENT_DESKTOP is a colon-separated list such as "ubuntu:GNOME".
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP")
                                     .toUpper()
                                     .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    auto names = [&desktops](const char* name) {
        for (const QString& d : desktops) {
            if (d.contains(QLatin1String(name)))
                return true;
        }
        return false;
    };

    if (names("GNOME")) {
        const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
        if (!gsettings.isEmpty())
            return DesktopBackends::makeGnome(store, gsettings);
    }
    if (names("XFCE")) {
        const QString xfconf = QStandardPaths::findExecutable(QStringLiteral("xfconf-query"));
        if (!xfconf.isEmpty())
            return DesktopBackends::makeXfce(store, xfconf);
    }
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        const QString feh = QStandardPaths::findExecutable(QStringLiteral("feh"));
        if (!feh.isEmpty())
            return DesktopBackends::makeFeh(
                store, feh, QStandardPaths::findExecutable(QStringLiteral("xsetroot")));
    }
    return makeStoreOnlyDesktop(store);
}
