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

// The effects work on the current tile once it has been composed; before
// that it is null and they do nothing.
template <typename Effect> void onComposed(QImage& tile, Effect effect)
{
    if (!tile.isNull())
        effect(tile);
}

} // namespace

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
        if (afterTile)
            afterTile(i, last);
    }
    return true;
}

void TileDesigner::setCurrentTile(int index)
{
    if (index >= 0 && index <= 3)
        m_current = index;
}

void TileDesigner::light(int level)
{
    onComposed(tile(m_current), [level](QImage& image) { ChangeBrightness(image, level); });
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
    onComposed(tile(m_current), [](QImage& image) {
        mContrast::ApplyContrast(image, kContrastSquare, kContrastSquare, image, kContrastStrength);
    });
}

void TileDesigner::blur()
{
    onComposed(tile(m_current), BlurFilter);
}

void TileDesigner::block()
{
    onComposed(tile(m_current),
               [](QImage& image) { BlockFilter(image, kBlockWidth, kBlockHeight); });
}

void TileDesigner::gray()
{
    onComposed(tile(m_current), GrayFilter);
}

void TileDesigner::emboss()
{
    onComposed(tile(m_current), EmbossFilter);
}
