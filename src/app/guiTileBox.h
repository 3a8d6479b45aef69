#pragma once

#include <QWidget>

class TileDesigner;

// One tile box (picDst): shows the tile's committed picture at 1:1 on the
// window background and reports mouse presses with where they happened.
class guiTileBox : public QWidget
{
    Q_OBJECT

public:
    guiTileBox(const TileDesigner& designer, int index, QWidget* parent);

    int index() const { return m_index; }

signals:
    void pressed(int index, Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                 const QPoint& pos);
    // A double click with the left button (after its press was reported).
    void doubleClicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    const TileDesigner& m_designer;
    int m_index;
};
