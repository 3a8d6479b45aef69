#pragma once

#include <QImage>
#include <QObject>
#include <QSize>

#include <array>
#include <functional>

// The picture state behind the main window, with no window in sight: the
// source picture, the four tiles A to D, the current tile and the half-size
// and chamfer options. The main window and the command-line batch both drive
// it, so a tile comes out the same either way.
//
// A tile's working image and committed picture are one image here: every
// operation commits its result at once, and announces it with tileChanged, so
// that views of a tile follow every composition and effect.
class TileDesigner : public QObject
{
    Q_OBJECT

public:
    // Called after each composed tile with (tile index, last index of the run).
    using Progress = std::function<void(int index, int lastIndex)>;

    bool hasSource() const { return !m_source.isNull(); }
    // Takes a picture as the source (already reduced by PictureLoader).
    void setSource(const QImage& picture);
    const QImage& source() const { return m_source; }

    void setHalf(bool half) { m_half = half; }
    bool half() const { return m_half; }
    void setChamfer(bool chamfer) { m_chamfer = chamfer; }
    bool chamfer() const { return m_chamfer; }
    QSize tileSize() const;

    // cmdExec_Click: index < 0 composes A to D in order, 0..3 that tile alone.
    // Without a source nothing changes and false is returned.
    bool compose(int index, const Progress& afterTile = {});

    // The committed picture of tile index (null before the first composition).
    // Changes made through the writable reference are not announced.
    const QImage& tile(int index) const { return m_tiles.at(index); }
    QImage& tile(int index) { return m_tiles.at(index); }

    int currentTile() const { return m_current; }
    void setCurrentTile(int index);

    // Effects on the current tile; each commits its result.
    void light(int level);
    // Brightness by percentage; false (and nothing drawn) when percent * 255
    // overflows 16 bits.
    bool lightPercent(int percent);
    void contrast();
    void blur();
    void block();
    void gray();
    void emboss();

signals:
    // The committed picture of tile index has changed: composed, or an effect
    // committed on it.
    void tileChanged(int index);
    // Another tile has become the current tile.
    void currentTileChanged(int index);

private:
    // Runs effect on the current tile once it has been composed (before that
    // it is null and nothing happens), then announces the change.
    template <typename Effect> void commitEffect(Effect effect);

    QImage m_source;
    QImage m_stretched; // source stretched to the current tile size, cached
    bool m_half = false;
    bool m_chamfer = false;
    int m_current = 0;
    std::array<QImage, 4> m_tiles;
};
