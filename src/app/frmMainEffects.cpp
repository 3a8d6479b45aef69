// The effect commands of the tile menu; each works on the current tile and
// commits its result (the designer keeps one picture per tile).
#include "app/frmMain.h"
#include "effects/Effects.h"

bool frmMain::hasCurrentTile() const
{
    return !m_designer.tile(m_designer.currentTile()).isNull();
}

bool frmMain::runOnCurrentTile(const std::function<void(TileDesigner&)>& effect)
{
    // Before the first design the tiles hold no picture: the effects then
    // have nothing to work on and do nothing.
    if (!hasCurrentTile())
        return false;
    effect(m_designer);
    repaintTiles();
    return true;
}

void frmMain::mnuLight_Click(int index)
{
    if (index == 0 || index == 1)
        runOnCurrentTile([index](TileDesigner& d) { d.light(index == 0 ? 25 : -25); });
}

bool frmMain::CLight(qint16 iPercent)
{
    // Without a picture the answer still says whether the step is drawable.
    bool ok = CLightLevel(iPercent).has_value();
    runOnCurrentTile([&ok, iPercent](TileDesigner& d) { ok = d.lightPercent(iPercent); });
    return ok;
}

void frmMain::mnuContrast_Click()
{
    runOnCurrentTile(&TileDesigner::contrast);
}

void frmMain::mnuBokashi_Click()
{
    runOnCurrentTile(&TileDesigner::blur);
}

void frmMain::mnuBlock_Click()
{
    runOnCurrentTile(&TileDesigner::block);
}

void frmMain::mnuGray_Click()
{
    runOnCurrentTile(&TileDesigner::gray);
}

void frmMain::mnuEnboss_Click()
{
    runOnCurrentTile(&TileDesigner::emboss);
}

void frmMain::mnuUndo_Click()
{
    cmdExec_Click(CurrentTile());
}
