#include "app/guiSourceBox.h"

#include "tile/TileDesigner.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

guiSourceBox::guiSourceBox(const TileDesigner& designer, QWidget* parent)
    : QWidget(parent), m_designer(designer)
{
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool guiSourceBox::offersDrop(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return false;
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return false;
    const QString tail = urls.first().toLocalFile().right(4).toLower();
    return tail == QLatin1String(".bmp") || tail == QLatin1String(".jpg") ||
           tail == QLatin1String(".gif") || tail == QLatin1String("jpeg");
}

void guiSourceBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    if (m_designer.hasSource()) {
        // Stretched to the whole box, aspect ratio not kept.
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), m_designer.source());
    }
}

void guiSourceBox::mousePressEvent(QMouseEvent* event)
{
    m_pressedInside = event->button() == Qt::LeftButton;
    event->accept();
}

void guiSourceBox::mouseReleaseEvent(QMouseEvent* event)
{
    // A click: the left button pressed and released over the box.
    const bool click = m_pressedInside && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressedInside = false;
    event->accept();
    if (click)
        emit clicked();
}

void guiSourceBox::dragEnterEvent(QDragEnterEvent* event)
{
    // Entering is answered like every later move over the box.
    dragMoveEvent(event);
}

void guiSourceBox::dragMoveEvent(QDragMoveEvent* event)
{
    if (offersDrop(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void guiSourceBox::dropEvent(QDropEvent* event)
{
    QString path;
    const QMimeData* data = event->mimeData();
    if (data && data->hasUrls()) {
        const QList<QUrl> urls = data->urls();
        if (!urls.isEmpty() && urls.first().isLocalFile())
            path = urls.first().toLocalFile();
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    emit fileDropped(path);
}
