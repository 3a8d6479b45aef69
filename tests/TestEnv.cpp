#include "TestEnv.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>

namespace testenv {

namespace {
QTemporaryDir* g_home = nullptr;
}

void isolateHome()
{
    g_home = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/quilton-test-XXXXXX"));
    const QByteArray home = g_home->path().toLocal8Bit();
    setenv("HOME", home.constData(), 1);
    setenv("XDG_CONFIG_HOME", QByteArray(home + "/.config").constData(), 1);
    setenv("XDG_DATA_HOME", QByteArray(home + "/.local/share").constData(), 1);
    setenv("XDG_CACHE_HOME", QByteArray(home + "/.cache").constData(), 1);
    setenv("XDG_RUNTIME_DIR", home.constData(), 1);
    // No desktop session: the program falls back to its store-only desktop.
    unsetenv("XDG_CURRENT_DESKTOP");
    unsetenv("DESKTOP_SESSION");
    unsetenv("GNOME_DESKTOP_SESSION_ID");
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QDir().mkpath(QString::fromLocal8Bit(home) + QStringLiteral("/.config"));
    QDir().mkpath(QString::fromLocal8Bit(home) + QStringLiteral("/.local/share"));
}

QString homeDir()
{
    return g_home ? g_home->path() : QString();
}

void removeHome()
{
    delete g_home; // QTemporaryDir removes the folder and all it holds
    g_home = nullptr;
}

} // namespace testenv
