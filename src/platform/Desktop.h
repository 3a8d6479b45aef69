#pragma once

#include <QMap>
#include <QString>

#include <memory>
#include <optional>

class RegistryStore;

// The desktop's wallpaper, behind one interface. Every implementation also
// records "Wallpaper" under "Control Panel\desktop" in the registry store (the
// caller writes "TileWallpaper" and the origin values before applying).
class Desktop
{
public:
    // The desktop's own wallpaper values under its own names (a settings key,
    // a backdrop property, the feh command), as texts that put it back
    // exactly when handed to restoreState.
    using State = QMap<QString, QString>;

    virtual ~Desktop() = default;
    // Makes path the wallpaper (tiled or centred); an empty path removes it.
    // False when the desktop refused.
    virtual bool applyWallpaper(const QString& path, bool tiled, int originX, int originY) = 0;
    // The path of the picture the desktop shows now, as the desktop reports
    // it; empty for none (a plain colour) or when it cannot be asked.
    virtual QString currentWallpaper() const = 0;
    // Everything needed to put the present wallpaper back; nothing when the
    // desktop cannot be read (errorString says why).
    virtual std::optional<State> readState() { return State(); }
    // Puts back what readState gave and records path, the picture it shows,
    // as "Wallpaper". False when the desktop refused.
    virtual bool restoreState(const State& state, const QString& path)
    {
        Q_UNUSED(state);
        return applyWallpaper(path, false, 0, 0);
    }
    // False for the store-only desktop: applying records, nothing shows.
    virtual bool showsWallpaper() const { return true; }
    // The back end's short name ("gnome", "xfce", ...), recorded with its state.
    virtual QString name() const = 0;
    // What went wrong in the last call that returned false or nothing.
    virtual QString errorString() const { return {}; }
};

// Chooses the implementation once from the session: the desktop named by
// XDG_CURRENT_DESKTOP or, without it, the one whose programs are running
// (KDE Plasma, XFCE, MATE, Cinnamon, GNOME); feh on other X11 sessions; else
// the store only.
std::unique_ptr<Desktop> makeDesktop(RegistryStore& store);

// The store-only desktop (no desktop that can be changed).
std::unique_ptr<Desktop> makeStoreOnlyDesktop(RegistryStore& store);
