#pragma once

// The effect order dialog "効果の処理順序設定": six boxes in a row, the
// leftmost effect applied first; dragging one box onto another exchanges
// them, and the shared effect order with them, at once. "&OK" only closes.

#include <QDialog>

#include <array>

class QLabel;
class QPushButton;

class frmKouka : public QDialog
{
    Q_OBJECT

public:
    // order: the batch window's EffectOrder, changed in place by exchanges.
    frmKouka(std::array<int, 6>& order, const QIcon& icon, QWidget* parent = nullptr);

    // The format of a dragged box's data.
    static QString mimeType();

    // The name the dialog shows for an effect code ("明度" .. "コントラスト").
    static QString effectName(int code);

    // Exchanges box fromBox with box toBox: their places, and the two entries
    // of the order at their slots. The drop handler's work; a box onto itself
    // changes nothing.
    void exchange(int fromBox, int toBox);

    // Box i (lblX(i)) and the slot it stands in now.
    QLabel* box(int i) const { return m_boxes.at(i); }
    int slotOf(int i) const { return m_slot.at(i); }
    // DragLabel: the box the current drag began on (-1: none).
    int dragLabel() const { return m_dragLabel; }

    // Event handlers of the boxes.
    void lblX_MouseMove(int index);
    void lblX_MouseDown(int index);
    void lblX_DragDrop(int index);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static QPoint slotPosition(int slot);

    std::array<int, 6>& m_order;
    std::array<QLabel*, 6> m_boxes{};
    std::array<int, 6> m_slot{0, 1, 2, 3, 4, 5};
    int m_dragLabel = -1;
    QPushButton* m_cmdOK = nullptr;
};
