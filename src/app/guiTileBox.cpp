#include "app/guiTileBox.h"

#include "tile/TileDesigner.h"

#include <QMouseEvent>
#include <QPainter>

guiTileBox::guiTileBox(const TileDesigner& designer, int index, QWidget* parent)
    : QWidget(parent), m_designer(designer), m_index(index)
{
    setToolTip(QStringLiteral("右クリックでメニュー表示"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void guiTileBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // An empty tile shows the window background (white), as before any design.
    painter.fillRect(rect(), Qt::white);
    const QImage& tile = m_designer.tile(m_index);
    if (!tile.isNull())
        painter.drawImage(QPoint(0, 0), tile);
}

void guiTileBox::mousePressEvent(QMouseEvent* event)
{
    emit pressed(m_index, event->button(), event->modifiers(), event->position().toPoint());
    event->accept();
}

void guiTileBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click is a press like any other.
    mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        emit doubleClicked(m_index);
}
