#pragma once

#include "tile/RepeatPattern.h"

#include <QWidget>

class QAction;
class QCheckBox;
class QComboBox;
class QPushButton;
class frmMain;
class guiRepeatView;
class inifile_IO;

// The repeat preview: a modeless window beside the main window showing the
// current tile repeated as a wall, following every composition, effect and
// change of the current tile as it happens. It shows the committed picture,
// the one saving and the wallpaper use.
//
// Opened by a double click on a tile and by Ctrl+T, which closes it again;
// the tile menu's shortcuts work in it as in the main window. Its place, size, zoom, seams and
// whether it is open are kept in the settings file's section "RepeatView", written with the main
// window's settings at shut-down.
class frmRepeat : public QWidget
{
    Q_OBJECT

public:
    // Reads its settings from main's settings file and hooks itself to the
    // main window's tiles; shown at once when it was open at the last
    // shut-down.
    explicit frmRepeat(frmMain& main);

    guiRepeatView* view() const { return m_view; }
    void setZoom(RepeatPattern::Zoom zoom);
    void setSeams(bool seams);

    // Shows the window (beside the main window the first time), raised.
    void showBeside();

    // The screen the preview stands for, in pixels: the size of a saved
    // desktop picture and of the fit-screen zoom.
    QSize screenPixels() const;

    // Writes the shown tile as a desktop-sized picture to path: PNG for a
    // name ending in "png", otherwise JPEG or BMP as the tiles are saved.
    // Failures are told to the user; false then.
    bool savePicture(const QString& path);

    void writeSettings(inifile_IO& settings) const;

public slots:
    // "壁紙で並べて表示(&K)": the tile menu's command, on the shown tile.
    void cmdWall_Click();
    // "画像で保存(&A)...": asks for a name and saves the desktop picture.
    void cmdSave_Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void readSettings(const inifile_IO& settings);
    void refresh();
    void toggle();

    frmMain& m_main;
    guiRepeatView* m_view = nullptr;
    QComboBox* m_cmbZoom = nullptr;
    QCheckBox* m_chkSeam = nullptr;
    QPushButton* m_cmdWall = nullptr;
    QPushButton* m_cmdSave = nullptr;
    QAction* m_toggle = nullptr;
    // No stored place: the first showing puts the window beside the main one.
    bool m_placeBesideMain = true;
    QString m_saveFolder;
};
