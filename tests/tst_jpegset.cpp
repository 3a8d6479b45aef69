// The JPEG quality dialog: Set takes whole numbers from 1 to 100 only, the
// text and the bar follow each other, Escape keeps the quality.
#include "TestEnv.h"

#include "app/guiMessage.h"
#include "output/frmJpegSet.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

class tst_jpegset : public QObject
{
    Q_OBJECT

private slots:
    // Quality 0: refused. 99999: beyond 16 bits; fractions and exponents are
    // no whole numbers even where the bar lands on their rounded value.
    void setTakesWholeNumbersFrom1To100()
    {
        const std::pair<QString, int> rows[] = {{"0", 0},   {"150", 0}, {"99999", 0}, {"abc", 0},
                                                {"2.5", 0}, {"1.4", 0}, {"50.5", 0},  {"1e2", 0},
                                                {"", 0},    {"1", 1},   {"100", 100}, {" +7 ", 7}};
        for (const auto& [text, quality] : rows) {
            QStringList messages;
            guiMessage::setCapture([&](const guiMessage::Message& m) {
                messages << m.text;
                QCOMPARE(m.icon, QMessageBox::Warning);
            });
            frmJpegSet dialog(60);
            dialog.show();
            dialog.txtPercents()->clear();
            QTest::keyClicks(dialog.txtPercents(), text);
            QTest::mouseClick(dialog.cmdSet(), Qt::LeftButton);
            guiMessage::setCapture(nullptr);
            QCOMPARE(messages,
                     quality ? QStringList() : QStringList{QStringLiteral("入力エラーです。")});
            QCOMPARE(dialog.isVisible(), quality == 0); // refused: open for a correction
            QCOMPARE(dialog.quality(), qint16(quality ? quality : 60));
        }
    }

    void textAndBarFollowEachOtherAndEscapeKeepsTheQuality()
    {
        frmJpegSet dialog(42);
        QCOMPARE(dialog.hsbJpeg()->value(), 42);
        dialog.show();
        // Typing 150 goes 1, 15, 150: the bar ends at 100, the text as typed.
        dialog.txtPercents()->clear();
        QTest::keyClicks(dialog.txtPercents(), QStringLiteral("150"));
        QCOMPARE(dialog.hsbJpeg()->value(), 100);
        QCOMPARE(dialog.txtPercents()->text(), QStringLiteral("150"));
        dialog.hsbJpeg()->triggerAction(QAbstractSlider::SliderPageStepSub);
        QCOMPARE(dialog.txtPercents()->text(), QStringLiteral("90"));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.quality(), qint16(42));
    }
};

QUILTON_TEST_MAIN(tst_jpegset)
#include "tst_jpegset.moc"
