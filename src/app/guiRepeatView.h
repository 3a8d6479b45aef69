#pragma once

#include "tile/RepeatPattern.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>

// The wall of the repeat preview: one tile repeated edge to edge over the
// whole widget from its top-left corner, at a whole-number zoom or with the
// whole screen reduced into it.
//
// Painting is cheap enough to follow every change: the repeating unit is
// built once per tile, zoom or seam change and painted as a texture brush;
// the fit-screen picture is built once per change and view size.
class guiRepeatView : public QWidget
{
    Q_OBJECT

public:
    explicit guiRepeatView(QWidget* parent = nullptr);

    // The picture to repeat (a null picture: nothing to show yet).
    void setTile(const QImage& tile);
    const QImage& tile() const { return m_tile; }

    void setZoom(RepeatPattern::Zoom zoom);
    RepeatPattern::Zoom zoom() const { return m_zoom; }
    void setSeams(bool seams);
    bool seams() const { return m_seams; }
    // The screen the fit-screen zoom shows, in pixels.
    void setScreenSize(const QSize& screen);
    QSize screenSize() const { return m_screen; }

    QSize sizeHint() const override { return QSize(640, 480); }

    // Colour around the screen in the fit-screen zoom.
    static QColor surroundColour() { return QColor(64, 64, 64); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void invalidate();

    QImage m_tile;
    RepeatPattern::Zoom m_zoom = RepeatPattern::Zoom::X1;
    bool m_seams = false;
    QSize m_screen{1024, 768};
    // Built lazily at the next paint after a change.
    QPixmap m_cell;
    QPixmap m_fitted;
};
