#include "app/frmRepeat.h"

#include "app/SaveJpgLoader.h"
#include "app/frmMain.h"
#include "app/guiMessage.h"
#include "app/guiRepeatView.h"
#include "app/guiTileBox.h"
#include "app/inifile_IO.h"
#include "output/PictureSaver.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <optional>

using RepeatPattern::Zoom;

namespace {

const QString kSection = QStringLiteral("RepeatView");
const QString kCaption = QStringLiteral("タイルの並べ表示");
// Window lengths are kept in twips, as the main window keeps its position.
constexpr int kTwipsPerPixel = 15;
// The zoom list's entries, in order.
constexpr Zoom kZooms[] = {Zoom::X1, Zoom::X2, Zoom::X3, Zoom::X4, Zoom::FitScreen};

// A stored length in twips as pixels; nullopt when missing or not a number.
std::optional<int> storedPixels(const inifile_IO& settings, const QString& key)
{
    bool ok = false;
    const int twips = settings.ReadStr(kSection, key, {}).trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    return twips / kTwipsPerPixel;
}

bool isPngName(const QString& name)
{
    return name.endsWith(QLatin1String("png"), Qt::CaseInsensitive);
}

} // namespace

frmRepeat::frmRepeat(frmMain& main) : QWidget(nullptr, Qt::Window), m_main(main)
{
    setWindowIcon(main.windowIcon());
    setWindowTitle(kCaption);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(6, 4, 6, 4);
    m_cmbZoom = new QComboBox(this);
    m_cmbZoom->setObjectName(QStringLiteral("cmbZoom"));
    m_cmbZoom->addItems({QStringLiteral("1倍"), QStringLiteral("2倍"), QStringLiteral("3倍"),
                         QStringLiteral("4倍"), QStringLiteral("画面全体")});
    auto* lblZoom = new QLabel(QStringLiteral("倍率(&Z):"), this);
    lblZoom->setBuddy(m_cmbZoom);
    m_chkSeam = new QCheckBox(QStringLiteral("継ぎ目を表示(&L)"), this);
    m_chkSeam->setObjectName(QStringLiteral("chkSeam"));
    m_cmdWall = new QPushButton(QStringLiteral("壁紙で並べて表示(&K)"), this);
    m_cmdWall->setObjectName(QStringLiteral("cmdWall"));
    m_cmdSave = new QPushButton(QStringLiteral("画像で保存(&A)..."), this);
    m_cmdSave->setObjectName(QStringLiteral("cmdSave"));
    bar->addWidget(lblZoom);
    bar->addWidget(m_cmbZoom);
    bar->addSpacing(12);
    bar->addWidget(m_chkSeam);
    bar->addStretch(1);
    bar->addWidget(m_cmdWall);
    bar->addWidget(m_cmdSave);

    m_view = new guiRepeatView(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(bar);
    layout->addWidget(m_view, 1);

    connect(m_cmbZoom, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0 && index < int(std::size(kZooms)))
            m_view->setZoom(kZooms[index]);
    });
    connect(m_chkSeam, &QCheckBox::toggled, m_view, &guiRepeatView::setSeams);
    connect(m_cmdWall, &QPushButton::clicked, this, &frmRepeat::cmdWall_Click);
    connect(m_cmdSave, &QPushButton::clicked, this, &frmRepeat::cmdSave_Click);

    // Every committed change of the shown tile, and every change of the
    // current tile, shows at once.
    const TileDesigner& designer = m_main.designer();
    connect(&designer, &TileDesigner::tileChanged, this, [this](int index) {
        if (index == m_main.designer().currentTile())
            refresh();
    });
    connect(&designer, &TileDesigner::currentTileChanged, this, &frmRepeat::refresh);

    // Opened by a double click on any tile, and by Ctrl+T in the main window.
    for (int i = 0; i < 4; ++i)
        if (auto* box = qobject_cast<guiTileBox*>(m_main.tileBox(i)))
            connect(box, &guiTileBox::doubleClicked, this, &frmRepeat::showBeside);
    m_toggle = new QAction(kCaption, this);
    m_toggle->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    m_toggle->setShortcutContext(Qt::WindowShortcut);
    connect(m_toggle, &QAction::triggered, this, &frmRepeat::toggle);
    m_main.addAction(m_toggle);
    addAction(m_toggle);
    // The tile menu's shortcuts work here too, so that effects can be tried
    // while looking at the wall.
    addActions(m_main.tileMenu()->actions());

    m_saveFolder = m_main.SaveFolder();
    resize(sizeHint());
    readSettings(m_main.settings());
    refresh();
}

