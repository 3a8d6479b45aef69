#include "output/cWallSet.h"

#include "output/PictureSaver.h"
#include "platform/Desktop.h"
#include "platform/RegistryStore.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <cmath>
#include <limits>

namespace {

const QString kDesktopKey = QStringLiteral("Control Panel\\desktop");

// A number as the settings file reads one: blanks around it allowed, sign and
// fraction allowed, a fraction rounded to nearest with ties to even. Nothing
// when the text is no number or the value does not fit between lo and hi.
std::optional<qint64> toWhole(const QString& text, qint64 lo, qint64 hi)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value);
    if (rounded < double(lo) || rounded > double(hi))
        return std::nullopt;
    return qint64(rounded);
}

qint32 toInt32(double value)
{
    const double rounded = std::nearbyint(value);
    if (!(rounded >= double(std::numeric_limits<qint32>::min()) &&
          rounded <= double(std::numeric_limits<qint32>::max())))
        return 0;
    return qint32(rounded);
}

bool fitsInt32(qint64 v)
{
    return v >= std::numeric_limits<qint32>::min() && v <= std::numeric_limits<qint32>::max();
}

// The desktop's own values are kept as one JSON object beside the saved
// wallpaper's values: exact whatever they hold (blanks, line breaks, "=").
QString stateText(const Desktop::State& state)
{
    QJsonObject object;
    for (auto it = state.cbegin(); it != state.cend(); ++it)
        object[it.key()] = it.value();
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

std::optional<Desktop::State> parseState(const QString& text)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (!document.isObject() || document.object().isEmpty())
        return std::nullopt;
    Desktop::State state;
    const QJsonObject object = document.object();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it)
        state[it.key()] = it.value().toString();
    return state;
}

const QString kNotShown = QStringLiteral(
    "壁紙を変更できるデスクトップが見つからないため、画面の壁紙は変わっていません。");
const QString kRefused = QStringLiteral("デスクトップが壁紙の変更を受け付けませんでした。\n");

} // namespace

cWallSet::cWallSet(RegistryStore& store, Desktop& desktop, QString windowsFolder, int screenWidthPx,
                   int screenHeightPx, int twipsPerPixelX, int twipsPerPixelY)
    : m_store(store), m_desktop(desktop), m_windowsFolder(std::move(windowsFolder)),
      m_screenWidth(screenWidthPx), m_screenHeight(screenHeightPx),
      m_tppX(twipsPerPixelX > 0 ? twipsPerPixelX : 15),
      m_tppY(twipsPerPixelY > 0 ? twipsPerPixelY : 15)
{
}

QString cWallSet::savedKey(const QString& name)
{
    return QLatin1String("Software\\VB and VBA Program Settings\\Oakhollow\\") + name +
           QLatin1String("\\OldWallPaper");
}

QString cWallSet::RegGetString(const QString& keyPath, const QString& valueName) const
{
    return m_store.get(keyPath, valueName);
}

bool cWallSet::RegSetString(const QString& keyPath, const QString& valueName, const QString& value)
{
    return m_store.set(keyPath, valueName, value);
}

bool cWallSet::fail(const char* what, const QString& description) const
{
    if (m_report)
        m_report(QStringLiteral("cWallSet Class"), QLatin1String(what) + description);
    return false;
}

void cWallSet::ReadDesktopSettings()
{
    // The desktop itself is asked for the picture: on GNOME the user may have
    // changed it in the desktop's own settings since the program set it.
    m_curPath = m_desktop.currentWallpaper();
    const qint64 lo32 = std::numeric_limits<qint32>::min();
    const qint64 hi32 = std::numeric_limits<qint32>::max();
    m_curX =
        qint32(toWhole(RegGetString(kDesktopKey, QStringLiteral("WallpaperOriginX")), lo32, hi32)
                   .value_or(0));
    m_curY =
        qint32(toWhole(RegGetString(kDesktopKey, QStringLiteral("WallpaperOriginY")), lo32, hi32)
                   .value_or(0));
    if (const auto tiling =
            toWhole(RegGetString(kDesktopKey, QStringLiteral("TileWallpaper")), -32768, 32767))
        m_curTile = qint16(*tiling);
}

void cWallSet::Centering()
{
    const QString path = m_desktop.currentWallpaper();
    RegSetString(kDesktopKey, QStringLiteral("TileWallpaper"), QStringLiteral("0"));
    RegSetString(kDesktopKey, QStringLiteral("WallpaperOriginX"), QStringLiteral("0"));
    RegSetString(kDesktopKey, QStringLiteral("WallpaperOriginY"), QStringLiteral("0"));
    m_desktop.applyWallpaper(path, false, 0, 0);
}

QString cWallSet::NowWallName() const
{
    return m_desktop.currentWallpaper();
}

