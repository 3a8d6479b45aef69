#include "TestEnv.h"

#include "output/cWallSet.h"
#include "platform/Desktop.h"
#include "platform/DesktopBackends.h"
#include "platform/RegistryStore.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <limits>

namespace {

const QString kDesk = QStringLiteral("Control Panel\\desktop");
const QString kSaved =
    QStringLiteral("Software\\VB and VBA Program Settings\\Oakhollow\\quilton\\OldWallPaper");

QImage flatPicture(int w, int h, QRgb colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    image.setDotsPerMeterX(3780); // 96 dots per inch
    image.setDotsPerMeterY(3780);
    return image;
}

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("picture");
}

// A folder with fake gsettings, xfconf-query, feh and xsetroot that append
// their arguments (tab-separated, one call a line) to log; gsettings keeps
// what is set and prints it back on get; xfconf-query -l prints the file
// xfconf-list; a file fail-<program> makes that program fail.
class FakeTools
{
public:
    FakeTools()
    {
        const QString script = QStringLiteral(R"(#!/bin/sh
d="$QUILTON_FAKE_DIR"
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
)");
        for (const char* name : {"gsettings", "xfconf-query", "feh", "xsetroot"}) {
            QFile f(bin() + QLatin1Char('/') + QLatin1String(name));
            f.open(QIODevice::WriteOnly);
            f.write(script.toUtf8());
            f.close();
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("QUILTON_FAKE_DIR", m_dir.path().toLocal8Bit());
    }

    QString bin() const
    {
        QDir().mkpath(m_dir.filePath(QStringLiteral("bin")));
        return m_dir.filePath(QStringLiteral("bin"));
    }
    QString path(const QString& name) const { return bin() + QLatin1Char('/') + name; }

    void write(const QString& name, const QByteArray& content) const
    {
        QFile f(m_dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(content);
    }
    void remove(const QString& name) const { QFile::remove(m_dir.filePath(name)); }

    // The calls since the last take, each as its arguments (program first).
    QList<QStringList> take() const
    {
        QFile f(m_dir.filePath(QStringLiteral("log")));
        QList<QStringList> calls;
        if (f.open(QIODevice::ReadOnly)) {
            const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
            for (const QString& line : lines)
                if (!line.isEmpty())
                    calls << line.split(QLatin1Char('\t'));
            f.close();
            f.remove();
        }
        return calls;
    }

private:
    QTemporaryDir m_dir;
};

// Environment variables changed for one test and put back afterwards.
class EnvGuard
{
public:
    void set(const char* name, const QByteArray& value)
    {
        remember(name);
        qputenv(name, value);
    }
    void unset(const char* name)
    {
        remember(name);
        qunsetenv(name);
    }
    ~EnvGuard()
    {
        for (const auto& [name, value] : m_old) {
            if (value.isNull())
                qunsetenv(name.constData());
            else
                qputenv(name.constData(), value);
        }
    }

private:
    void remember(const char* name)
    {
        for (const auto& entry : m_old)
            if (entry.first == name)
                return;
        m_old.append(
            {QByteArray(name), qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray()});
    }
    QList<std::pair<QByteArray, QByteArray>> m_old;
};

// A temporary world: registry store, wallpaper folder, store-only desktop.
struct World
{
    QTemporaryDir dir;
    RegistryStore store{dir.filePath(QStringLiteral("config/registry.ini"))};
    std::unique_ptr<Desktop> desktop = makeStoreOnlyDesktop(store);
    QString windows = dir.filePath(QStringLiteral("backgrounds"));
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
    QString desk(const char* value) const { return store.get(kDesk, QLatin1String(value)); }
    QString saved(const char* value) const { return store.get(kSaved, QLatin1String(value)); }
    // The user's own wallpaper, untiled at 0, 0.
    QString userWallpaper()
    {
        const QString path = dir.filePath(QStringLiteral("Pictures/beach.jpg"));
        touch(path);
        desktop->applyWallpaper(path, false, 0, 0);
        store.set(kDesk, QStringLiteral("TileWallpaper"), QStringLiteral("0"));
        store.set(kDesk, QStringLiteral("WallpaperOriginX"), QStringLiteral("0"));
        store.set(kDesk, QStringLiteral("WallpaperOriginY"), QStringLiteral("0"));
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
    void restoreAfterSavedFileWasDeletedChangesNothing();
    void killWallWithoutRestoreClears();
    void emptyFileNameWritesNothing();
    void registryOnlyAppliesNothing();
    void unwritableWallpaperFolderIsReported();
    void placementTable_data();
    void placementTable();
    void indentSpaceAndOverflow();
    void himetricSizes();
    void centeringUntiles();
    void chooseDesktopFromSession();
    void gnomeCommands();
    void gnomeReadsBackWhatItSet();
    void gnomeWithRealGsettings();
    void setWallAsksGnomeForTheCurrentWallpaper();
    void xfceCommands();
    void fehCommands();
    void helperTimeoutAndMissingProgram();
    void parseGVariantPath_data();
    void parseGVariantPath();
};

void tst_wallset::setWallSavesThePreviousWallpaperOnce()
{
    World world;
    const QString beach = world.userWallpaper();

    const QImage tileB = flatPicture(100, 100, qRgb(10, 200, 30));
    auto first = world.wall(QStringLiteral("Quilton"));
    first->setTile(1);
    first->setPicture(tileB);
    QVERIFY(first->SetWall(true, false));
    first.reset();

    const QString own = world.windows + QStringLiteral("/Quilton.bmp");
    QCOMPARE(QImage(own).convertToFormat(QImage::Format_RGB32), tileB);
    QCOMPARE(world.saved("FileName"), beach);
    QCOMPARE(world.saved("CurrentX"), QStringLiteral("0"));
    QCOMPARE(world.saved("CurrentY"), QStringLiteral("0"));
    QCOMPARE(world.saved("Tiling"), QStringLiteral("0"));
    QCOMPARE(world.desk("TileWallpaper"), QStringLiteral("1"));
    QCOMPARE(world.desk("WallpaperOriginX"), QStringLiteral("0"));
    QCOMPARE(world.desk("WallpaperOriginY"), QStringLiteral("0"));
    QCOMPARE(world.desk("Wallpaper"), own);
    // The saved key carries the name in lower case.
    QFile file(world.store.file());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(
        QString::fromUtf8(file.readAll()).contains(QLatin1Char('[') + kSaved + QLatin1Char(']')));
    file.close();

    // A second tile overwrites the picture but keeps the saved wallpaper.
    const QImage tileC = flatPicture(100, 100, qRgb(250, 5, 5));
    auto second = world.wall(QStringLiteral("Quilton"));
    second->setTile(1);
    second->setPicture(tileC);
    QVERIFY(second->SetWall(true, false));
    QCOMPARE(QImage(own).convertToFormat(QImage::Format_RGB32), tileC);
    QCOMPARE(world.saved("FileName"), beach);

    // The restore goes back to the picture from before the first change.
    QVERIFY(world.wall()->KillWall(true));
    QCOMPARE(world.desk("Wallpaper"), beach);
    QCOMPARE(world.desk("TileWallpaper"), QStringLiteral("0"));
    QVERIFY(QFileInfo::exists(own)); // never deleted
    QVERIFY(world.reports.isEmpty());
}

void tst_wallset::ownFileInOtherCaseIsNotSaved()
{
    World world;
    const QString shouting = world.dir.filePath(QStringLiteral("elsewhere/QUILTON.BMP"));
    touch(shouting);
    world.desktop->applyWallpaper(shouting, true, 0, 0);
    auto wall = world.wall();
    wall->setPicture(flatPicture(8, 8, qRgb(1, 2, 3)));
    QVERIFY(wall->SetWall(true, false));
    QCOMPARE(world.saved("FileName"), QString());
    QCOMPARE(world.saved("Tiling"), QString());

    // A current wallpaper named like the own file that no longer exists is
    // the user's record and is saved.
    World other;
    const QString gone = other.dir.filePath(QStringLiteral("quilton.bmp"));
    other.desktop->applyWallpaper(gone, true, 0, 0);
    other.store.set(kDesk, QStringLiteral("TileWallpaper"), QStringLiteral("1"));
    other.store.set(kDesk, QStringLiteral("WallpaperOriginX"), QStringLiteral("7.5"));
    auto wall2 = other.wall();
    wall2->setPicture(flatPicture(8, 8, qRgb(1, 2, 3)));
    QVERIFY(wall2->SetWall(true, false));
    QCOMPARE(other.saved("FileName"), gone);
    QCOMPARE(other.saved("Tiling"), QStringLiteral("1"));
    QCOMPARE(other.saved("CurrentX"), QStringLiteral("8")); // 7.5 rounds to even
    QCOMPARE(other.saved("CurrentY"), QStringLiteral("0"));
}

void tst_wallset::restoreAfterSavedFileWasDeletedChangesNothing()
{
    World world;
    const QString beach = world.userWallpaper();
    auto wall = world.wall();
    wall->setTile(1);
    wall->setPicture(flatPicture(10, 10, qRgb(9, 9, 9)));
    QVERIFY(wall->SetWall(true, false));
    QVERIFY(QFile::remove(beach));

    QVERIFY(!world.wall()->KillWall(true));
    QCOMPARE(world.desk("Wallpaper"), world.windows + QStringLiteral("/quilton.bmp"));
    QCOMPARE(world.desk("TileWallpaper"), QStringLiteral("1"));
    QVERIFY(world.reports.isEmpty());

    // Nothing saved at all (no key): nothing to restore either.
    World fresh;
    QVERIFY(!fresh.wall()->KillWall(true));
    QCOMPARE(fresh.desk("TileWallpaper"), QString());
}

void tst_wallset::killWallWithoutRestoreClears()
{
    World world;
    world.userWallpaper();
    world.store.set(kDesk, QStringLiteral("TileWallpaper"), QStringLiteral("1"));
    world.store.set(kDesk, QStringLiteral("WallpaperOriginX"), QStringLiteral("12"));
    QVERIFY(world.wall()->KillWall(false));
    QCOMPARE(world.desk("Wallpaper"), QString());
    QCOMPARE(world.desk("TileWallpaper"), QStringLiteral("0"));
    QCOMPARE(world.desk("WallpaperOriginX"), QStringLiteral("0"));
    QCOMPARE(world.desk("WallpaperOriginY"), QStringLiteral("0"));
}

void tst_wallset::emptyFileNameWritesNothing()
{
    World world;
    auto wall = world.wall(QString());
    wall->setTile(1);
    wall->setPicture(flatPicture(10, 10, qRgb(9, 9, 9)));
    QVERIFY(!wall->SetWall(true, false));
    QVERIFY(!QFileInfo::exists(world.store.file()));
    QVERIFY(!QFileInfo::exists(world.windows));
    QVERIFY(world.reports.isEmpty());
}

void tst_wallset::registryOnlyAppliesNothing()
{
    World world;
    const QString beach = world.userWallpaper();
    auto wall = world.wall();
    wall->setTile(1);
    wall->setCurrentX(3);
    wall->setCurrentY(4);
    wall->setPicture(flatPicture(10, 10, qRgb(9, 9, 9)));
    QVERIFY(wall->SetWall(true, true));
    QVERIFY(QFileInfo::exists(world.windows + QStringLiteral("/quilton.bmp")));
    QCOMPARE(world.desk("TileWallpaper"), QStringLiteral("1"));
    QCOMPARE(world.desk("WallpaperOriginX"), QStringLiteral("3"));
    QCOMPARE(world.desk("WallpaperOriginY"), QStringLiteral("4"));
    QCOMPARE(world.desk("Wallpaper"), beach);
    QCOMPARE(world.saved("FileName"), QString());
}

void tst_wallset::unwritableWallpaperFolderIsReported()
{
    World world;
    world.userWallpaper();
    // A file where the wallpaper folder should be: nothing can be written
    // into it, for root as for anyone.
    touch(world.windows);
    auto wall = world.wall();
    wall->setTile(1);
    wall->setPicture(flatPicture(10, 10, qRgb(9, 9, 9)));
    QVERIFY(!wall->SetWall(false, false));
    QCOMPARE(world.reports.size(), 1);
    QVERIFY2(world.reports[0].startsWith(QStringLiteral("cWallSet Class|SetWallError")),
             qPrintable(world.reports[0]));
    QVERIFY(world.reports[0].size() > QStringLiteral("cWallSet Class|SetWallError").size());
    // Stopped at the failing step: the desktop values are untouched.
    QCOMPARE(world.desk("TileWallpaper"), QStringLiteral("0"));

    // No picture at all fails the same way.
    World other;
    QVERIFY(!other.wall()->SetWall(false, false));
    QCOMPARE(other.reports.size(), 1);
    QVERIFY(other.reports[0].startsWith(QStringLiteral("cWallSet Class|SetWallError")));
}

void tst_wallset::placementTable_data()
{
    QTest::addColumn<int>("align");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::newRow("0 origin") << 0 << 0 << 0;
    QTest::newRow("1 top") << 1 << 0 << 26;
    QTest::newRow("2 bottom") << 2 << 0 << 663;
    QTest::newRow("3 left") << 3 << 26 << 0;
    QTest::newRow("4 right") << 4 << 899 << 0;
    QTest::newRow("5 top left") << 5 << 26 << 26;
    QTest::newRow("6 bottom left") << 6 << 26 << 663;
    QTest::newRow("7 top right") << 7 << 899 << 26;
    QTest::newRow("8 bottom right") << 8 << 899 << 663;
    QTest::newRow("9 keeps the origin") << 9 << -5 << -6;
    QTest::newRow("-1 keeps the origin") << -1 << -5 << -6;
}

void tst_wallset::placementTable()
{
    QFETCH(int, align);
    QFETCH(int, x);
    QFETCH(int, y);
    World world;
    auto wall = world.wall();
    QCOMPARE(wall->Align(), qint16(7)); // stored without placing
    QCOMPARE(wall->CurrentX(), 0);
    wall->setPicture(flatPicture(100, 80, qRgb(0, 0, 0)));
    QCOMPARE(wall->PixelsWidth(), 100);
    QCOMPARE(wall->PixelsHeight(), 80);
    wall->setCurrentX(-5);
    wall->setCurrentY(-6);
    QVERIFY(wall->setAlign(qint16(align)));
    QCOMPARE(wall->Align(), qint16(align));
    QCOMPARE(wall->CurrentX(), x);
    QCOMPARE(wall->CurrentY(), y);
}

void tst_wallset::indentSpaceAndOverflow()
{
    World world;
    auto wall = world.wall();
    for (int i = 0; i <= 4; ++i)
        QCOMPARE(wall->IndentSpace(i), std::optional<qint32>(25));
    QVERIFY(!wall->IndentSpace(5));
    QVERIFY(!wall->IndentSpace(-1));
    QVERIFY(!wall->setIndentSpace(5, 1));

    wall->setPicture(flatPicture(100, 80, qRgb(0, 0, 0)));
    QVERIFY(wall->setIndentSpace(1, 0));
    QVERIFY(wall->setIndentSpace(4, 100));
    QCOMPARE(wall->CurrentY(), 0); // a margin alone moves nothing
    QVERIFY(wall->setAlign(7));
    QCOMPARE(wall->CurrentX(), 1024 - 100 - 100);
    QCOMPARE(wall->CurrentY(), 1);

    // Past the 32-bit range: refused, the origin stays.
    QVERIFY(wall->setIndentSpace(1, std::numeric_limits<qint32>::max()));
    QVERIFY(!wall->setAlign(1));
    QCOMPARE(wall->CurrentY(), 1);
    QVERIFY(wall->setIndentSpace(2, std::numeric_limits<qint32>::min()));
    QVERIFY(!wall->setAlign(2));
}

void tst_wallset::himetricSizes()
{
    World world;
    auto wall = world.wall();
    wall->setPictureSizeHimetric(2540, 1270);
    QCOMPARE(wall->TwipsWidth(), 1440); // 1440.18, not 1440 exactly
    QCOMPARE(wall->PixelsWidth(), 96);
    QCOMPARE(wall->TwipsHeight(), 720);
    QCOMPARE(wall->PixelsHeight(), 48);

    // 96 pixels at 96 dots per inch are an inch: 2540 HIMETRIC.
    wall->setPicture(flatPicture(96, 48, qRgb(1, 1, 1)));
    QCOMPARE(wall->TwipsWidth(), 1440);
    QCOMPARE(wall->PixelsWidth(), 96);
    QCOMPARE(wall->PixelsHeight(), 48);
    // At 192 dots per inch the same inch has 192 pixels.
    QImage fine = flatPicture(192, 96, qRgb(1, 1, 1));
    fine.setDotsPerMeterX(7559);
    fine.setDotsPerMeterY(7559);
    wall->setPicture(fine);
    QCOMPARE(wall->PixelsWidth(), 96);
    QCOMPARE(wall->PixelsHeight(), 48);
    // Another twips-per-pixel ratio.
    cWallSet coarse(world.store, *world.desktop, world.windows, 800, 600, 20, 12);
    coarse.setPictureSizeHimetric(2540, 2540);
    QCOMPARE(coarse.PixelsWidth(), 72);
    QCOMPARE(coarse.PixelsHeight(), 120);
}

void tst_wallset::centeringUntiles()
{
    World world;
    const QString beach = world.userWallpaper();
    world.store.set(kDesk, QStringLiteral("TileWallpaper"), QStringLiteral("1"));
    world.store.set(kDesk, QStringLiteral("WallpaperOriginX"), QStringLiteral("40"));
    world.wall()->Centering();
    QCOMPARE(world.desk("Wallpaper"), beach);
    QCOMPARE(world.desk("TileWallpaper"), QStringLiteral("0"));
    QCOMPARE(world.desk("WallpaperOriginX"), QStringLiteral("0"));
    QCOMPARE(world.wall()->NowWallName(), beach);
    QCOMPARE(world.wall()->FileName(), world.windows + QStringLiteral("/quilton.bmp"));
}

void tst_wallset::chooseDesktopFromSession()
{
    FakeTools tools;
    QTemporaryDir empty;
    World world;
    EnvGuard env;
    const QByteArray fakePath = tools.bin().toLocal8Bit();

    env.set("PATH", fakePath);
    env.set("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    env.unset("DISPLAY");
    QCOMPARE(makeDesktop(world.store)->name(), QStringLiteral("gnome"));
    env.set("XDG_CURRENT_DESKTOP", "XFCE");
    QCOMPARE(makeDesktop(world.store)->name(), QStringLiteral("xfce"));
    env.set("XDG_CURRENT_DESKTOP", "KDE");
    QCOMPARE(makeDesktop(world.store)->name(), QStringLiteral("store"));
    env.set("DISPLAY", ":9");
    QCOMPARE(makeDesktop(world.store)->name(), QStringLiteral("feh"));
    // The session's own tool missing: the next choice.
    env.set("PATH", empty.path().toLocal8Bit());
    env.set("XDG_CURRENT_DESKTOP", "GNOME");
    QCOMPARE(makeDesktop(world.store)->name(), QStringLiteral("store"));
    QCOMPARE(makeStoreOnlyDesktop(world.store)->name(), QStringLiteral("store"));
}

void tst_wallset::gnomeCommands()
{
    FakeTools tools;
    World world;
    auto gnome = DesktopBackends::makeGnome(world.store, tools.path(QStringLiteral("gsettings")));
    const QString schema = QStringLiteral("org.gnome.desktop.background");
    const QStringList set{QStringLiteral("gsettings"), QStringLiteral("set"), schema};

    QVERIFY(gnome->applyWallpaper(QStringLiteral("/tmp/my pics/quilton.bmp"), true, 0, 0));
    const QString uri = QStringLiteral("'file:///tmp/my%20pics/quilton.bmp'");
    QCOMPARE(tools.take(), (QList<QStringList>{set + QStringList{"picture-uri", uri},
                                               set + QStringList{"picture-uri-dark", uri},
                                               set + QStringList{"picture-options", "wallpaper"}}));
    QCOMPARE(world.desk("Wallpaper"), QStringLiteral("/tmp/my pics/quilton.bmp"));

    const QString odd = QStringLiteral("/tmp/it's \"q\"\\x.bmp");
    QVERIFY(gnome->applyWallpaper(odd, false, 0, 0));
    const QString oddUri = QStringLiteral("'file:///tmp/it\\'s%20%22q%22%5Cx.bmp'");
    QCOMPARE(tools.take(), (QList<QStringList>{set + QStringList{"picture-uri", oddUri},
                                               set + QStringList{"picture-uri-dark", oddUri},
                                               set + QStringList{"picture-options", "centered"}}));

    QVERIFY(gnome->applyWallpaper(QString(), false, 0, 0));
    QCOMPARE(tools.take(), (QList<QStringList>{set + QStringList{"picture-options", "none"}}));
    QCOMPARE(world.desk("Wallpaper"), QString());

    // No dark-style key (older GNOME): still applied.
    tools.write(QStringLiteral("fail-gsettings-picture-uri-dark"), "");
    QVERIFY(gnome->applyWallpaper(QStringLiteral("/a.bmp"), true, 0, 0));
    QCOMPARE(tools.take().size(), 3);
    QCOMPARE(world.desk("Wallpaper"), QStringLiteral("/a.bmp"));

    // gsettings failing: refused, with a reason, and nothing recorded.
    tools.write(QStringLiteral("fail-gsettings"), "");
    QVERIFY(!gnome->applyWallpaper(QStringLiteral("/b.bmp"), true, 0, 0));
    QVERIFY(!gnome->errorString().isEmpty());
    QCOMPARE(world.desk("Wallpaper"), QStringLiteral("/a.bmp"));
}

void tst_wallset::gnomeReadsBackWhatItSet()
{
    FakeTools tools;
    World world;
    auto gnome = DesktopBackends::makeGnome(world.store, tools.path(QStringLiteral("gsettings")));
    const QString path = QStringLiteral("/tmp/a b/it's \"tiled\" \\ 写真 #1 %20.bmp");
    QVERIFY(gnome->applyWallpaper(path, true, 0, 0));
    tools.take();
    QCOMPARE(gnome->currentWallpaper(), path);

    // Set elsewhere (GNOME's own settings): GNOME's answer counts.
    tools.write(QStringLiteral("gs-picture-uri"), "'file:///home/u/Pictures/sea%20side.jpg'\n");
    tools.write(QStringLiteral("gs-picture-options"), "'zoom'\n");
    QCOMPARE(gnome->currentWallpaper(), QStringLiteral("/home/u/Pictures/sea side.jpg"));
    tools.write(QStringLiteral("gs-picture-options"), "'none'\n");
    QCOMPARE(gnome->currentWallpaper(), QString());
}

void tst_wallset::gnomeWithRealGsettings()
{
    const QString gsettings = QStringLiteral("/usr/bin/gsettings");
    if (!QFileInfo(gsettings).isExecutable())
        QSKIP("gsettings (Debian package libglib2.0-bin) is not installed");
    EnvGuard env;
    // The key-file back end keeps the values in the temporary home.
    env.set("GSETTINGS_BACKEND", "keyfile");
    World world;
    const auto probe = DesktopBackends::run(
        gsettings, {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.background"),
                    QStringLiteral("picture-options")});
    if (!probe.ok)
        QSKIP("the GNOME background schema is not installed");

    auto gnome = DesktopBackends::makeGnome(world.store, gsettings);
    for (const QString& path :
         {QStringLiteral("/tmp/plain.bmp"), QStringLiteral("/tmp/a b/it's \"x\" \\ 写真 #1.bmp")}) {
        QVERIFY2(gnome->applyWallpaper(path, true, 0, 0), qPrintable(gnome->errorString()));
        QCOMPARE(gnome->currentWallpaper(), path);
    }
    const auto options = DesktopBackends::run(
        gsettings, {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.background"),
                    QStringLiteral("picture-options")});
    QCOMPARE(options.output.trimmed(), QByteArray("'wallpaper'"));
    QVERIFY(gnome->applyWallpaper(QString(), false, 0, 0));
    QCOMPARE(gnome->currentWallpaper(), QString());
}

void tst_wallset::setWallAsksGnomeForTheCurrentWallpaper()
{
    FakeTools tools;
    World world;
    world.desktop =
        DesktopBackends::makeGnome(world.store, tools.path(QStringLiteral("gsettings")));
    const QString mine = world.dir.filePath(QStringLiteral("Pictures/mine.png"));
    touch(mine);
    tools.write(QStringLiteral("gs-picture-uri"),
                QUrl::fromLocalFile(mine).toString(QUrl::FullyEncoded).toUtf8().prepend('\'') +
                    "'\n");
    tools.write(QStringLiteral("gs-picture-options"), "'zoom'\n");
    // The store still names an older wallpaper.
    world.store.set(kDesk, QStringLiteral("Wallpaper"), QStringLiteral("/old/stale.bmp"));

    auto wall = world.wall();
    wall->setTile(1);
    wall->setPicture(flatPicture(10, 10, qRgb(9, 9, 9)));
    QVERIFY(wall->SetWall(true, false));
    QCOMPARE(world.saved("FileName"), mine);
    QCOMPARE(world.wall()->NowWallName(), world.windows + QStringLiteral("/quilton.bmp"));
    // The desktop refusing is reported, not passed off as done.
    tools.write(QStringLiteral("fail-gsettings"), "");
    QVERIFY(!world.wall()->SetWall(false, false));
    QCOMPARE(world.reports.size(), 1);
    QVERIFY(world.reports[0].startsWith(QStringLiteral("cWallSet Class|SetWallError")));
}

void tst_wallset::xfceCommands()
{
    FakeTools tools;
    World world;
    tools.write(QStringLiteral("xfconf-list"),
                "/backdrop/screen0/monitor0/workspace0/color-style\n"
                "/backdrop/screen0/monitor0/workspace0/image-style\n"
                "/backdrop/screen0/monitor0/workspace0/last-image\n"
                "/backdrop/screen0/monitorHDMI-1/workspace1/last-image\n"
                "/desktop-icons/style\n");
    auto xfce = DesktopBackends::makeXfce(world.store, tools.path(QStringLiteral("xfconf-query")));
    const QStringList q{QStringLiteral("xfconf-query"), QStringLiteral("-c"),
                        QStringLiteral("xfce4-desktop")};
    const QString m0 = QStringLiteral("/backdrop/screen0/monitor0/workspace0/");
    const QString m1 = QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace1/");
    const QString path = QStringLiteral("/tmp/my \"wall\".bmp");

    for (const auto& [tiled, style] : {std::pair{true, "2"}, std::pair{false, "1"}}) {
        QVERIFY(xfce->applyWallpaper(path, tiled, 0, 0));
        QCOMPARE(tools.take(),
                 (QList<QStringList>{
                     q + QStringList{"-l"}, q + QStringList{"-p", m0 + "last-image", "-s", path},
                     q + QStringList{"-p", m0 + "image-style", "-s", style},
                     q + QStringList{"-p", m1 + "last-image", "-s", path},
                     q + QStringList{"-p", m1 + "image-style", "-n", "-t", "int", "-s", style}}));
    }
    QCOMPARE(world.desk("Wallpaper"), path);

    QVERIFY(xfce->applyWallpaper(QString(), false, 0, 0));
    QCOMPARE(tools.take(),
             (QList<QStringList>{
                 q + QStringList{"-l"}, q + QStringList{"-p", m0 + "image-style", "-s", "0"},
                 q + QStringList{"-p", m1 + "image-style", "-n", "-t", "int", "-s", "0"}}));
    QCOMPARE(world.desk("Wallpaper"), QString());

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
    QCOMPARE(tools.take(),
             (QList<QStringList>{QStringList{"feh", "--no-fehbg", "--bg-tile", path},
                                 QStringList{"feh", "--no-fehbg", "--bg-center", path},
                                 QStringList{"xsetroot", "-solid", "black"}}));
    QCOMPARE(feh->currentWallpaper(), QString());

    tools.write(QStringLiteral("fail-feh"), "");
    QVERIFY(!feh->applyWallpaper(path, true, 0, 0));
    QVERIFY(feh->errorString().contains(QStringLiteral("exit code 3")));
    QCOMPARE(world.desk("Wallpaper"), QString());
}

void tst_wallset::helperTimeoutAndMissingProgram()
{
    const auto slow =
        DesktopBackends::run(QStringLiteral("/bin/sleep"), {QStringLiteral("5")}, 200);
    QVERIFY(!slow.ok);
    QVERIFY(!slow.error.isEmpty());
    const auto missing = DesktopBackends::run(QStringLiteral("/no/such/program"), {});
    QVERIFY(!missing.ok);
    QVERIFY(!missing.error.isEmpty());
}

void tst_wallset::parseGVariantPath_data()
{
    QTest::addColumn<QString>("printed");
    QTest::addColumn<QString>("path");
    QTest::newRow("file uri") << "'file:///a%20b/c.jpg'\n"
                              << "/a b/c.jpg";
    QTest::newRow("double quotes") << "\"file:///tmp/it's.bmp\""
                                   << "/tmp/it's.bmp";
    QTest::newRow("escaped quote") << "'/tmp/it\\'s.bmp'"
                                   << "/tmp/it's.bmp";
    QTest::newRow("backslash") << "'/tmp/a\\\\b.bmp'"
                               << "/tmp/a\\b.bmp";
    QTest::newRow("unicode escape") << "'/tmp/\\u5199.bmp'"
                                    << "/tmp/写.bmp";
    QTest::newRow("empty") << "''"
                           << "";
    QTest::newRow("plain path") << "/x.png"
                                << "/x.png";
}

void tst_wallset::parseGVariantPath()
{
    QFETCH(QString, printed);
    QFETCH(QString, path);
    QCOMPARE(DesktopBackends::parseGVariantPath(printed), path);
}

QUILTON_TEST_MAIN(tst_wallset)
#include "tst_wallset.moc"
