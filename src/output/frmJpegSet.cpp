#include "output/frmJpegSet.h"

#include "app/guiMessage.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// The text as a whole number, when it is a number at all: blanks around it,
// a sign and a fraction are allowed; a fraction rounds to nearest, ties to
// even. A number too large for 16 bits comes back clamped to that range, so
// the caller can still tell it apart from every accepted value.
std::optional<int> numericValue(const QString& text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value);
    if (rounded > 32767.0)
        return 32768; // out of the 16-bit range: never equals the bar
    if (rounded < -32768.0)
        return -32769;
    return int(rounded);
}

// The text as a whole number written in digits (blanks around it and a sign
// allowed), which is all "&Set" takes: "2.5" or "1e2" move the bar, but they
// are not the bar's value.
std::optional<int> wholeNumber(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^\\s*[+-]?[0-9]+\\s*$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    return numericValue(text);
}

} // namespace

frmJpegSet::frmJpegSet(qint16 currentQuality, QWidget* parent)
    : QDialog(parent), m_quality(currentQuality)
{
    setWindowTitle(QStringLiteral("JPEG圧縮率設定"));
    if (parent)
        setWindowIcon(parent->windowIcon());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_txtPercents = new QLineEdit(QStringLiteral("50"), this);
    m_txtPercents->setObjectName(QStringLiteral("txtPercents"));
    m_txtPercents->setMaximumWidth(60);
    m_txtPercents->setAlignment(Qt::AlignRight);

    m_hsbJpeg = new QScrollBar(Qt::Horizontal, this);
    m_hsbJpeg->setObjectName(QStringLiteral("hsbJpeg"));
    m_hsbJpeg->setRange(1, 100);
    m_hsbJpeg->setSingleStep(1);
    m_hsbJpeg->setPageStep(10);
    m_hsbJpeg->setValue(50);
    m_hsbJpeg->setMinimumWidth(220);

    auto* percent = new QLabel(QStringLiteral("%"), this);
    auto* scale = new QLabel(QStringLiteral("低画質　←・→　高画質"), this);
    scale->setAlignment(Qt::AlignCenter);

    m_cmdSet = new QPushButton(QStringLiteral("&Set"), this);
    m_cmdSet->setObjectName(QStringLiteral("cmdSet"));
    m_cmdSet->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_txtPercents, 0, 0);
    grid->addWidget(percent, 0, 1);
    grid->addWidget(m_cmdSet, 0, 3);
    grid->addWidget(m_hsbJpeg, 1, 0, 1, 4);
    grid->addWidget(scale, 2, 0, 1, 4);
    grid->setColumnStretch(2, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_txtPercents, &QLineEdit::textChanged, this, &frmJpegSet::txtPercents_Change);
    // valueChanged also fires while the thumb is dragged (tracking is on).
    connect(m_hsbJpeg, &QScrollBar::valueChanged, this, &frmJpegSet::hsbJpeg_Change);
    connect(m_cmdSet, &QPushButton::clicked, this, &frmJpegSet::cmdSet_Click);

    m_txtPercents->setText(QString::number(currentQuality));
    // The same text as at design time fires no change: move the bar anyway.
    txtPercents_Change(m_txtPercents->text());
}

void frmJpegSet::txtPercents_Change(const QString& text)
{
    const std::optional<int> v = numericValue(text);
    if (!v)
        return;
    // The bar follows the text, but the text keeps what was typed: "150"
    // moves the bar to 100 and is still refused by "&Set".
    m_barFollowsText = true;
    m_hsbJpeg->setValue(std::clamp(*v, 1, 100));
    m_barFollowsText = false;
}

void frmJpegSet::hsbJpeg_Change(int value)
{
    if (m_barFollowsText)
        return;
    const QString text = QString::number(value);
    if (m_txtPercents->text() != text)
        m_txtPercents->setText(text);
}

void frmJpegSet::cmdSet_Click()
{
    const int v = wholeNumber(m_txtPercents->text()).value_or(0);
    if (v == m_hsbJpeg->value()) {
        m_quality = qint16(v);
        accept();
        return;
    }
    guiMessage::show(this, guiMessage::appTitle(), QStringLiteral("入力エラーです。"),
                     QMessageBox::Warning);
}
