#pragma once

// The main window: the program. Its start-up (constructor) and shut-down
// (closeEvent) frame the run; it owns the source picture, the four tiles,
// the current tile and the shared program state.
//
// The public members below are the contract the other windows and the tests
// rely on; frmMain.cpp (start-up, shut-down, intake, composer, selection and
// the effect commands) and frmMainOutput.cpp (saving, sample page, wallpaper)
// implement them.

#include "app/AppContext.h"
#include "app/inifile_IO.h"
#include "tile/TileDesigner.h"
#include "tile/TileOperations.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class frmBatch;
class frmRepeat;
class frmVersion;
class guiSourceBox;
class guiTileBox;

class frmMain : public QMainWindow, public TileOperations
{
    Q_OBJECT

public:
    // Runs the start-up in the program's order (settings, folders, library
    // lookup, hidden batch window, wallpaper button, optional capture). The
    // window is shown by the capture step, or by the caller otherwise.
    explicit frmMain(AppContext context, QWidget* parent = nullptr);
    ~frmMain() override;

    // Shared program state.
    bool JpegFlag() const { return m_jpegFlag; }
    QString DllVersionText() const { return m_dllVersionText; }
    // The SaveJPG.so that JPEG saving loads, chosen at start-up.
    QString jpegLibrary() const { return m_jpegLibrary; }
    QString programFolder() const { return m_ctx.programFolder; }
    const AppContext& context() const { return m_ctx; }
    QString SourceFolder() const { return m_sourceFolder; }
    void setSourceFolder(const QString& folder) { m_sourceFolder = folder; }
    QString SaveFolder() const { return m_saveFolder; }
    void setSaveFolder(const QString& folder) { m_saveFolder = folder; }
    qint16 JpegQuality() const { return m_jpegQuality; }
    void setJpegQuality(qint16 quality) { m_jpegQuality = quality; }
    inifile_IO& settings() { return m_settings; }
    TileDesigner& designer() { return m_designer; }
    qint16 CurrentTile() const { return qint16(m_designer.currentTile()); }
    // False before the first design: the tile commands then do nothing.
    bool hasCurrentTile() const;

    // The batch window, loaded hidden at start-up; loaded again when it was
    // unloaded by its close box.
    frmBatch* batchWindow();
    // Called by the batch window when its close box unloads it.
    void batchWindowUnloaded();
    // Called by the batch window when a run ends; a close asked for during
    // the run (which stopped it) is carried out now.
    void batchRunFinished();

    // TileOperations: the operations the batch run drives.
    bool loadSource(const QString& path, QString* error) override;
    void cmdExec_Click(qint16 index) override;
    void picDst_MouseDown(qint16 index, int button, int shift, float x, float y) override;
    bool CLight(qint16 iPercent) override;
    void mnuBokashi_Click() override;
    void mnuBlock_Click() override;
    void mnuEnboss_Click() override;
    void mnuGray_Click() override;
    void mnuContrast_Click() override;
    bool SPic(const QString& fileName, QString* error) override;
    void SPic(const QString& fileName) { SPic(fileName, nullptr); }

    // Saving, the sample page and the wallpaper (frmMainOutput.cpp).
    bool SaveTileJpeg(const QString& fileName, int quality);
    void HTML(const QString& picturePath);
    // Makes picture the tiled wallpaper (tile menu and output list) and
    // enables "壁紙を戻す(&U)".
    void setWallpaperFrom(const QImage& picture);
    void setWallpaperUndoEnabled(bool enabled);
    bool wallpaperUndoEnabled() const;

    // The repeat preview window (frmRepeat.cpp), hidden until opened.
    frmRepeat* repeatWindow() const { return m_repeat.get(); }

    // The tile box of index (tests click on it).
    QWidget* tileBox(int index) const;
    QWidget* sourceBox() const;
    // The tile menu "実行(&J)".
    QMenu* tileMenu() const { return m_mnuPop; }

    // Takes a picture file in as the source picture, as the open dialog and a
    // picture named on the command line do: load, SourceFolder = the file's
    // folder, the batch window's input folder follows, all tiles composed.
    // False (and nothing changed) when the file cannot be read.
    bool openSourceFile(const QString& path, QString* error);

    // The open dialog: gives the chosen path, or the empty text on cancel.
    // The default shows the program's file dialog; tests install their own.
    using OpenDialog = std::function<QString(const QString& startFolder)>;
    void setOpenDialog(OpenDialog dialog);

    // The picture file named on the command line ("quilton picture.jpg"),
    // as an absolute path; empty when none. "/C" is never a picture.
    static QString pictureArgument(const QStringList& arguments);

public slots:
    void mnuLight_Click(int index);
    void mnuUndo_Click();
    void mnuSave_Click();
    void mnuHtml_Click();
    void mnuWall_Click();
    void mnuJpeg_Click();
    void cmdUndo_Click();
    void cmdFileOpen_Click();
    void mnuVersion_Click();
    void showBatchWindow();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Wallpaper button at start-up: enabled when the own file is the wallpaper.
    void updateWallpaperButtonAtStart();

    // Start-up and shut-down (frmMain.cpp).
    void Form_Load();
    void readStartOptions();
    void captureScreenAtStart();
    void writeSettings();

    // Controls and menus (frmMainLayout.cpp).
    void buildWidgets();
    void buildMenus();
    QAction* addCommand(QMenu* menu, const QString& caption, const QKeySequence& shortcut);

    // Intake (frmMainIntake.cpp).
    QString runOpenDialog(const QString& startFolder);
    void picSrc_Click();
    void picSrc_DragDrop(const QString& path);

    // Composer display and selection (frmMainTiles.cpp).
    void chkHalf_Click();
    void chkMeji_Click();
    void setProgressWidth(int width);
    void placeSelectionFrame(int index);
    void tileMousePressed(int index, Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                          const QPoint& pos);
    // Runs effect on the current tile and repaints the tiles; false (and
    // nothing done) while the current tile holds no picture yet.
    bool runOnCurrentTile(const std::function<void(TileDesigner&)>& effect);
    void repaintTiles();

    AppContext m_ctx;
    inifile_IO m_settings;
    TileDesigner m_designer;
    bool m_jpegFlag = false;
    QString m_dllVersionText;
    QString m_jpegLibrary;
    QString m_sourceFolder;
    QString m_saveFolder;
    qint16 m_jpegQuality = 50;

    // The batch window may unload itself (its close box); the guard follows.
    QPointer<frmBatch> m_batch;
    // A batch window that unloaded itself and awaits its deferred deletion;
    // freed with this window at the latest.
    QPointer<frmBatch> m_unloadedBatch;
    frmVersion* m_version = nullptr;
    QMenu* m_mnuPop = nullptr;
    QPushButton* m_cmdUndo = nullptr;
    // Further widgets and actions (frmMainLayout.cpp).
    struct Widgets;
    std::unique_ptr<Widgets> m_w;

    OpenDialog m_openDialog;
    // A close asked for while a batch run was going on: carried out when the
    // run has stopped.
    bool m_closeAfterBatchRun = false;
    // Screen density the window is laid out for: 15 twips to the pixel.
    int m_twipsPerPixelX = 15;
    int m_twipsPerPixelY = 15;
    // Last, so that it goes before the tiles it shows.
    std::unique_ptr<frmRepeat> m_repeat;
};
