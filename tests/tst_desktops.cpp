// The wallpaper on real desktops: each row starts its own X screen (Xvfb) and
// D-Bus session, with the desktop's own programs in them (xfconfd and
// xfdesktop; gsettings over dconf for GNOME, MATE and Cinnamon; feh on the
// root window), sets tiles from the main window and puts the user's wallpaper
// back, compared value for value and pixel for pixel.
#include "TestEnv.h"
#include "support/TestInstall.h"

#include "app/frmMain.h"
#include "app/guiMessage.h"
#include "platform/Desktop.h"
#include "platform/DesktopBackends.h"
#include "platform/RegistryStore.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QProcess>
#include <QPushButton>
#include <QThread>
#include <QtEndian>

#include <poll.h>
#include <sys/prctl.h>

#include <csignal>
#include <unistd.h>

using namespace testsupport;
using DesktopBackends::GSettingsDesktop;

namespace {

// A program on the path, or xfconfd where Debian keeps it.
QString tool(const char* name)
{
    QStringList paths = qEnvironmentVariable("PATH").split(':');
    for (const QString& arch : QDir("/usr/lib").entryList({"*-linux-gnu*"}, QDir::Dirs))
        paths << "/usr/lib/" + arch + "/xfce4/xfconf";
    return QStandardPaths::findExecutable(QLatin1String(name), paths);
}

QString out(const QString& program, const QStringList& arguments)
{
    const auto result = DesktopBackends::run(program, arguments, 10000);
    return result.ok ? QString::fromUtf8(result.output) : QStringLiteral("failed: ") + result.error;
}

// A stand-in for Plasma's shell on the private bus: plasmashell itself needs a
// full Plasma session with OpenGL. It answers the read script with its
// desktops and takes the values a write script carries on its first line (an
// empty fill mode leaves the desktop's own); it does not run the JavaScript.
class FakePlasmaShell : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.PlasmaShell")
public:
    QJsonArray desktops;
    QMutex lock;

public slots:
    QString evaluateScript(const QString& script)
    {
        QMutexLocker locked(&lock);
        if (script.contains(QLatin1String("JSON.stringify(out)")))
            return QString::fromUtf8(QJsonDocument(desktops).toJson(QJsonDocument::Compact));
        const QString first = script.section(QLatin1Char('\n'), 0, 0);
        const QJsonObject wanted =
            QJsonDocument::fromJson(first.mid(13).chopped(1).toUtf8()).object(); // "var wanted = "
        for (auto&& entry : desktops) {
            QJsonObject desktop = entry.toObject();
            const QJsonObject w = wanted[desktop[QLatin1String("id")].toString()].toObject();
            for (auto it = w.begin(); it != w.end(); ++it) {
                if (it.key() != QLatin1String("FillMode") || !it.value().toString().isEmpty())
                    desktop[it.key()] = it.value();
            }
            entry = desktop;
        }
        return {};
    }
};

// One private session: an X screen, a D-Bus bus and fresh settings folders,
// all taken down again when it ends.
struct Session
{
    QTemporaryDir home;
    QList<QProcess*> programs;
    QString display;

