// The batch window over a main window built on temporary folders: loading
// and unloading its settings, the tile frames, the batch run with its
// progress, stopping and failures, and the output list it opens.
#include "TestEnv.h"

#include "app/frmMain.h"
#include "batch/frmBatch.h"
#include "batch/frmList.h"
#include "support/TestInstall.h"

#include <QtWidgets>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using testsupport::randomImage;
using testsupport::readAll;

namespace {

// Input folder "Photos" and output folder "Tiles out" in the settings, no
// screen capture; the main window and its batch window over them. The
// program's messages and the pages it would open are captured meanwhile.
struct Install : testsupport::Install, testsupport::Shown
{
    QString in = dir.filePath(u"Photos"_s);
    QString out = dir.filePath(u"Tiles out"_s);
    std::unique_ptr<frmMain> main;

    explicit Install(const QByteArray& extraIni = {}, bool jpegLibrary = false)
    {
        QDir().mkpath(in);
        QDir().mkpath(out);
        if (jpegLibrary)
            installJpegLibrary();
        // The extra keys come first: the first section of a name wins.
        writeIni(extraIni + "[Start]\r\nScreenCap=False\r\n[Folder]\r\nSource=" + in.toUtf8() +
                 "\r\nSave=" + out.toUtf8() + "\r\n");
    }
    frmBatch& batch()
    {
        main = start();
        return *main->batchWindow();
    }
};

} // namespace

class tst_frmbatch : public QObject
{
    Q_OBJECT

    template <typename T = QWidget> static T* child(const QWidget& w, const QString& n)
    {
        return w.findChild<T*>(n);
    }
    static QString text(QWidget& w, const QString& n) { return child<QLabel>(w, n)->text(); }
    static void tick(QWidget& w, const char* n, bool on) { child<QCheckBox>(w, n)->setChecked(on); }
    static QStringList filesIn(QString f) { return QDir(f).entryList(QDir::Files, QDir::Name); }

private slots:
    // The first start's defaults; runs over a.bmp and b.jpg without tile B
    // into the input folder itself. (Every tile, and the effects in their
    // order: unreadableInputsAndUnwritableTiles.)
    void firstStartAndRuns()
    {
        Install install;
        randomImage(160, 120, 1).save(install.in + u"/a.bmp"_s);
        randomImage(400, 300, 2).save(install.in + u"/b.jpg"_s);
        frmBatch& b = install.batch();
        QVERIFY(!b.isVisible());
        // Just to the right of the main window.
        QCOMPARE(b.pos(), install.main->frameGeometry().topRight() + QPoint(1, 0));
        QCOMPARE(b.EffectOrder(), (std::array<int, 6>{0, 1, 2, 3, 4, 5}));
        QCOMPARE(b.fileList(0), QStringList{"a.bmp"});
        tick(b, "chkType_1", true);
        // An unticked tile disables its frame and gets no file. Output folder
        // = input folder: a run does not take its own tiles as inputs; the
        // next run does (six tiles, three files from each).
        tick(b, "chkTile_1", false);
        QVERIFY(!child(b, "FraPic_1")->isEnabled() && !child(b, "chkGray_1")->isEnabled());
        QVERIFY(child(b, "chkTile_1")->isEnabled() && child(b, "FraPic_0")->isEnabled());
        b.setFolder(1, install.in);
        b.cmdBatch_Click();
        QCOMPARE(filesIn(install.in), (QStringList{"a(A).bmp", "a(C).bmp", "a(D).bmp", "a.bmp",
                                                   "b(A).bmp", "b(C).bmp", "b(D).bmp", "b.jpg"}));
        b.cmdBatch_Click();
        QCOMPARE(filesIn(install.in).size(), 8 + 6 * 3);
        QVERIFY(install.messages.isEmpty());
    }

