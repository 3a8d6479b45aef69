// Taking in the source picture: the open dialog, a click on the source box,
// a dropped file.
#include "app/frmMain.h"
#include "app/frmMainWidgets.h"
#include "app/guiMessage.h"
#include "app/guiSourceBox.h"
#include "batch/frmBatch.h"
#include "platform/Paths.h"
#include "tile/PictureLoader.h"

#include <QFileDialog>

void frmMain::setOpenDialog(OpenDialog dialog)
{
    m_openDialog = std::move(dialog);
}

QString frmMain::runOpenDialog(const QString& startFolder)
{
    QFileDialog dialog(this, QString(), startFolder.isEmpty() ? QStringLiteral("/") : startFolder);
    dialog.setObjectName(QStringLiteral("cdlFile"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // The file types show with their captions exactly as written, patterns
    // joined by ';' included. The dialog reads a filter's patterns from the
    // last "(...)", separated by blanks, and hides that part from the user;
    // so each caption is followed by its patterns in that form. Desktop
    // (native) dialogs show only the text before the first '(' and are not
    // used.
    static const char* const kTypes[][2] = {
        {"利用可能ファイル (*.bmp;*.gif;*.jpg;*.jpeg)", "*.bmp *.gif *.jpg *.jpeg"},
        {"ＪＰＥＧ (*.jpg;*.jpeg)", "*.jpg *.jpeg"},
        {"ＧＩＦ (*.gif)", "*.gif"},
        {"ＢＭＰ (*.bmp)", "*.bmp"},
    };
    QStringList filters;
    for (const auto& type : kTypes)
        filters << QString::fromUtf8(type[0]) + QStringLiteral(" (") + QLatin1String(type[1]) +
                       QLatin1Char(')');
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.first());
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

void frmMain::cmdFileOpen_Click()
{
    if (m_sourceFolder.isEmpty())
        m_sourceFolder = m_ctx.userFolder;
    const QString path =
        m_openDialog ? m_openDialog(m_sourceFolder) : runOpenDialog(m_sourceFolder);
    // A cancel, or a file the loader refuses, changes nothing and says nothing.
    if (path.isEmpty())
        return;
    openSourceFile(path, nullptr);
}

bool frmMain::loadSource(const QString& path, QString* error)
{
    LoadedPicture loaded = PictureLoader::load(path);
    if (!loaded.ok()) {
        if (error)
            *error = loaded.error;
        return false;
    }
    m_designer.setSource(loaded.image);
    m_w->picSrc->update();
    return true;
}

bool frmMain::openSourceFile(const QString& path, QString* error)
{
    if (!loadSource(path, error))
        return false;
    m_sourceFolder = Paths::folderPart(path);
    batchWindow()->setFolder(0, m_sourceFolder);
    cmdExec_Click(-1);
    return true;
}

void frmMain::picSrc_Click()
{
    if (m_w->mnuClickOpen->isChecked())
        cmdFileOpen_Click();
}

void frmMain::picSrc_DragDrop(const QString& path)
{
    // The path is used exactly as dropped: on this system letter case is part
    // of a file's name.
    if (path.isEmpty() || !openSourceFile(path, nullptr))
        guiMessage::show(this, guiMessage::appTitle(), QStringLiteral("Drop Error"),
                         QMessageBox::Warning);
}
