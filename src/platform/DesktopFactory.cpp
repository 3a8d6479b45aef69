#include "platform/Desktop.h"
#include "platform/DesktopBackends.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <unistd.h>

namespace {

using DesktopBackends::GSettingsDesktop;

enum class Session { Unknown, Kde, Xfce, Mate, Cinnamon, Gnome };

// XDG_CURRENT_DESKTOP is a colon-separated list such as "ubuntu:GNOME" or
// "X-Cinnamon"; the first name known here wins.
Session sessionNamed(const QString& names)
{
    const QStringList desktops = names.toUpper().split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& d : desktops) {
        if (d.contains(QLatin1String("KDE")))
            return Session::Kde;
        if (d.contains(QLatin1String("XFCE")))
            return Session::Xfce;
        if (d.contains(QLatin1String("MATE")))
            return Session::Mate;
        if (d.contains(QLatin1String("CINNAMON")))
            return Session::Cinnamon;
        if (d.contains(QLatin1String("GNOME")) || d.contains(QLatin1String("UNITY")) ||
            d.contains(QLatin1String("BUDGIE")))
            return Session::Gnome;
    }
    return Session::Unknown;
}

// Without a known XDG_CURRENT_DESKTOP (a session started by hand, an old
// display manager, a desktop mixing parts of others): the desktop whose shell
// runs under this user.
Session sessionRunning()
{
    const QList<std::pair<const char*, Session>> shells{
        {"plasmashell", Session::Kde},    {"xfdesktop", Session::Xfce},
        {"xfce4-session", Session::Xfce}, {"mate-session", Session::Mate},
        {"caja", Session::Mate},          {"cinnamon", Session::Cinnamon},
        {"gnome-shell", Session::Gnome}};
    const uint uid = uint(getuid());
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    Session found = Session::Unknown;
    for (const QString& pid : pids) {
        bool number = false;
        pid.toUInt(&number);
        if (!number)
            continue;
        const QString folder = QLatin1String("/proc/") + pid;
        if (QFileInfo(folder).ownerId() != uid)
            continue;
        QFile comm(folder + QLatin1String("/comm"));
        if (!comm.open(QIODevice::ReadOnly))
            continue;
        const QByteArray name = comm.readAll().trimmed();
        for (const auto& [shell, session] : shells) {
            // The earlier in the list, the surer: Cinnamon and MATE also run
            // parts of GNOME.
            if (name == shell && (found == Session::Unknown || int(session) < int(found)))
                found = session;
        }
    }
    return found;
}

QString helper(const char* name)
{
    return QStandardPaths::findExecutable(QLatin1String(name));
}

} // namespace

std::unique_ptr<Desktop> makeDesktop(RegistryStore& store)
{
    Session session = sessionNamed(qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
    if (session == Session::Unknown)
        session = sessionRunning();

    switch (session) {
    case Session::Kde:
        if (const QString dbusSend = helper("dbus-send"); !dbusSend.isEmpty())
            return DesktopBackends::makeKde(store, dbusSend);
        break;
    case Session::Xfce:
        if (const QString xfconf = helper("xfconf-query"); !xfconf.isEmpty())
            return DesktopBackends::makeXfce(store, xfconf);
        break;
    case Session::Mate:
    case Session::Cinnamon:
    case Session::Gnome:
        if (const QString gsettings = helper("gsettings"); !gsettings.isEmpty())
            return DesktopBackends::makeGSettings(store,
                                                  session == Session::Mate ? GSettingsDesktop::Mate
                                                  : session == Session::Cinnamon
                                                      ? GSettingsDesktop::Cinnamon
                                                      : GSettingsDesktop::Gnome,
                                                  gsettings);
        break;
    case Session::Unknown:
        break;
    }
    // feh paints an X11 root window; under a Wayland compositor that would be
    // XWayland's, which nobody sees.
    if (!qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariable("XDG_SESSION_TYPE") != QLatin1String("wayland")) {
        if (const QString feh = helper("feh"); !feh.isEmpty())
            return DesktopBackends::makeFeh(store, feh, helper("xsetroot"),
                                            QDir::homePath() + QLatin1String("/.fehbg"));
    }
    return makeStoreOnlyDesktop(store);
}
