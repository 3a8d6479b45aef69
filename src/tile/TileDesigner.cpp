#include "tile/TileDesigner.h"

#include "effects/Effects.h"
#include "effects/mContrast.h"
#include "tile/Composer.h"

namespace {

// The contrast command always covers this square at the tile's top-left
// corner; at half size its lower half lies outside the tile and is clipped.
constexpr int kContrastSquare = 100;
constexpr int kContrastStrength = 50;
constexpr int kBlockWidth = 10;
constexpr int kBlockHeight = 5;

} // namespace

template <typename Effect> void TileDesigner::commitEffect(Effect effect)
{
    QImage& current = tile(m_current);
    if (current.isNull())
        return;
    effect(current);
    emit tileChanged(m_current);
}

void TileDesigner::setSource(const QImage& picture)
{
    m_source = picture;
    m_stretched = QImage();
}

QSize TileDesigner::tileSize() const
{
    return Composer::tileSize(m_half);
}

bool TileDesigner::compose(int index, const Progress& afterTile)
{
    if (!hasSource() || index > 3)
        return false;
    // One stretch per source and tile size: undo and the options recompose
    // from the cached copy.
    if (m_stretched.isNull() || m_stretched.size() != tileSize())
        m_stretched = Composer::stretch(m_source, tileSize());
    const int first = index < 0 ? 0 : index;
    const int last = index < 0 ? 3 : index;
    for (int i = first; i <= last; ++i) {
        m_tiles.at(std::size_t(i)) = Composer::composeFromStretched(m_stretched, i, m_chamfer);
        emit tileChanged(i);
        if (afterTile)
            afterTile(i, last);
    }
    return true;
}

void TileDesigner::setCurrentTile(int index)
{
    if (index < 0 || index > 3 || index == m_current)
        return;
    m_current = index;
    emit currentTileChanged(index);
}

void TileDesigner::light(int level)
{
    commitEffect([level](QImage& image) { ChangeBrightness(image, level); });
}

bool TileDesigner::lightPercent(int percent)
{
    const std::optional<int> level = CLightLevel(percent);
    if (!level)
        return false;
    light(*level);
    return true;
}

void TileDesigner::contrast()
{
    commitEffect([](QImage& image) {
        mContrast::ApplyContrast(image, kContrastSquare, kContrastSquare, image, kContrastStrength);
    });
}

void TileDesigner::blur()
{
    commitEffect(BlurFilter);
}

void TileDesigner::block()
{
    commitEffect([](QImage& image) { BlockFilter(image, kBlockWidth, kBlockHeight); });
}

void TileDesigner::gray()
{
    commitEffect(GrayFilter);
}

void TileDesigner::emboss()
{
    commitEffect(EmbossFilter);
}
