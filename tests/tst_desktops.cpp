// The wallpaper on real desktops: each row starts its own X screen (Xvfb) and
// D-Bus session, with the desktop's own programs in them (xfconfd and
// xfdesktop; gsettings over dconf for GNOME, MATE and Cinnamon; feh on the
// root window), sets a picture from the batch output list and a tile from the
// main window and puts the user's wallpaper back, compared value for value and
// pixel for pixel. KDE Plasma has no test here: its shell needs a full Plasma
// session with OpenGL.
#include "TestEnv.h"
#include "support/TestInstall.h"

#include "app/frmMain.h"
#include "batch/frmList.h"
#include "platform/DesktopBackends.h" // with Desktop.h and RegistryStore.h

#include <QPainter>
#include <QPushButton>

#include <sys/prctl.h>

#include <csignal>

using namespace testsupport;

namespace {

// What a helper program (found on the path, as every program here) prints.
QString out(const QString& program, const QStringList& arguments)
{
    return QString::fromUtf8(DesktopBackends::run(program, arguments, 10000).output);
}

// One private session: an X screen, a D-Bus bus, fresh settings folders and
// one desktop's programs, all taken down again when it ends; and what the
// test does on that desktop, in its own programs' terms.
struct Session
{
    QTemporaryDir home;
    QList<QProcess*> programs;
    // XDG_CURRENT_DESKTOP of the desktop ("": none, XFCE is known by its
    // running xfdesktop).
    QByteArray current;
    // The user's own wallpaper (plain: a plain colour), set with the desktop's
    // own tools.
    std::function<void(bool plain)> userOwn;
    // Every value the desktop keeps about its wallpaper.
    std::function<QString()> values;
    // The desktop shows file (holding picture) tiled.
    std::function<bool(const QString& file, const QImage& picture)> showsTiled;

    Session()
    {
        for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            qputenv(var, home.path().toLocal8Bit());
        qputenv("NO_AT_BRIDGE", "1"); // no accessibility bus behind GTK programs
        qunsetenv("GSETTINGS_BACKEND");
        // -noreset: a server left without clients resets, and with it the
        // root window's picture (a real session always has its window manager).
        qputenv("DISPLAY",
                ':' + start("Xvfb", {"-displayfd", "1", "-screen", "0", "640x480x24", "-noreset"},
                            true));
        qputenv("DBUS_SESSION_BUS_ADDRESS",
                start("dbus-daemon", {"--session", "--nofork", "--print-address=1"}, true));
    }
    ~Session()
    {
        // Last started, first ended (killed when it does not end on its own);
        // services the bus started end with it.
        while (!programs.isEmpty()) {
            programs.last()->terminate();
            programs.last()->waitForFinished(5000);
            delete programs.takeLast();
        }
    }
    // Starts a program; with answers, its first line of output.
    QByteArray start(const QString& name, const QStringList& arguments, bool answers = false)
    {
        programs << new QProcess;
        programs.last()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Ended with the test even when it is killed.
        programs.last()->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        programs.last()->start(name, arguments);
        programs.last()->waitForReadyRead(answers ? 10000 : 0);
        return programs.last()->readLine().trimmed();
    }
    QString picture(const QString& name, quint32 seed) const
    {
        const QString path = home.filePath(name);
        randomImage(37, 23, seed).save(path, "PNG");
        return path;
    }
    // The root window as the screen shows it, read with xwd (32-bit pixels
    // in little-endian order, as Xvfb keeps them here).
    QImage screen() const
    {
        const QByteArray raw = xwd();
        auto field = [&raw](int i) {
            return raw.size() >= 100 ? qFromBigEndian<quint32>(raw.constData() + 4 * i) : 0u;
        };
        // After the header and the colour table: rows of field(12) bytes.
        const quint32 start = field(0) + field(19) * 12;
        if (field(7) != 0 || field(11) != 32 ||
            quint64(raw.size()) < start + quint64(field(12)) * field(5))
            return {};
        return QImage(reinterpret_cast<const uchar*>(raw.constData()) + start, field(4), field(5),
                      field(12), QImage::Format_RGB32)
            .copy();
    }
    // The values and the screen.
    QString dump() const { return values() + QString::number(qHash(xwd())); }
    QByteArray xwd() const { return DesktopBackends::run("xwd", {"-root", "-silent"}).output; }
    // The screen covered by picture repeated from the top-left corner.
    bool tiledWith(const QImage& picture) const
    {
        QImage tiled(640, 480, QImage::Format_RGB32);
        QPainter(&tiled).fillRect(tiled.rect(), QBrush(picture));
        return screen() == tiled;
    }

