#pragma once

// The batch window's controls, shared by its two source files.

#include "batch/frmBatch.h"

#include <array>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QWidget;
class guiDriveList;
class guiFolderList;

struct frmBatch::Ui
{
    QWidget* client = nullptr;
    QAction* mnuKouka = nullptr;
    QAction* mnuHide = nullptr;

    std::array<QGroupBox*, 2> fraFolderSel{};
    std::array<guiDriveList*, 2> Drive1{};
    std::array<guiFolderList*, 2> Dir1{};
    std::array<QCheckBox*, 3> chkType{};
    std::array<QRadioButton*, 2> optType{};
    QPushButton* cmdPrev = nullptr;
    std::array<QLabel*, 2> lblNum{};
    std::array<QLabel*, 2> lblNowSel{};

    std::array<QGroupBox*, 4> FraPic{};
    std::array<QCheckBox*, 4> chkTile{};
    std::array<QCheckBox*, 4> chkLight{};
    std::array<QComboBox*, 4> cmbLight{};
    std::array<QCheckBox*, 4> chkBokashi{};
    std::array<QComboBox*, 4> cmbBokashi{};
    std::array<QCheckBox*, 4> chkBlock{};
    std::array<QCheckBox*, 4> chkEnboss{};
    std::array<QCheckBox*, 4> chkGray{};
    std::array<QCheckBox*, 4> chkContrast{};

    QFrame* Shape1 = nullptr;
    std::array<QFrame*, 2> shaProcess{}; // track, bar
    QPushButton* cmdBatch = nullptr;
    QPushButton* cmdClose = nullptr;
};