bool cWallSet::OwnWallpaperShown() const
{
    if (!m_desktop.showsWallpaper())
        return false;
    const QFileInfo current(NowWallName());
    return current.isFile() &&
           current.fileName().compare(m_fileName + QLatin1String(".bmp"), Qt::CaseInsensitive) == 0;
}

QString cWallSet::FileName() const
{
    return m_windowsFolder + QLatin1Char('/') + m_fileName + QLatin1String(".bmp");
}

bool cWallSet::setIndentSpace(int index, qint32 value)
{
    if (index < 0 || index >= int(m_indent.size()))
        return false;
    m_indent[std::size_t(index)] = value;
    return true;
}

std::optional<qint32> cWallSet::IndentSpace(int index) const
{
    if (index < 0 || index >= int(m_indent.size()))
        return std::nullopt;
    return m_indent[std::size_t(index)];
}

bool cWallSet::SetWall(bool saveCurrent, bool registryOnly)
{
    if (m_fileName.isEmpty())
        return false;

    if (saveCurrent && !registryOnly) {
        ReadDesktopSettings();
        // While the program's own file is the wallpaper, the first saved
        // wallpaper is kept, so a restore goes back to the user's picture.
        const QFileInfo current(m_curPath);
        const bool ownFile = !m_curPath.isEmpty() && current.isFile() &&
                             current.fileName().compare(m_fileName + QLatin1String(".bmp"),
                                                        Qt::CaseInsensitive) == 0;
        if (!ownFile) {
            // Beside the designed values, everything the desktop needs to
            // show the user's wallpaper again exactly (per monitor and
            // workspace, the dark-style picture, the placement).
            const std::optional<Desktop::State> state = m_desktop.readState();
            if (!state)
                return fail(
                    "SetWallError",
                    QStringLiteral("今の壁紙を読み取れないため、壁紙を変更しませんでした。\n") +
                        m_desktop.errorString());
            const QString key = savedKey(m_fileName.toLower());
            const bool saved =
                RegSetString(key, QStringLiteral("FileName"), m_curPath) &&
                RegSetString(key, QStringLiteral("CurrentX"), QString::number(m_curX)) &&
                RegSetString(key, QStringLiteral("CurrentY"), QString::number(m_curY)) &&
                RegSetString(key, QStringLiteral("Tiling"), QString::number(m_curTile)) &&
                RegSetString(key, QStringLiteral("Desktop"), m_desktop.name()) &&
                RegSetString(key, QStringLiteral("DesktopState"), stateText(*state));
            // Going on would replace a wallpaper that could never be put back.
            if (!saved)
                return fail(
                    "SetWallError",
                    QStringLiteral("今の壁紙を記録できないため、壁紙を変更しませんでした。\n") +
                        m_store.file());
        }
    }

    const QString tileText = QString::number(m_tile);
    const QString xText = QString::number(m_currentX);
    const QString yText = QString::number(m_currentY);

    const QString path = FileName();
    if (!m_windowsFolder.isEmpty() && !QFileInfo(m_windowsFolder).isDir() &&
        !QDir().mkpath(m_windowsFolder))
        return fail("SetWallError",
                    QStringLiteral("次のフォルダーを作成できません。\n") + m_windowsFolder);
    QString error;
    if (!PictureSaver::saveBmp(m_picture, path, &error))
        return fail("SetWallError", path + QLatin1String(": ") + error);

    RegSetString(kDesktopKey, QStringLiteral("TileWallpaper"), tileText);
    RegSetString(kDesktopKey, QStringLiteral("WallpaperOriginX"), xText);
    RegSetString(kDesktopKey, QStringLiteral("WallpaperOriginY"), yText);
    if (registryOnly)
        return true;

    if (!m_desktop.applyWallpaper(path, m_tile != 0, m_currentX, m_currentY))
        return fail("SetWallError", kRefused + m_desktop.errorString());
    // Recorded, but not on the screen: the caller must not offer to undo it.
    if (!m_desktop.showsWallpaper())
        return fail("SetWallError", kNotShown + QStringLiteral("\n") + path);
    return true;
}

