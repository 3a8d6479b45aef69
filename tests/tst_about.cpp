// The about box: version line, the JPEG library's line with and without the
// library, the link's hover colours and its click, hiding without rebuilding.
#include "TestEnv.h"

#include "about/frmVersion.h"
#include "app/AppContext.h"
#include "app/frmMain.h"
#include "output/SampleHtml.h"
#include "platform/Browser.h"
#include "platform/Desktop.h"
#include "platform/RegistryStore.h"

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

namespace {

struct Install
{
    QTemporaryDir dir;
    std::shared_ptr<RegistryStore> registry =
        std::make_shared<RegistryStore>(dir.path() + QStringLiteral("/registry.ini"));
    std::shared_ptr<Desktop> desktop{makeStoreOnlyDesktop(*registry).release()};

    AppContext context(bool withLibrary)
    {
        AppContext context;
        context.programFolder = dir.path() + QStringLiteral("/prog");
        context.systemFolder = dir.path() + QStringLiteral("/lib");
        context.windowsFolder = dir.path() + QStringLiteral("/backgrounds");
        QDir().mkpath(context.programFolder);
        QDir().mkpath(context.systemFolder);
        QDir().mkpath(context.windowsFolder);
        if (withLibrary)
            QFile::copy(testenv::binDir() + QStringLiteral("/SaveJPG.so"),
                        context.systemFolder + QStringLiteral("/SaveJPG.so"));
        context.registry = registry;
        context.desktop = desktop;
        context.captureScreen = [] { return QImage(); };
        return context;
    }
};

QLabel* label(const QWidget& box, const char* name)
{
    return box.findChild<QLabel*>(QString::fromLatin1(name));
}

QColor textColour(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

// What the about box showed while it was open, read from inside its loop.
struct Seen
{
    QPointer<frmVersion> box;
    QString version;
    QString dll;
    bool modal = false;
};

// Opens the about box from the menu command, notes it and closes it by
// "閉じる(&C)".
Seen openAndClose(frmMain& w)
{
    Seen seen;
    QTimer::singleShot(0, &w, [&seen] {
        auto* box = qobject_cast<frmVersion*>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen.box = box;
        seen.modal = box->isModal();
        seen.version = label(*box, "lblVersion")->text();
        seen.dll = label(*box, "lblDllVer")->text();
        box->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
    });
    w.mnuVersion_Click();
    return seen;
}

} // namespace

class tst_about : public QObject
{
    Q_OBJECT

private slots:
    void showsVersionAndLibraryLine_data();
    void showsVersionAndLibraryLine();
    void linkChangesColourUnderThePointerAndOpensThePage();
    void escapeHidesWithoutDestroying();
};

void tst_about::showsVersionAndLibraryLine_data()
{
    QTest::addColumn<bool>("withLibrary");
    QTest::addColumn<QString>("dllLine");
    QTest::newRow("library present")
        << true << QStringLiteral("[ with TalvikJPEG保存DLL Ver.1.0.0.2 ]");
    QTest::newRow("library missing") << false << QStringLiteral("[TalvikJPEG保存DLLがありません]");
}

void tst_about::showsVersionAndLibraryLine()
{
    QFETCH(bool, withLibrary);
    QFETCH(QString, dllLine);
    Install install;
    frmMain w(install.context(withLibrary));
    QCOMPARE(w.JpegFlag(), withLibrary);
    QCOMPARE(w.DllVersionText(), dllLine);

    const Seen first = openAndClose(w);
    QVERIFY(first.box);
    QVERIFY(first.modal);
    // This test program has no version block: the build's own 1.0.0.0.
    QCOMPARE(first.version, QStringLiteral("Version 1.0.0"));
    QCOMPARE(first.dll, dllLine);
    QVERIFY(!first.box->isVisible());

    // Opened again: the same window, its texts as first set.
    label(*first.box, "lblDllVer")->setText(QStringLiteral("marker"));
    const Seen second = openAndClose(w);
    QCOMPARE(second.box, first.box);
    QCOMPARE(second.dll, QStringLiteral("marker"));

    // The main window's shut-down closes it for good.
    QVERIFY(w.close());
    QVERIFY(!first.box);
}

void tst_about::linkChangesColourUnderThePointerAndOpensThePage()
{
    frmVersion box(QIcon(), QStringLiteral("[TalvikJPEG保存DLLがありません]"), nullptr);
    QCOMPARE(box.windowTitle(), QStringLiteral("バージョン情報"));
    QCOMPARE(box.palette().color(QPalette::Window), QColor(Qt::black));
    QCOMPARE(textColour(label(box, "Label2")), QColor(0, 0, 255));
    QCOMPARE(label(box, "Label2")->palette().color(QPalette::Window), QColor(255, 255, 192));
    QCOMPARE(label(box, "Label2")->text(), QStringLiteral("100角化粧タイル図案生成"));
    QCOMPARE(textColour(label(box, "lblVersion")), QColor(128, 255, 255));
    QCOMPARE(textColour(label(box, "lblDllVer")), QColor(255, 192, 255));

    QLabel* link = label(box, "Label3");
    QCOMPARE(link->text(), QString::fromLatin1(SampleHtml::kHomePage));
    QCOMPARE(textColour(link), QColor(128, 255, 128));
    QVERIFY(!link->font().underline());

    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(link, &enter);
    QCOMPARE(textColour(link), QColor(255, 0, 255));
    QVERIFY(link->font().underline());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(link, &leave);
    QCOMPARE(textColour(link), QColor(128, 255, 128));
    QVERIFY(!link->font().underline());

    QStringList opened;
    Browser::setOpener([&opened](const QString& url) { opened.append(url); });
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(link, Qt::LeftButton);
    Browser::setOpener(nullptr);
    QCOMPARE(opened, QStringList{QString::fromLatin1(SampleHtml::kHomePage)});
}

void tst_about::escapeHidesWithoutDestroying()
{
    QPointer<frmVersion> box = new frmVersion(QIcon(), QStringLiteral("x"), nullptr);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.data()));
    QTest::keyClick(box.data(), Qt::Key_Escape);
    QVERIFY(box);
    QVERIFY(!box->isVisible());
    QCOMPARE(label(*box, "lblVersion")->text(), QStringLiteral("Version 1.0.0"));
    delete box.data();
}

QUILTON_TEST_MAIN(tst_about)
#include "tst_about.moc"