void frmRepeat::readSettings(const inifile_IO& settings)
{
    const std::optional<int> left = storedPixels(settings, QStringLiteral("Left"));
    const std::optional<int> top = storedPixels(settings, QStringLiteral("Top"));
    if (left && top) {
        const QPoint at(*left, *top);
        // A place on a screen no longer attached is forgotten.
        if (QGuiApplication::screenAt(at + QPoint(40, 20))) {
            move(at);
            m_placeBesideMain = false;
        }
    }
    const std::optional<int> width = storedPixels(settings, QStringLiteral("Width"));
    const std::optional<int> height = storedPixels(settings, QStringLiteral("Height"));
    if (width && height && *width >= 100 && *height >= 100)
        resize(*width, *height);

    const Zoom zoom = RepeatPattern::zoomFromWord(
        settings.ReadStr(kSection, QStringLiteral("Zoom"), {}), Zoom::X1);
    setZoom(zoom);
    setSeams(settings.ReadStr(kSection, QStringLiteral("Seams"), {})
                 .compare(QLatin1String("True"), Qt::CaseInsensitive) == 0);
    // Open at the last shut-down: shown again once the main window is.
    if (settings.ReadStr(kSection, QStringLiteral("Open"), {})
            .compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        QTimer::singleShot(0, this, &frmRepeat::showBeside);
}

void frmRepeat::writeSettings(inifile_IO& settings) const
{
    const auto twips = [](int pixels) { return QString::number(pixels * kTwipsPerPixel); };
    // A window never shown has no place of its own yet: it opens beside the
    // main window, wherever that is next time.
    if (!m_placeBesideMain) {
        settings.WriteStr(kSection, QStringLiteral("Left"), twips(pos().x()));
        settings.WriteStr(kSection, QStringLiteral("Top"), twips(pos().y()));
    }
    settings.WriteStr(kSection, QStringLiteral("Width"), twips(width()));
    settings.WriteStr(kSection, QStringLiteral("Height"), twips(height()));
    settings.WriteStr(kSection, QStringLiteral("Zoom"), RepeatPattern::zoomWord(m_view->zoom()));
    settings.WriteStr(kSection, QStringLiteral("Seams"),
                      m_view->seams() ? QStringLiteral("True") : QStringLiteral("False"));
    settings.WriteStr(kSection, QStringLiteral("Open"),
                      isVisible() ? QStringLiteral("True") : QStringLiteral("False"));
}

void frmRepeat::setZoom(Zoom zoom)
{
    const auto* found = std::find(std::begin(kZooms), std::end(kZooms), zoom);
    m_cmbZoom->setCurrentIndex(int(found - std::begin(kZooms)));
    m_view->setZoom(zoom);
}

void frmRepeat::setSeams(bool seams)
{
    m_chkSeam->setChecked(seams);
    m_view->setSeams(seams);
}

QSize frmRepeat::screenPixels() const
{
    const QScreen* shown = screen();
    if (!shown)
        shown = QGuiApplication::primaryScreen();
    if (shown) {
        const QSize size = shown->geometry().size() * shown->devicePixelRatio();
        if (!size.isEmpty())
            return size;
    }
    return QSize(1024, 768);
}

void frmRepeat::refresh()
{
    const int index = m_main.designer().currentTile();
    const QImage& tile = m_main.designer().tile(index);
    m_view->setScreenSize(screenPixels());
    m_view->setTile(tile);
    m_cmdWall->setEnabled(!tile.isNull());
    m_cmdSave->setEnabled(!tile.isNull());
    QString caption = kCaption + QStringLiteral(" - タイル") + QChar(u'A' + index);
    if (!tile.isNull())
        caption += QStringLiteral(" (%1×%2)").arg(tile.width()).arg(tile.height());
    setWindowTitle(caption);
}

void frmRepeat::showEvent(QShowEvent* event)
{
    // The screen may have changed while the window was closed.
    m_view->setScreenSize(screenPixels());
    QWidget::showEvent(event);
}

void frmRepeat::showBeside()
{
    if (m_placeBesideMain) {
        m_placeBesideMain = false;
        const QPoint beside = m_main.frameGeometry().topRight() + QPoint(8, 0);
        move(QGuiApplication::screenAt(beside + QPoint(40, 20)) ? beside
                                                                : m_main.pos() + QPoint(40, 40));
    }
    // Raised but not made active: the keys stay with the window they were
    // typed in.
    show();
    raise();
}

void frmRepeat::toggle()
{
    if (isVisible())
        close();
    else
        showBeside();
}

void frmRepeat::cmdWall_Click()
{
    // The shown tile is always the current tile.
    m_main.mnuWall_Click();
}

bool frmRepeat::savePicture(const QString& path)
{
    const QImage& tile = m_main.designer().tile(m_main.designer().currentTile());
    if (tile.isNull())
        return false;
    const QImage picture = RepeatPattern::desktopPicture(tile, screenPixels());
    if (!isPngName(path) && PictureSaver::isJpegName(path, m_main.JpegFlag())) {
        const PictureSaver::JpegOutcome outcome =
            PictureSaver::saveJpeg(SaveJpgLoader::systemLibraryPath(m_main.context().systemFolder),
                                   picture, path, m_main.JpegQuality());
        const QString message = PictureSaver::jpegMessage(outcome);
        if (!message.isEmpty())
            guiMessage::show(this, guiMessage::appTitle(), message, QMessageBox::Information);
        return outcome == PictureSaver::JpegOutcome::Saved;
    }
    QString why;
    const bool saved = isPngName(path) ? RepeatPattern::savePng(picture, path, &why)
                                       : PictureSaver::saveBmp(picture, path, &why);
    if (!saved)
        guiMessage::show(this, guiMessage::appTitle(),
                         QStringLiteral("次のファイルを書き込めませんでした。\n") + path +
                             (why.isEmpty() ? QString() : QString(QStringLiteral("\n") + why)),
                         QMessageBox::Information);
    return saved;
}

void frmRepeat::cmdSave_Click()
{
    QStringList filters{QStringLiteral("ＢＭＰ (*.bmp)")};
    if (m_main.JpegFlag())
        filters << QStringLiteral("ＪＰＧ (*.jpg)");
    filters << QStringLiteral("ＰＮＧ (*.png)");

    const QSize screen = screenPixels();
    const QString suggested = QStringLiteral("壁紙%1_%2x%3.bmp")
                                  .arg(QChar(u'A' + m_main.designer().currentTile()))
                                  .arg(screen.width())
                                  .arg(screen.height());
    QFileDialog dialog(this, QStringLiteral("画像で保存"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDirectory(m_saveFolder.isEmpty() ? m_main.SaveFolder() : m_saveFolder);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.first());
    dialog.selectFile(suggested);
    // The chosen filter's extension goes on a name typed without one.
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(filter.section(QLatin1String("*."), 1).chopped(1));
    });
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString name = dialog.selectedFiles().first();
    m_saveFolder = QFileInfo(name).absolutePath();
    savePicture(name);
}
