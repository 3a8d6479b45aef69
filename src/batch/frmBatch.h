#pragma once

// The folder batch window "フォルダ一括処理": folders, input and output types,
// per-tile effects and levels, the effect order; it runs the batch over the
// main window's own operations.
//
// The public members below are what the main window relies on.

#include <QWidget>

#include <array>

class frmMain;

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

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    frmMain& m_main;
    struct Ui;
    Ui* m_ui = nullptr;
};
