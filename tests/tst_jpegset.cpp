#include "TestEnv.h"

#include "app/guiMessage.h"
#include "output/frmJpegSet.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

class tst_jpegset : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void opensOnTheCurrentQuality();
    void setRefusesAnythingButWholeNumbersFrom1To100_data();
    void setRefusesAnythingButWholeNumbersFrom1To100();
    void setAccepts_data();
    void setAccepts();
    void textAndBarFollowEachOther();
    void closingOtherwiseKeepsTheQuality();

private:
    QList<guiMessage::Message> m_messages;
};

void tst_jpegset::init()
{
    m_messages.clear();
    guiMessage::setCapture([this](const guiMessage::Message& m) { m_messages << m; });
}

void tst_jpegset::cleanup()
{
    guiMessage::setCapture(nullptr);
}

void tst_jpegset::opensOnTheCurrentQuality()
{
    frmJpegSet dialog(73);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("JPEG圧縮率設定"));
    QCOMPARE(dialog.txtPercents()->text(), QStringLiteral("73"));
    QCOMPARE(dialog.hsbJpeg()->value(), 73);
    QCOMPARE(dialog.hsbJpeg()->minimum(), 1);
    QCOMPARE(dialog.hsbJpeg()->maximum(), 100);
    QCOMPARE(dialog.hsbJpeg()->singleStep(), 1);
    QCOMPARE(dialog.hsbJpeg()->pageStep(), 10);
    QCOMPARE(dialog.hsbJpeg()->orientation(), Qt::Horizontal);
    QCOMPARE(dialog.cmdSet()->text(), QStringLiteral("&Set"));
    QStringList labels;
    const auto found = dialog.findChildren<QLabel*>();
    for (const QLabel* label : found)
        labels << label->text();
    QVERIFY(labels.contains(QStringLiteral("低画質　←・→　高画質")));
    QVERIFY(labels.contains(QStringLiteral("%")));
    QCOMPARE(dialog.quality(), qint16(73));

    // The design-time value 50 moves the bar as well.
    frmJpegSet fifty(50);
    QCOMPARE(fifty.hsbJpeg()->value(), 50);
}

void tst_jpegset::setRefusesAnythingButWholeNumbersFrom1To100_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bar");
    QTest::newRow("0") << "0" << 1;
    QTest::newRow("150") << "150" << 100;
    QTest::newRow("abc") << "abc" << 60;
    QTest::newRow("empty") << "" << 60;
    QTest::newRow("negative") << "-5" << 1;
    QTest::newRow("beyond 16 bits") << "99999" << 100;
    QTest::newRow("101") << "101" << 100;
}

void tst_jpegset::setRefusesAnythingButWholeNumbersFrom1To100()
{
    QFETCH(QString, text);
    QFETCH(int, bar);
    frmJpegSet dialog(60);
    dialog.show();
    dialog.txtPercents()->clear();
    QTest::keyClicks(dialog.txtPercents(), text);
    QCOMPARE(dialog.txtPercents()->text(), text);
    QCOMPARE(dialog.hsbJpeg()->value(), bar);
    QTest::mouseClick(dialog.cmdSet(), Qt::LeftButton);

    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages[0].text, QStringLiteral("入力エラーです。"));
    QCOMPARE(m_messages[0].caption, QStringLiteral("Quilton"));
    QCOMPARE(m_messages[0].icon, QMessageBox::Warning);
    QVERIFY(dialog.isVisible()); // stays open
    QCOMPARE(dialog.quality(), qint16(60));
}

void tst_jpegset::setAccepts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("quality");
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("100") << "100" << 100;
    QTest::newRow("85") << "85" << 85;
}

void tst_jpegset::setAccepts()
{
    QFETCH(QString, text);
    QFETCH(int, quality);
    frmJpegSet dialog(50);
    dialog.show();
    dialog.txtPercents()->clear();
    QTest::keyClicks(dialog.txtPercents(), text);
    QTest::mouseClick(dialog.cmdSet(), Qt::LeftButton);
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.quality(), qint16(quality));
}

void tst_jpegset::textAndBarFollowEachOther()
{
    frmJpegSet dialog(50);
    dialog.show();
    // Typing 150 goes 1, 15, 150: the bar ends at 100, the text as typed.
    dialog.txtPercents()->clear();
    QTest::keyClicks(dialog.txtPercents(), QStringLiteral("15"));
    QCOMPARE(dialog.hsbJpeg()->value(), 15);
    QTest::keyClicks(dialog.txtPercents(), QStringLiteral("0"));
    QCOMPARE(dialog.hsbJpeg()->value(), 100);
    QCOMPARE(dialog.txtPercents()->text(), QStringLiteral("150"));

    // Text that is no number leaves the bar.
    dialog.txtPercents()->setText(QStringLiteral("x"));
    QCOMPARE(dialog.hsbJpeg()->value(), 100);

    // The bar's steps and drags write the text.
    dialog.hsbJpeg()->setValue(37);
    QCOMPARE(dialog.txtPercents()->text(), QStringLiteral("37"));
    dialog.hsbJpeg()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(dialog.txtPercents()->text(), QStringLiteral("47"));
    dialog.hsbJpeg()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(dialog.txtPercents()->text(), QStringLiteral("46"));
    dialog.hsbJpeg()->setSliderDown(true);
    dialog.hsbJpeg()->setSliderPosition(90);
    QCOMPARE(dialog.txtPercents()->text(), QStringLiteral("90"));
    dialog.hsbJpeg()->setSliderDown(false);

    QTest::mouseClick(dialog.cmdSet(), Qt::LeftButton);
    QCOMPARE(dialog.quality(), qint16(90));
}

void tst_jpegset::closingOtherwiseKeepsTheQuality()
{
    frmJpegSet dialog(42);
    dialog.show();
    dialog.txtPercents()->setText(QStringLiteral("77"));
    QTest::mouseClick(dialog.txtPercents(), Qt::LeftButton);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.quality(), qint16(42));

    frmJpegSet refused(42);
    refused.show();
    refused.txtPercents()->setText(QStringLiteral("0"));
    QTest::mouseClick(refused.cmdSet(), Qt::LeftButton);
    refused.close();
    QCOMPARE(refused.quality(), qint16(42));
}

QUILTON_TEST_MAIN(tst_jpegset)
#include "tst_jpegset.moc"