    // The run ended during the third of five files by the stop button (once
    // its tiles are composed, once while it loads off the user-interface
    // thread) or by closing the main window: no tile of it, the bar at 3/5,
    // the list refreshed, one message, the labels empty and the caption back.
    // Then the close box, or the main window's, unloads the batch window with
    // its keys written; the next one has them back, every tile ticked again.
    // Without the JPEG library "DstFile" cannot choose JPEG output.
    void runEndedDuringTheThirdOfFiveFiles()
    {
        using P = frmBatch::RunPoint;
        for (const auto& [when, closeMain] : {std::pair{P::AfterCompose, false},
                                              {P::LoadStarted, false},
                                              {P::AfterCompose, true}}) {
            Install install("[ImageType]\r\nDstFile=1\r\n"); // no JPEG library: BMP output
            for (int i = 0; i < 5; ++i)
                randomImage(600, 450, i).save(install.in + u"/f%1.bmp"_s.arg(i));
            frmBatch& b = install.batch();
            QVERIFY(!child<QRadioButton>(b, "optType_1")->isEnabled() && b.OutExt() == u"bmp"_s);
            install.main->show();
            b.show();
            QPointer<frmBatch> alive(&b);
            tick(b, "chkBlock_2", true);
            tick(b, "chkTile_0", false);
            child<QComboBox>(b, "cmbBokashi_2")->setCurrentIndex(2);
            auto* button = child<QPushButton>(b, "cmdBatch");
            b.setRunHook([&](frmBatch::RunPoint point, int file, int) {
                if (point != when || file != 2)
                    return;
                QCOMPARE(button->text(), u"中止(&S)"_s);
                if (closeMain) {
                    install.main->close();
                    return;
                }
                button->click(); // asks the run to stop
                button->click(); // starts nothing while the run is still going
            });
            QStringList seen; // each message, the bar in twips (3/5 of 2415), the counts
            install.onMessage = [&] {
                seen << u"%1 %2 %3 %4"_s.arg(install.messages.last().text)
                            .arg(b.progressTwips())
                            .arg(text(b, "lblNum_1"))
                            .arg(filesIn(install.out).size());
            };
            button->click();
            QCOMPARE(seen, QStringList{u"中断しました。 1449 6 6"_s});
            QCOMPARE(button->text() + text(b, "lblNowSel_0") + text(b, "lblNowSel_1"),
                     u"実行(&R)"_s);
            QVERIFY(!child(b, "shaProcess_1")->isVisibleTo(&b));
            if (closeMain)
                QTRY_VERIFY(!install.main->isVisible());
            else
                QVERIFY(b.close());
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(alive.isNull());
            const QByteArray keys = readAll(install.ini());
            QVERIFY(keys.contains("\nBlock=0010\r\n") && keys.contains("\nBIndex=0020\r\n"));
            frmBatch& again = *install.main->batchWindow();
            QVERIFY(child<QCheckBox>(again, "chkTile_0")->isChecked());
            QCOMPARE(child<QComboBox>(again, "cmbBokashi_2")->currentText(), u"x3"_s);
        }
    }

