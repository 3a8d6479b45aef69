// The batch output list: its caption, entries and preview, the Down key,
// the wallpaper from the selected file, and hiding the other windows while
// it is open.
#include "TestEnv.h"

#include "app/frmMain.h"
#include "app/guiMessage.h"
#include "batch/frmBatch.h"
#include "batch/frmList.h"
#include "platform/RegistryStore.h"
#include "support/TestInstall.h"

#include <QAbstractScrollArea>
#include <QComboBox>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace {

// The JPEG library installed, JPEG output chosen, output folder "out" holding
// the given JPEG pictures.
struct Install : testsupport::Install
{
    QString out = dir.filePath(u"out"_s);
    std::unique_ptr<frmMain> main;

    Install(const QStringList& pictures, const QByteArray& extraIni = {})
    {
        QDir().mkpath(out);
        installJpegLibrary();
        writeIni(extraIni +
                 "[Start]\r\nScreenCap=False\r\n[ImageType]\r\nDstFile=1\r\n[Folder]\r\nSave=" +
                 out.toUtf8() + "\r\n");
        for (int i = 0; i < pictures.size(); ++i)
            testsupport::randomImage(100, 100, i).save(out + u'/' + pictures[i], "JPG");
    }
};

} // namespace

class tst_frmlist : public QObject
{
    Q_OBJECT

private slots:
    // The caption with the pattern, the names in the list's order, the first
    // previewed (a file that is no picture: an empty preview),
    // Down previews the next and the wallpaper shows it.
    void listPreviewAndWallpaper()
    {
        Install install({"b(A).jpg", "a(C).jpg", "C(B).jpg", "a(A).bmp"});
        testsupport::writeBytes(install.out + u"/a(B).jpg"_s, "not a picture");
        install.main = install.start();
        frmList list(*install.main, *install.main->batchWindow());
        QCOMPARE(list.windowTitle(), u"出力先ファイル一覧 [ *.jpg ]"_s);
        auto* cmb = list.findChild<QComboBox*>(u"cmbList"_s);
        QStringList entries;
        for (int i = 0; i < cmb->count(); ++i)
            entries << cmb->itemText(i);
        QCOMPARE(entries, (QStringList{"a(B).jpg", "a(C).jpg", "b(A).jpg", "C(B).jpg"}));
        QVERIFY(list.preview().isNull());
        QTest::keyClick(cmb, Qt::Key_Down);
        QCOMPARE(list.preview(),
                 QImage(install.out + u"/a(C).jpg"_s).convertToFormat(QImage::Format_RGB32));
        // The sample page names the selected file and writes no picture.
        testsupport::Shown shown;
        list.findChild<QPushButton*>(u"cmdPreview"_s)->click();
        QCOMPARE(shown.opened, QStringList{install.program + u"/Sample.html"_s});
        QVERIFY(testsupport::readAll(shown.opened.value(0))
                    .contains(QUrl::fromLocalFile(install.out + u"/a(C).jpg"_s).toEncoded()));
        QVERIFY(!QFile::exists(install.program + u"/Sample.jpg"_s));
        // The store-only desktop tells that the screen did not change.
        int messages = 0;
        guiMessage::setCapture([&messages](const guiMessage::Message&) { ++messages; });
        list.findChild<QPushButton*>(u"cmdWall"_s)->click();
        guiMessage::setCapture(nullptr);
        QCOMPARE(messages, 1);
        const QString wall = install.windows + u"/quilton.bmp"_s;
        QCOMPARE(install.registry->get(u"Control Panel\\desktop"_s, u"Wallpaper"_s), wall);
        QCOMPARE(QImage(wall).convertToFormat(QImage::Format_RGB32), list.preview());
        // A wallpaper the desktop never showed gives nothing to restore.
        QVERIFY(!install.main->wallpaperUndoEnabled());
    }

    // "一覧..." and the right click on the output folder list: with files
    // both open the list; with none, "一覧..." says so and the click is
    // silent. Other buttons on the folder list open nothing.
    void openingTheList()
    {
        const QString list = u"出力先ファイル一覧 [ *.jpg ]"_s;
        // seen: the message or the list's caption
        const std::tuple<bool, QString, QString> rows[] = {
            {true, "cmdPrev", list},
            {false, "cmdPrev", "ファイルがありません。"},
            {true, "right", list},
            {false, "right", ""},
            {true, "left", ""}};
        for (const auto& [files, how, seen] : rows) {
            Install install(files ? QStringList{"x(A).jpg"} : QStringList());
            install.main = install.start();
            frmBatch& b = *install.main->batchWindow();
            b.show();
            testsupport::Shown messages;
            QStringList shown;
            messages.onMessage = [&] { shown << messages.messages.last().text; };
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, [&] {
                if (QWidget* list = QApplication::activeModalWidget()) {
                    shown << list->windowTitle();
                    list->close();
                }
            });
            watch.start(10);
            if (how == u"cmdPrev"_s) {
                b.findChild<QPushButton*>(u"cmdPrev"_s)->click();
            } else {
                QWidget* dir = b.findChild<QAbstractScrollArea*>(u"Dir1_1"_s)->viewport();
                QTest::mouseClick(dir, how == u"right"_s ? Qt::RightButton : Qt::LeftButton, {},
                                  QPoint(5, 5));
            }
            QTest::qWait(50);
            QCOMPARE(shown.join(""), seen);
        }
    }

    // "一覧..." with the hide option: the main and batch windows are hidden
    // while the list is open and shown again after.
    void hidingTheOtherWindows()
    {
        Install install({"x(A).jpg"}, "[Start]\r\nFormHide=True\r\n");
        install.main = install.start();
        frmBatch& b = *install.main->batchWindow();
        install.main->show();
        b.show();
        int othersVisible = -1;
        QTimer::singleShot(0, this, [&] {
            othersVisible = int(install.main->isVisible()) + int(b.isVisible());
            if (QWidget* list = QApplication::activeModalWidget())
                QTest::keyClick(list, Qt::Key_Escape);
        });
        b.findChild<QPushButton*>(u"cmdPrev"_s)->click();
        QCOMPARE(othersVisible, 0);
        QVERIFY(install.main->isVisible() && b.isVisible());
    }
};

QUILTON_TEST_MAIN(tst_frmlist)
#include "tst_frmlist.moc"
