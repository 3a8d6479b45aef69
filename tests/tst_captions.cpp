// Every caption of every window shows whole: no button, check box or radio
// button is narrower than its text needs, none covers another, and each lies
// inside its parent.
#include "TestEnv.h"
#include "support/TestInstall.h"

#include "about/frmVersion.h"
#include "app/frmMain.h"
#include "batch/frmBatch.h"
#include "batch/frmKouka.h"
#include "batch/frmList.h"
#include "output/frmJpegSet.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QRadioButton>
#include <QStyle>

namespace {

// The caption's own width plus what the style puts beside it.
int needed(const QAbstractButton& b)
{
    QString text = b.text();
    text.remove(QLatin1Char('&'));
    const int caption = b.fontMetrics().horizontalAdvance(text);
    const QStyle& s = *b.style();
    if (qobject_cast<const QCheckBox*>(&b))
        return caption + s.pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &b) +
               s.pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, &b);
    if (qobject_cast<const QRadioButton*>(&b))
        return caption + s.pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, &b) +
               s.pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, &b);
    return caption + s.pixelMetric(QStyle::PM_ButtonMargin, nullptr, &b) +
           2 * s.pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &b);
}

} // namespace

class tst_captions : public QObject
{
    Q_OBJECT

private slots:
    void everyCaptionShowsWhole()
    {
        testsupport::Install install;
        install.installJpegLibrary();
        frmMain main(install.context());
        frmBatch& batch = *main.batchWindow();
        frmList list(main, batch);
        std::array<int, 6> order{0, 1, 2, 3, 4, 5};
        frmKouka kouka(order, QIcon());
        frmJpegSet quality(50);
        frmVersion about(QIcon(), QStringLiteral("[TalvikJPEG保存DLLがありません]"), nullptr);
        QStringList faults;
        for (QWidget* window :
             std::initializer_list<QWidget*>{&main, &batch, &list, &kouka, &quality, &about}) {
            window->show();
            const QList<QAbstractButton*> buttons = window->findChildren<QAbstractButton*>();
            for (QAbstractButton* b : buttons) {
                if (b->text().isEmpty() || !b->isVisibleTo(window))
                    continue;
                const QString name = window->objectName() + '/' + b->text();
                if (b->width() < needed(*b))
                    faults
                        << QStringLiteral("%1: %2 < %3").arg(name).arg(b->width()).arg(needed(*b));
                if (!b->parentWidget()->rect().contains(b->geometry()))
                    faults << name + ": outside its parent";
                for (QAbstractButton* other : buttons) {
                    if (other != b && other->parentWidget() == b->parentWidget() &&
                        !other->text().isEmpty() && other->geometry().intersects(b->geometry()))
                        faults << name + ": covered by " + other->text();
                }
            }
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    }
};

QUILTON_TEST_MAIN(tst_captions)
#include "tst_captions.moc"
