// Minimal batch window until the full one lands: keeps the folders and the
// main window's contract.
#include "batch/frmBatch.h"

#include "app/frmMain.h"

#include <QCloseEvent>
#include <QKeyEvent>

struct frmBatch::Ui
{
    QString folders[2];
    bool hideOthers = false;
};

frmBatch::frmBatch(frmMain& main) : m_main(main), m_ui(new Ui)
{
    setWindowTitle(QStringLiteral("フォルダ一括処理"));
    m_ui->folders[0] = main.SourceFolder();
    m_ui->folders[1] = main.SaveFolder();
}

frmBatch::~frmBatch() { delete m_ui; }

void frmBatch::setFolder(int index, const QString& folder)
{
    m_ui->folders[index ? 1 : 0] = folder;
    if (index == 0)
        m_main.setSourceFolder(folder);
    else
        m_main.setSaveFolder(folder);
}

QString frmBatch::folder(int index) const { return m_ui->folders[index ? 1 : 0]; }
bool frmBatch::hideOthers() const { return m_ui->hideOthers; }
void frmBatch::unload() { hide(); }
bool frmBatch::isRunning() const { return false; }
void frmBatch::requestStop() {}
void frmBatch::closeEvent(QCloseEvent* event) { event->accept(); }
void frmBatch::keyPressEvent(QKeyEvent* event) { QWidget::keyPressEvent(event); }
