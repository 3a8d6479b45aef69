#include "TestEnv.h"
#include "support/TestInstall.h"

#include "output/cWallSet.h"
#include "platform/Desktop.h"
#include "platform/DesktopBackends.h"
#include "platform/RegistryStore.h"

#include <QDir>
#include <QTemporaryDir>

namespace {

const QString kDesk = QStringLiteral("Control Panel\\desktop");
const QString kSaved =
    QStringLiteral("Software\\VB and VBA Program Settings\\Oakhollow\\quilton\\OldWallPaper");

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
    void refusalsAreReported();
    void placementAndSizes();
};

void tst_wallset::setWallSavesThePreviousWallpaperOnce()
{
    World world;
    const QString beach = world.userWallpaper();
    for (const QRgb colour : {qRgb(10, 200, 30), qRgb(250, 5, 5)}) {
        // The second tile overwrites the picture but keeps the saved wallpaper.
        // Without a desktop to change, the user is told and nothing counts as
        // shown.
        QVERIFY(!world.setWall(testsupport::flatImage(100, 100, colour)));
        QCOMPARE(world.reports.takeFirst(),
                 "cWallSet Class|SetWallError壁紙を変更できるデスクトップが見つからないため、"
                 "画面の壁紙は変わっていません。\n" +
                     world.own);
        QCOMPARE(world.saved("Desktop"), "store");
        QCOMPARE(QImage(world.own).convertToFormat(QImage::Format_RGB32),
                 testsupport::flatImage(100, 100, colour));
        QCOMPARE(world.saved("FileName"), beach);
        QCOMPARE(world.desk("TileWallpaper"), "1");
        QCOMPARE(world.desk("Wallpaper"), world.own);
    }
    // The saved key carries the name in lower case.
    QVERIFY(testsupport::readAll(world.registry->file()).contains(kSaved.toUtf8()));

    QVERIFY(!world.wall()->KillWall(true));
    QCOMPARE(world.desk("Wallpaper"), beach);
    QCOMPARE(world.desk("TileWallpaper"), "0");
    QVERIFY(QFileInfo::exists(world.own)); // never deleted
    QCOMPARE(world.reports.size(), 1);

    // The own file under another case is not the user's wallpaper.
    World other;
    other.userWallpaper("elsewhere/QUILTON.BMP");
    QVERIFY(!other.setWall(testsupport::flatImage(8, 8, 0)));
    QCOMPARE(other.saved("FileName"), QString());
}

void tst_wallset::restoreKillWallAndWritingNothing()
{
    World world;
    world.userWallpaper();
    world.setWall(testsupport::flatImage(10, 10, 0));
    world.reports.clear();

    // Without restoring: no wallpaper, untiled at the origin.
    world.registry->set(kDesk, "WallpaperOriginX", "12");
    QVERIFY(!world.wall()->KillWall(false));
    QCOMPARE(world.desk("Wallpaper"), QString());
    QCOMPARE(world.desk("TileWallpaper"), "0");
    QCOMPARE(world.desk("WallpaperOriginX"), "0");
    QCOMPARE(world.reports.size(), 1);

    // An empty file name writes nothing at all; nothing saved, nothing restored.
    World fresh;
    auto nameless = fresh.wall(QString());
    nameless->setPicture(testsupport::flatImage(10, 10, 0));
    QVERIFY(!nameless->SetWall(true, false));
    QVERIFY(!fresh.wall()->KillWall(true));
    QVERIFY(!QFileInfo::exists(fresh.registry->file()));
    QVERIFY(!QFileInfo::exists(fresh.walls));
    QCOMPARE(fresh.reports.size(), 1); // nothing to restore
    fresh.reports.clear();

    // Both arguments true: the picture and values written, nothing applied
    // and nothing saved.
    const QString mine = fresh.userWallpaper();
    QVERIFY(fresh.setWall(testsupport::flatImage(10, 10, 0), true, true));
    QVERIFY(fresh.reports.isEmpty());
    QVERIFY(QFileInfo::exists(fresh.own));
    QCOMPARE(fresh.desk("TileWallpaper"), "1");
    QCOMPARE(fresh.desk("Wallpaper"), mine);
    QCOMPARE(fresh.saved("FileName"), QString());

    // A record of the designed values alone (an older version's) brings
    // back its picture and tiling.
    const QString older = fresh.userWallpaper("older.jpg");
    for (const char* value : {"FileName", "CurrentX", "CurrentY", "Tiling"})
        fresh.registry->set(kSaved, value, value == QLatin1String("FileName") ? older : "1");
    fresh.desktop->applyWallpaper(fresh.own, true, 0, 0);
    fresh.wall()->KillWall(true);
    QCOMPARE(fresh.desk("Wallpaper") + fresh.desk("TileWallpaper"), older + "1");
}

// Nothing recorded, the recorded picture gone, a desktop tool that fails
// (false stands in for it): the user is told and nothing changes.
void tst_wallset::refusalsAreReported()
{
    World world;
    QVERIFY(!world.wall()->KillWall(true));
    const QString beach = world.userWallpaper();
    world.setWall(testsupport::flatImage(10, 10, 0));
    QVERIFY(QFile::remove(beach));
    QVERIFY(!world.wall()->KillWall(true));
    QCOMPARE(world.desk("Wallpaper"), world.own);
    QCOMPARE(world.desk("TileWallpaper"), "1");

    World broken;
    broken.desktop = DesktopBackends::makeXfce(*broken.registry, "/bin/false");
    QVERIFY(!broken.setWall(testsupport::flatImage(10, 10, 0)));
    QVERIFY(!QFileInfo::exists(broken.own));
    QCOMPARE(broken.saved("FileName"), QString());
    QCOMPARE(world.reports.value(0), "cWallSet Class|KillWallError戻す壁紙が記録されていません。");
    QCOMPARE(world.reports.value(2),
             "cWallSet Class|KillWallError元の壁紙のファイルが見つかりません。\n" + beach);
    QVERIFY(broken.reports.value(0).startsWith(
        "cWallSet "
        "Class|SetWallError今の壁紙を読み取れないため、壁紙を変更しませんでした。\n/bin/false"));

    // A helper that hangs is given up.
    QVERIFY(!DesktopBackends::run("/bin/sleep", {"5"}, 200).ok);
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

QUILTON_TEST_MAIN(tst_wallset)
#include "tst_wallset.moc"
