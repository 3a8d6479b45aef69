#include "batch/frmList.h"

#include "app/frmMain.h"
#include "app/guiFit.h"
#include "batch/BatchEngine.h"
#include "batch/frmBatch.h"
#include "tile/PictureLoader.h"

#include <QComboBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>

namespace {

int px(int twips)
{
    return qRound(twips / 15.0);
}

} // namespace

frmList::frmList(frmMain& main, frmBatch& batch) : QDialog(&batch), m_main(main), m_batch(batch)
{
    setObjectName(QStringLiteral("frmList"));
    setWindowIcon(main.windowIcon());
    setWindowTitle(QStringLiteral("出力先ファイル一覧 [ ") + batch.filePattern(1) +
                   QStringLiteral(" ]"));

    m_cmbList = new QComboBox(this);
    m_cmbList->setObjectName(QStringLiteral("cmbList"));
    m_cmbList->setToolTip(QStringLiteral("[↓]キーで次のファイル"));
    m_cmbList->setGeometry(px(120), px(120), px(4200), px(300));
    connect(m_cmbList, &QComboBox::currentIndexChanged, this, &frmList::cmbList_Click);

    m_image1 = new QLabel(this);
    m_image1->setObjectName(QStringLiteral("Image1"));
    m_image1->setGeometry(px(120), px(540), px(1500), px(1500));
    m_image1->setScaledContents(true);
    m_image1->setFrameShape(QFrame::Box);

    auto* cmdPreview = new QPushButton(QStringLiteral("選択ファイルのIEプレビュー(&P)"), this);
    cmdPreview->setObjectName(QStringLiteral("cmdPreview"));
    cmdPreview->setGeometry(px(1800), px(540), px(2520), px(435));
    connect(cmdPreview, &QPushButton::clicked, this, &frmList::cmdPreview_Click);
    auto* cmdWall = new QPushButton(QStringLiteral("壁紙で並べて表示(&W)"), this);
    cmdWall->setObjectName(QStringLiteral("cmdWall"));
    cmdWall->setGeometry(px(1800), px(1080), px(2520), px(435));
    connect(cmdWall, &QPushButton::clicked, this, &frmList::cmdWall_Click);
    auto* cmdClose = new QPushButton(QStringLiteral("閉じる(&C)"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setGeometry(px(3000), px(1620), px(1320), px(435));
    connect(cmdClose, &QPushButton::clicked, this, &frmList::cmdClose_Click);
    // The two wide buttons as wide as the longer caption needs, the close
    // button under their right end, the window around them.
    const int width =
        std::max({px(2520), guiFit::captionWidth(*cmdPreview), guiFit::captionWidth(*cmdWall)});
    cmdPreview->resize(width, cmdPreview->height());
    cmdWall->resize(width, cmdWall->height());
    cmdClose->move(px(1800) + width - cmdClose->width(), cmdClose->y());
    m_cmbList->resize(px(1800) + width - px(120), m_cmbList->height());
    setFixedSize(px(1800) + width + px(120), px(2160));

    // Left edge at the main window's, top 80 twips below its bottom edge.
    const QRect mainFrame = main.frameGeometry();
    move(mainFrame.x(), mainFrame.y() + mainFrame.height() + px(80));
    ListRefresh();
    m_cmbList->setFocus();
}

void frmList::ListRefresh()
{
    {
        const QSignalBlocker block(m_cmbList);
        m_cmbList->clear();
        m_cmbList->addItems(m_batch.fileList(1));
    }
    if (m_cmbList->count() == 0) {
        m_picture = QImage();
        m_image1->clear();
        return;
    }
    m_cmbList->setCurrentIndex(0);
    // The first entry is previewed as a click on it would; a file that is no
    // picture leaves the preview empty.
    cmbList_Click();
}

QString frmList::selectedPath() const
{
    return BatchEngine::joinPath(m_batch.folder(1), m_cmbList->currentText());
}

void frmList::cmbList_Click()
{
    loadPreview();
}

void frmList::loadPreview()
{
    m_picture =
        m_cmbList->currentIndex() < 0 ? QImage() : PictureLoader::load(selectedPath()).image;
    if (m_picture.isNull())
        m_image1->clear();
    else
        m_image1->setPixmap(QPixmap::fromImage(m_picture));
}

void frmList::cmdPreview_Click()
{
    if (m_cmbList->currentIndex() >= 0)
        m_main.HTML(selectedPath());
}

void frmList::cmdWall_Click()
{
    // Without a picture there is nothing to show as the wallpaper.
    if (!m_picture.isNull())
        m_main.setWallpaperFrom(m_picture);
}

void frmList::cmdClose_Click()
{
    reject();
}
