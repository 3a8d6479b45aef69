#include "batch/frmKouka.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

namespace {

// The format of a dragged box; the box itself is DragLabel.
const QString kBoxMime = QStringLiteral("application/x-quilton-effect-box");

int px(int twips)
{
    return qRound(twips / 15.0);
}

// One box: a drag source on a press, a drop target for the other boxes.
class EffectBox : public QLabel
{
public:
    EffectBox(frmKouka* dialog, int index) : QLabel(dialog), m_dialog(dialog), m_index(index)
    {
        setAcceptDrops(true);
        setMouseTracking(true);
    }

protected:
    void mouseMoveEvent(QMouseEvent* event) override
    {
        m_dialog->lblX_MouseMove(m_index);
        QLabel::mouseMoveEvent(event);
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            m_dialog->lblX_MouseDown(m_index);
    }
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (event->mimeData()->hasFormat(kBoxMime))
            event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override
    {
        if (event->mimeData()->hasFormat(kBoxMime))
            event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override
    {
        if (!event->mimeData()->hasFormat(kBoxMime))
            return;
        event->acceptProposedAction();
        m_dialog->lblX_DragDrop(m_index);
    }

private:
    frmKouka* m_dialog;
    int m_index;
};

} // namespace

frmKouka::frmKouka(std::array<int, 6>& order, const QIcon& icon, QWidget* parent)
    : QDialog(parent), m_order(order)
{
    setWindowTitle(QStringLiteral("効果の処理順序設定"));
    setWindowIcon(icon);
    setObjectName(QStringLiteral("frmKouka"));
    setFixedSize(px(9135), px(1035));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);

    QFont bold = font();
    bold.setBold(true);
    for (int i = 0; i < 6; ++i) {
        auto* box = new EffectBox(this, i);
        box->setObjectName(QStringLiteral("lblX_") + QString::number(i));
        box->setFont(bold);
        box->setAlignment(Qt::AlignCenter);
        box->setStyleSheet(QStringLiteral(
            "QLabel { background: #ffffc0; color: black; border: 1px solid black; }"));
        box->resize(px(1455), px(255));
        box->move(slotPosition(i));
        // Form_Load: box p shows the effect at order position p.
        box->setText(effectName(m_order[i]));
        m_boxes[i] = box;
    }

    auto* sample = new QLabel(this);
    sample->setStyleSheet(
        QStringLiteral("QLabel { background: #ffffc0; border: 1px solid black; }"));
    sample->setGeometry(px(2040), px(720), px(915), px(195));
    auto* text =
        new QLabel(QStringLiteral("をドラッグ＆ドロップして位置を交換してください。"), this);
    text->setObjectName(QStringLiteral("lblHint"));
    text->setStyleSheet(QStringLiteral("QLabel { color: #ffff80; background: transparent; }"));
    text->move(px(3000), px(720) - 2);
    text->adjustSize();

    m_cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setGeometry(px(8160), px(660), px(735), px(315));
    m_cmdOK->setDefault(true);
    connect(m_cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

QString frmKouka::mimeType()
{
    return kBoxMime;
}

QString frmKouka::effectName(int code)
{
    static const char* const kNames[6] = {"明度",     "ぼかし",         "ブロック",
                                          "エンボス", "グレースケール", "コントラスト"};
    return code >= 0 && code < 6 ? QString::fromUtf8(kNames[code]) : QString();
}

QPoint frmKouka::slotPosition(int slot)
{
    return QPoint(px(240 + 1440 * slot), px(300));
}

void frmKouka::exchange(int fromBox, int toBox)
{
    if (fromBox < 0 || fromBox > 5 || toBox < 0 || toBox > 5 || fromBox == toBox)
        return;
    const int a = m_slot[fromBox];
    const int b = m_slot[toBox];
    const QPoint fromPos = m_boxes[fromBox]->pos();
    const QPoint toPos = m_boxes[toBox]->pos();
    m_boxes[toBox]->move(fromPos);
    m_boxes[fromBox]->move(toPos);
    std::swap(m_order[a], m_order[b]);
    m_slot[fromBox] = b;
    m_slot[toBox] = a;
}

void frmKouka::lblX_MouseMove(int index)
{
    m_dragLabel = index;
}

void frmKouka::lblX_MouseDown(int index)
{
    m_dragLabel = index;
    auto* drag = new QDrag(m_boxes[index]);
    auto* mime = new QMimeData;
    mime->setData(kBoxMime, QByteArray::number(index));
    drag->setMimeData(mime);
    drag->setPixmap(m_boxes[index]->grab());
    drag->setHotSpot(QPoint(m_boxes[index]->width() / 2, m_boxes[index]->height() / 2));
    drag->exec(Qt::MoveAction);
}

void frmKouka::lblX_DragDrop(int index)
{
    if (m_dragLabel >= 0)
        exchange(m_dragLabel, index);
}

void frmKouka::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QPen(QColor(0x80, 0xff, 0xff), 2));
    const QPoint tip(px(8940), px(180));
    painter.drawLine(QPoint(px(300), px(180)), tip);
    painter.drawLine(QPoint(px(8760), px(120)), tip);
    painter.drawLine(QPoint(px(8760), px(240)), tip);
}
