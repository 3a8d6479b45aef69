#include "TestEnv.h"
#include "support/TestInstall.h"

#include "output/cWallSet.h"
#include "platform/Desktop.h"
#include "platform/DesktopBackends.h"
#include "platform/RegistryStore.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUrl>

namespace {

const QString kDesk = QStringLiteral("Control Panel\\desktop");
const QString kSaved =
    QStringLiteral("Software\\VB and VBA Program Settings\\Oakhollow\\quilton\\OldWallPaper");

// A folder with fake gsettings, xfconf-query, feh and xsetroot that append
// their arguments (tab-separated, one call a line) to "log"; gsettings keeps
// what is set in gs-<key> and prints it back on get; xfconf-query -l prints
// xfconf-list; a file fail-<program> (or fail-gsettings-<key>) makes it fail.
struct FakeTools
{
    QTemporaryDir dir;

    FakeTools()
    {
        for (const char* name : {"gsettings", "xfconf-query", "feh", "xsetroot"}) {
            write(name, R"(#!/bin/sh
d=${0%/*} n=${0##*/}
{ printf %s "$n"; printf '\t%s' "$@"; echo; } >> "$d/log"
[ -e "$d/fail-$n" ] && exit 3
[ "$n$1" = gsettingsset ] && { [ -e "$d/fail-gsettings-$3" ] && exit 4; echo "$4" > "$d/gs-$3"; }
[ "$n$1" = gsettingsget ] && { cat "$d/gs-$3" || exit 1; }
[ "$n$3" = xfconf-query-l ] && cat "$d/xfconf-list"
exit 0
)");
            QFile(path(name)).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        }
    }
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }
    void write(const char* name, const QByteArray& text) const
    {
        testsupport::writeBytes(path(name), text);
    }
    // The calls since the last take, each as its arguments (program first).
    QList<QStringList> take() const
    {
        QList<QStringList> calls;
        for (const QString& line : QString(testsupport::readAll(path("log"))).split('\n'))
            if (!line.isEmpty())
                calls << line.split('\t');
        QFile::remove(path("log"));
        return calls;
    }
};

// The wallpaper folder is "walls", not yet made.
struct World : testsupport::Install
{
    QString walls = dir.filePath("walls");
    QString own = walls + "/quilton.bmp";
    QStringList reports;

    std::unique_ptr<cWallSet> wall(const QString& name = "quilton")
    {
        auto w = std::make_unique<cWallSet>(*registry, *desktop, walls, 1024, 768);
        w->setErrorReporter([this](const QString& caption, const QString& text) {
            reports << caption + '|' + text;
        });
        w->setFileName(name);
        return w;
    }
    // Sets a tile picture as the wallpaper.
    bool setWall(const QImage& picture, bool saveCurrent = true, bool registryOnly = false)
    {
        auto w = wall();
        w->setTile(1);
        w->setPicture(picture);
        return w->SetWall(saveCurrent, registryOnly);
    }
    QString desk(const char* value) const { return registry->get(kDesk, value); }
    QString saved(const char* value) const { return registry->get(kSaved, value); }
    // The user's own wallpaper, untiled at 0, 0.
    QString userWallpaper(const QString& name = "Pictures/beach.jpg")
    {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        testsupport::writeBytes(path, "picture");
        desktop->applyWallpaper(path, false, 0, 0);
        registry->set(kDesk, "TileWallpaper", "0");
        return path;
    }
};

} // namespace

class tst_wallset : public QObject
{
    Q_OBJECT

private slots:
    void setWallSavesThePreviousWallpaperOnce();
    void restoreKillWallAndWritingNothing();
    void placementAndSizes();
    void gnomeCommandsAndReadBack();
    void xfceAndFehCommandsAndHelperTimeout();
};

