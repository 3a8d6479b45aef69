// The batch window: its controls, loading and unloading, and the handlers
// that keep folders, types and file lists in step. The run and the output
// list are in frmBatchRun.cpp.
#include "batch/frmBatch.h"

#include "app/frmMain.h"
#include "app/guiFit.h"
#include "batch/frmBatchUi.h"
#include "batch/frmKouka.h"
#include "batch/guiFolderList.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

const QString kPosition = QStringLiteral("Position");

// Design lengths are twips; the screen has 15 twips to a pixel.
int px(int twips)
{
    return qRound(twips / 15.0);
}
QRect rectTw(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

QString indexed(const char* name, int index)
{
    return QLatin1String(name) + QLatin1Char('_') + QString::number(index);
}

// A decimal number of twips from the settings file, or nullopt.
std::optional<int> twipsValue(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || value < -1e7 || value > 1e7)
        return std::nullopt;
    return qRound(value);
}

} // namespace

frmBatch::frmBatch(frmMain& main) : QWidget(nullptr), m_main(main), m_ui(new Ui)
{
    m_pattern[0] = BatchNaming::inputPattern({true, false, false});
    m_pattern[1] = QStringLiteral("*.bmp");
    buildWidgets();
    Form_Load();
}

frmBatch::~frmBatch()
{
    // A load left running by a stop refers to this window.
    finishPendingLoad();
    delete m_ui;
}

