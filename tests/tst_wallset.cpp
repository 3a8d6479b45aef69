#include "TestEnv.h"
#include "support/TestInstall.h"

#include "output/cWallSet.h"
#include "platform/Desktop.h"
#include "platform/DesktopBackends.h"
#include "platform/RegistryStore.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUrl>

#include <limits>

namespace {

const QString kDesk = QStringLiteral("Control Panel\\desktop");
const QString kSaved =
    QStringLiteral("Software\\VB and VBA Program Settings\\Oakhollow\\quilton\\OldWallPaper");

// A flat picture at 96 dots per inch: as many wallpaper pixels as picture pixels.
QImage picture96(int w, int h, QRgb colour = qRgb(9, 9, 9))
{
    QImage image = testsupport::flatImage(w, h, colour);
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    return image;
}

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    testsupport::writeBytes(path, "picture");
}

// A folder with fake gsettings, xfconf-query, feh and xsetroot that append
// their arguments (tab-separated, one call a line) to "log"; gsettings keeps
// what is set in gs-<key> and prints it back on get; xfconf-query -l prints
// xfconf-list; a file fail-<program> (or fail-gsettings-<key>) makes it fail.
struct FakeTools
{
    QTemporaryDir dir;

    FakeTools()
    {
        const QByteArray script = R"(#!/bin/sh
d=$(dirname "$0")
name=$(basename "$0")
{ printf '%s' "$name"; for a in "$@"; do printf '\t%s' "$a"; done; printf '\n'; } >> "$d/log"
[ -e "$d/fail-$name" ] && exit 3
case "$name" in
gsettings)
  [ "$1" = set ] && [ -e "$d/fail-gsettings-$3" ] && exit 4
  [ "$1" = set ] && printf '%s\n' "$4" > "$d/gs-$3"
  if [ "$1" = get ]; then cat "$d/gs-$3" || exit 1; fi ;;
xfconf-query)
  [ "$3" = -l ] && cat "$d/xfconf-list" ;;
esac
exit 0
)";
        for (const char* name : {"gsettings", "xfconf-query", "feh", "xsetroot"}) {
            QFile file(path(QLatin1String(name)));
            file.open(QIODevice::WriteOnly);
            file.write(script);
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    void write(const QString& name, const QByteArray& content) const
    {
        testsupport::writeBytes(path(name), content);
    }
    // The calls since the last take, each as its arguments (program first).
    QList<QStringList> take() const
    {
        QList<QStringList> calls;
        const QStringList lines =
            QString::fromUtf8(testsupport::readAll(path(QStringLiteral("log"))))
                .split(QLatin1Char('\n'));
        for (const QString& line : lines)
            if (!line.isEmpty())
                calls << line.split(QLatin1Char('\t'));
        QFile::remove(path(QStringLiteral("log")));
        return calls;
    }
};

// A registry store, wallpaper folder and store-only desktop of its own.
struct World
{
    QTemporaryDir dir;
    RegistryStore store{dir.filePath(QStringLiteral("config/registry.ini"))};
    std::unique_ptr<Desktop> desktop = makeStoreOnlyDesktop(store);
    QString windows = dir.filePath(QStringLiteral("backgrounds"));
    QString own = windows + QStringLiteral("/quilton.bmp");
    QStringList reports;

