// The main window's start-up and shut-down, and its other windows.
#include "app/frmMain.h"

#include "about/frmVersion.h"
#include "app/JpegLibrary.h"
#include "app/frmMainWidgets.h"
#include "app/guiFit.h"
#include "app/frmRepeat.h"
#include "app/guiMessage.h"
#include "app/guiSourceBox.h"
#include "app/guiTileBox.h"
#include "batch/frmBatch.h"
#include "platform/Paths.h"
#include "tile/PictureLoader.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMenuBar>
#include <QTimer>

// The icon lives in the widget library's resources; a static library needs
// them registered by hand.
static void initResources()
{
    Q_INIT_RESOURCE(guiResources);
}

namespace {

const QString kTitle = QStringLiteral("100角化粧タイル図案生成");
const QString kTrue = QStringLiteral("True");
const QString kFalse = QStringLiteral("False");

QString boolText(bool value)
{
    return value ? kTrue : kFalse;
}

// Anything on the command line but the switch "/C" and Qt's own options.
bool isPictureArgument(const QString& argument)
{
    return !argument.isEmpty() && argument != QLatin1String("/C") &&
           !argument.startsWith(QLatin1Char('-'));
}

} // namespace

frmMain::frmMain(AppContext context, QWidget* parent)
    : QMainWindow(parent), m_ctx(std::move(context)), m_w(std::make_unique<Widgets>())
{
    initResources();
    setWindowIcon(QIcon(QStringLiteral(":/quilton/quilton.png")));
    // Every window of the program is laid out for this font.
    guiFit::useDesignFont();
    buildWidgets();
    buildMenus();
    // The window keeps its designed size.
    setFixedSize(sizeHint());
    Form_Load();
    m_repeat = std::make_unique<frmRepeat>(*this);
}

frmMain::~frmMain()
{
    // The batch window is a window of its own (no parent); it goes with us.
    delete m_batch.data();
    delete m_unloadedBatch.data();
}

void frmMain::Form_Load()
{
    // 1-3: the program folder (m_ctx) and the JPEG library. A picture named
    // on the command line is no switch, even when its path holds "/C".
    QStringList libraryArguments;
    bool pictureSeen = false;
    for (const QString& argument : m_ctx.arguments) {
        if (!pictureSeen && isPictureArgument(argument)) {
            pictureSeen = true;
            continue;
        }
        libraryArguments.append(argument);
    }
    const QString picture = pictureArgument(m_ctx.arguments);
    const JpegLibraryState library = JpegLibrary::lookUpAndInstall(
        {m_ctx.systemFolder, m_ctx.packageLibrary, m_ctx.programFolder, m_ctx.installsLibrary},
        JpegLibrary::keepsProgramCopy(libraryArguments));
    m_jpegFlag = library.jpegFlag;
    m_dllVersionText = library.dllVersionText;
    m_jpegLibrary = library.libraryPath;

    // 4-6: title, screen density, JPEG quality entry.
    setWindowTitle(kTitle);
    m_twipsPerPixelX = 15;
    m_twipsPerPixelY = 15;
    m_w->mnuJpeg->setEnabled(m_jpegFlag);

    // 7: the settings file.
    m_settings.setFileName(m_ctx.settingsFile);

    // 8: window position, stored in twips.
    const qint16 top = m_settings.ReadInt(QStringLiteral("Position"), QStringLiteral("Top"), 0);
    const qint16 left = m_settings.ReadInt(QStringLiteral("Position"), QStringLiteral("Left"), 0);
    move(left / m_twipsPerPixelX, top / m_twipsPerPixelY);

    // 9-11: folders; the save folder defaults to Tiles.
    m_sourceFolder =
        m_settings.ReadStr(QStringLiteral("Folder"), QStringLiteral("Source"), m_ctx.userFolder);
    const QString tiles = m_ctx.tilesFolder;
    if (!QFileInfo(tiles).isDir())
        QDir().mkpath(tiles);
    m_saveFolder = m_settings.ReadStr(QStringLiteral("Folder"), QStringLiteral("Save"), tiles);

    // 12-15: selection on tile A, JPEG quality, the two start-up options.
    placeSelectionFrame(0);
    m_jpegQuality = m_settings.ReadInt(QStringLiteral("Jpeg"), QStringLiteral("Value"), 50);
    readStartOptions();

    // 16: the batch window, loaded hidden; it reads its own settings.
    m_batch = new frmBatch(*this);

    // 17: "壁紙を戻す(&U)" only when the program's own picture is the wallpaper.
    updateWallpaperButtonAtStart();

    // 18: the screen as the first source picture. A picture named on the
    // command line is taken instead: capturing would only be thrown away.
    if (picture.isEmpty()) {
        if (m_w->mnuCap->isChecked())
            captureScreenAtStart();
        return;
    }
    show();
    QCoreApplication::processEvents();
    QString error;
    if (!openSourceFile(picture, &error))
        guiMessage::show(this, guiMessage::appTitle(), picture + QLatin1Char('\n') + error,
                         QMessageBox::Warning);
}

