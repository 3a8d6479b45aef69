#pragma once

#include <QColor>
#include <QWidget>

// A plain filled rectangle with an outline drawn inside its bounds: the
// selection frame and the two bars of the progress display. It takes no
// mouse input, so whatever lies on top of it keeps the clicks.
class guiShape : public QWidget
{
public:
    guiShape(QColor fill, QColor border, int borderWidth, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fill;
    QColor m_border;
    int m_borderWidth;
};