    std::unique_ptr<cWallSet> wall(const QString& name = QStringLiteral("quilton"))
    {
        auto w = std::make_unique<cWallSet>(store, *desktop, windows, 1024, 768);
        w->setErrorReporter([this](const QString& caption, const QString& text) {
            reports << caption + QLatin1Char('|') + text;
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
    QString desk(const char* value) const { return store.get(kDesk, QLatin1String(value)); }
    QString saved(const char* value) const { return store.get(kSaved, QLatin1String(value)); }
    // The user's own wallpaper, untiled at 0, 0.
    QString userWallpaper()
    {
        const QString path = dir.filePath(QStringLiteral("Pictures/beach.jpg"));
        touch(path);
        desktop->applyWallpaper(path, false, 0, 0);
        for (const char* value : {"TileWallpaper", "WallpaperOriginX", "WallpaperOriginY"})
            store.set(kDesk, QLatin1String(value), QStringLiteral("0"));
        return path;
    }
};

} // namespace

class tst_wallset : public QObject
{
    Q_OBJECT

private slots:
    void setWallSavesThePreviousWallpaperOnce();
    void ownFileInOtherCaseIsNotSaved();
    void restoreAfterSavedFileWasDeletedFailsAndKillWallClears();
    void emptyFileNameOrRegistryOnlyAppliesNothing();
    void setWallErrorIsReported();
    void placementAndSizes();
    void gnomeCommandsAndReadBack();
    void xfceCommands();
    void fehCommands();
    void helperTimeoutAndMissingProgram();
};

void tst_wallset::setWallSavesThePreviousWallpaperOnce()
{
    World world;
    const QString beach = world.userWallpaper();
    const QImage tileB = picture96(100, 100, qRgb(10, 200, 30));
    QVERIFY(world.setWall(tileB));
    QCOMPARE(QImage(world.own).convertToFormat(QImage::Format_RGB32), tileB);
    QCOMPARE(world.saved("FileName"), beach);
    QCOMPARE(world.desk("TileWallpaper"), QStringLiteral("1"));
    QCOMPARE(world.desk("Wallpaper"), world.own);
    // The saved key carries the name in lower case.
    QVERIFY(testsupport::readAll(world.store.file()).contains(kSaved.toUtf8()));

    // A second tile overwrites the picture but keeps the saved wallpaper.
    const QImage tileC = picture96(100, 100, qRgb(250, 5, 5));
    QVERIFY(world.setWall(tileC));
    QCOMPARE(QImage(world.own).convertToFormat(QImage::Format_RGB32), tileC);
    QCOMPARE(world.saved("FileName"), beach);

    QVERIFY(world.wall()->KillWall(true));
    QCOMPARE(world.desk("Wallpaper"), beach);
    QCOMPARE(world.desk("TileWallpaper"), QStringLiteral("0"));
    QVERIFY(QFileInfo::exists(world.own)); // never deleted
    QVERIFY(world.reports.isEmpty());
}

void tst_wallset::ownFileInOtherCaseIsNotSaved()
{
    World world;
    const QString shouting = world.dir.filePath(QStringLiteral("elsewhere/QUILTON.BMP"));
    touch(shouting);
    world.desktop->applyWallpaper(shouting, true, 0, 0);
    QVERIFY(world.setWall(picture96(8, 8)));
    QCOMPARE(world.saved("FileName"), QString());

    // A wallpaper named like the own file that no longer exists is the
    // user's record and is saved.
    World other;
    const QString gone = other.dir.filePath(QStringLiteral("quilton.bmp"));
    other.desktop->applyWallpaper(gone, true, 0, 0);
    other.store.set(kDesk, QStringLiteral("WallpaperOriginX"), QStringLiteral("7.5"));
    QVERIFY(other.setWall(picture96(8, 8)));
    QCOMPARE(other.saved("FileName"), gone);
    QCOMPARE(other.saved("CurrentX"), QStringLiteral("8")); // 7.5 rounds to even
}

void tst_wallset::restoreAfterSavedFileWasDeletedFailsAndKillWallClears()
{
    World world;
    const QString beach = world.userWallpaper();
    QVERIFY(world.setWall(picture96(10, 10)));
    QVERIFY(QFile::remove(beach));
    QVERIFY(!world.wall()->KillWall(true));
    QCOMPARE(world.desk("Wallpaper"), world.own);
    QCOMPARE(world.desk("TileWallpaper"), QStringLiteral("1"));
    QVERIFY(world.reports.isEmpty());

    // Without restoring: no wallpaper, untiled at the origin.
    world.store.set(kDesk, QStringLiteral("WallpaperOriginX"), QStringLiteral("12"));
    QVERIFY(world.wall()->KillWall(false));
    QCOMPARE(world.desk("Wallpaper"), QString());
    QCOMPARE(world.desk("TileWallpaper"), QStringLiteral("0"));
    QCOMPARE(world.desk("WallpaperOriginX"), QStringLiteral("0"));

    // Nothing saved at all: nothing to restore either.
    World fresh;
    QVERIFY(!fresh.wall()->KillWall(true));
}

void tst_wallset::emptyFileNameOrRegistryOnlyAppliesNothing()
{
    World world;
    auto nameless = world.wall(QString());
    nameless->setPicture(picture96(10, 10));
    QVERIFY(!nameless->SetWall(true, false));
    QVERIFY(!QFileInfo::exists(world.store.file()));
    QVERIFY(!QFileInfo::exists(world.windows));
    QVERIFY(world.reports.isEmpty());

    // Both arguments true: the picture and values written, nothing applied
    // and nothing saved.
    const QString beach = world.userWallpaper();
    QVERIFY(world.setWall(picture96(10, 10), true, true));
    QVERIFY(QFileInfo::exists(world.own));
    QCOMPARE(world.desk("TileWallpaper"), QStringLiteral("1"));
    QCOMPARE(world.desk("Wallpaper"), beach);
    QCOMPARE(world.saved("FileName"), QString());
}

void tst_wallset::setWallErrorIsReported()
{
    World world;
    world.userWallpaper();
    touch(world.windows); // a file where the wallpaper folder should be
    QVERIFY(!world.setWall(picture96(10, 10), false));
    QCOMPARE(world.reports.size(), 1);
    QVERIFY2(world.reports[0].startsWith(QStringLiteral("cWallSet Class|SetWallError")) &&
                 world.reports[0].size() > 30,
             qPrintable(world.reports[0]));
    QCOMPARE(world.desk("TileWallpaper"), QStringLiteral("0")); // stopped at the failing step

    // On GNOME the wallpaper saved is the one GNOME shows, not an older one
    // still named in the store; GNOME refusing is reported, not passed off
    // as done.
    FakeTools tools;
    World gnome;
    gnome.desktop =
        DesktopBackends::makeGnome(gnome.store, tools.path(QStringLiteral("gsettings")));
    const QString mine = gnome.dir.filePath(QStringLiteral("mine.png"));
    touch(mine);
    tools.write(QStringLiteral("gs-picture-uri"),
                "'" + QUrl::fromLocalFile(mine).toEncoded() + "'");
    tools.write(QStringLiteral("gs-picture-options"), "'zoom'");
    gnome.store.set(kDesk, QStringLiteral("Wallpaper"), QStringLiteral("/old/stale.bmp"));
    QVERIFY(gnome.setWall(picture96(10, 10)));
    QCOMPARE(gnome.saved("FileName"), mine);
    tools.write(QStringLiteral("fail-gsettings"), "");
    QVERIFY(!gnome.setWall(picture96(10, 10), false));
    QCOMPARE(gnome.reports.size(), 1);
    QVERIFY(gnome.reports[0].startsWith(QStringLiteral("cWallSet Class|SetWallError")));
}

void tst_wallset::placementAndSizes()
{
    World world;
    // A 100x80 picture on 1024x768 with the default margins of 25.
    const struct
    {
        qint16 align;
        int x, y;
    } table[] = {{8, 899, 663}, {9, 899, 663}, {5, 26, 26}}; // 9 keeps the origin
    auto wall = world.wall();
    wall->setPicture(picture96(100, 80));
    for (const auto& row : table) {
        QVERIFY(wall->setAlign(row.align));
        QCOMPARE(QPoint(wall->CurrentX(), wall->CurrentY()), QPoint(row.x, row.y));
    }
    // Past the 32-bit range: refused, the origin stays.
    QVERIFY(wall->setIndentSpace(1, std::numeric_limits<qint32>::max()));
    QVERIFY(wall->setIndentSpace(2, std::numeric_limits<qint32>::min()));
    QVERIFY(!wall->setAlign(1) && !wall->setAlign(2));
    QCOMPARE(wall->CurrentY(), 26);
    QVERIFY(!wall->setIndentSpace(5, 1));

    wall->setPictureSizeHimetric(2540, 1270);
    QCOMPARE(wall->TwipsWidth(), 1440); // 1440.18, not 1440 exactly
    QCOMPARE(wall->PixelsWidth(), 96);
    QCOMPARE(wall->PixelsHeight(), 48);
    // At 192 dots per inch 192 pixels are still an inch.
    QImage fine = picture96(192, 96);
    fine.setDotsPerMeterX(7559);
    fine.setDotsPerMeterY(7559);
    wall->setPicture(fine);
    QCOMPARE(wall->TwipsWidth(), 1440);
    QCOMPARE(wall->PixelsWidth(), 96);
}

void tst_wallset::gnomeCommandsAndReadBack()
{
    FakeTools tools;
    World world;
    auto gnome = DesktopBackends::makeGnome(world.store, tools.path(QStringLiteral("gsettings")));
    const QStringList set{"gsettings", "set", "org.gnome.desktop.background"};
    const auto calls = [&set](const QString& uri, const char* options) {
        return QList<QStringList>{set + QStringList{"picture-uri", uri},
                                  set + QStringList{"picture-uri-dark", uri},
                                  set + QStringList{"picture-options", options}};
    };
    QVERIFY(gnome->applyWallpaper(QStringLiteral("/tmp/my pics/quilton.bmp"), true, 0, 0));
    QCOMPARE(tools.take(), calls("'file:///tmp/my%20pics/quilton.bmp'", "wallpaper"));
    const QString odd = QStringLiteral("/tmp/it's \"q\"\\x 写真.bmp");
    QVERIFY(gnome->applyWallpaper(odd, false, 0, 0));
    QCOMPARE(tools.take(),
             calls("'file:///tmp/it\\'s%20%22q%22%5Cx%20%E5%86%99%E7%9C%9F.bmp'", "centered"));
    QCOMPARE(gnome->currentWallpaper(), odd);
    tools.take();
    QVERIFY(gnome->applyWallpaper(QString(), false, 0, 0));
    QCOMPARE(tools.take(), (QList<QStringList>{set + QStringList{"picture-options", "none"}}));
    QCOMPARE(gnome->currentWallpaper(), QString());

    // Set in GNOME's own settings since: GNOME's answer counts.
    tools.write(QStringLiteral("gs-picture-uri"), "'file:///home/u/sea%20side.jpg'\n");
    tools.write(QStringLiteral("gs-picture-options"), "'zoom'\n");
    QCOMPARE(gnome->currentWallpaper(), QStringLiteral("/home/u/sea side.jpg"));

    // No dark-style key (older GNOME): still applied. gsettings failing:
    // refused, with a reason, and nothing recorded.
    tools.write(QStringLiteral("fail-gsettings-picture-uri-dark"), "");
    QVERIFY(gnome->applyWallpaper(QStringLiteral("/a.bmp"), true, 0, 0));
    tools.write(QStringLiteral("fail-gsettings"), "");
    QVERIFY(!gnome->applyWallpaper(QStringLiteral("/b.bmp"), true, 0, 0));
    QVERIFY(!gnome->errorString().isEmpty());
    QCOMPARE(world.desk("Wallpaper"), QStringLiteral("/a.bmp"));
}

void tst_wallset::xfceCommands()
{
    FakeTools tools;
    World world;
    tools.write(QStringLiteral("xfconf-list"), "/backdrop/screen0/monitor0/workspace0/image-style\n"
                                               "/backdrop/screen0/monitor0/workspace0/last-image\n"
                                               "/backdrop/screen0/monitorHDMI-1/workspace1/"
                                               "last-image\n/desktop-icons/style\n");
    auto xfce = DesktopBackends::makeXfce(world.store, tools.path(QStringLiteral("xfconf-query")));
    const QStringList q{"xfconf-query", "-c", "xfce4-desktop"};
    const QString m0 = QStringLiteral("/backdrop/screen0/monitor0/workspace0/");
    const QString m1 = QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace1/");
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

    // No backdrop listed: refused with a reason.
    tools.write(QStringLiteral("xfconf-list"), "/desktop-icons/style\n");
    QVERIFY(!xfce->applyWallpaper(path, true, 0, 0));
    QVERIFY(!xfce->errorString().isEmpty());
}

void tst_wallset::fehCommands()
{
    FakeTools tools;
    World world;
    auto feh = DesktopBackends::makeFeh(world.store, tools.path(QStringLiteral("feh")),
                                        tools.path(QStringLiteral("xsetroot")));
    const QString path = QStringLiteral("/tmp/a 'b' \"c\".bmp");
    QVERIFY(feh->applyWallpaper(path, true, 0, 0));
    QVERIFY(feh->applyWallpaper(path, false, 0, 0));
    QCOMPARE(feh->currentWallpaper(), path);
    QVERIFY(feh->applyWallpaper(QString(), false, 0, 0));
    QCOMPARE(tools.take(), (QList<QStringList>{{"feh", "--no-fehbg", "--bg-tile", path},
                                               {"feh", "--no-fehbg", "--bg-center", path},
                                               {"xsetroot", "-solid", "black"}}));
    QCOMPARE(feh->currentWallpaper(), QString());
}

void tst_wallset::helperTimeoutAndMissingProgram()
{
    const auto slow = DesktopBackends::run(QStringLiteral("/bin/sleep"), {"5"}, 200);
    QVERIFY(!slow.ok && !slow.error.isEmpty());
    const auto missing = DesktopBackends::run(QStringLiteral("/no/such/program"), {});
    QVERIFY(!missing.ok && !missing.error.isEmpty());
}

QUILTON_TEST_MAIN(tst_wallset)
#include "tst_wallset.moc"