    // XFCE: xfdesktop over xfconfd.
    void xfce()
    {
        const QString ws = "/backdrop/screen0/monitorscreen/workspace";
        auto query = [](const QStringList& arguments) {
            return out("xfconf-query", QStringList{"-c", "xfce4-desktop"} + arguments);
        };
        auto set = [query](const QString& p, const char* type, const QString& value) {
            query({"-p", p, "-n", "-t", type, "-s", value});
        };
        set("/desktop-icons/style", "int", "0"); // no icons over the picture
        start("xfdesktop", {"--sm-client-disable", "--disable-wm-check"});
        // xfdesktop writes its backdrops once it is up.
        QTRY_VERIFY_WITH_TIMEOUT(query({"-l"}).contains("last-image"), 20000);
        userOwn = [this, set, ws](bool plain) {
            // A picture of its own on each workspace, zoomed and stretched.
            set(ws + "0/last-image", "string", picture("it's \"mine\" 壁紙.png", 1));
            set(ws + "1/last-image", "string", picture("second.png", 2));
            set(ws + "0/image-style", "int", plain ? "0" : "5");
            set(ws + "1/image-style", "int", plain ? "0" : "3");
        };
        values = [query] { return query({"-lv"}); };
        showsTiled = [this, query, ws](const QString& file, const QImage& picture) {
            return query({"-p", ws + "1/last-image"}) == file + '\n' &&
                   query({"-p", ws + "1/image-style"}) == "2\n" && tiledWith(picture);
        };
    }
    // GNOME, MATE and Cinnamon: their schema in dconf, through gsettings.
    void gsettings(const QByteArray& name, const QString& schema, const QStringList& keys)
    {
        current = name;
        auto g = [schema](const char* verb, const QStringList& rest = {}) {
            return out("gsettings", QStringList{verb, schema} + rest);
        };
        userOwn = [this, g, keys](bool plain) {
            for (const QString& key : keys) {
                const QString file = picture("it's \"" + key + "\" 写真.png", 3);
                const QString value = key.endsWith("filename")
                                          ? file
                                          : QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded);
                g("set", {key, DesktopBackends::gvariantString(value)});
            }
            g("set", {"picture-options", plain ? "none" : "spanned"});
            g("set", {"primary-color", "#123456"});
        };
        values = [g] { return g("list-recursively"); };
        showsTiled = [g, keys](const QString& file, const QImage&) {
            QString shown = g("get", {"picture-options"});
            for (const QString& key : keys)
                shown += DesktopBackends::parseGVariantPath(g("get", {key}));
            return shown == "'wallpaper'\n" + file.repeated(keys.size());
        };
    }
    // feh on the bare root window, with the user's ~/.fehbg.
    void feh()
    {
        userOwn = [this](bool plain) {
            out(plain ? "xsetroot" : "feh",
                plain ? QStringList{"-solid", "black"}
                      : QStringList{"--bg-scale", picture("it's \"mine\" 壁紙.png", 4)});
        };
        values = [this] { return QString::fromUtf8(readAll(home.filePath(".fehbg"))); };
        showsTiled = [this](const QString&, const QImage& picture) { return tiledWith(picture); };
    }
};

} // namespace

class tst_desktops : public QObject
{
    Q_OBJECT

private slots:
    void setTwiceRestoreAndStart_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<bool>("plain");
        for (const char* desktop : {"xfce", "gnome", "mate", "cinnamon", "feh"}) {
            QTest::addRow("%s, own picture", desktop) << QString(desktop) << false;
            QTest::addRow("%s, plain colour", desktop) << QString(desktop) << true;
        }
    }

    // The user's own wallpaper, then a picture of the batch output folder
    // from the batch output list and tile B from the main window's menu: the
    // desktop shows each tiled and the restore button comes on; a new start
    // while the tile shows finds it; restoring brings back every value and
    // pixel of the user's own; a start after the user chose another picture
    // leaves the button off.
    void setTwiceRestoreAndStart()
    {
        QFETCH(QString, desktop);
        QFETCH(bool, plain);
        Session session;
        if (desktop == "xfce")
            session.xfce();
        else if (desktop == "feh")
            session.feh();
        else if (desktop == "mate")
            session.gsettings("MATE", "org.mate.background", {"picture-filename"});
        else if (desktop == "cinnamon")
            session.gsettings("X-Cinnamon", "org.cinnamon.desktop.background", {"picture-uri"});
        else
            session.gsettings("ubuntu:GNOME", "org.gnome.desktop.background",
                              {"picture-uri", "picture-uri-dark"});
        session.userOwn(plain);
        QString before = session.dump();
        for (QString was; was != before;) { // until the screen is painted
            QTest::qWait(1000);
            was = std::exchange(before, session.dump());
        }

        // The back end the program chooses: XFCE from xfdesktop running, feh
        // on an X screen without a desktop.
        Install install;
        qputenv("XDG_CURRENT_DESKTOP", session.current);
        install.desktop = makeDesktop(*install.registry);
        qunsetenv("XDG_CURRENT_DESKTOP");
        QCOMPARE(install.desktop->name(), desktop);
        Shown shown;
        install.writeIni("[Start]\r\nScreenCap=False\r\n");
        // A picture in the batch output folder (the Tiles folder at start).
        QVERIFY(QDir().mkpath(install.program + "/Tiles"));
        QVERIFY(randomImage(37, 23, 7).save(install.program + "/Tiles/listed(A).bmp"));
        const QString own = install.windows + "/quilton.bmp";
        auto w = install.start();
        QVERIFY(!w->wallpaperUndoEnabled());
        frmList(*w, *w->batchWindow()).findChild<QPushButton*>("cmdWall")->click();
        QVERIFY(w->wallpaperUndoEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(session.showsTiled(own, randomImage(37, 23, 7)), 10000);
        w->designer().setSource(randomImage(120, 90, 1));
        w->cmdExec_Click(-1);
        w->picDst_MouseDown(1, 1, 0, 10.f, 10.f);
        findAction(*w, QStringLiteral("壁紙で並べて表示(&K)"))->trigger();
        QVERIFY(w->wallpaperUndoEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(session.showsTiled(own, w->designer().tile(1)), 10000);
        w = install.start();
        QVERIFY(w->wallpaperUndoEnabled());
        QTest::mouseClick(w->findChild<QPushButton*>("cmdUndo"), Qt::LeftButton);
        QVERIFY(!w->wallpaperUndoEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(session.dump(), before, 10000);

        // Chosen elsewhere since the tile was shown: nothing of the program's
        // to undo.
        w->setWallpaperFrom(randomImage(10, 10, 3));
        session.userOwn(false);
        QVERIFY(!install.start()->wallpaperUndoEnabled());
        QCOMPARE(shown.messages.value(0).text, QString()); // nothing went wrong on the way
    }
};

QUILTON_TEST_MAIN(tst_desktops)
#include "tst_desktops.moc"
