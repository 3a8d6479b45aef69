#pragma once

// The main window's controls, shared by the files that make up frmMain.

#include "app/frmMain.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <array>

class guiShape;
class guiSourceBox;
class guiTileBox;

struct frmMain::Widgets
{
    QGroupBox* fraSrc = nullptr;
    guiSourceBox* picSrc = nullptr;
    QCheckBox* chkMeji = nullptr;
    QCheckBox* chkHalf = nullptr;
    QPushButton* cmdFileOpen = nullptr;
    QPushButton* cmdFolderSel = nullptr;

    QGroupBox* fraDst = nullptr;
    std::array<guiTileBox*, 4> picDst{};
    std::array<QLabel*, 4> lblTile{};
    guiShape* Shape1 = nullptr;  // selection frame, behind the tiles
    guiShape* shaDown = nullptr; // progress track
    guiShape* shaUp = nullptr;   // progress bar

    QPushButton* cmdExit = nullptr;

    // "ファイル(&F)"
    QAction* mnuOpen = nullptr;
    QAction* mnuBatch = nullptr;
    QAction* mnuExit = nullptr;
    // "設定(&S)"
    QAction* mnuCap = nullptr;
    QAction* mnuClickOpen = nullptr;
    QAction* mnuJpeg = nullptr;
    // "実行(&J)", the tile menu
    QAction* mnuSave = nullptr;
    QAction* mnuWall = nullptr;
    QAction* mnuHtml = nullptr;
    std::array<QAction*, 2> mnuLight{};
    QAction* mnuContrast = nullptr;
    QAction* mnuBokashi = nullptr;
    QAction* mnuBlock = nullptr;
    QAction* mnuGray = nullptr;
    QAction* mnuEnboss = nullptr;
    QAction* mnuUndo = nullptr;
    // "バージョン情報(&V)"
    QAction* mnuVersion = nullptr;
};

// Layout of the window in pixels (the design's twips divided by 15).
namespace frmMainLayout {
inline constexpr int kSourceBoxHeight = 100;    // 1500 twips
inline constexpr int kHalfSourceBoxHeight = 50; // 750 twips
inline constexpr int kFrameWidth = 107;         // Shape1: 1605 twips
inline constexpr int kFrameHeight = 107;        // 1610 twips
inline constexpr int kHalfFrameHeight = 57;     // 860 twips
inline constexpr int kFrameOffset = 3;          // 50 twips left of and above the tile
inline constexpr int kTrackWidth = 209;         // shaDown: 3135 twips
inline constexpr int kTrackHeight = 21;         // 315 twips
inline constexpr int kEmptyBarWidth = 1;        // 15 twips
} // namespace frmMainLayout