bool cWallSet::KillWall(bool restore)
{
    const QString key = savedKey(m_fileName);
    if (restore) {
        m_curPath = RegGetString(key, QStringLiteral("FileName"));
        const QString tiling = RegGetString(key, QStringLiteral("Tiling"));
        const QString recordedOn = RegGetString(key, QStringLiteral("Desktop"));
        if (tiling.isEmpty() && recordedOn.isEmpty())
            return fail("KillWallError", QStringLiteral("戻す壁紙が記録されていません。"));
        // A picture that has gone since cannot be shown again: nothing
        // changes. An empty path is a desktop without a picture.
        if (!m_curPath.isEmpty() && !QFileInfo(m_curPath).isFile())
            return fail("KillWallError",
                        QStringLiteral("元の壁紙のファイルが見つかりません。\n") + m_curPath);
        // The desktop's own values where this desktop recorded them; else
        // (an older record, another desktop since) the saved picture.
        const std::optional<Desktop::State> state =
            recordedOn.compare(m_desktop.name(), Qt::CaseInsensitive) == 0
                ? parseState(RegGetString(key, QStringLiteral("DesktopState")))
                : std::nullopt;
        if (!state && m_curPath.isEmpty())
            return fail("KillWallError", QStringLiteral("戻す壁紙が記録されていません。"));
        const QString x = RegGetString(key, QStringLiteral("CurrentX"));
        const QString y = RegGetString(key, QStringLiteral("CurrentY"));
        RegSetString(kDesktopKey, QStringLiteral("TileWallpaper"), tiling);
        RegSetString(kDesktopKey, QStringLiteral("WallpaperOriginX"), x);
        RegSetString(kDesktopKey, QStringLiteral("WallpaperOriginY"), y);
        const qint64 lo32 = std::numeric_limits<qint32>::min();
        const qint64 hi32 = std::numeric_limits<qint32>::max();
        const bool restored =
            state
                ? m_desktop.restoreState(*state, m_curPath)
                : m_desktop.applyWallpaper(m_curPath, toWhole(tiling, lo32, hi32).value_or(0) != 0,
                                           int(toWhole(x, lo32, hi32).value_or(0)),
                                           int(toWhole(y, lo32, hi32).value_or(0)));
        if (!restored)
            return fail("KillWallError", kRefused + m_desktop.errorString());
        if (!m_desktop.showsWallpaper())
            return fail("KillWallError", kNotShown);
        return true;
    }

    RegSetString(kDesktopKey, QStringLiteral("TileWallpaper"), QStringLiteral("0"));
    RegSetString(kDesktopKey, QStringLiteral("WallpaperOriginX"), QStringLiteral("0"));
    RegSetString(kDesktopKey, QStringLiteral("WallpaperOriginY"), QStringLiteral("0"));
    if (!m_desktop.applyWallpaper(QString(), false, 0, 0))
        return fail("KillWallError", kRefused + m_desktop.errorString());
    if (!m_desktop.showsWallpaper())
        return fail("KillWallError", kNotShown);
    return true;
}

void cWallSet::setPicture(const QImage& picture)
{
    m_picture = picture;
    // The physical size the picture carries; a picture without one counts as
    // 96 dots per inch.
    constexpr double kDefaultDotsPerMeter = 96.0 / 0.0254;
    const double dpmX =
        picture.dotsPerMeterX() > 0 ? double(picture.dotsPerMeterX()) : kDefaultDotsPerMeter;
    const double dpmY =
        picture.dotsPerMeterY() > 0 ? double(picture.dotsPerMeterY()) : kDefaultDotsPerMeter;
    setPictureSizeHimetric(picture.width() / dpmX * 100000.0, picture.height() / dpmY * 100000.0);
}

void cWallSet::setPictureSizeHimetric(double widthHimetric, double heightHimetric)
{
    // 0.567 twips per HIMETRIC unit, as the wallpaper layout was tuned with.
    m_twipsWidth = toInt32(widthHimetric * 0.567);
    m_twipsHeight = toInt32(heightHimetric * 0.567);
    m_pixelsWidth = toInt32(double(m_twipsWidth) / m_tppX);
    m_pixelsHeight = toInt32(double(m_twipsHeight) / m_tppY);
}

bool cWallSet::setAlign(qint16 align)
{
    m_align = align;
    return RecalcPosition();
}

bool cWallSet::RecalcPosition()
{
    const qint64 top = qint64(m_indent[1]) + 1;
    const qint64 bottom = qint64(m_screenHeight) - m_pixelsHeight - m_indent[2];
    const qint64 left = qint64(m_indent[3]) + 1;
    const qint64 right = qint64(m_screenWidth) - m_pixelsWidth - m_indent[4];

    qint64 x = 0;
    qint64 y = 0;
    switch (m_align) {
    case 0:
        break;
    case 1:
        y = top;
        break;
    case 2:
        y = bottom;
        break;
    case 3:
        x = left;
        break;
    case 4:
        x = right;
        break;
    case 5:
        x = left;
        y = top;
        break;
    case 6:
        x = left;
        y = bottom;
        break;
    case 7:
        x = right;
        y = top;
        break;
    case 8:
        x = right;
        y = bottom;
        break;
    default: // no placement: the origin stays
        return true;
    }
    if (!fitsInt32(x) || !fitsInt32(y))
        return false;
    m_currentX = qint32(x);
    m_currentY = qint32(y);
    return true;
}
