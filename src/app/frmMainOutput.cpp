// The main window's output commands: saving a tile, the sample web page, the
// desktop wallpaper and the JPEG quality dialog.

#include "app/frmMain.h"

#include "app/SaveJpgLoader.h"
#include "app/guiFailureText.h"
#include "app/guiMessage.h"
#include "batch/frmBatch.h"
#include "output/PictureSaver.h"
#include "output/SampleHtml.h"
#include "output/cWallSet.h"
#include "output/frmJpegSet.h"
#include "platform/Browser.h"
#include "platform/Desktop.h"
#include "platform/Paths.h"
#include "platform/RegistryStore.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

#include <optional>

namespace {

// The screen size in device pixels, as the wallpaper placement counts it.
QSize screenPixels()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize size = screen->geometry().size() * screen->devicePixelRatio();
        if (!size.isEmpty())
            return size;
    }
    return QSize(1024, 768);
}

// The program's own wallpaper on the context's desktop, its errors shown over
// window; none without a desktop to set.
std::optional<cWallSet> ownWallpaper(const AppContext& ctx, QWidget* window)
{
    if (!ctx.registry || !ctx.desktop)
        return std::nullopt;
    const QSize screen = screenPixels();
    std::optional<cWallSet> wall(std::in_place, *ctx.registry, *ctx.desktop, ctx.windowsFolder,
                                 screen.width(), screen.height());
    wall->setErrorReporter([window](const QString& caption, const QString& text) {
        guiMessage::show(window, caption, text, QMessageBox::Critical);
    });
    wall->setFileName(QLatin1String(Paths::kBaseName));
    return wall;
}

} // namespace

bool frmMain::SPic(const QString& fileName, QString* error)
{
    QString name = fileName;
    const bool fromDialog = name.isEmpty();
    // Before the first design there is no tile to save: no dialog opens.
    if (!hasCurrentTile()) {
        if (error)
            *error = name + QStringLiteral(": no tile has been designed yet");
        return false;
    }
    if (fromDialog) {
        if (m_saveFolder.isEmpty())
            m_saveFolder = context().userFolder;

        QStringList filters{QStringLiteral("ＢＭＰ (*.bmp)")};
        if (JpegFlag())
            filters << QStringLiteral("ＪＰＧ (*.jpg)");

        // No default suffix: the name is saved exactly as typed, and the name
        // alone decides the format.
        QFileDialog dialog(this);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        dialog.setDirectory(m_saveFolder.isEmpty() ? QStringLiteral("/") : m_saveFolder);
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.first());
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return false;
        name = dialog.selectedFiles().first();
        if (name.isEmpty())
            return false;

        m_saveFolder = Paths::folderPart(name);
        // The batch window's output folder follows (and sets SaveFolder back).
        // A file in the root folder leaves the empty folder part: the root.
        if (frmBatch* batch = batchWindow())
            batch->setFolder(1, m_saveFolder.isEmpty() ? QStringLiteral("/") : m_saveFolder);
    }

    if (PictureSaver::isJpegName(name, JpegFlag())) {
        if (SaveTileJpeg(name, JpegQuality()))
            return true;
        // A failure of the JPEG writer is its own message's to tell (shown
        // already, or none for its silent cases): the empty error says so.
        if (error)
            error->clear();
        return false;
    }

    QString why;
    if (PictureSaver::saveBmp(designer().tile(CurrentTile()), name, &why))
        return true;
    // From the dialog a failed write ends the save silently; a caller that
    // passed the name decides what to tell.
    if (error && !fromDialog)
        *error = name + QStringLiteral(": ") + why;
    return false;
}

bool frmMain::SaveTileJpeg(const QString& fileName, int quality)
{
    const PictureSaver::JpegOutcome outcome =
        PictureSaver::saveJpeg(jpegLibrary(), designer().tile(CurrentTile()), fileName, quality);
    const QString message = PictureSaver::jpegMessage(outcome);
    if (!message.isEmpty())
        guiMessage::show(this, guiMessage::appTitle(), message, QMessageBox::Information);
    return outcome == PictureSaver::JpegOutcome::Saved;
}

void frmMain::HTML(const QString& picturePath)
{
    // From the tile menu the page shows the current tile: none, no page.
    if (picturePath.isEmpty() && !hasCurrentTile())
        return;
    const QString folder = SampleHtml::pageFolder(context().sampleFolder);
    const QString picture =
        SampleHtml::picturePath(context().sampleFolder, picturePath, JpegFlag());
    const QString page = folder + QStringLiteral("Sample.html");

    auto notWritten = [this](const QString& path) {
        guiMessage::show(this, guiMessage::appTitle(),
                         QStringLiteral("次のファイルを書き込めませんでした。\n") + path +
                             QLatin1Char('\n') + guiFailureText::writeFailure(path),
                         QMessageBox::Information);
    };

    QString why;
    if (!SampleHtml::writePage(page, picture, &why)) {
        notWritten(page);
        return;
    }

    if (picturePath.isEmpty()) {
        if (JpegFlag()) {
            // A failing JPEG save has shown the JPEG writer's message; the
            // page still opens, naming the picture path whatever it holds.
            SaveTileJpeg(picture, 100);
        } else if (!PictureSaver::saveBmp(designer().tile(CurrentTile()), picture, &why)) {
            // Not opened over a BMP picture that was not written: it would
            // show an earlier tile, or nothing, as if it were this one.
            notWritten(picture);
            return;
        }
    }
    Browser::open(page);
}

void frmMain::setWallpaperFrom(const QImage& picture)
{
    // Only a wallpaper that reached the screen can be undone; a failure
    // (already reported) leaves an earlier one undoable.
    if (std::optional<cWallSet> wall = ownWallpaper(m_ctx, this)) {
        wall->setTile(1);
        wall->setPicture(picture);
        if (wall->SetWall(true, false))
            setWallpaperUndoEnabled(true);
    }
}

void frmMain::setWallpaperUndoEnabled(bool enabled)
{
    if (m_cmdUndo)
        m_cmdUndo->setEnabled(enabled);
}

bool frmMain::wallpaperUndoEnabled() const
{
    return m_cmdUndo && m_cmdUndo->isEnabled();
}

void frmMain::updateWallpaperButtonAtStart()
{
    const std::optional<cWallSet> wall = ownWallpaper(m_ctx, this);
    setWallpaperUndoEnabled(wall && wall->OwnWallpaperShown());
}

void frmMain::mnuSave_Click()
{
    SPic(QString());
}

void frmMain::mnuHtml_Click()
{
    HTML(QString());
}

void frmMain::mnuWall_Click()
{
    if (!hasCurrentTile())
        return;
    setWallpaperFrom(designer().tile(CurrentTile()));
}

void frmMain::mnuJpeg_Click()
{
    frmJpegSet dialog(JpegQuality(), this);
    if (dialog.exec() == QDialog::Accepted)
        setJpegQuality(dialog.quality());
}

void frmMain::cmdUndo_Click()
{
    if (std::optional<cWallSet> wall = ownWallpaper(m_ctx, this))
        wall->KillWall(true);
    setWallpaperUndoEnabled(false);
}
