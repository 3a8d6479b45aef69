// The about box: version line, the JPEG library's line with and without the
// library, the link's hover colours, hiding without rebuilding.
#include "TestEnv.h"
#include "support/TestInstall.h"

#include "about/frmVersion.h"
#include "app/frmMain.h"
#include "platform/Browser.h"

#include <QEnterEvent>
#include <QLabel>
#include <QPointer>

// Opens the about box from the menu command and closes it by Escape; adds its
// two lines as shown to lines.
static QPointer<frmVersion> openAndClose(frmMain& w, QStringList& lines)
{
    QPointer<frmVersion> seen;
    QTimer::singleShot(0, &w, [&] {
        if ((seen = qobject_cast<frmVersion*>(QApplication::activeModalWidget()))) {
            for (const char* name : {"lblVersion", "lblDllVer"})
                lines << seen->findChild<QLabel*>(QLatin1String(name))->text();
            QTest::keyClick(seen.data(), Qt::Key_Escape);
        }
    });
    w.mnuVersion_Click();
    return seen;
}

class tst_about : public QObject
{
    Q_OBJECT

private slots:
    void showsVersionAndLibraryLineAndHidesOnClose()
    {
        testsupport::Install install;
        for (const bool withLibrary : {false, true}) {
            frmMain w(install.context());
            QStringList lines;
            const QPointer<frmVersion> first = openAndClose(w, lines);
            QVERIFY(first && !first->isVisible());
            // Hidden, not destroyed: opened again it is the same window.
            QCOMPARE(openAndClose(w, lines), first);
            // This test program has no version block: the build's own 1.0.0.0.
            const QString dll =
                QString::fromUtf8(withLibrary ? "[ with TalvikJPEG保存DLL Ver.1.0.0.2 ]"
                                              : "[TalvikJPEG保存DLLがありません]");
            const QString version = QStringLiteral("Version 1.0.0");
            QCOMPARE(lines, (QStringList{version, dll, version, dll}));
            // The main window's shut-down closes it for good.
            QVERIFY(w.close() && !first);
            install.installJpegLibrary(); // found by the next start
        }
    }

    void linkChangesColourUnderThePointer()
    {
        frmVersion box(QIcon(), QString(), nullptr);
        QLabel* link = box.findChild<QLabel*>(QStringLiteral("Label3"));
        const auto looks = [link] {
            return std::make_pair(link->palette().color(QPalette::WindowText),
                                  link->font().underline());
        };
        const auto normal = std::make_pair(QColor(128, 255, 128), false);
        QCOMPARE(looks(), normal);
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(link, &enter);
        QCOMPARE(looks(), std::make_pair(QColor(255, 0, 255), true));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(link, &leave);
        QCOMPARE(looks(), normal);
    }

    // Pressed at (3, 3), released where the row says: a left click, right,
    // middle, dragged off the label; then a release alone (the press was
    // elsewhere). Only the left click opens the address.
    void linkOpensOnALeftClickOnTheLabelOnly()
    {
        QStringList opened;
        Browser::setOpener([&](const QString& address) { opened << address; });
        frmVersion box(QIcon(), QString(), nullptr);
        box.show();
        QLabel* link = box.findChild<QLabel*>(QStringLiteral("Label3"));
        for (const auto& [button, releaseAt] : {std::pair{Qt::LeftButton, QPoint(5, 5)},
                                                {Qt::RightButton, QPoint(5, 5)},
                                                {Qt::MiddleButton, QPoint(5, 5)},
                                                {Qt::LeftButton, QPoint(5, 500)}}) {
            QTest::mousePress(link, button, {}, QPoint(3, 3));
            QTest::mouseRelease(link, button, {}, releaseAt);
            QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(5, 5));
        }
        Browser::setOpener(nullptr);
        QCOMPARE(opened, QStringList{link->text()});
    }
};

QUILTON_TEST_MAIN(tst_about)
#include "tst_about.moc"