    Session()
    {
        for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            qputenv(var, home.path().toLocal8Bit());
        qputenv("NO_AT_BRIDGE", "1"); // no accessibility bus behind GTK programs
        qunsetenv("GSETTINGS_BACKEND");
        int fds[2];
        if (pipe(fds) != 0)
            return;
        // -noreset: a server left without clients resets, and with it the
        // root window's picture (a real session always has its window manager).
        start("Xvfb", {"-displayfd", QString::number(fds[1]), "-screen", "0", "640x480x24",
                       "-nolisten", "tcp", "-noreset"});
        ::close(fds[1]);
        char number[16] = {};
        pollfd ready{fds[0], POLLIN, 0};
        if (poll(&ready, 1, 10000) == 1 && read(fds[0], number, sizeof number - 1) > 0)
            display = QLatin1Char(':') + QString::fromLatin1(number).trimmed();
        ::close(fds[0]);
        qputenv("DISPLAY", display.toLocal8Bit());
        QProcess* bus = start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        bus->waitForReadyRead(10000);
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus->readLine().trimmed());
    }
    ~Session()
    {
        // Last started, first ended; services the bus started end with it.
        for (auto it = programs.rbegin(); it != programs.rend(); ++it) {
            (*it)->terminate();
            if (!(*it)->waitForFinished(5000))
                (*it)->kill();
            delete *it;
        }
    }
    QProcess* start(const char* name, const QStringList& arguments)
    {
        auto* process = new QProcess;
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Ended with the test even when it is killed.
        process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        process->start(tool(name), arguments);
        process->waitForStarted();
        programs << process;
        return process;
    }
    QString picture(const QString& name, quint32 seed) const
    {
        const QString path = home.filePath(name);
        randomImage(37, 23, seed).save(path, "PNG");
        return path;
    }
    // The root window as the screen shows it, read with xwd.
    QImage screen() const
    {
        QProcess xwd;
        xwd.start(tool("xwd"), {"-root", "-silent", "-display", display});
        xwd.waitForFinished(10000);
        const QByteArray dump = xwd.readAllStandardOutput();
        auto field = [&dump](int i) {
            return dump.size() >= 100 ? qFromBigEndian<quint32>(dump.constData() + 4 * i) : 0u;
        };
        const quint32 start = field(0) + field(19) * 12, width = field(4), height = field(5);
        if (field(11) != 32 || quint64(dump.size()) < start + quint64(field(12)) * height)
            return {};
        QImage image(width, height, QImage::Format_RGB32);
        for (quint32 y = 0; y < height; ++y) {
            const char* line = dump.constData() + start + y * field(12);
            for (quint32 x = 0; x < width; ++x)
                image.setPixel(x, y,
                               0xff000000u |
                                   (field(7) == 0 ? qFromLittleEndian<quint32>(line + 4 * x)
                                                  : qFromBigEndian<quint32>(line + 4 * x)));
        }
        return image;
    }
    QString screenHash() const
    {
        const QImage shown = screen();
        return QCryptographicHash::hash(QByteArrayView(shown.constBits(), shown.sizeInBytes()),
                                        QCryptographicHash::Md5)
            .toHex();
    }
    // The screen covered by picture repeated from the top-left corner.
    bool tiledWith(const QImage& picture) const
    {
        const QImage shown = screen();
        const QImage tile = picture.convertToFormat(QImage::Format_RGB32);
        if (shown.isNull())
            return false;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                if (shown.pixel(x, y) != tile.pixel(x % tile.width(), y % tile.height()))
                    return false;
        return true;
    }
};

// What the tests do on one desktop, in its own programs' terms.
struct Rig
{
    // The back end over store.
    std::function<std::unique_ptr<Desktop>(RegistryStore&)> make;
    // The user's own wallpaper (plain: a plain colour), set with the desktop's
    // own tools.
    std::function<void(bool plain)> userOwn;
    // Every value the desktop keeps about its wallpaper, and its screen.
    std::function<QString()> dump;
    // The desktop shows file tiled.
    std::function<bool(const QString& file, const QImage& picture)> showsTiled;
};

Rig xfceRig(Session& s)
{
    const QString q = tool("xfconf-query");
    const QString ws = "/backdrop/screen0/monitorscreen/workspace";
    auto set = [=](const QString& p, const char* type, const QString& v) {
        out(q, {"-c", "xfce4-desktop", "-p", ws + p, "-n", "-t", type, "-s", v});
    };
    // No icons over the picture.
    out(q, {"-c", "xfce4-desktop", "-p", "/desktop-icons/style", "-n", "-t", "int", "-s", "0"});
    s.start("xfdesktop", {"--sm-client-disable", "--disable-wm-check"});
    // xfdesktop writes its backdrops once it is up.
    for (int i = 0; i < 100 && !out(q, {"-c", "xfce4-desktop", "-l"}).contains("last-image"); ++i)
        QTest::qWait(200);
    return {[q](RegistryStore& r) { return DesktopBackends::makeXfce(r, q); },
            [&s, set](bool plain) {
                // A picture of its own on each workspace, zoomed and stretched.
                set("0/last-image", "string", s.picture("it's \"mine\" 壁紙.png", 1));
                set("1/last-image", "string", s.picture("second.png", 2));
                set("0/image-style", "int", plain ? "0" : "5");
                set("1/image-style", "int", plain ? "0" : "3");
            },
            [q, &s]() -> QString {
                return out(q, {"-c", "xfce4-desktop", "-lv"}) + s.screenHash();
            },
            [q, &s, ws](const QString& file, const QImage& picture) {
                return out(q, {"-c", "xfce4-desktop", "-p", ws + "1/last-image"}) == file + '\n' &&
                       out(q, {"-c", "xfce4-desktop", "-p", ws + "1/image-style"}) == "2\n" &&
                       s.tiledWith(picture);
            }};
}

