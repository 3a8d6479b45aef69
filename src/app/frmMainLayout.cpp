// The main window's controls and menus.
#include "app/frmMain.h"
#include "app/frmMainWidgets.h"
#include "app/guiFit.h"
#include "app/guiShape.h"
#include "app/guiSourceBox.h"
#include "app/guiTileBox.h"

#include <QMenu>
#include <QMenuBar>

using namespace frmMainLayout;

namespace {

// Where the tile boxes A to D lie in their frame: two rows of two.
constexpr std::array<QPoint, 4> kTilePositions{QPoint(30, 24), QPoint(156, 24), QPoint(30, 138),
                                               QPoint(156, 138)};

const QColor kOrange(255, 128, 0);
const QColor kPaleYellow(255, 255, 192);

} // namespace

void frmMain::buildWidgets()
{
    auto* central = new QWidget(this);
    central->setFixedSize(456, 342);
    setCentralWidget(central);

    // The source picture frame.
    m_w->fraSrc = new QGroupBox(QStringLiteral("元になる画像"), central);
    m_w->fraSrc->setGeometry(8, 4, 160, 292);
    m_w->picSrc = new guiSourceBox(m_designer, m_w->fraSrc);
    m_w->picSrc->setObjectName(QStringLiteral("picSrc"));
    m_w->picSrc->setGeometry(30, 24, 100, kSourceBoxHeight);
    m_w->chkMeji = new QCheckBox(QStringLiteral("面取りをする(&M)"), m_w->fraSrc);
    m_w->chkMeji->setObjectName(QStringLiteral("chkMeji"));
    m_w->chkMeji->setGeometry(12, 134, 140, 22);
    m_w->chkHalf = new QCheckBox(QStringLiteral("ハーフサイズ(&H)"), m_w->fraSrc);
    m_w->chkHalf->setObjectName(QStringLiteral("chkHalf"));
    m_w->chkHalf->setGeometry(12, 158, 140, 22);
    m_w->cmdFileOpen = new QPushButton(QStringLiteral("ファイルを開く(&O)..."), m_w->fraSrc);
    m_w->cmdFileOpen->setObjectName(QStringLiteral("cmdFileOpen"));
    m_w->cmdFileOpen->setGeometry(10, 200, 140, 30);
    m_w->cmdFolderSel = new QPushButton(QStringLiteral("一括処理(&B)..."), m_w->fraSrc);
    m_w->cmdFolderSel->setObjectName(QStringLiteral("cmdFolderSel"));
    m_w->cmdFolderSel->setGeometry(10, 240, 140, 30);

    // The tile frame. The selection frame is made first so that it lies
    // behind the tile boxes and shows only as a border around one of them.
    m_w->fraDst = new QGroupBox(QStringLiteral("タイル化した画像"), central);
    m_w->fraDst->setGeometry(176, 4, 272, 292);
    m_w->Shape1 = new guiShape(QColor(0, 0, 64), QColor(255, 0, 0), 2, m_w->fraDst);
    m_w->Shape1->setObjectName(QStringLiteral("Shape1"));
    m_w->Shape1->resize(kFrameWidth, kFrameHeight);
    for (int i = 0; i < 4; ++i) {
        auto* box = new guiTileBox(m_designer, i, m_w->fraDst);
        box->setObjectName(QStringLiteral("picDst%1").arg(i));
        box->setGeometry(QRect(kTilePositions[i], QSize(100, kSourceBoxHeight)));
        connect(box, &guiTileBox::pressed, this, &frmMain::tileMousePressed);
        m_w->picDst[i] = box;
        auto* label = new QLabel(QString(QChar(u'A' + i)), m_w->fraDst);
        label->setGeometry(kTilePositions[i].x() - 18, kTilePositions[i].y(), 12, 16);
        m_w->lblTile[i] = label;
    }
    m_w->shaDown = new guiShape(kPaleYellow, kOrange, 1, m_w->fraDst);
    m_w->shaDown->setObjectName(QStringLiteral("shaDown"));
    m_w->shaDown->setGeometry(39, 256, kTrackWidth, kTrackHeight);
    m_w->shaUp = new guiShape(kOrange, kOrange, 0, m_w->fraDst);
    m_w->shaUp->setObjectName(QStringLiteral("shaUp"));
    m_w->shaUp->setGeometry(39, 256, kEmptyBarWidth, kTrackHeight);

    m_cmdUndo = new QPushButton(QStringLiteral("壁紙を戻す(&U)"), central);
    m_cmdUndo->setObjectName(QStringLiteral("cmdUndo"));
    m_cmdUndo->setGeometry(228, 304, 120, 30);
    m_w->cmdExit = new QPushButton(QStringLiteral("終了(&Q)"), central);
    m_w->cmdExit->setObjectName(QStringLiteral("cmdExit"));
    m_w->cmdExit->setGeometry(354, 304, 94, 30);

    guiFit::fitCaptions(*m_w->fraSrc);
    guiFit::fitCaptions(*central);

    connect(m_w->picSrc, &guiSourceBox::clicked, this, &frmMain::picSrc_Click);
    connect(m_w->picSrc, &guiSourceBox::fileDropped, this, &frmMain::picSrc_DragDrop);
    connect(m_w->chkMeji, &QCheckBox::clicked, this, &frmMain::chkMeji_Click);
    connect(m_w->chkHalf, &QCheckBox::clicked, this, &frmMain::chkHalf_Click);
    connect(m_w->cmdFileOpen, &QPushButton::clicked, this, &frmMain::cmdFileOpen_Click);
    connect(m_w->cmdFolderSel, &QPushButton::clicked, this, &frmMain::showBatchWindow);
    connect(m_cmdUndo, &QPushButton::clicked, this, &frmMain::cmdUndo_Click);
    connect(m_w->cmdExit, &QPushButton::clicked, this, &QWidget::close);
}

