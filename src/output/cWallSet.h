#pragma once

#include <QImage>
#include <QString>

#include <array>
#include <functional>
#include <optional>

class Desktop;
class RegistryStore;

// The desktop wallpaper class: writes a picture as "<FileName>.bmp" into the
// wallpaper folder, sets the desktop's tiling and origin values and applies
// it; saves the user's previous wallpaper first (unless the program's own file
// is already the wallpaper), with the desktop's own values, and can put it
// back exactly. SetWall and KillWall report and return false whenever the
// screen did not change as asked (no desktop to change, a refusal, nothing
// recorded to restore).
class cWallSet
{
public:
    // Reports an error of SetWall/KillWall: caption "cWallSet Class", text
    // "SetWallError" or "KillWallError" followed by the error's description.
    using ErrorReporter = std::function<void(const QString& caption, const QString& text)>;

    // screenTwipsWidth/Height and twips per pixel come from the screen.
    cWallSet(RegistryStore& store, Desktop& desktop, QString windowsFolder, int screenWidthPx,
             int screenHeightPx, int twipsPerPixelX = 15, int twipsPerPixelY = 15);

    void setErrorReporter(ErrorReporter reporter) { m_report = std::move(reporter); }

    void Centering();
    void setFileName(const QString& baseName) { m_fileName = baseName; }
    QString NowWallName() const;
    // True when the desktop shows the file named FileName + ".bmp" (in any
    // letter case) now: then there is a wallpaper of the program's to undo.
    bool OwnWallpaperShown() const;
    QString FileName() const; // windows folder + "/" + name + ".bmp"

    // Index 0..4; false (subscript out of range) for any other index.
    bool setIndentSpace(int index, qint32 value);
    std::optional<qint32> IndentSpace(int index) const;

    void setTile(qint16 tile) { m_tile = tile; }
    qint16 tile() const { return m_tile; }

    bool SetWall(bool saveCurrent, bool registryOnly);
    bool KillWall(bool restore);

    qint32 TwipsHeight() const { return m_twipsHeight; }
    qint32 TwipsWidth() const { return m_twipsWidth; }
    qint32 PixelsHeight() const { return m_pixelsHeight; }
    qint32 PixelsWidth() const { return m_pixelsWidth; }

    qint32 CurrentX() const { return m_currentX; }
    qint32 CurrentY() const { return m_currentY; }
    void setCurrentX(qint32 x) { m_currentX = x; }
    void setCurrentY(qint32 y) { m_currentY = y; }

    // Sets the picture; sizes from its physical size in HIMETRIC (0.01 mm):
    // twips = round(himetric * 0.567), pixels = round(twips / twips per pixel).
    void setPicture(const QImage& picture);
    // The same from a HIMETRIC size directly.
    void setPictureSizeHimetric(double widthHimetric, double heightHimetric);
    const QImage& Picture() const { return m_picture; }

    // Stores the mode and recomputes CurrentX/CurrentY (placement table);
    // false on a result outside the 32-bit range.
    bool setAlign(qint16 align);
    qint16 Align() const { return m_align; }

private:
    // The placement table for Align; false on a result outside 32 bits.
    bool RecalcPosition();
    // Reads the desktop's current wallpaper, origin and tiling.
    void ReadDesktopSettings();
    QString RegGetString(const QString& keyPath, const QString& valueName) const;
    bool RegSetString(const QString& keyPath, const QString& valueName, const QString& value);
    // Hands "SetWallError"/"KillWallError" + description to the reporter.
    bool fail(const char* what, const QString& description) const;
    // The key of the saved previous wallpaper for name.
    static QString savedKey(const QString& name);

    RegistryStore& m_store;
    Desktop& m_desktop;
    QString m_windowsFolder;
    ErrorReporter m_report;
    qint16 m_align = 7;
    QImage m_picture;
    qint32 m_currentX = 0;
    qint32 m_currentY = 0;
    qint32 m_pixelsWidth = 0;
    qint32 m_pixelsHeight = 0;
    qint32 m_twipsWidth = 0;
    qint32 m_twipsHeight = 0;
    std::array<qint32, 5> m_indent{25, 25, 25, 25, 25};
    QString m_fileName;
    qint16 m_tile = 0;
    // The desktop's settings as last read by ReadDesktopSettings.
    QString m_curPath;
    qint32 m_curX = 0;
    qint32 m_curY = 0;
    qint16 m_curTile = 0;
    int m_screenWidth;
    int m_screenHeight;
    int m_tppX;
    int m_tppY;
};
