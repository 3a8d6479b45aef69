// The effect commands of the tile menu; each works on the current tile and
// commits its result (the designer keeps one picture per tile).
#include "app/frmMain.h"
#include "effects/Effects.h"

bool frmMain::currentTileReady() const
{
    // Before the first design the tiles hold no picture: the effects then
    // have nothing to work on and do nothing.
    return !m_designer.tile(m_designer.currentTile()).isNull();
}

void frmMain::mnuLight_Click(int index)
{
    if (index < 0 || index > 1 || !currentTileReady())
        return;
    m_designer.light(index == 0 ? 25 : -25);
    repaintTiles();
}

bool frmMain::CLight(qint16 iPercent)
{
    if (!currentTileReady())
        return CLightLevel(iPercent).has_value();
    const bool ok = m_designer.lightPercent(iPercent);
    repaintTiles();
    return ok;
}

void frmMain::mnuContrast_Click()
{
    if (!currentTileReady())
        return;
    m_designer.contrast();
    repaintTiles();
}

void frmMain::mnuBokashi_Click()
{
    if (!currentTileReady())
        return;
    m_designer.blur();
    repaintTiles();
}

void frmMain::mnuBlock_Click()
{
    if (!currentTileReady())
        return;
    m_designer.block();
    repaintTiles();
}

void frmMain::mnuGray_Click()
{
    if (!currentTileReady())
        return;
    m_designer.gray();
    repaintTiles();
}

void frmMain::mnuEnboss_Click()
{
    if (!currentTileReady())
        return;
    m_designer.emboss();
    repaintTiles();
}

void frmMain::mnuUndo_Click()
{
    cmdExec_Click(CurrentTile());
}
