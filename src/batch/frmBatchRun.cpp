// The batch run of the batch window and the opening of the output list.
//
// The run drives the main window's own operations (TileOperations) on the
// user-interface thread, letting pending events run before each file and
// each tile; the caption of cmdBatch is the run state, so a click on
// "中止(&S)" during those event breaks is the stop request.
#include "app/frmMain.h"
#include "app/guiFailureText.h"
#include "app/guiMessage.h"
#include "batch/BatchEngine.h"
#include "batch/frmBatch.h"
#include "batch/frmBatchUi.h"
#include "batch/frmList.h"
#include "tile/PictureLoader.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include <atomic>
#include <thread>

namespace {

const QString kRunCaption = QStringLiteral("実行(&R)");
const QString kStopCaption = QStringLiteral("中止(&S)");
constexpr int kTrackTwips = 2415;

} // namespace

bool frmBatch::isRunning() const
{
    return m_running;
}

void frmBatch::requestStop()
{
    if (m_running)
        m_ui->cmdBatch->setText(kRunCaption);
    if (m_loadLoop)
        m_loadLoop->quit();
}

bool frmBatch::stopRequested() const
{
    return m_ui->cmdBatch->text() == kRunCaption;
}

void frmBatch::cmdBatch_Click()
{
    if (m_running) {
        // A click while running asks the run to stop; a further click before
        // the run has seen it starts nothing (the run is still going on).
        requestStop();
        return;
    }
    runBatch();
}

void frmBatch::setProgressTwips(double twips)
{
    m_barTwips = twips;
    QFrame* bar = m_ui->shaProcess[1];
    const QRect track = m_ui->shaProcess[0]->geometry();
    bar->setGeometry(track.x(), track.y(), qRound(twips / 15.0), track.height());
}

void frmBatch::refreshOutputList()
{
    refreshFileList(1);
    File1_PatternChange(1);
}

void frmBatch::callHook(RunPoint point, int fileIndex, int tile)
{
    if (m_runHook)
        m_runHook(point, fileIndex, tile);
}

struct frmBatch::PendingLoad
{
    std::thread worker;
    std::atomic<bool> done{false};
    LoadedPicture picture;
};

void frmBatch::finishPendingLoad()
{
    if (m_pendingLoad && m_pendingLoad->worker.joinable())
        m_pendingLoad->worker.join();
    m_pendingLoad.reset();
}

bool frmBatch::loadPicture(const QString& path, int fileIndex, LoadedPicture* picture)
{
    finishPendingLoad();
    auto load = std::make_shared<PendingLoad>();
    m_pendingLoad = load;
    load->worker = std::thread([this, load, path] {
        load->picture = PictureLoader::load(path);
        load->done = true;
        // Wakes the waiting loop; a posted call to a window that is gone by
        // then is dropped with it (the window joins this thread first).
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_loadLoop)
                    m_loadLoop->quit();
            },
            Qt::QueuedConnection);
    });
    callHook(RunPoint::LoadStarted, fileIndex, -1);
    // The loop also ends on a wake-up left over from a load abandoned by an
    // earlier stop, hence the loop around it.
    while (!load->done && !stopRequested()) {
        QEventLoop loop;
        m_loadLoop = &loop;
        if (!load->done)
            loop.exec();
        m_loadLoop = nullptr;
    }
    if (!load->done || stopRequested())
        return false;
    finishPendingLoad();
    *picture = std::move(load->picture);
    return true;
}

