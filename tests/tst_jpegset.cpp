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
    void init()
    {
        m_messages.clear();
        guiMessage::setCapture([this](const guiMessage::Message& m) { m_messages << m; });
    }
    void cleanup() { guiMessage::setCapture(nullptr); }
    void setTakesWholeNumbersFrom1To100_data();
    void setTakesWholeNumbersFrom1To100();
    void textAndBarFollowEachOtherAndEscapeKeepsTheQuality();

private:
    QList<guiMessage::Message> m_messages;
};

void tst_jpegset::setTakesWholeNumbersFrom1To100_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("quality"); // 0: refused
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("150") << "150" << 0;
    QTest::newRow("beyond 16 bits") << "99999" << 0;
    QTest::newRow("abc") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("100") << "100" << 100;
}

void tst_jpegset::setTakesWholeNumbersFrom1To100()
{
    QFETCH(QString, text);
    QFETCH(int, quality);
    frmJpegSet dialog(60);
    dialog.show();
    dialog.txtPercents()->clear();
    QTest::keyClicks(dialog.txtPercents(), text);
    QTest::mouseClick(dialog.cmdSet(), Qt::LeftButton);
    if (quality == 0) {
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].text, QStringLiteral("入力エラーです。"));
        QCOMPARE(m_messages[0].icon, QMessageBox::Warning);
        QVERIFY(dialog.isVisible()); // stays open for a correction
        QCOMPARE(dialog.quality(), qint16(60));
    } else {
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.quality(), qint16(quality));
    }
}

void tst_jpegset::textAndBarFollowEachOtherAndEscapeKeepsTheQuality()
{
    frmJpegSet dialog(42);
    QCOMPARE(dialog.txtPercents()->text(), QStringLiteral("42"));
    QCOMPARE(dialog.hsbJpeg()->value(), 42);
    dialog.show();
    // Typing 150 goes 1, 15, 150: the bar ends at 100, the text as typed.
    dialog.txtPercents()->clear();
    QTest::keyClicks(dialog.txtPercents(), QStringLiteral("15"));
    QCOMPARE(dialog.hsbJpeg()->value(), 15);
    QTest::keyClicks(dialog.txtPercents(), QStringLiteral("0"));
    QCOMPARE(dialog.hsbJpeg()->value(), 100);
    QCOMPARE(dialog.txtPercents()->text(), QStringLiteral("150"));
    dialog.hsbJpeg()->triggerAction(QAbstractSlider::SliderPageStepSub);
    QCOMPARE(dialog.txtPercents()->text(), QStringLiteral("90"));

    // Closed without Set: the quality stays.
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.quality(), qint16(42));
}

QUILTON_TEST_MAIN(tst_jpegset)
#include "tst_jpegset.moc"
