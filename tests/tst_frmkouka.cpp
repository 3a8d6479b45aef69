// The effect order dialog: drops exchange its boxes and the order at once,
// and nothing else changes anything.
#include "TestEnv.h"

#include "batch/frmKouka.h"

#include <QLabel>
#include <QMap>
#include <QMimeData>

namespace {

using Order = std::array<int, 6>;

QStringList captionsLeftToRight(const frmKouka& dialog)
{
    QMap<int, QString> byX;
    for (int i = 0; i < 6; ++i)
        byX.insert(dialog.box(i)->x(), dialog.box(i)->text());
    return byX.values();
}
// What a user's drag does: the pointer over box `from`, then a drop of the
// box data (or data of another format) on `target`.
void dragAndDrop(frmKouka& dialog, int from, QWidget* target, const QString& format = {})
{
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(dialog.box(from), &move);
    QMimeData data;
    data.setData(format.isEmpty() ? frmKouka::mimeType() : format, QByteArray::number(from));
    QDropEvent drop(QPointF(3, 3), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    // QApplication does not pass on a drop sent outside a real drag.
    static_cast<QObject*>(target)->event(&drop);
}

} // namespace

class tst_frmkouka : public QObject
{
    Q_OBJECT

private slots:
    // No cancel: the close box keeps the exchanges, and the next opening
    // shows them with every box in its own slot.
    void dropsExchangeBoxesAndOrder()
    {
        Order order{0, 1, 2, 3, 4, 5};
        const QStringList captions{"ぼかし",   "コントラスト",   "ブロック",
                                   "エンボス", "グレースケール", "明度"};
        {
            frmKouka dialog(order, QIcon());
            dialog.show();
            dragAndDrop(dialog, 3, dialog.findChild<QWidget*>(QStringLiteral("cmdOK")));
            dragAndDrop(dialog, 3, dialog.box(0), QStringLiteral("text/uri-list")); // a file
            dragAndDrop(dialog, 2, dialog.box(2));
            QCOMPARE(order, (Order{0, 1, 2, 3, 4, 5}));
            // "コントラスト" onto "明度", then onto "ぼかし".
            dragAndDrop(dialog, 5, dialog.box(0));
            QCOMPARE(order, (Order{5, 1, 2, 3, 4, 0}));
            QCOMPARE(dialog.box(0)->pos(), QPoint(16 + 96 * 5, 20)); // slot p at 240 + 1440 p twips
            dragAndDrop(dialog, 5, dialog.box(1));
            QCOMPARE(order, (Order{1, 5, 2, 3, 4, 0}));
            QCOMPARE(captionsLeftToRight(dialog), captions);
            QVERIFY(dialog.close());
        }
        frmKouka again(order, QIcon());
        QCOMPARE(captionsLeftToRight(again), captions);
    }
};

QUILTON_TEST_MAIN(tst_frmkouka)
#include "tst_frmkouka.moc"
