// The wallpaper class over the store-only desktop (and a failing desktop
// tool): the user's wallpaper saved once and put back, clearing, refusals
// with their texts, the placement table and the picture's sizes.
#include "TestEnv.h"
#include "support/TestInstall.h"

#include "output/cWallSet.h"
#include "platform/DesktopBackends.h" // with Desktop.h and RegistryStore.h

namespace {

const QString kDesk = QStringLiteral("Control Panel\\desktop");
const QStringList kDeskValues{"Wallpaper", "TileWallpaper", "WallpaperOriginX", "WallpaperOriginY"};
const QString kSaved =
    QStringLiteral("Software\\VB and VBA Program Settings\\Oakhollow\\quilton\\OldWallPaper");
const QString kNotShown = QStringLiteral(
    "壁紙を変更できるデスクトップが見つからないため、画面の壁紙は変わっていません。");

// The wallpaper folder is "walls", not yet made; reports kept as
// "caption|text". The class's tile picture is a plain green one.
struct World : testsupport::Install
{
    QString walls = dir.filePath("walls");
    QString own = walls + "/quilton.bmp";
    QStringList reports;

    std::unique_ptr<cWallSet> wall(const QString& name = "quilton")
    {
        auto w = std::make_unique<cWallSet>(*registry, *desktop, walls, 1024, 768);
        w->setErrorReporter([this](const QString& c, const QString& t) { reports << c + '|' + t; });
        w->setFileName(name);
        w->setTile(1);
        w->setPicture(testsupport::flatImage(100, 100, qRgb(10, 200, 30)));
        return w;
    }
    // The values named under key; by default the desktop's picture, tiling
    // and origin.
    QStringList values(const QString& key = kDesk, const QStringList& names = kDeskValues) const
    {
        QStringList found;
        for (const QString& name : names)
            found << registry->get(key, name);
        return found;
    }
    // The user's own wallpaper, untiled at 12, 7 (the store-only desktop
    // only records it).
    QString userWallpaper(const QString& name = "beach.jpg")
    {
        const QString path = dir.filePath(name);
        testsupport::writeBytes(path, "picture");
        const QStringList desk{path, "0", "12", "7"};
        for (int i = 0; i < desk.size(); ++i)
            registry->set(kDesk, kDeskValues[i], desk[i]);
        return path;
    }
};

} // namespace

class tst_wallset : public QObject
{
    Q_OBJECT

private slots:
    void setWallSavesThePreviousWallpaperOnce()
    {
        World world;
        const QString beach = world.userWallpaper();
        // The second tile keeps the saved wallpaper with its place and
        // tiling. Without a desktop to change, the user is told each time
        // and nothing counts as shown.
        QVERIFY(!world.wall()->SetWall(true, false));
        QVERIFY(!world.wall()->SetWall(true, false));
        QCOMPARE(world.values(kSaved, {"FileName", "CurrentX", "CurrentY", "Tiling", "Desktop"}),
                 (QStringList{beach, "12", "7", "0", "store"}));
        QCOMPARE(world.values(), (QStringList{world.own, "1", "0", "0"}));
        QVERIFY(!world.wall()->KillWall(true));
        QCOMPARE(world.values(), (QStringList{beach, "0", "12", "7"}));
        QVERIFY(QFileInfo::exists(world.own)); // never deleted
        // Without restoring: no wallpaper, untiled at the origin.
        QVERIFY(!world.wall()->KillWall(false));
        QCOMPARE(world.values(), (QStringList{QString(), "0", "0", "0"}));
        QCOMPARE(world.reports,
                 QStringList(2, "cWallSet Class|SetWallError" + kNotShown + '\n' + world.own) +
                     QStringList(2, "cWallSet Class|KillWallError" + kNotShown));

        // The own file's name in another letter case, in any folder, counts
        // as the program's and not as the user's wallpaper: nothing saved.
        World other;
        other.userWallpaper("QUILTON.BMP");
        QVERIFY(!other.wall()->SetWall(true, false));
        QCOMPARE(other.registry->get(kSaved, "FileName"), QString());
    }

