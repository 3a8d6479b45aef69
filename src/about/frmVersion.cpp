#include "about/frmVersion.h"

#include "app/mGetFileVer.h"
#include "output/SampleHtml.h"
#include "platform/Browser.h"

#include <QCoreApplication>
#include <QEvent>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

namespace {

QLabel* makeLabel(const QString& name, const QString& text, const QColor& colour, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

} // namespace

frmVersion::frmVersion(const QIcon& icon, const QString& dllVersionText, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("バージョン情報"));
    setWindowIcon(icon);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    setFixedSize(372, 190);

    // The icon stretched to a square of 795 twips.
    auto* image1 = new QLabel(this);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setGeometry(14, 14, 53, 53);
    image1->setPixmap(icon.pixmap(53, 53));
    image1->setScaledContents(true);

    QLabel* label2 = makeLabel(QStringLiteral("Label2"), QStringLiteral("100角化粧タイル図案生成"),
                               QColor(0, 0, 255), this);
    QPalette yellow = label2->palette();
    yellow.setColor(QPalette::Window, QColor(255, 255, 192));
    label2->setPalette(yellow);
    label2->setAutoFillBackground(true);
    label2->setAlignment(Qt::AlignCenter);
    label2->setGeometry(82, 14, 276, 26);

    makeLabel(QStringLiteral("lblVersion"), versionText(), QColor(128, 255, 255), this)
        ->setGeometry(82, 50, 276, 20);
    makeLabel(QStringLiteral("lblDllVer"), dllVersionText, QColor(255, 192, 255), this)
        ->setGeometry(82, 74, 276, 20);

    m_label3 = makeLabel(QStringLiteral("Label3"), QString::fromLatin1(SampleHtml::kHomePage),
                         QColor(128, 255, 128), this);
    m_label3->setGeometry(82, 104, 276, 20);
    m_label3->setCursor(Qt::PointingHandCursor);
    m_label3->installEventFilter(this);
    setLinkHot(false);

    auto* cmdCancel = new QPushButton(QStringLiteral("閉じる(&C)"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(262, 146, 96, 30);
    cmdCancel->setDefault(true);
    // Hidden, not destroyed: the texts stay those of this first load.
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString frmVersion::versionText()
{
    FileVersion version = mGetFileVer::GetFileVersion(QCoreApplication::applicationFilePath());
    if (version.isNull()) {
        const QStringList parts = QStringLiteral(QUILTON_VERSION_TEXT).split(QLatin1Char('.'));
        version.major = parts.value(0).toUInt();
        version.minor = parts.value(1).toUInt();
        version.build = parts.value(2).toUInt();
        version.revision = parts.value(3).toUInt();
    }
    return QStringLiteral("Version %1.%2.%3")
        .arg(version.major)
        .arg(version.minor)
        .arg(version.revision);
}

void frmVersion::setLinkHot(bool hot)
{
    QPalette palette = m_label3->palette();
    palette.setColor(QPalette::WindowText, hot ? QColor(255, 0, 255) : QColor(128, 255, 128));
    m_label3->setPalette(palette);
    QFont font = m_label3->font();
    font.setUnderline(hot);
    m_label3->setFont(font);
}

bool frmVersion::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_label3) {
        switch (event->type()) {
        case QEvent::Enter:
            setLinkHot(true);
            break;
        case QEvent::Leave:
            setLinkHot(false);
            break;
        case QEvent::MouseButtonPress:
            m_linkPressed = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
            break;
        case QEvent::MouseButtonRelease: {
            // A click: the left button pressed and released on the label. A
            // press dragged off the label before release opens nothing.
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const bool click = m_linkPressed && mouse->button() == Qt::LeftButton &&
                               m_label3->rect().contains(mouse->position().toPoint());
            if (mouse->button() == Qt::LeftButton)
                m_linkPressed = false;
            // Whether a browser opened is not reported.
            if (click)
                Browser::open(QString::fromLatin1(SampleHtml::kHomePage));
            break;
        }
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}