    // Unreadable inputs, a name that is no UTF-8 text among them, are listed
    // and skipped with no tiles under their names (never the previous
    // picture's), the run goes on, and one message lists them with the
    // reasons. The others' tiles are the very bytes quilton-batch writes
    // with the same settings (effects in their order). A tile file that
    // cannot be written ends the run with one message naming it; the files
    // before it stay. Both messages are Japanese throughout and come once the
    // run has ended.
    void unreadableInputsAndUnwritableTiles()
    {
        Install install("[Kouka]\r\nBokashi=1000\r\nBIndex=1000\r\nContrast=0010\r\n"
                        "Enboss=0001\r\nJunjo=502134\r\n[ImageType]\r\nSrcFile=110\r\n");
        randomImage(300, 200, 1).save(install.in + u"/a.bmp"_s);
        randomImage(640, 480, 2).save(install.in + u"/d.jpg"_s);
        const QString cli = install.dir.filePath(u"cli"_s);
        QCOMPARE(QProcess::execute(testenv::binDir() + u"/quilton-batch"_s,
                                   {u"--settings"_s, install.ini(), install.in, cli}),
                 0);
        testsupport::writeBytes(install.in + u"/b.bmp"_s, "BM broken");
        testsupport::writeBytes(install.in + u"/c.bmp"_s, QByteArray());
        // A picture under a name Qt can neither make nor remove.
        const QByteArray bad = QFile::encodeName(install.in) + "/n\xff.bmp";
        QCOMPARE(link(QFile::encodeName(install.in + u"/a.bmp"_s).constData(), bad.constData()), 0);
        const auto removeBad = qScopeGuard([&] { unlink(bad.constData()); });
        frmBatch& b = install.batch();
        QCOMPARE(b.fileList(0),
                 (QStringList{"a.bmp", "b.bmp", "c.bmp", "d.jpg", u"n\uFFFD.bmp"_s}));
        QStringList seen; // each message, then the button's caption and the bar when shown
        install.onMessage = [&] {
            seen << install.messages.last().text + u'|' +
                        child<QPushButton>(b, "cmdBatch")->text() +
                        (child(b, "shaProcess_1")->isVisible() ? " bar" : "");
        };
        b.cmdBatch_Click();
        const QStringList names = filesIn(install.out);
        QCOMPARE(names, (QStringList{"a(A).bmp", "a(B).bmp", "a(C).bmp", "a(D).bmp", "d(A).bmp",
                                     "d(B).bmp", "d(C).bmp", "d(D).bmp"}));
        for (const QString& name : names)
            QCOMPARE(readAll(install.out + u'/' + name), readAll(cli + u'/' + name));
        QDir(install.out).removeRecursively();
        QDir(install.out).mkpath(u"a(C).bmp"_s); // a folder in the way
        b.cmdBatch_Click();
        QCOMPARE(filesIn(install.out), (QStringList{"a(A).bmp", "a(B).bmp"}));
        QCOMPARE(seen,
                 (QStringList{
                     u"画像として読み込めなかった 3 個のファイルは処理しませんでした:\n"
                     u"b.bmp（壊れているか、大きすぎるか、読み込めない形式の画像です。）\n"
                     u"c.bmp（空のファイルです。）\n"
                     u"n\uFFFD.bmp（名前が UTF-8 の文字列でないため、"
                     u"その名前では開けません。名前を変えてください。）|実行(&R)"_s,
                     u"タイルのファイルを書き込めませんでした。一括処理を終了します。\n"_s +
                         install.out + u"/a(C).bmp\n同じ名前のフォルダがあります。|実行(&R)"_s}));
    }

