#include "app/guiRepeatView.h"

#include <QPaintEvent>
#include <QPainter>

using RepeatPattern::Zoom;

guiRepeatView::guiRepeatView(QWidget* parent) : QWidget(parent)
{
    // Every pixel is painted: no background erase before each paint.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(32, 32);
}

void guiRepeatView::invalidate()
{
    m_cell = QPixmap();
    m_fitted = QPixmap();
    update();
}

void guiRepeatView::setTile(const QImage& tile)
{
    m_tile = tile;
    invalidate();
}

void guiRepeatView::setZoom(Zoom zoom)
{
    if (zoom == m_zoom)
        return;
    m_zoom = zoom;
    invalidate();
}

void guiRepeatView::setSeams(bool seams)
{
    if (seams == m_seams)
        return;
    m_seams = seams;
    invalidate();
}

void guiRepeatView::setScreenSize(const QSize& screen)
{
    if (screen == m_screen || screen.isEmpty())
        return;
    m_screen = screen;
    if (m_zoom == Zoom::FitScreen)
        invalidate();
}

void guiRepeatView::resizeEvent(QResizeEvent* event)
{
    // Only the fit-screen picture depends on the view's size.
    m_fitted = QPixmap();
    QWidget::resizeEvent(event);
}

void guiRepeatView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    if (m_tile.isNull()) {
        painter.fillRect(event->rect(), palette().window());
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("タイルはまだありません"));
        return;
    }
    if (m_zoom == Zoom::FitScreen) {
        if (m_fitted.isNull())
            m_fitted =
                QPixmap::fromImage(RepeatPattern::fittedScreen(m_tile, m_screen, size(), m_seams));
        const QRect area = RepeatPattern::fitRect(m_screen, size());
        painter.fillRect(event->rect(), surroundColour());
        painter.drawPixmap(area.topLeft(), m_fitted);
        return;
    }
    if (m_cell.isNull())
        m_cell = QPixmap::fromImage(RepeatPattern::cell(m_tile, int(m_zoom), m_seams));
    // The brush repeats the cell from the widget's top-left corner, whatever
    // part of the widget is repainted.
    painter.fillRect(event->rect(), QBrush(m_cell));
}