void tst_wallset::setWallSavesThePreviousWallpaperOnce()
{
    World world;
    const QString beach = world.userWallpaper();
    for (const QRgb colour : {qRgb(10, 200, 30), qRgb(250, 5, 5)}) {
        // The second tile overwrites the picture but keeps the saved wallpaper.
        QVERIFY(world.setWall(testsupport::flatImage(100, 100, colour)));
        QCOMPARE(QImage(world.own).convertToFormat(QImage::Format_RGB32),
                 testsupport::flatImage(100, 100, colour));
        QCOMPARE(world.saved("FileName"), beach);
        QCOMPARE(world.desk("TileWallpaper"), "1");
        QCOMPARE(world.desk("Wallpaper"), world.own);
    }
    // The saved key carries the name in lower case.
    QVERIFY(testsupport::readAll(world.registry->file()).contains(kSaved.toUtf8()));

    QVERIFY(world.wall()->KillWall(true));
    QCOMPARE(world.desk("Wallpaper"), beach);
    QCOMPARE(world.desk("TileWallpaper"), "0");
    QVERIFY(QFileInfo::exists(world.own)); // never deleted
    QVERIFY(world.reports.isEmpty());

    // The own file under another case is not the user's wallpaper.
    World other;
    other.userWallpaper("elsewhere/QUILTON.BMP");
    QVERIFY(other.setWall(testsupport::flatImage(8, 8, 0)));
    QCOMPARE(other.saved("FileName"), QString());
}

void tst_wallset::restoreKillWallAndWritingNothing()
{
    World world;
    const QString beach = world.userWallpaper();
    QVERIFY(world.setWall(testsupport::flatImage(10, 10, 0)));
    QVERIFY(QFile::remove(beach));
    QVERIFY(!world.wall()->KillWall(true));
    QCOMPARE(world.desk("Wallpaper"), world.own);
    QCOMPARE(world.desk("TileWallpaper"), "1");

    // Without restoring: no wallpaper, untiled at the origin.
    world.registry->set(kDesk, "WallpaperOriginX", "12");
    QVERIFY(world.wall()->KillWall(false));
    QCOMPARE(world.desk("Wallpaper"), QString());
    QCOMPARE(world.desk("TileWallpaper"), "0");
    QCOMPARE(world.desk("WallpaperOriginX"), "0");
    QVERIFY(world.reports.isEmpty());

    // An empty file name writes nothing at all; nothing saved, nothing restored.
    World fresh;
    auto nameless = fresh.wall(QString());
    nameless->setPicture(testsupport::flatImage(10, 10, 0));
    QVERIFY(!nameless->SetWall(true, false));
    QVERIFY(!fresh.wall()->KillWall(true));
    QVERIFY(!QFileInfo::exists(fresh.registry->file()));
    QVERIFY(!QFileInfo::exists(fresh.walls));
    QVERIFY(fresh.reports.isEmpty());

    // Both arguments true: the picture and values written, nothing applied
    // and nothing saved.
    const QString mine = fresh.userWallpaper();
    QVERIFY(fresh.setWall(testsupport::flatImage(10, 10, 0), true, true));
    QVERIFY(QFileInfo::exists(fresh.own));
    QCOMPARE(fresh.desk("TileWallpaper"), "1");
    QCOMPARE(fresh.desk("Wallpaper"), mine);
    QCOMPARE(fresh.saved("FileName"), QString());
}

void tst_wallset::placementAndSizes()
{
    World world;
    auto wall = world.wall();
    wall->setPicture(testsupport::flatImage(100, 80, 0)); // on 1024x768, default margins of 25
    for (const auto& [align, x, y] : {std::tuple(8, 899, 663), {9, 899, 663}, {5, 26, 26}}) {
        QVERIFY(wall->setAlign(align)); // 9 keeps the origin
        QCOMPARE(QPoint(wall->CurrentX(), wall->CurrentY()), QPoint(x, y));
    }

    wall->setPictureSizeHimetric(2540, 1270);
    QCOMPARE(wall->TwipsWidth(), 1440); // 1440.18, not 1440 exactly
    QCOMPARE(QSize(wall->PixelsWidth(), wall->PixelsHeight()), QSize(96, 48));
}