QAction* frmMain::addCommand(QMenu* menu, const QString& caption, const QKeySequence& shortcut)
{
    QAction* action = menu->addAction(caption);
    if (!shortcut.isEmpty()) {
        // Added to the window as well, so the shortcut works wherever the
        // focus is in the window, whether or not the menu was ever opened.
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }
    return action;
}

void frmMain::buildMenus()
{
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    m_w->mnuOpen = addCommand(mnuFile, QStringLiteral("元になる画像を開く"),
                              QKeySequence(Qt::CTRL | Qt::Key_O));
    mnuFile->addSeparator();
    m_w->mnuBatch = addCommand(mnuFile, QStringLiteral("フォルダ一括処理"), {});
    mnuFile->addSeparator();
    m_w->mnuExit = addCommand(mnuFile, QStringLiteral("終了(&X)"), {});

    QMenu* mnuSet = menuBar()->addMenu(QStringLiteral("設定(&S)"));
    m_w->mnuCap = addCommand(mnuSet, QStringLiteral("起動時に画面を取り込む(&C)"), {});
    m_w->mnuCap->setCheckable(true);
    m_w->mnuClickOpen =
        addCommand(mnuSet, QStringLiteral("元画像クリックでファイルを開く(&C)"), {});
    m_w->mnuClickOpen->setCheckable(true);
    m_w->mnuJpeg = addCommand(mnuSet, QStringLiteral("JPEG保存時の圧縮率設定(&J)..."), {});

    // The tile menu: a menu of the menu bar and the tiles' pop-up menu.
    m_mnuPop = menuBar()->addMenu(QStringLiteral("実行(&J)"));
    m_mnuPop->setObjectName(QStringLiteral("mnuPop"));
    m_w->mnuSave = addCommand(m_mnuPop, QStringLiteral("ファイルに保存(&A)"),
                              QKeySequence(Qt::CTRL | Qt::Key_A));
    m_w->mnuWall = addCommand(m_mnuPop, QStringLiteral("壁紙で並べて表示(&K)"),
                              QKeySequence(Qt::CTRL | Qt::Key_K));
    m_w->mnuHtml = addCommand(m_mnuPop, QStringLiteral("ＩＥでサンプル表示(&I)"),
                              QKeySequence(Qt::CTRL | Qt::Key_I));
    m_mnuPop->addSeparator();
    m_w->mnuLight[0] =
        addCommand(m_mnuPop, QStringLiteral("明度(+10%)(&P)"), QKeySequence(Qt::CTRL | Qt::Key_P));
    m_w->mnuLight[1] =
        addCommand(m_mnuPop, QStringLiteral("明度(-10%)(&M)"), QKeySequence(Qt::CTRL | Qt::Key_M));
    m_w->mnuContrast = addCommand(m_mnuPop, QStringLiteral("コントラスト(&C)"),
                                  QKeySequence(Qt::CTRL | Qt::Key_C));
    m_w->mnuBokashi =
        addCommand(m_mnuPop, QStringLiteral("ぼかし(&S)"), QKeySequence(Qt::CTRL | Qt::Key_S));
    m_w->mnuBlock =
        addCommand(m_mnuPop, QStringLiteral("ブロック(&B)"), QKeySequence(Qt::CTRL | Qt::Key_B));
    m_w->mnuGray = addCommand(m_mnuPop, QStringLiteral("グレースケール(&G)"),
                              QKeySequence(Qt::CTRL | Qt::Key_G));
    m_w->mnuEnboss =
        addCommand(m_mnuPop, QStringLiteral("エンボス(&E)"), QKeySequence(Qt::CTRL | Qt::Key_E));
    m_mnuPop->addSeparator();
    m_w->mnuUndo =
        addCommand(m_mnuPop, QStringLiteral("元に戻す"), QKeySequence(Qt::CTRL | Qt::Key_Z));

    m_w->mnuVersion = menuBar()->addAction(QStringLiteral("バージョン情報(&V)"));

    connect(m_w->mnuOpen, &QAction::triggered, this, &frmMain::cmdFileOpen_Click);
    connect(m_w->mnuBatch, &QAction::triggered, this, &frmMain::showBatchWindow);
    connect(m_w->mnuExit, &QAction::triggered, this, &QWidget::close);
    connect(m_w->mnuJpeg, &QAction::triggered, this, &frmMain::mnuJpeg_Click);
    connect(m_w->mnuSave, &QAction::triggered, this, &frmMain::mnuSave_Click);
    connect(m_w->mnuWall, &QAction::triggered, this, &frmMain::mnuWall_Click);
    connect(m_w->mnuHtml, &QAction::triggered, this, &frmMain::mnuHtml_Click);
    connect(m_w->mnuLight[0], &QAction::triggered, this, [this] { mnuLight_Click(0); });
    connect(m_w->mnuLight[1], &QAction::triggered, this, [this] { mnuLight_Click(1); });
    connect(m_w->mnuContrast, &QAction::triggered, this, &frmMain::mnuContrast_Click);
    connect(m_w->mnuBokashi, &QAction::triggered, this, &frmMain::mnuBokashi_Click);
    connect(m_w->mnuBlock, &QAction::triggered, this, &frmMain::mnuBlock_Click);
    connect(m_w->mnuGray, &QAction::triggered, this, &frmMain::mnuGray_Click);
    connect(m_w->mnuEnboss, &QAction::triggered, this, &frmMain::mnuEnboss_Click);
    connect(m_w->mnuUndo, &QAction::triggered, this, &frmMain::mnuUndo_Click);
    connect(m_w->mnuVersion, &QAction::triggered, this, &frmMain::mnuVersion_Click);
}