void frmMain::readStartOptions()
{
    // "ScreenCap" missing or empty means on. The words "True" and "False" are
    // taken without regard to case; any other word leaves the option on, as
    // for a first start.
    const QString cap =
        m_settings.ReadStr(QStringLiteral("Start"), QStringLiteral("ScreenCap"), {});
    m_w->mnuCap->setChecked(cap.compare(kFalse, Qt::CaseInsensitive) != 0);

    // "ClickOpen" defaults to "False"; only "True" (any case) ticks it.
    const QString click =
        m_settings.ReadStr(QStringLiteral("Start"), QStringLiteral("ClickOpen"), kFalse);
    m_w->mnuClickOpen->setChecked(click.compare(kTrue, Qt::CaseInsensitive) == 0);
}

void frmMain::captureScreenAtStart()
{
    const QImage screen = m_ctx.captureScreen ? m_ctx.captureScreen() : QImage();
    // No picture from the platform: the start goes on as with the option off.
    if (screen.isNull() || screen.width() <= 0 || screen.height() <= 0)
        return;
    m_designer.setSource(PictureLoader::reduce(screen));
    m_w->picSrc->update();
    show();
    QCoreApplication::processEvents();
    cmdExec_Click(-1);
}

QString frmMain::pictureArgument(const QStringList& arguments)
{
    for (const QString& argument : arguments)
        if (isPictureArgument(argument))
            return QFileInfo(argument).absoluteFilePath();
    return {};
}

void frmMain::writeSettings()
{
    const QString position = QStringLiteral("Position");
    frmBatch* batch = batchWindow();
    // Window edges in twips; pos() is the frame's corner, which move() sets.
    m_settings.WriteStr(position, QStringLiteral("SubLeft"),
                        QString::number(batch->pos().x() * m_twipsPerPixelX));
    m_settings.WriteStr(position, QStringLiteral("SubTop"),
                        QString::number(batch->pos().y() * m_twipsPerPixelY));
    m_settings.WriteStr(position, QStringLiteral("Top"),
                        QString::number(pos().y() * m_twipsPerPixelY));
    m_settings.WriteStr(position, QStringLiteral("Left"),
                        QString::number(pos().x() * m_twipsPerPixelX));
    m_settings.WriteStr(QStringLiteral("Folder"), QStringLiteral("Source"), m_sourceFolder);
    m_settings.WriteStr(QStringLiteral("Folder"), QStringLiteral("Save"), m_saveFolder);
    m_settings.WriteStr(QStringLiteral("Start"), QStringLiteral("ScreenCap"),
                        boolText(m_w->mnuCap->isChecked()));
    m_settings.WriteStr(QStringLiteral("Start"), QStringLiteral("ClickOpen"),
                        boolText(m_w->mnuClickOpen->isChecked()));
    m_settings.WriteStr(QStringLiteral("Start"), QStringLiteral("FormHide"),
                        boolText(batch->hideOthers()));
    m_settings.WriteStr(QStringLiteral("Jpeg"), QStringLiteral("Value"),
                        QString::number(m_jpegQuality));
    m_repeat->writeSettings(m_settings);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // A batch run works through this window's operations: stop it first and
    // close once it has ended (batchRunFinished).
    if (m_batch && m_batch->isRunning()) {
        m_closeAfterBatchRun = true;
        m_batch->requestStop();
        event->ignore();
        return;
    }
    m_closeAfterBatchRun = false;
    // Both windows' settings reach the file as one change: a shut-down cut
    // short never leaves half of them beside the previous ones.
    m_settings.beginBatch();
    writeSettings();
    m_repeat->close();
    if (m_batch)
        m_batch->unload();
    m_settings.commitBatch();
    if (m_version) {
        m_version->close();
        delete m_version;
        m_version = nullptr;
    }
    event->accept();
}

frmBatch* frmMain::batchWindow()
{
    if (!m_batch)
        m_batch = new frmBatch(*this);
    return m_batch;
}

void frmMain::batchWindowUnloaded()
{
    // The window has written its settings; it is freed once its own events
    // are done, and loaded afresh at its next use.
    if (m_batch) {
        m_batch->deleteLater();
        m_unloadedBatch = m_batch;
    }
    m_batch = nullptr;
}

void frmMain::batchRunFinished()
{
    if (!m_closeAfterBatchRun)
        return;
    m_closeAfterBatchRun = false;
    QTimer::singleShot(0, this, [this] { close(); });
}

void frmMain::showBatchWindow()
{
    frmBatch* batch = batchWindow();
    batch->show();
    batch->raise();
    batch->activateWindow();
}

void frmMain::mnuVersion_Click()
{
    if (!m_version)
        m_version = new frmVersion(windowIcon(), m_dllVersionText, this);
    m_version->exec();
}

QWidget* frmMain::tileBox(int index) const
{
    return m_w->picDst.at(index);
}
QWidget* frmMain::sourceBox() const
{
    return m_w->picSrc;
}