void tst_wallset::gnomeCommandsAndReadBack()
{
    FakeTools tools;
    World world;
    world.desktop = DesktopBackends::makeGnome(*world.registry, tools.path("gsettings"));
    Desktop& gnome = *world.desktop;
    const QStringList set{"gsettings", "set", "org.gnome.desktop.background"};
    const auto calls = [&set](const QString& uri, const char* options) {
        return QList<QStringList>{set + QStringList{"picture-uri", uri},
                                  set + QStringList{"picture-uri-dark", uri},
                                  set + QStringList{"picture-options", options}};
    };
    QVERIFY(gnome.applyWallpaper("/tmp/my pics/quilton.bmp", true, 0, 0));
    QCOMPARE(tools.take(), calls("'file:///tmp/my%20pics/quilton.bmp'", "wallpaper"));
    const QString odd = QStringLiteral("/tmp/it's \"q\"\\x 写真.bmp");
    QVERIFY(gnome.applyWallpaper(odd, false, 0, 0));
    QCOMPARE(tools.take(),
             calls("'file:///tmp/it\\'s%20%22q%22%5Cx%20%E5%86%99%E7%9C%9F.bmp'", "centered"));
    QCOMPARE(gnome.currentWallpaper(), odd);
    tools.take();
    QVERIFY(gnome.applyWallpaper(QString(), false, 0, 0));
    QCOMPARE(tools.take(), (QList<QStringList>{set + QStringList{"picture-options", "none"}}));
    QCOMPARE(gnome.currentWallpaper(), QString());

    // Set in GNOME's own settings since: GNOME's answer is saved, not the
    // older wallpaper still named in the store.
    tools.write("gs-picture-uri", "'file:///home/u/sea%20side.jpg'\n");
    tools.write("gs-picture-options", "'zoom'\n");
    world.registry->set(kDesk, "Wallpaper", "/old/stale.bmp");
    QVERIFY(world.setWall(testsupport::flatImage(10, 10, 0)));
    QCOMPARE(world.saved("FileName"), "/home/u/sea side.jpg");

    // No dark-style key (older GNOME): still applied. gsettings failing:
    // refused and reported, not passed off as done.
    tools.write("fail-gsettings-picture-uri-dark", "");
    QVERIFY(gnome.applyWallpaper("/a.bmp", true, 0, 0));
    tools.write("fail-gsettings", "");
    QVERIFY(!gnome.applyWallpaper("/b.bmp", true, 0, 0));
    QCOMPARE(world.desk("Wallpaper"), "/a.bmp");
    QVERIFY(!world.setWall(testsupport::flatImage(10, 10, 0), false));
    QVERIFY(world.reports.value(0).startsWith("cWallSet Class|SetWallError"));
}

void tst_wallset::xfceAndFehCommandsAndHelperTimeout()
{
    FakeTools tools;
    World world;
    tools.write("xfconf-list", "/backdrop/screen0/monitor0/workspace0/image-style\n"
                               "/backdrop/screen0/monitor0/workspace0/last-image\n"
                               "/backdrop/screen0/monitorHDMI-1/workspace1/last-image\n"
                               "/desktop-icons/style\n");
    auto xfce = DesktopBackends::makeXfce(*world.registry, tools.path("xfconf-query"));
    const QStringList q{"xfconf-query", "-c", "xfce4-desktop"};
    const QString m0 = "/backdrop/screen0/monitor0/workspace0/";
    const QString m1 = "/backdrop/screen0/monitorHDMI-1/workspace1/";
    const QString path = QStringLiteral("/tmp/my \"wall\" it's.bmp");
    for (const auto& [tiled, style] : {std::pair{true, "2"}, std::pair{false, "1"}}) {
        QVERIFY(xfce->applyWallpaper(path, tiled, 0, 0));
        QCOMPARE(tools.take(),
                 (QList<QStringList>{
                     q + QStringList{"-l"}, q + QStringList{"-p", m0 + "last-image", "-s", path},
                     q + QStringList{"-p", m0 + "image-style", "-s", style},
                     q + QStringList{"-p", m1 + "last-image", "-s", path},
                     q + QStringList{"-p", m1 + "image-style", "-n", "-t", "int", "-s", style}}));
    }
    QCOMPARE(xfce->currentWallpaper(), path);

    auto feh = DesktopBackends::makeFeh(*world.registry, tools.path("feh"), tools.path("xsetroot"));
    tools.take();
    QVERIFY(feh->applyWallpaper(path, true, 0, 0));
    QVERIFY(feh->applyWallpaper(path, false, 0, 0));
    QVERIFY(feh->applyWallpaper(QString(), false, 0, 0));
    QCOMPARE(tools.take(), (QList<QStringList>{{"feh", "--no-fehbg", "--bg-tile", path},
                                               {"feh", "--no-fehbg", "--bg-center", path},
                                               {"xsetroot", "-solid", "black"}}));
    QCOMPARE(feh->currentWallpaper(), QString());

    // A helper that hangs is given up; a missing one is an error.
    QVERIFY(!DesktopBackends::run("/bin/sleep", {"5"}, 200).ok);
    QVERIFY(!DesktopBackends::run("/no/such/program", {}).ok);
}

QUILTON_TEST_MAIN(tst_wallset)
#include "tst_wallset.moc"
