// The batch output list: its caption, entries and preview, the Down key,
// the sample page and the wallpaper from the selected file, and hiding the
// other windows while it is open.
#include "TestEnv.h"

#include "app/AppContext.h"
#include "app/frmMain.h"
#include "app/guiMessage.h"
#include "batch/frmBatch.h"
#include "batch/frmList.h"
#include "platform/Browser.h"
#include "platform/Desktop.h"
#include "platform/RegistryStore.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

namespace {

QImage testPicture(int seed)
{
    QImage img(100, 100, QImage::Format_RGB32);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            img.setPixel(x, y, qRgb((x * 2 + seed * 60) & 0xff, (y * 2) & 0xff, seed * 70 & 0xff));
    return img;
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A main window over temporary folders with the JPEG library installed and
// JPEG output chosen in the batch window.
struct Install
{
    QTemporaryDir dir;
    QString program, system, windows, out;
    std::shared_ptr<RegistryStore> registry;
    std::shared_ptr<Desktop> desktop;
    std::unique_ptr<frmMain> main;

    explicit Install(const QByteArray& extraIni = {})
    {
        program = dir.filePath(QStringLiteral("prog"));
        system = dir.filePath(QStringLiteral("lib"));
        windows = dir.filePath(QStringLiteral("backgrounds"));
        out = dir.filePath(QStringLiteral("out"));
        for (const QString& f : {program, system, windows, out})
            QDir().mkpath(f);
        QFile::copy(testenv::binDir() + QStringLiteral("/SaveJPG.so"),
                    system + QStringLiteral("/SaveJPG.so"));
        registry = std::make_shared<RegistryStore>(dir.filePath(QStringLiteral("registry.ini")));
        desktop = std::shared_ptr<Desktop>(makeStoreOnlyDesktop(*registry).release());
        writeBytes(program + QStringLiteral("/quilton.ini"),
                   extraIni +
                       "[Start]\r\nScreenCap=False\r\n[ImageType]\r\nDstFile=1\r\n"
                       "[Folder]\r\nSave=" +
                       out.toUtf8() + "\r\n");
    }

    frmBatch& start()
    {
        AppContext c;
        c.programFolder = program;
        c.systemFolder = system;
        c.windowsFolder = windows;
        c.registry = registry;
        c.desktop = desktop;
        c.captureScreen = [] { return QImage(); };
        main = std::make_unique<frmMain>(c);
        return *main->batchWindow();
    }
};

QImage rgb(const QString& path)
{
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

} // namespace

class tst_frmlist : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        Browser::setOpener(nullptr);
        guiMessage::setCapture(nullptr);
    }

    // Three JPEG outputs: caption with the pattern, the names in the list's
    // order, the first previewed; Down previews the next.
    void listAndPreview()
    {
        Install install;
        for (const char* name : {"b(A).jpg", "a(C).jpg", "C(B).jpg"})
            QVERIFY(testPicture(name[0]).save(install.out + '/' + QLatin1String(name), "JPG", 95));
        writeBytes(install.out + QStringLiteral("/a(A).bmp"), "a bitmap is not listed");
        frmBatch& b = install.start();
        QCOMPARE(b.fileList(1), (QStringList{"a(C).jpg", "b(A).jpg", "C(B).jpg"}));

        frmList list(*install.main, b);
        QCOMPARE(list.windowTitle(), QStringLiteral("出力先ファイル一覧 [ *.jpg ]"));
        auto* cmb = list.findChild<QComboBox*>(QStringLiteral("cmbList"));
        QCOMPARE(cmb->toolTip(), QStringLiteral("[↓]キーで次のファイル"));
        QStringList entries;
        for (int i = 0; i < cmb->count(); ++i)
            entries << cmb->itemText(i);
        QCOMPARE(entries, b.fileList(1));
        QCOMPARE(cmb->currentIndex(), 0);
        QCOMPARE(list.selectedPath(), install.out + QStringLiteral("/a(C).jpg"));
        QCOMPARE(list.preview(), rgb(install.out + QStringLiteral("/a(C).jpg")));
        auto* image = list.findChild<QLabel*>(QStringLiteral("Image1"));
        QCOMPARE(image->size(), QSize(100, 100));
        QVERIFY(image->hasScaledContents());
        // Left edge at the main window's, 80 twips below its bottom edge.
        const QRect mainFrame = install.main->frameGeometry();
        QCOMPARE(list.pos(), QPoint(mainFrame.x(), mainFrame.bottom() + 1 + 5));

        QTest::keyClick(cmb, Qt::Key_Down);
        QCOMPARE(cmb->currentIndex(), 1);
        QCOMPARE(list.preview(), rgb(install.out + QStringLiteral("/b(A).jpg")));
    }