    void otherRecordsAndRefusals()
    {
        // An empty file name writes nothing at all; with nothing recorded,
        // nothing is restored.
        World world;
        QVERIFY(!world.wall(QString())->SetWall(true, false));
        QVERIFY(!world.wall()->KillWall(true));
        QVERIFY(!QFileInfo::exists(world.registry->file()));
        QVERIFY(!QFileInfo::exists(world.walls));

        // A record of the designed values alone (an older version's) brings
        // back its picture and tiling.
        const QString older = world.userWallpaper("older.jpg");
        for (const char* value : {"FileName", "CurrentX", "CurrentY", "Tiling"})
            world.registry->set(kSaved, value, value == QLatin1String("FileName") ? older : "1");
        world.desktop->applyWallpaper(world.own, true, 0, 0);
        world.wall()->KillWall(true);
        QCOMPARE(world.values(), (QStringList{older, "1", "1", "1"}));

        // Both arguments true: the picture and values written, nothing
        // applied and nothing saved.
        QVERIFY(world.wall()->SetWall(true, true));
        QVERIFY(QFileInfo::exists(world.own));
        QCOMPARE(world.values(), (QStringList{older, "1", "0", "0"}));
        QCOMPARE(world.registry->get(kSaved, "Desktop"), QString());

        // The recorded picture gone: nothing changes.
        world.wall()->SetWall(true, false);
        QVERIFY(QFile::remove(older));
        QVERIFY(!world.wall()->KillWall(true));
        QCOMPARE(world.values(), (QStringList{world.own, "1", "0", "0"}));
        QCOMPARE(world.reports,
                 (QStringList{"cWallSet Class|KillWallError戻す壁紙が記録されていません。",
                              "cWallSet Class|KillWallError" + kNotShown,
                              "cWallSet Class|SetWallError" + kNotShown + '\n' + world.own,
                              "cWallSet Class|KillWallError元の壁紙のファイルが見つかりません。\n" +
                                  older}));

        // A desktop tool that fails (false stands in for it: no real one can
        // be made to fail): the user is told and nothing changes.
        World broken;
        broken.desktop = DesktopBackends::makeXfce(*broken.registry, "/bin/false");
        QVERIFY(!broken.wall()->SetWall(true, false));
        QVERIFY(!QFileInfo::exists(broken.own));
        QCOMPARE(broken.registry->get(kSaved, "FileName"), QString());
        QCOMPARE(broken.reports,
                 QStringList{"cWallSet Class|SetWallError今の壁紙を読み取れないため、"
                             "壁紙を変更しませんでした。\n/bin/false failed (exit "
                             "code 1)"});
        // A helper that hangs is given up.
        QVERIFY(!DesktopBackends::run("/bin/sleep", {"5"}, 200).ok);
    }

    void placementAndSizes()
    {
        World world;
        auto wall = world.wall();
        wall->setPicture(testsupport::flatImage(100, 80, 0)); // on 1024x768, default margins 25
        QVERIFY(wall->setAlign(8));
        // Margins top, bottom, left, right (IndentSpace 1..4): setting them
        // moves nothing. Index 0 is kept but places nothing; 5 and -1 are
        // refused.
        for (int index = 0; index <= 4; ++index)
            QVERIFY(wall->setIndentSpace(index, index ? 10 * index : 50));
        QVERIFY(!wall->setIndentSpace(5, 1) && !wall->setIndentSpace(-1, 1));
        QVERIFY(wall->IndentSpace(0) == 50 && !wall->IndentSpace(5));

        // x, y of each: still at Align 8 with the default margins, then Align
        // 0..8, then 9 and -1, which leave the origin where it is.
        QList<int> placed{wall->CurrentX(), wall->CurrentY()};
        for (const qint16 align : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, -1}) {
            QVERIFY(wall->setAlign(align));
            placed << wall->CurrentX() << wall->CurrentY();
        }
        QCOMPARE(placed, (QList<int>{899, 663, 0,  0,   0,   11, 0,   668, 31,  0,   884, 0,
                                     31,  11,  31, 668, 884, 11, 884, 668, 884, 668, 884, 668}));

        // 283.5 and 4252.5 twips: ties go to the even neighbour.
        wall->setPictureSizeHimetric(500, 7500);
        QCOMPARE(QSize(wall->TwipsWidth(), wall->TwipsHeight()), QSize(284, 4252));
        QCOMPARE(QSize(wall->PixelsWidth(), wall->PixelsHeight()), QSize(19, 283));
    }
};

QUILTON_TEST_MAIN(tst_wallset)
#include "tst_wallset.moc"