Rig gsettingsRig(Session& s, GSettingsDesktop kind, const QString& schema, const QStringList& keys)
{
    const QString g = tool("gsettings");
    return {[g, kind](RegistryStore& r) { return DesktopBackends::makeGSettings(r, kind, g); },
            [=, &s](bool plain) {
                for (const QString& key : keys) {
                    const QString file = s.picture("it's \"" + key + "\" 写真.png", 3);
                    out(g, {"set", schema, key,
                            DesktopBackends::gvariantString(
                                key.endsWith("filename")
                                    ? file
                                    : QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded))});
                }
                out(g, {"set", schema, "picture-options", plain ? "none" : "spanned"});
                out(g, {"set", schema, "primary-color", "#123456"});
            },
            [=] {
                return out(g, {"list-recursively", schema});
            },
            [=](const QString& file, const QImage&) {
                QString shown = out(g, {"get", schema, "picture-options"});
                for (const QString& key : keys)
                    shown += DesktopBackends::parseGVariantPath(out(g, {"get", schema, key}));
                return shown == "'wallpaper'\n" + file.repeated(keys.size());
            }};
}

Rig fehRig(Session& s)
{
    const QString fehbg = s.home.filePath(".fehbg");
    return {[=](RegistryStore& r) {
                return DesktopBackends::makeFeh(r, tool("feh"), tool("xsetroot"), fehbg);
            },
            [&s](bool plain) {
                if (plain)
                    out(tool("xsetroot"), {"-solid", "black"});
                else
                    out(tool("feh"), {"--bg-scale", s.picture("it's \"mine\" 壁紙.png", 4)});
            },
            [&s, fehbg]() -> QString { return readAll(fehbg) + s.screenHash(); },
            [&s](const QString&, const QImage& picture) { return s.tiledWith(picture); }};
}

Rig kdeRig(Session& s, FakePlasmaShell& shell)
{
    const QString uri = QUrl::fromLocalFile(s.picture("beach.png", 5)).toString();
    return {[](RegistryStore& r) { return DesktopBackends::makeKde(r, tool("dbus-send")); },
            [&shell, uri](bool plain) {
                QMutexLocker locked(&shell.lock);
                shell.desktops = {QJsonObject{{"id", "1"},
                                              {"plugin", plain ? "org.kde.color" : "org.kde.image"},
                                              {"Image", plain ? "" : uri},
                                              {"FillMode", "2"}}, // Plasma reports its default
                                  QJsonObject{{"id", "7"},
                                              {"plugin", "org.kde.image"},
                                              {"Image", QString(uri + "2")},
                                              {"FillMode", "1"}}};
            },
            [&shell] {
                QMutexLocker locked(&shell.lock);
                return QString(QJsonDocument(shell.desktops).toJson());
            },
            [&shell](const QString& file, const QImage&) {
                QMutexLocker locked(&shell.lock);
                for (const QJsonValue& d : std::as_const(shell.desktops))
                    if (d["Image"] != QUrl::fromLocalFile(file).toString() || d["FillMode"] != "3")
                        return false;
                return true;
            }};
}

QPushButton* undoButton(const frmMain& w)
{
    return w.findChild<QPushButton*>(QStringLiteral("cmdUndo"));
}

} // namespace