    // A file that is no picture gives an empty preview and no message.
    void unreadableFileClearsThePreview()
    {
        Install install;
        writeBytes(install.out + QStringLiteral("/a(A).jpg"), "not a picture");
        QVERIFY(testPicture(1).save(install.out + QStringLiteral("/b(A).jpg"), "JPG"));
        frmBatch& b = install.start();
        QList<guiMessage::Message> messages;
        guiMessage::setCapture([&](const guiMessage::Message& m) { messages << m; });
        frmList list(*install.main, b);
        QVERIFY(list.preview().isNull());
        QTest::keyClick(list.findChild<QComboBox*>(QStringLiteral("cmbList")), Qt::Key_Down);
        QVERIFY(!list.preview().isNull());
        QTest::keyClick(list.findChild<QComboBox*>(QStringLiteral("cmbList")), Qt::Key_Up);
        QVERIFY(list.preview().isNull());
        QVERIFY(messages.isEmpty());
    }

    void samplePageAndWallpaper()
    {
        Install install;
        QVERIFY(testPicture(2).save(install.out + QStringLiteral("/t(D).jpg"), "JPG", 100));
        frmBatch& b = install.start();
        QStringList opened;
        Browser::setOpener([&](const QString& url) { opened << url; });
        frmList list(*install.main, b);
        list.findChild<QPushButton*>(QStringLiteral("cmdPreview"))->click();
        QCOMPARE(opened.size(), 1);
        QVERIFY(opened.first().endsWith(QStringLiteral("Sample.html")));
        QFile page(install.program + QStringLiteral("/Sample.html"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(page.readAll()).contains(QStringLiteral("t(D).jpg")));
        // The page names the file itself: no picture is written for it.
        QVERIFY(!QFileInfo::exists(install.program + QStringLiteral("/Sample.jpg")));

        QVERIFY(!install.main->wallpaperUndoEnabled());
        list.findChild<QPushButton*>(QStringLiteral("cmdWall"))->click();
        QVERIFY(install.main->wallpaperUndoEnabled());
        const QString wall = install.windows + QStringLiteral("/quilton.bmp");
        QCOMPARE(install.registry->get(QStringLiteral("Control Panel\\desktop"),
                                       QStringLiteral("Wallpaper")),
                 wall);
        QCOMPARE(rgb(wall), list.preview());
    }

    // "一覧..." with the hide option: the main and batch windows are hidden
    // while the list is open and shown again after; without it they stay.
    void hidingTheOtherWindows_data()
    {
        QTest::addColumn<bool>("hide");
        QTest::newRow("FormHide True") << true;
        QTest::newRow("FormHide False") << false;
    }
    void hidingTheOtherWindows()
    {
        QFETCH(bool, hide);
        Install install(hide ? "[Start]\r\nFormHide=True\r\n" : "");
        QVERIFY(testPicture(3).save(install.out + QStringLiteral("/x(A).jpg"), "JPG"));
        frmBatch& b = install.start();
        QCOMPARE(b.hideOthers(), hide);
        install.main->show();
        b.show();
        bool mainVisible = false;
        bool batchVisible = false;
        QPoint listPos;
        QString caption;
        QTimer::singleShot(0, this, [&] {
            auto* list = qobject_cast<frmList*>(QApplication::activeModalWidget());
            if (!list)
                return;
            caption = list->windowTitle();
            listPos = list->pos();
            mainVisible = install.main->isVisible();
            batchVisible = b.isVisible();
            QTest::keyClick(list, Qt::Key_Escape);
        });
        b.findChild<QPushButton*>(QStringLiteral("cmdPrev"))->click();
        QCOMPARE(caption, QStringLiteral("出力先ファイル一覧 [ *.jpg ]"));
        QCOMPARE(listPos, b.pos() + QPoint(7, 7));
        QCOMPARE(mainVisible, !hide);
        QCOMPARE(batchVisible, !hide);
        QVERIFY(install.main->isVisible());
        QVERIFY(b.isVisible());
    }
};

QUILTON_TEST_MAIN(tst_frmlist)
#include "tst_frmlist.moc"
