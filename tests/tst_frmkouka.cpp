// The effect order dialog: its boxes follow the order, drops exchange them
// and the order at once, and nothing else changes anything.
#include "TestEnv.h"

#include "batch/frmKouka.h"

#include <QApplication>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>

#include <algorithm>

namespace {

using Order = std::array<int, 6>;

// The box captions read from left to right.
QStringList captionsLeftToRight(const frmKouka& dialog)
{
    std::vector<QLabel*> boxes;
    for (int i = 0; i < 6; ++i)
        boxes.push_back(dialog.box(i));
    std::sort(boxes.begin(), boxes.end(),
              [](const QLabel* a, const QLabel* b) { return a->x() < b->x(); });
    QStringList captions;
    for (const QLabel* box : boxes)
        captions << box->text();
    return captions;
}

QStringList namesOf(const Order& order)
{
    QStringList names;
    for (int code : order)
        names << frmKouka::effectName(code);
    return names;
}

// What a user's drag does: the pointer over box `from` (DragLabel), then a
// drop of the box data on `target`.
void dragAndDrop(frmKouka& dialog, int from, QWidget* target, const QString& format = {})
{
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(dialog.box(from), &move);
    QMimeData data;
    data.setData(format.isEmpty() ? frmKouka::mimeType() : format, QByteArray::number(from));
    QDropEvent drop(QPointF(3, 3), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    // QApplication does not pass on a drop sent outside a real drag, so the
    // event goes straight to the widget's own event handling.
    static_cast<QObject*>(target)->event(&drop);
}

} // namespace

class tst_frmkouka : public QObject
{
    Q_OBJECT

private slots:
    void opensWithTheOrder()
    {
        Order order{0, 1, 2, 3, 4, 5};
        frmKouka dialog(order, QIcon());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("効果の処理順序設定"));
        QCOMPARE(captionsLeftToRight(dialog), (QStringList{"明度", "ぼかし", "ブロック", "エンボス",
                                                           "グレースケール", "コントラスト"}));
        // Slot p at 240 + 1440 p twips.
        for (int i = 0; i < 6; ++i)
            QCOMPARE(dialog.box(i)->pos(), QPoint(16 + 96 * i, 20));
        QVERIFY(dialog.findChild<QLabel*>(QStringLiteral("lblHint"))
                    ->text()
                    .contains(QStringLiteral("をドラッグ＆ドロップして位置を交換してください。")));
    }

    void dropsExchangeBoxesAndOrder()
    {
        Order order{0, 1, 2, 3, 4, 5};
        frmKouka dialog(order, QIcon());
        dialog.show();
        // "コントラスト" (box 5) onto "明度" (box 0).
        dragAndDrop(dialog, 5, dialog.box(0));
        QCOMPARE(order, (Order{5, 1, 2, 3, 4, 0}));
        QCOMPARE(dialog.box(5)->pos(), QPoint(16, 20));
        QCOMPARE(dialog.box(0)->pos(), QPoint(16 + 96 * 5, 20));
        // Then onto "ぼかし" (box 1).
        dragAndDrop(dialog, 5, dialog.box(1));
        QCOMPARE(order, (Order{1, 5, 2, 3, 4, 0}));
        QCOMPARE(captionsLeftToRight(dialog), namesOf(order));
        // A box onto itself changes nothing.
        dragAndDrop(dialog, 2, dialog.box(2));
        QCOMPARE(order, (Order{1, 5, 2, 3, 4, 0}));
    }

    // Far left to far right: five exchanges with the right-hand neighbour,
    // each leaving the others' order intact.
    void walkingOneBoxToTheEnd()
    {
        Order order{0, 1, 2, 3, 4, 5};
        frmKouka dialog(order, QIcon());
        for (int neighbour = 1; neighbour < 6; ++neighbour) {
            dialog.exchange(0, neighbour);
            Order expected{};
            int k = 0;
            for (int p = 0; p < 6; ++p)
                expected[p] = p == neighbour ? 0 : (++k);
            QCOMPARE(order, expected);
            QCOMPARE(dialog.slotOf(0), neighbour);
            QCOMPARE(captionsLeftToRight(dialog), namesOf(order));
        }
        QCOMPARE(order, (Order{1, 2, 3, 4, 5, 0}));
    }

    void dropsElsewhereChangeNothing()
    {
        Order order{0, 1, 2, 3, 4, 5};
        frmKouka dialog(order, QIcon());
        dragAndDrop(dialog, 3, dialog.findChild<QPushButton*>(QStringLiteral("cmdOK")));
        dragAndDrop(dialog, 3, dialog.findChild<QLabel*>(QStringLiteral("lblHint")));
        dragAndDrop(dialog, 3, &dialog);
        // Data that is no box (a file dragged in) onto a box.
        dragAndDrop(dialog, 3, dialog.box(0), QStringLiteral("text/uri-list"));
        QCOMPARE(order, (Order{0, 1, 2, 3, 4, 5}));
        QCOMPARE(captionsLeftToRight(dialog), namesOf(order));
    }

    // No cancel: the close box keeps the exchanges, and the next opening
    // starts from them.
    void closeBoxKeepsExchanges()
    {
        Order order{0, 1, 2, 3, 4, 5};
        {
            frmKouka dialog(order, QIcon());
            dialog.show();
            dragAndDrop(dialog, 4, dialog.box(2));
            QVERIFY(dialog.close());
        }
        QCOMPARE(order, (Order{0, 1, 4, 3, 2, 5}));
        frmKouka again(order, QIcon());
        QCOMPARE(captionsLeftToRight(again), namesOf(order));
        // The boxes start in their own slots, showing the current order.
        for (int i = 0; i < 6; ++i)
            QCOMPARE(again.slotOf(i), i);
        QCOMPARE(again.box(2)->text(), QStringLiteral("グレースケール"));
    }
};

QUILTON_TEST_MAIN(tst_frmkouka)
#include "tst_frmkouka.moc"