    // The input pattern follows "SrcFile" and the type boxes; "DstFile"
    // chooses JPEG output and the output count follows the output type. JPEG
    // output through the window at the program's quality; a file the JPEG
    // writer cannot open gets its message and the run goes on.
    void typesAndJpegOutput()
    {
        Install install("[Start]\r\nFormHide=True\r\n[ImageType]\r\nSrcFile=011\r\nDstFile=1\r\n",
                        true);
        randomImage(160, 120, 1).save(install.in + u"/a.jpg"_s);
        randomImage(160, 120, 2).save(install.in + u"/b.JPG"_s, "JPG");
        for (const QString& other :
             QStringList{install.in + u"/x.bmp"_s, install.out + u"/x(A).bmp"_s})
            testsupport::writeBytes(other, "x");
        QDir(install.out).mkpath(u"a(B).jpg"_s); // a folder in the way
        frmBatch& b = install.batch();
        QCOMPARE(b.fileList(0), (QStringList{"a.jpg", "b.JPG"}));
        tick(b, "chkType_0", true);
        QCOMPARE(b.filePattern(0) + u' ' + text(b, "lblNum_0"), u"*.bmp;*.jpg;*.gif 3"_s);
        for (const char* type : {"chkType_0", "chkType_1", "chkType_2"})
            tick(b, type, false);
        QCOMPARE(b.filePattern(0) + u' ' + text(b, "lblNum_0"), u"xxxx.xxxx 0"_s);
        tick(b, "chkType_1", true);
        install.main->setJpegQuality(95);
        b.cmdBatch_Click();
        const QStringList names{"a(A).jpg", "a(C).jpg", "a(D).jpg", "b(A).jpg",
                                "b(B).jpg", "b(C).jpg", "b(D).jpg"};
        QCOMPARE(text(b, "lblNum_1"), u"7"_s);
        child<QRadioButton>(b, "optType_0")->click();
        QCOMPARE(text(b, "lblNum_1"), u"1"_s);
        child<QRadioButton>(b, "optType_1")->click();
        QCOMPARE(filesIn(install.out), names + QStringList{"x(A).bmp"});
        QCOMPARE(install.messages.size(), 1);
        QCOMPARE(install.messages[0].text, u"File Open Error"_s);
        QCOMPARE(install.messages[0].icon, QMessageBox::Information);
        for (const QString& name : names)
            QVERIFY2(QImage(install.out + u'/' + name, "jpeg").size() == QSize(100, 100),
                     qPrintable(name));
        // The quality is the program's: lower, smaller files.
        const qint64 at95 = QFileInfo(install.out + u"/b(A).jpg"_s).size();
        install.main->setJpegQuality(5);
        testsupport::writeBytes(install.out + u"/0.jpg"_s, "not a picture");
        randomImage(100, 100, 3).save(install.out + u"/C.JPG"_s, "JPG");
        b.cmdBatch_Click();
        QVERIFY(QFileInfo(install.out + u"/b(A).jpg"_s).size() < at95 / 2);
        install.messages.clear();

        // The output list: the caption with the pattern, the names of that
        // type in name order ignoring case, the first previewed (no picture: an empty
        // preview), Down previews the next; the sample page names the
        // selected file and writes no picture.
        frmList list(*install.main, b);
        QCOMPARE(list.windowTitle(), u"出力先ファイル一覧 [ *.jpg ]"_s);
        auto* cmb = list.findChild<QComboBox*>(u"cmbList"_s);
        QStringList entries;
        for (int i = 0; i < cmb->count(); ++i)
            entries << cmb->itemText(i);
        QCOMPARE(entries, QStringList{"0.jpg"} + names + QStringList{"C.JPG"});
        QVERIFY(list.preview().isNull());
        QTest::keyClick(cmb, Qt::Key_Down);
        const QString selected = install.out + u"/a(A).jpg"_s;
        QCOMPARE(list.preview(), QImage(selected).convertToFormat(QImage::Format_RGB32));
        list.findChild<QPushButton*>(u"cmdPreview"_s)->click();
        QCOMPARE(install.opened, QStringList{install.program + u"/Sample.html"_s});
        QVERIFY(
            readAll(install.opened.value(0)).contains(QUrl::fromLocalFile(selected).toEncoded()));
        QVERIFY(!QFile::exists(install.program + u"/Sample.jpg"_s));
        // The wallpaper is the preview; the store-only desktop tells that the
        // screen did not change, and there is nothing to restore.
        list.findChild<QPushButton*>(u"cmdWall"_s)->click();
        QCOMPARE(install.messages.size(), 1);
        QCOMPARE(QImage(install.windows + u"/quilton.bmp"_s).convertToFormat(QImage::Format_RGB32),
                 list.preview());
        QVERIFY(!install.main->wallpaperUndoEnabled());

        // "一覧..." and the right click on the output folder list open it,
        // the main and batch windows hidden meanwhile (the hide option) and
        // shown again after; with no files "一覧..." says so and the click is
        // silent. A left click opens nothing.
        install.main->show();
        b.show();
        QStringList seen; // the messages, and the list's caption when the others were hidden
        install.onMessage = [&] { seen << install.messages.last().text; };
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (QWidget* opened = QApplication::activeModalWidget()) {
                if (!install.main->isVisible() && !b.isVisible())
                    seen << opened->windowTitle();
                opened->close();
            }
        });
        watch.start(10);
        QWidget* folders = child<QAbstractScrollArea>(b, u"Dir1_1"_s)->viewport();
        const auto open = [&](Qt::MouseButton button) { // NoButton: "一覧..."
            seen.clear();
            if (button == Qt::NoButton)
                child<QPushButton>(b, u"cmdPrev"_s)->click();
            else
                QTest::mouseClick(folders, button, {}, QPoint(5, 5));
            QTest::qWait(50);
            return seen.join(u'|');
        };
        QCOMPARE(open(Qt::NoButton), list.windowTitle());
        QVERIFY(install.main->isVisible() && b.isVisible());
        QCOMPARE(open(Qt::RightButton), list.windowTitle());
        QCOMPARE(open(Qt::LeftButton), QString());
        b.setFolder(1, install.windows); // the wallpaper's folder: no JPEG pictures
        QCOMPARE(open(Qt::NoButton), u"ファイルがありません。"_s);
        QCOMPARE(open(Qt::RightButton), QString());
    }
};

QUILTON_TEST_MAIN(tst_frmbatch)
#include "tst_frmbatch.moc"