void frmBatch::runBatch()
{
    m_running = true;
    m_ui->shaProcess[0]->show();
    m_ui->shaProcess[1]->show();
    m_ui->shaProcess[1]->raise();
    m_ui->cmdBatch->setText(kStopCaption);
    setProgressTwips(1);

    // The run works on the file list and the folders as they are now: files
    // it writes into the input folder are not taken as inputs of this run.
    // The input list is read afresh first: files may have come or gone since
    // the folder was chosen (a previous run's tiles among them).
    refreshFileList(0);
    File1_PatternChange(0);
    const QStringList files = m_files[0];
    const QString inputFolder = folder(0);
    const QString outputFolder = folder(1);
    const qsizetype count = files.size();

    bool stopped = false;
    QString writeFailure;
    QStringList skipped;
    for (qsizetype i = 0; i < count && !stopped && writeFailure.isEmpty(); ++i) {
        callHook(RunPoint::BeforeFile, int(i), -1);
        QCoreApplication::processEvents();
        if (stopRequested()) {
            stopped = true;
            break;
        }
        const QString name = files.at(i);
        m_ui->lblNowSel[0]->setText(name);
        QString error;
        LoadedPicture picture;
        if (!loadPicture(BatchEngine::joinPath(inputFolder, name), int(i), &picture)) {
            stopped = true;
        } else if (!picture.ok()) {
            // No tiles for a picture that cannot be read: the tiles on screen
            // are the previous picture's and must not carry this name.
            skipped.append(name + QStringLiteral("（") +
                           guiFailureText::readFailure(BatchEngine::joinPath(inputFolder, name)) +
                           QStringLiteral("）"));
        } else {
            // The picture becomes the main window's source picture, as its
            // own intake does, and all four tiles are composed.
            m_main.designer().setSource(picture.image);
            m_main.sourceBox()->update();
            m_main.cmdExec_Click(-1);
            callHook(RunPoint::AfterCompose, int(i), -1);
            stopped = stopRequested();
            for (int t = 0; t < 4 && !stopped; ++t) {
                callHook(RunPoint::BeforeTile, int(i), t);
                QCoreApplication::processEvents();
                if (stopRequested()) {
                    stopped = true;
                    break;
                }
                const TileEffects fx = tileEffects(t);
                if (!fx.produce)
                    continue;
                const QString tileName = BatchNaming::OutFileName(name, t, m_outExt);
                m_ui->lblNowSel[1]->setText(tileName);
                const QString path = BatchEngine::joinPath(outputFolder, tileName);
                // A failure of the JPEG writer has been reported in its own
                // message: the run goes on with the next tile. Any other
                // tile file that cannot be written ends the run.
                error.clear();
                if (!BatchEngine::processTile(m_main, t, fx, m_effectOrder, path, &error) &&
                    !error.isEmpty()) {
                    writeFailure = path + QLatin1Char('\n') + guiFailureText::writeFailure(path);
                    break;
                }
            }
        }
        // End of the file, also after a stop seen within it.
        setProgressTwips(double(i + 1) / double(count) * kTrackTwips);
        refreshOutputList();
    }

    if (stopped) {
        guiMessage::show(this, guiMessage::appTitle(), QStringLiteral("中断しました。"),
                         QMessageBox::Information);
    }

    // Finish.
    setProgressTwips(kTrackTwips);
    m_ui->cmdBatch->setText(kRunCaption);
    m_ui->lblNowSel[0]->clear();
    m_ui->lblNowSel[1]->clear();
    m_ui->shaProcess[0]->hide();
    m_ui->shaProcess[1]->hide();
    m_running = false;

    // The run's own reports come once it has ended: the button reads
    // "実行(&R)" again and the bar is hidden.
    if (!writeFailure.isEmpty()) {
        guiMessage::show(
            this, guiMessage::appTitle(),
            QStringLiteral("タイルのファイルを書き込めませんでした。一括処理を終了します。\n") +
                writeFailure,
            QMessageBox::Warning);
    }
    if (!skipped.isEmpty()) {
        guiMessage::show(
            this, guiMessage::appTitle(),
            QStringLiteral("画像として読み込めなかった %1 個のファイルは処理しませんでした:\n")
                    .arg(skipped.size()) +
                skipped.join(QLatin1Char('\n')),
            QMessageBox::Information);
    }

    m_main.batchRunFinished();
    if (m_unloadAfterRun) {
        m_unloadAfterRun = false;
        unload();
    }
}

void frmBatch::cmdPrev_Click()
{
    openOutputList(true);
}

void frmBatch::openOutputList(bool messageWhenEmpty)
{
    if (m_files[1].isEmpty()) {
        if (messageWhenEmpty) {
            guiMessage::show(this, guiMessage::appTitle(), QStringLiteral("ファイルがありません。"),
                             QMessageBox::Information);
        }
        return;
    }
    frmList list(m_main, *this);
    // 100 twips right of and below this window's corner.
    list.move(pos() + QPoint(qRound(100 / 15.0), qRound(100 / 15.0)));
    const bool hiding = hideOthers();
    if (hiding) {
        m_main.hide();
        hide();
    }
    list.exec();
    if (hiding) {
        m_main.show();
        show();
    }
}