void frmBatch::buildWidgets()
{
    setWindowTitle(QStringLiteral("フォルダ一括処理"));
    setObjectName(QStringLiteral("frmBatch"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* menuBar = new QMenuBar(this);
    QMenu* mnuOption = menuBar->addMenu(QStringLiteral("オプション(&O)"));
    m_ui->mnuKouka = mnuOption->addAction(QStringLiteral("効果の処理順序設定(&K)..."));
    mnuOption->addSeparator();
    m_ui->mnuHide =
        mnuOption->addAction(QStringLiteral("[一覧]表示の際、他のフォームを非表示(&H)"));
    m_ui->mnuHide->setCheckable(true);
    m_ui->mnuHide->setChecked(false);
    // A checkable action turns its own tick over when chosen (mnuHide_Click).
    connect(m_ui->mnuKouka, &QAction::triggered, this, &frmBatch::mnuKouka_Click);
    layout->setMenuBar(menuBar);

    // The client area of 6000 x 7485 twips.
    m_ui->client = new QWidget(this);
    m_ui->client->setFixedSize(px(6000), px(7485));
    layout->addWidget(m_ui->client);

    for (int i = 0; i < 2; ++i)
        buildFolderFrame(i);
    for (int t = 0; t < 4; ++t)
        buildTileFrame(t);

    QWidget* c = m_ui->client;
    m_ui->Shape1 = new QFrame(c);
    m_ui->Shape1->setObjectName(QStringLiteral("Shape1"));
    m_ui->Shape1->setGeometry(rectTw(360, 6900, 2595, 495));
    m_ui->Shape1->setStyleSheet(QStringLiteral(
        "QFrame#Shape1 { border: 1px solid palette(window-text); background: transparent; }"));
    const char* const colours[2] = {"#ffffc0", "#ff80ff"};
    for (int i = 0; i < 2; ++i) {
        auto* shape = new QFrame(c);
        shape->setObjectName(indexed("shaProcess", i));
        shape->setStyleSheet(QStringLiteral("QFrame { background: %1; border: none; }")
                                 .arg(QLatin1String(colours[i])));
        shape->setGeometry(rectTw(420, 6960, 2415, 375));
        shape->hide();
        m_ui->shaProcess[i] = shape;
    }
    m_ui->cmdBatch = new QPushButton(QStringLiteral("実行(&R)"), c);
    m_ui->cmdBatch->setObjectName(QStringLiteral("cmdBatch"));
    m_ui->cmdBatch->setGeometry(rectTw(3060, 6900, 1635, 495));
    connect(m_ui->cmdBatch, &QPushButton::clicked, this, &frmBatch::cmdBatch_Click);
    m_ui->cmdClose = new QPushButton(QStringLiteral("閉じる(&C)"), c);
    m_ui->cmdClose->setObjectName(QStringLiteral("cmdClose"));
    m_ui->cmdClose->setGeometry(rectTw(4800, 6900, 915, 495));
    connect(m_ui->cmdClose, &QPushButton::clicked, this, &frmBatch::cmdClose_Click);

    for (QWidget* frame : m_ui->fraFolderSel)
        guiFit::fitCaptions(*frame);
    for (QWidget* frame : m_ui->FraPic)
        guiFit::fitCaptions(*frame);
    guiFit::fitCaptions(*m_ui->client);
    setFixedSize(sizeHint());
}

void frmBatch::buildFolderFrame(int i)
{
    auto* frame = new QGroupBox(i == 0 ? QStringLiteral("入力設定") : QStringLiteral("出力設定"),
                                m_ui->client);
    frame->setObjectName(indexed("fraFolderSel", i));
    frame->setGeometry(rectTw(i == 0 ? 240 : 3060, 180, 2655, 2955));
    m_ui->fraFolderSel[i] = frame;

    auto* drive = new guiDriveList(frame);
    drive->setObjectName(indexed("Drive1", i));
    drive->setGeometry(rectTw(240, 360, 2175, 300));
    connect(drive, &guiDriveList::driveChosen, this, [this, i] { Drive1_Change(i); });
    m_ui->Drive1[i] = drive;

    auto* dir = new guiFolderList(frame);
    dir->setObjectName(indexed("Dir1", i));
    dir->setGeometry(rectTw(240, 720, 2175, 1560));
    connect(dir, &guiFolderList::pathChanged, this, [this, i] { Dir1_Change(i); });
    connect(dir, &guiFolderList::mouseUp, this,
            [this, i](Qt::MouseButton button) { Dir1_MouseUp(i, button); });
    m_ui->Dir1[i] = dir;

    if (i == 0) {
        const char* const captions[3] = {"*.bmp", "*.jpg", "*.gif"};
        for (int k = 0; k < 3; ++k) {
            auto* box = new QCheckBox(QLatin1String(captions[k]), frame);
            box->setObjectName(indexed("chkType", k));
            box->setGeometry(rectTw(240 + 720 * k, 2340, 720, 255));
            box->setChecked(k == 0);
            connect(box, &QCheckBox::toggled, this, [this, k] { chkType_Click(k); });
            m_ui->chkType[k] = box;
        }
    } else {
        auto* group = new QButtonGroup(frame);
        const char* const captions[2] = {"*.bmp", "*.jpg"};
        for (int k = 0; k < 2; ++k) {
            auto* button = new QRadioButton(QLatin1String(captions[k]), frame);
            button->setObjectName(indexed("optType", k));
            button->setGeometry(rectTw(240 + 840 * k, 2340, 780, 255));
            group->addButton(button, k);
            connect(button, &QRadioButton::clicked, this, [this, k] { optType_Click(k); });
            m_ui->optType[k] = button;
        }
        m_ui->optType[0]->setChecked(true);
        m_ui->cmdPrev = new QPushButton(QStringLiteral("一覧..."), frame);
        m_ui->cmdPrev->setObjectName(QStringLiteral("cmdPrev"));
        m_ui->cmdPrev->setGeometry(rectTw(1860, 2340, 675, 435));
        connect(m_ui->cmdPrev, &QPushButton::clicked, this, &frmBatch::cmdPrev_Click);
    }
    m_ui->lblNum[i] = new QLabel(QStringLiteral("0"), frame);
    m_ui->lblNum[i]->setObjectName(indexed("lblNum", i));
    m_ui->lblNum[i]->setGeometry(rectTw(240, 2640, 495, 195));
    m_ui->lblNowSel[i] = new QLabel(frame);
    m_ui->lblNowSel[i]->setObjectName(indexed("lblNowSel", i));
    m_ui->lblNowSel[i]->setGeometry(rectTw(780, 2640, 1635, 255));
}

void frmBatch::buildTileFrame(int t)
{
    static const char* const captions[4] = {"タイルＡ", "タイルB", "タイルC", "タイルD"};
    static const int left[4] = {420, 3300, 420, 3300};
    static const int top[4] = {3240, 3240, 4980, 5040};
    auto* frame = new QGroupBox(QString::fromUtf8(captions[t]), m_ui->client);
    frame->setObjectName(indexed("FraPic", t));
    frame->setGeometry(rectTw(left[t], top[t], 2415, 1695));
    m_ui->FraPic[t] = frame;

    // The bare tick box sits over the frame's top-left corner, outside it, so
    // it stays usable while the frame is disabled.
    auto* tile = new QCheckBox(m_ui->client);
    tile->setObjectName(indexed("chkTile", t));
    tile->setGeometry(px(left[t] - 240), px(top[t] + 120), 16, 16);
    tile->setChecked(true);
    connect(tile, &QCheckBox::toggled, this, [this, t] { chkTile_Click(t); });
    m_ui->chkTile[t] = tile;

    auto makeBox = [&](const char* name, const char* caption, int x, int y, int w) {
        auto* box = new QCheckBox(QString::fromUtf8(caption), frame);
        box->setObjectName(indexed(name, t));
        box->setGeometry(rectTw(x, y, w, 255));
        return box;
    };
    m_ui->chkLight[t] = makeBox("chkLight", "明度", 180, 180, 1050);
    m_ui->chkBokashi[t] = makeBox("chkBokashi", "ぼかし", 180, 540, 1050);
    m_ui->chkBlock[t] = makeBox("chkBlock", "ブロック", 180, 840, 1050);
    m_ui->chkEnboss[t] = makeBox("chkEnboss", "エンボス", 1260, 840, 1110);
    m_ui->chkGray[t] = makeBox("chkGray", "グレースケール", 180, 1140, 2100);
    m_ui->chkContrast[t] = makeBox("chkContrast", "コントラスト", 180, 1440, 2100);

    m_ui->cmbLight[t] = new QComboBox(frame);
    m_ui->cmbLight[t]->setObjectName(indexed("cmbLight", t));
    m_ui->cmbLight[t]->addItems(
        {QStringLiteral("-50"), QStringLiteral("-40"), QStringLiteral("-30"), QStringLiteral("-20"),
         QStringLiteral("-10"), QStringLiteral("+10"), QStringLiteral("+20"), QStringLiteral("+30"),
         QStringLiteral("+40"), QStringLiteral("+50")});
    m_ui->cmbLight[t]->setGeometry(rectTw(1260, 180, 915, 300));
    m_ui->cmbBokashi[t] = new QComboBox(frame);
    m_ui->cmbBokashi[t]->setObjectName(indexed("cmbBokashi", t));
    m_ui->cmbBokashi[t]->addItems(
        {QStringLiteral("x1"), QStringLiteral("x2"), QStringLiteral("x3")});
    m_ui->cmbBokashi[t]->setGeometry(rectTw(1260, 480, 915, 300));
}

void frmBatch::Form_Load()
{
    inifile_IO& ini = m_main.settings();
    // 1: the main window's icon.
    setWindowIcon(m_main.windowIcon());

    // 2-3: position (twips) and the hide option.
    const QString subLeft = ini.ReadStr(kPosition, QStringLiteral("SubLeft"), {});
    const QString subTop = ini.ReadStr(kPosition, QStringLiteral("SubTop"), {});
    const QString formHide =
        ini.ReadStr(QStringLiteral("Start"), QStringLiteral("FormHide"), QStringLiteral("False"));
    m_ui->mnuHide->setChecked(formHide.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0);
    const std::optional<int> left = twipsValue(subLeft);
    const std::optional<int> top = twipsValue(subTop);
    if (!subLeft.isEmpty() && !subTop.isEmpty() && left && top) {
        move(px(*left), px(*top));
    } else {
        // Just to the right of the main window.
        const QRect mainFrame = m_main.frameGeometry();
        move(mainFrame.x() + mainFrame.width(), mainFrame.y());
    }

    // 4-5: per-tile effects, levels and the effect order.
    const BatchSettings settings = BatchSettings::read(ini, m_main.JpegFlag());
    applySettings(settings);

    // 6-8: output type, folders and their counts.
    m_outExt = QStringLiteral("bmp");
    setFolder(0, m_main.SourceFolder());
    setFolder(1, m_main.SaveFolder());
    File1_PatternChange(0);
    File1_PatternChange(1);

    // 9-10: JPEG output only with the JPEG library.
    m_ui->optType[1]->setEnabled(m_main.JpegFlag());
    const int chosen = settings.jpegOutput ? 1 : 0;
    m_ui->optType[chosen]->setChecked(true);
    optType_Click(chosen);

    // 11: input types; the pattern is set even when no box changes.
    {
        const QSignalBlocker blockers[3] = {QSignalBlocker(m_ui->chkType[0]),
                                            QSignalBlocker(m_ui->chkType[1]),
                                            QSignalBlocker(m_ui->chkType[2])};
        for (int i = 0; i < 3; ++i)
            m_ui->chkType[i]->setChecked(settings.inputTypes[i]);
    }
    chkType_Click(0);
}

void frmBatch::applySettings(const BatchSettings& settings)
{
    for (int t = 0; t < 4; ++t) {
        const TileEffects& fx = settings.tiles[t];
        m_ui->chkLight[t]->setChecked(fx.light);
        m_ui->chkBokashi[t]->setChecked(fx.blur);
        m_ui->chkBlock[t]->setChecked(fx.block);
        m_ui->chkEnboss[t]->setChecked(fx.emboss);
        m_ui->chkGray[t]->setChecked(fx.gray);
        m_ui->chkContrast[t]->setChecked(fx.contrast);
        m_ui->cmbLight[t]->setCurrentIndex(fx.lightIndex);
        m_ui->cmbBokashi[t]->setCurrentIndex(fx.blurIndex);
    }
    m_effectOrder = settings.order;
}

TileEffects frmBatch::tileEffects(int t) const
{
    TileEffects fx;
    fx.produce = m_ui->chkTile[t]->isChecked();
    fx.light = m_ui->chkLight[t]->isChecked();
    fx.lightIndex = std::max(0, m_ui->cmbLight[t]->currentIndex());
    fx.blur = m_ui->chkBokashi[t]->isChecked();
    fx.blurIndex = std::max(0, m_ui->cmbBokashi[t]->currentIndex());
    fx.block = m_ui->chkBlock[t]->isChecked();
    fx.emboss = m_ui->chkEnboss[t]->isChecked();
    fx.gray = m_ui->chkGray[t]->isChecked();
    fx.contrast = m_ui->chkContrast[t]->isChecked();
    return fx;
}

BatchSettings frmBatch::currentSettings() const
{
    BatchSettings s;
    for (int t = 0; t < 4; ++t)
        s.tiles[t] = tileEffects(t);
    s.order = m_effectOrder;
    for (int i = 0; i < 3; ++i)
        s.inputTypes[i] = m_ui->chkType[i]->isChecked();
    s.jpegOutput = !m_ui->optType[0]->isChecked();
    return s;
}

void frmBatch::unload()
{
    if (m_unloaded)
        return;
    if (m_running) {
        // The run drives this window's controls: it ends first.
        m_unloadAfterRun = true;
        requestStop();
        return;
    }
    m_unloaded = true;
    m_main.settings().beginBatch();
    currentSettings().write(m_main.settings());
    m_main.settings().commitBatch();
    hide();
    m_main.batchWindowUnloaded();
}

void frmBatch::closeEvent(QCloseEvent* event)
{
    if (m_unloaded) {
        event->accept();
        return;
    }
    if (m_running) {
        m_unloadAfterRun = true;
        requestStop();
        event->ignore();
        return;
    }
    unload();
    event->accept();
}

void frmBatch::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdClose_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmBatch::cmdClose_Click()
{
    hide();
}

bool frmBatch::hideOthers() const
{
    return m_ui->mnuHide->isChecked();
}

void frmBatch::mnuHide_Click()
{
    m_ui->mnuHide->setChecked(!m_ui->mnuHide->isChecked());
}

void frmBatch::mnuKouka_Click()
{
    frmKouka dialog(m_effectOrder, m_main.windowIcon(), this);
    dialog.exec();
}

void frmBatch::chkTile_Click(int index)
{
    const bool enabled = m_ui->chkTile[index]->isChecked();
    // The frame carries all of the tile's boxes and lists with it.
    m_ui->FraPic[index]->setEnabled(enabled);
}

void frmBatch::chkType_Click(int)
{
    std::array<bool, 3> types{};
    for (int i = 0; i < 3; ++i)
        types[i] = m_ui->chkType[i]->isChecked();
    m_pattern[0] = BatchNaming::inputPattern(types);
    refreshFileList(0);
    File1_PatternChange(0);
}

void frmBatch::optType_Click(int index)
{
    m_outExt = index == 1 ? QStringLiteral("jpg") : QStringLiteral("bmp");
    m_pattern[1] = QStringLiteral("*.") + m_outExt;
    refreshFileList(1);
    File1_PatternChange(1);
}

void frmBatch::refreshFileList(int index)
{
    m_files[index] = BatchNaming::matchingFiles(m_ui->Dir1[index]->path(), m_pattern[index]);
}

void frmBatch::File1_PatternChange(int index)
{
    m_ui->lblNum[index]->setText(QString::number(m_files[index].size()));
}

void frmBatch::setFolder(int index, const QString& folder)
{
    const int i = index ? 1 : 0;
    guiFolderList* dir = m_ui->Dir1[i];
    const QString before = dir->path();
    // A folder that no longer exists: its nearest existing parent.
    QString path =
        folder.isEmpty() ? QStringLiteral("/") : QDir::cleanPath(QDir(folder).absolutePath());
    while (!dir->setPath(path)) {
        const QString up = QFileInfo(path).path();
        if (up == path) {
            break;
        }
        path = up;
    }
    // The same folder again (a tile saved into it): its list is refreshed too.
    if (dir->path() == before && !before.isEmpty())
        Dir1_Change(i);
}

QString frmBatch::folder(int index) const
{
    return m_ui->Dir1[index ? 1 : 0]->path();
}

void frmBatch::Dir1_Change(int index)
{
    const QString path = m_ui->Dir1[index]->path();
    const QString name = path == QLatin1String("/") ? path : QFileInfo(path).fileName();
    m_ui->fraFolderSel[index]->setTitle(
        (index == 0 ? QStringLiteral("入力") : QStringLiteral("出力")) + QStringLiteral("設定 - ") +
        name);
    refreshFileList(index);
    if (index == 0)
        m_main.setSourceFolder(path);
    else
        m_main.setSaveFolder(path);
    File1_PatternChange(index);
    m_ui->Drive1[index]->showDriveOf(path);
}

void frmBatch::Drive1_Change(int index)
{
    const QString remembered = m_ui->Dir1[index]->path();
    // A volume that cannot be read: both lists go back, silently.
    if (!m_ui->Dir1[index]->setPath(m_ui->Drive1[index]->drive()))
        m_ui->Drive1[index]->showDriveOf(remembered);
}

void frmBatch::Dir1_MouseUp(int index, Qt::MouseButton button)
{
    if (index != 1 || button != Qt::RightButton)
        return;
    openOutputList(false);
}
