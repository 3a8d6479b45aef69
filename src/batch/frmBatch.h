#pragma once

// The folder batch window "フォルダ一括処理": folders, input and output types,
// per-tile effects and levels, the effect order; it runs the batch over the
// main window's own operations.
//
// The public members below are what the main window relies on.

#include "batch/BatchSettings.h"

#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QEventLoop;
class frmMain;
struct LoadedPicture;

class frmBatch : public QWidget
{
    Q_OBJECT

public:
    // Loads the window hidden (Form_Load: reads its settings, follows the
    // main window's SourceFolder and SaveFolder).
    explicit frmBatch(frmMain& main);
    ~frmBatch() override;

    // Dir1(index).Path = folder: 0 input, 1 output; runs Dir1_Change, which
    // also updates the main window's SourceFolder / SaveFolder.
    void setFolder(int index, const QString& folder);
    QString folder(int index) const;

    // The tick of "[一覧]表示の際、他のフォームを非表示(&H)" (mnuHide).
    bool hideOthers() const;

    // Form_Unload: writes the window's keys and closes it for good (the main
    // window loads a new one when needed).
    void unload();

    // A run is going on ("中止(&S)").
    bool isRunning() const;
    // Asks the run in progress to stop (as a click on "中止(&S)").
    void requestStop();

    // --- Used by the effect order dialog, the output list and the tests.

    // File1(index): the names of the matching files of the folder, and the
    // pattern they match ("*.bmp;*.jpg", "*.jpg", ...).
    QStringList fileList(int index) const { return m_files[index ? 1 : 0]; }
    QString filePattern(int index) const { return m_pattern[index ? 1 : 0]; }
    // "bmp" or "jpg".
    QString OutExt() const { return m_outExt; }
    // The shared effect order (entry p: the code applied p-th).
    std::array<int, 6>& EffectOrder() { return m_effectOrder; }
    // The window's controls as batch settings (what Form_Unload writes).
    BatchSettings currentSettings() const;

    // Points of a run at which the hook is called, for tests and timing:
    // before a file's first step, once its picture is being loaded (off the
    // user-interface thread), after its tiles are composed, before a tile.
    enum class RunPoint { BeforeFile, LoadStarted, AfterCompose, BeforeTile };
    using RunHook = std::function<void(RunPoint point, int fileIndex, int tile)>;
    void setRunHook(RunHook hook) { m_runHook = std::move(hook); }
    // The progress bar's width in twips (shaProcess(1)).
    double progressTwips() const { return m_barTwips; }

public slots:
    void cmdBatch_Click();
    void cmdClose_Click();
    void cmdPrev_Click();
    void mnuKouka_Click();
    void mnuHide_Click();
    void chkTile_Click(int index);
    void chkType_Click(int index);
    void optType_Click(int index);
    void Dir1_Change(int index);
    void Drive1_Change(int index);
    void File1_PatternChange(int index);
    void Dir1_MouseUp(int index, Qt::MouseButton button);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Ui;

    // frmBatch.cpp: the window.
    void buildWidgets();
    void buildTileFrame(int t);
    void buildFolderFrame(int i);
    void Form_Load();
    void applySettings(const BatchSettings& settings);
    void refreshFileList(int index);
    TileEffects tileEffects(int t) const;

    // frmBatchRun.cpp: the batch run and the output list.
    void runBatch();
    bool stopRequested() const;
    void setProgressTwips(double twips);
    void refreshOutputList();
    void openOutputList(bool messageWhenEmpty);
    void callHook(RunPoint point, int fileIndex, int tile);
    struct PendingLoad;
    // Loads a picture on a worker thread while the window's events run, so a
    // stop is seen at once even while a large photograph is decoded. False
    // when a stop came first (the load then ends on its own, unused).
    bool loadPicture(const QString& path, int fileIndex, LoadedPicture* picture);
    // Waits for a load left running by a stop.
    void finishPendingLoad();

    frmMain& m_main;
    Ui* m_ui = nullptr;
    std::array<int, 6> m_effectOrder{0, 1, 2, 3, 4, 5};
    QString m_outExt = QStringLiteral("bmp");
    QString m_pattern[2];
    QStringList m_files[2];
    double m_barTwips = 0;
    bool m_running = false;
    bool m_unloaded = false;
    bool m_unloadAfterRun = false;
    RunHook m_runHook;
    std::shared_ptr<PendingLoad> m_pendingLoad;
    QEventLoop* m_loadLoop = nullptr;
};
