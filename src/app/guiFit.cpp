#include "app/guiFit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include <algorithm>
#include <map>

namespace guiFit {

void useDesignFont()
{
    QFont font(QStringLiteral("VL PGothic"), 9);
    font.setStyleHint(QFont::SansSerif);
    QApplication::setFont(font);
}

int captionWidth(const QAbstractButton& button)
{
    if (qobject_cast<const QPushButton*>(&button)) {
        // Not the size hint: it has a minimum width of its own (80 pixels in
        // some styles) that the caption does not need. The full button
        // margin on both sides, and the frame.
        const QStyle& style = *button.style();
        const int text = button.fontMetrics().size(Qt::TextShowMnemonic, button.text()).width();
        return text + 2 * style.pixelMetric(QStyle::PM_ButtonMargin, nullptr, &button) +
               2 * style.pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &button);
    }
    return button.sizeHint().width();
}

void fitCaptions(QWidget& container)
{
    std::map<int, std::vector<QAbstractButton*>> rows;
    const QList<QAbstractButton*> buttons =
        container.findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly);
    for (QAbstractButton* button : buttons) {
        if (!button->text().isEmpty())
            rows[button->y()].push_back(button);
    }
    const int right = container.width() - 2;
    for (auto& [top, row] : rows) {
        std::sort(row.begin(), row.end(), [](const QAbstractButton* a, const QAbstractButton* b) {
            return a->x() < b->x();
        });
        int end = 0;
        for (QAbstractButton* button : row) {
            const int x = std::max(button->x(), end);
            const int width = std::max(button->width(), captionWidth(*button));
            button->setGeometry(x, top, width, button->height());
            end = x + width;
        }
        const int overflow = std::min(end - right, row.front()->x() - 2);
        if (overflow > 0) {
            for (QAbstractButton* button : row)
                button->move(button->x() - overflow, top);
        }
    }
}

} // namespace guiFit