class tst_desktops : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (const char* name : {"Xvfb", "xwd", "dbus-daemon", "dbus-send", "xfconfd",
                                 "xfconf-query", "xfdesktop", "gsettings", "feh", "xsetroot"})
            QVERIFY2(!tool(name).isEmpty(), name);
        for (const char* schema : {"org.gnome.desktop.background", "org.mate.background",
                                   "org.cinnamon.desktop.background"})
            QVERIFY2(out(tool("gsettings"), {"list-schemas"}).contains(schema), schema);
    }

    void setTwiceRestoreAndStart_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<bool>("plain");
        QTest::addColumn<QString>("current"); // XDG_CURRENT_DESKTOP; "-": not checked
        const QList<std::pair<const char*, const char*>> desktops{
            {"xfce", ""},     {"gnome", "ubuntu:GNOME"},
            {"mate", "MATE"}, {"cinnamon", "X-Cinnamon"},
            {"feh", "-"},     {"kde", "KDE"}};
        for (const auto& [desktop, session] : desktops) {
            QTest::addRow("%s, own picture", desktop) << desktop << false << session;
            QTest::addRow("%s, plain colour", desktop) << desktop << true << session;
        }
    }

    // The user's own wallpaper, then tiles B and C from the main window: the
    // desktop shows each tiled and the restore button comes on; a new start
    // while the tile shows finds it; restoring brings back every value and
    // pixel of the user's own; a start after the user chose another picture
    // leaves the button off.
    void setTwiceRestoreAndStart()
    {
        QFETCH(QString, desktop);
        QFETCH(bool, plain);
        Session session;
        QVERIFY(!session.display.isEmpty());
        FakePlasmaShell shell;
        QThread shellThread;
        QDBusConnection bus = QDBusConnection::connectToBus(
            qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), QTest::currentDataTag());
        if (desktop == "kde") {
            shell.moveToThread(&shellThread);
            shellThread.start();
            QVERIFY(bus.registerObject("/PlasmaShell", &shell, QDBusConnection::ExportAllSlots));
            QVERIFY(bus.registerService("org.kde.plasmashell"));
        }
        auto stop = qScopeGuard([&] {
            QDBusConnection::disconnectFromBus(QTest::currentDataTag());
            shellThread.quit();
            shellThread.wait();
        });
        const QStringList gnomeKeys{"picture-uri", "picture-uri-dark"};
        const Rig rig = desktop == "xfce"  ? xfceRig(session)
                        : desktop == "feh" ? fehRig(session)
                        : desktop == "kde" ? kdeRig(session, shell)
                        : desktop == "mate"
                            ? gsettingsRig(session, GSettingsDesktop::Mate, "org.mate.background",
                                           {"picture-filename"})
                        : desktop == "cinnamon"
                            ? gsettingsRig(session, GSettingsDesktop::Cinnamon,
                                           "org.cinnamon.desktop.background", {"picture-uri"})
                            : gsettingsRig(session, GSettingsDesktop::Gnome,
                                           "org.gnome.desktop.background", gnomeKeys);
        rig.userOwn(plain);
        QString before = rig.dump();
        for (QString was; was != before;) { // until the screen is painted
            QTest::qWait(1000);
            was = std::exchange(before, rig.dump());
        }

        Install install;
        install.desktop = rig.make(*install.registry);
        // The back end the program would choose (XFCE: from xfdesktop running).
        QFETCH(QString, current);
        if (current != "-") {
            qputenv("XDG_CURRENT_DESKTOP", current.toUtf8());
            QCOMPARE(makeDesktop(*install.registry)->name(), desktop);
            qunsetenv("XDG_CURRENT_DESKTOP");
        }
        QList<guiMessage::Message> messages;
        guiMessage::setCapture([&messages](const guiMessage::Message& m) { messages << m; });
        auto noCapture = qScopeGuard([] { guiMessage::setCapture(nullptr); });
        install.writeIni("[Start]\r\nScreenCap=False\r\n");
        const QString own = install.windows + "/quilton.bmp";
        auto w = install.start();
        QVERIFY(!undoButton(*w)->isEnabled());
        w->designer().setSource(randomImage(120, 90, 1));
        w->cmdExec_Click(-1);
        for (const int tile : {1, 2}) {
            w->picDst_MouseDown(tile, 1, 0, 10.f, 10.f);
            findAction(*w, QStringLiteral("壁紙で並べて表示(&K)"))->trigger();
            QVERIFY(undoButton(*w)->isEnabled());
            QTRY_VERIFY_WITH_TIMEOUT(rig.showsTiled(own, w->designer().tile(tile)), 10000);
        }
        w = install.start();
        QVERIFY(undoButton(*w)->isEnabled());
        QTest::mouseClick(undoButton(*w), Qt::LeftButton);
        QVERIFY(!undoButton(*w)->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(rig.dump(), before, 10000);
        QCOMPARE(messages.value(0).text, QString());

        // Chosen elsewhere since the tile was shown: nothing of the program's
        // to undo.
        w->setWallpaperFrom(randomImage(10, 10, 3));
        rig.userOwn(false);
        QVERIFY(!undoButton(*install.start())->isEnabled());
        QCOMPARE(messages.value(0).text, QString());
    }
};

QUILTON_TEST_MAIN(tst_desktops)
#include "tst_desktops.moc"
