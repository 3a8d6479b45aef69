#pragma once

// The batch output list "出力先ファイル一覧 [ pattern ]": the output folder's
// files of the chosen output type, a stretched preview of the selected one,
// the sample page and the wallpaper with it. Modal; loaded for each opening.

#include <QDialog>
#include <QImage>

class QComboBox;
class QLabel;
class QPushButton;
class frmBatch;
class frmMain;

class frmList : public QDialog
{
    Q_OBJECT

public:
    // Form_Load: caption, place under the main window, fill the list.
    frmList(frmMain& main, frmBatch& batch);

    // Fills cmbList from the batch window's output file list and previews
    // the first file.
    void ListRefresh();

    // The selected file's full path (output folder, '/', the list's text).
    QString selectedPath() const;
    // The picture in the preview box (null when the file is no picture).
    const QImage& preview() const { return m_picture; }

public slots:
    void cmbList_Click();
    void cmdPreview_Click();
    void cmdWall_Click();
    void cmdClose_Click();

private:
    void loadPreview();

    frmMain& m_main;
    frmBatch& m_batch;
    QComboBox* m_cmbList = nullptr;
    QLabel* m_image1 = nullptr;
    QImage m_picture;
};
