// The composer display, the half-size and chamfer options, tile selection.
#include "app/frmMain.h"
#include "app/frmMainWidgets.h"
#include "app/guiShape.h"
#include "app/guiSourceBox.h"
#include "app/guiTileBox.h"

#include <QApplication>
#include <QMenu>

using namespace frmMainLayout;

namespace {

// Restores the normal pointer however a composer run ends.
struct BusyPointer
{
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

} // namespace

void frmMain::setProgressWidth(int width)
{
    m_w->shaUp->resize(qBound(kEmptyBarWidth, width, kTrackWidth), kTrackHeight);
}

void frmMain::cmdExec_Click(qint16 index)
{
    if (!m_designer.hasSource() || index > 3)
        return;
    const int first = index < 0 ? 0 : index;
    const int last = index < 0 ? 3 : index;
    {
        BusyPointer busy;
        setProgressWidth(kEmptyBarWidth);
        const int height = m_w->picSrc->height();
        for (int i = first; i <= last; ++i) {
            m_w->picDst[i]->hide();
            m_w->picDst[i]->resize(100, height);
        }
        // The options are read from the check boxes at every run.
        m_designer.setHalf(m_w->chkHalf->isChecked());
        m_designer.setChamfer(m_w->chkMeji->isChecked());
        m_designer.compose(index, [this, index](int tile, int lastIndex) {
            // A run of one tile shows the full track; four tiles show 0, 1/3,
            // 2/3 and the full track after A, B, C and D.
            const double share = (index >= 0 || lastIndex <= 0) ? 1.0 : double(tile) / lastIndex;
            setProgressWidth(qRound(share * kTrackWidth));
            m_w->picDst[tile]->update();
            // The window repaints between tiles.
            QCoreApplication::processEvents();
        });
        for (guiTileBox* box : m_w->picDst) {
            box->show();
            box->update();
        }
    }
    setProgressWidth(kEmptyBarWidth);
}

void frmMain::chkMeji_Click()
{
    cmdExec_Click(-1);
}

void frmMain::chkHalf_Click()
{
    const bool half = m_w->chkHalf->isChecked();
    m_w->picSrc->hide();
    m_w->Shape1->hide();
    const int height = half ? kHalfSourceBoxHeight : kSourceBoxHeight;
    m_w->picSrc->resize(100, height);
    m_w->Shape1->resize(kFrameWidth, half ? kHalfFrameHeight : kFrameHeight);
    for (guiTileBox* box : m_w->picDst) {
        box->hide();
        box->resize(100, height);
    }
    m_designer.setHalf(half);
    cmdExec_Click(-1);
    m_w->picSrc->show();
    for (guiTileBox* box : m_w->picDst)
        box->show();
    m_w->Shape1->show();
}

void frmMain::placeSelectionFrame(int index)
{
    m_w->Shape1->move(m_w->picDst.at(index)->pos() - QPoint(kFrameOffset, kFrameOffset));
}

void frmMain::tileMousePressed(int index, Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                               const QPoint& pos)
{
    // The program's button and shift codes: 1 left, 2 right, 4 middle;
    // 1 Shift, 2 Ctrl, 4 Alt. Positions in twips.
    int code = 0;
    if (button == Qt::LeftButton)
        code = 1;
    else if (button == Qt::RightButton)
        code = 2;
    else if (button == Qt::MiddleButton)
        code = 4;
    int shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= 1;
    if (modifiers & Qt::ControlModifier)
        shift |= 2;
    if (modifiers & Qt::AltModifier)
        shift |= 4;
    picDst_MouseDown(qint16(index), code, shift, float(pos.x() * m_twipsPerPixelX),
                     float(pos.y() * m_twipsPerPixelY));
}

void frmMain::picDst_MouseDown(qint16 index, int button, int /*shift*/, float x, float y)
{
    if (index < 0 || index > 3)
        return;
    placeSelectionFrame(index);
    m_designer.setCurrentTile(index);
    // The tile menu pops up only over a design: with no source there is
    // nothing for its commands to work on.
    if (m_designer.hasSource() && (button & 2)) {
        const QPoint at(qRound(x / m_twipsPerPixelX), qRound(y / m_twipsPerPixelY));
        m_mnuPop->popup(m_w->picDst[index]->mapToGlobal(at));
    }
}

void frmMain::repaintTiles()
{
    for (guiTileBox* box : m_w->picDst)
        box->update();
}
