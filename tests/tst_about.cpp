// The about box: version line, the JPEG library's line with and without the
// library, the link's hover colours and its click, hiding without rebuilding.
#include "TestEnv.h"
#include "support/TestInstall.h"

#include "about/frmVersion.h"
#include "app/frmMain.h"
#include "output/SampleHtml.h"
#include "platform/Browser.h"

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QPointer>

namespace {

QLabel* label(const QWidget& box, const char* name)
{
    return box.findChild<QLabel*>(QString::fromLatin1(name));
}

// Opens the about box from the menu command and closes it by Escape; gives
// the box and its two lines as shown.
QPointer<frmVersion> openAndClose(frmMain& w, QStringList* lines)
{
    QPointer<frmVersion> seen;
    QTimer::singleShot(0, &w, [&] {
        seen = qobject_cast<frmVersion*>(QApplication::activeModalWidget());
        if (!seen)
            return;
        *lines = {label(*seen, "lblVersion")->text(), label(*seen, "lblDllVer")->text()};
        QTest::keyClick(seen.data(), Qt::Key_Escape);
    });
    w.mnuVersion_Click();
    return seen;
}

} // namespace

class tst_about : public QObject
{
    Q_OBJECT

private slots:
    void showsVersionAndLibraryLineAndHidesOnClose_data()
    {
        QTest::addColumn<bool>("withLibrary");
        QTest::addColumn<QString>("dllLine");
        QTest::newRow("library present")
            << true << QStringLiteral("[ with TalvikJPEG保存DLL Ver.1.0.0.2 ]");
        QTest::newRow("library missing")
            << false << QStringLiteral("[TalvikJPEG保存DLLがありません]");
    }

    void showsVersionAndLibraryLineAndHidesOnClose()
    {
        QFETCH(bool, withLibrary);
        QFETCH(QString, dllLine);
        testsupport::Install install;
        if (withLibrary)
            install.installJpegLibrary();
        frmMain w(install.context());
        QCOMPARE(w.JpegFlag(), withLibrary);
        // Without the library its quality setting cannot be opened.
        QCOMPARE(testsupport::findAction(w, QStringLiteral("JPEG保存時の圧縮率設定(&J)..."))
                     ->isEnabled(),
                 withLibrary);

        QStringList lines;
        const QPointer<frmVersion> first = openAndClose(w, &lines);
        // This test program has no version block: the build's own 1.0.0.0.
        QCOMPARE(lines, (QStringList{QStringLiteral("Version 1.0.0"), dllLine}));
        QVERIFY(!first->isVisible());
        // Hidden, not destroyed: opened again it is the same window.
        QCOMPARE(openAndClose(w, &lines), first);
        // The main window's shut-down closes it for good.
        QVERIFY(w.close());
        QVERIFY(!first);
    }

    void linkChangesColourUnderThePointerAndOpensThePage()
    {
        frmVersion box(QIcon(), QString(), nullptr);
        QLabel* link = label(box, "Label3");
        const auto looks = [link] {
            return std::make_pair(link->palette().color(QPalette::WindowText),
                                  link->font().underline());
        };
        QCOMPARE(looks(), std::make_pair(QColor(128, 255, 128), false));
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(link, &enter);
        QCOMPARE(looks(), std::make_pair(QColor(255, 0, 255), true));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(link, &leave);
        QCOMPARE(looks(), std::make_pair(QColor(128, 255, 128), false));

        QStringList opened;
        Browser::setOpener([&opened](const QString& url) { opened.append(url); });
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QTest::mouseClick(link, Qt::LeftButton);
        Browser::setOpener(nullptr);
        QCOMPARE(opened, QStringList{QString::fromLatin1(SampleHtml::kHomePage)});
    }
};

QUILTON_TEST_MAIN(tst_about)
#include "tst_about.moc"
