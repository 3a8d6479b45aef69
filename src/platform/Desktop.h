#pragma once

#include <QString>

#include <memory>

class RegistryStore;

// The desktop's wallpaper, behind one interface. Every implementation also
// records "Wallpaper" under "Control Panel\desktop" in the registry store (the
// caller writes "TileWallpaper" and the origin values before applying).
class Desktop
{
public:
    virtual ~Desktop() = default;
    // Makes path the wallpaper (tiled or centred); an empty path removes it.
    // False when the desktop refused.
    virtual bool applyWallpaper(const QString& path, bool tiled, int originX, int originY) = 0;
    // The path of the current wallpaper as the desktop reports it.
    virtual QString currentWallpaper() const = 0;
    virtual QString name() const = 0;
    // What went wrong in the last applyWallpaper that returned false.
    virtual QString errorString() const { return {}; }
};

// Chooses the implementation once from the environment: GNOME (gsettings),
// XFCE (xfconf-query), feh on other X11 sessions, else the store only.
std::unique_ptr<Desktop> makeDesktop(RegistryStore& store);

// The store-only desktop (no session, and in tests).
std::unique_ptr<Desktop> makeStoreOnlyDesktop(RegistryStore& store);
