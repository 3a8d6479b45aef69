#pragma once

#include <QWidget>

class QMimeData;
class TileDesigner;

// The source box (picSrc): shows the source picture stretched to the box,
// reports a click, and takes one dropped picture file.
class guiSourceBox : public QWidget
{
    Q_OBJECT

public:
    guiSourceBox(const TileDesigner& designer, QWidget* parent);

    // A drag is offered only for exactly one local file whose last four
    // characters, lower-cased, are ".bmp", ".jpg", ".gif" or "jpeg".
    static bool offersDrop(const QMimeData* data);

signals:
    void clicked();
    // The first dropped file's local path, exactly as dropped; empty when the
    // drop carried no local file.
    void fileDropped(const QString& path);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    const TileDesigner& m_designer;
    bool m_pressedInside = false;
};
