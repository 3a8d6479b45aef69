#include "app/guiShape.h"

#include <QPainter>

guiShape::guiShape(QColor fill, QColor border, int borderWidth, QWidget* parent)
    : QWidget(parent), m_fill(fill), m_border(border), m_borderWidth(borderWidth)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void guiShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_fill);
    if (m_borderWidth <= 0)
        return;
    // The outline lies inside the rectangle, so a 1-pixel-wide shape still
    // shows its border colour.
    const int b = qMin(m_borderWidth, qMin(width(), height()));
    painter.fillRect(QRect(0, 0, width(), b), m_border);
    painter.fillRect(QRect(0, height() - b, width(), b), m_border);
    painter.fillRect(QRect(0, 0, b, height()), m_border);
    painter.fillRect(QRect(width() - b, 0, b, height()), m_border);
}
