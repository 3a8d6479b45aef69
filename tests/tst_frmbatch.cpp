// The batch window over a main window built on temporary folders: loading
// and unloading its settings, the tile frames and the batch run with its
// progress, stopping and failures.
#include "TestEnv.h"

#include "app/frmMain.h"
#include "app/inifile_IO.h"
#include "batch/frmBatch.h"
#include "support/TestInstall.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImageReader>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>

using namespace Qt::Literals::StringLiterals;
using testsupport::readAll;

namespace {

// Input folder "Photos" and output folder "Tiles out" in the settings, no
// screen capture; the main window and its batch window over them. The
// program's messages are captured meanwhile.
struct Install : testsupport::Install
{
    QString in = dir.filePath(u"Photos"_s);
    QString out = dir.filePath(u"Tiles out"_s);
    std::unique_ptr<frmMain> main;
    testsupport::Shown shown;
    QList<guiMessage::Message>& messages = shown.messages;
    std::function<void()>& onMessage = shown.onMessage;

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
    void picture(const QString& name, quint32 seed, int w = 160, int h = 120) const
    {
        testsupport::randomImage(w, h, seed)
            .save(in + u'/' + name, name.endsWith(u"jpg"_s) ? "JPG" : "BMP");
    }
    QStringList texts() const
    {
        QStringList all;
        for (const guiMessage::Message& m : messages)
            all << m.text;
        return all;
    }
    QString key(const char* section, const char* key) const
    {
        inifile_IO file;
        file.setFileName(ini());
        return file.ReadStr(QLatin1String(section), QLatin1String(key), {});
    }
};

} // namespace

class tst_frmbatch : public QObject
{
    Q_OBJECT

    template <typename T = QWidget> static T* child(const QWidget& w, const QString& name)
    {
        return w.findChild<T*>(name);
    }
    static QString text(QWidget& w, const QString& n) { return child<QLabel>(w, n)->text(); }
    static void tick(QWidget& w, const char* n, bool on) { child<QCheckBox>(w, n)->setChecked(on); }
    static QStringList filesIn(QString f) { return QDir(f).entryList(QDir::Files, QDir::Name); }

private slots:
    // The input pattern follows the type boxes; "DstFile" chooses JPEG output
    // only with the JPEG library, and the output list follows the output type.
    void typeBoxes()
    {
        for (const bool library : {true, false}) {
            Install install("[ImageType]\r\nSrcFile=011\r\nDstFile=1\r\n", library);
            install.picture("a.bmp", 1);
            install.picture("b.jpg", 2);
            testsupport::writeBytes(install.in + u"/c.GIF"_s, "GIF89a");
            for (const char* name : {"x(A).jpg", "x(A).bmp", "y(A).JPG"})
                testsupport::writeBytes(install.out + u'/' + QLatin1String(name), "x");
            frmBatch& b = install.batch();
            QCOMPARE(b.fileList(0), (QStringList{"b.jpg", "c.GIF"}));
            auto* jpeg = child<QRadioButton>(b, "optType_1");
            QVERIFY(jpeg->isEnabled() == library && jpeg->isChecked() == library);
            QCOMPARE(text(b, "lblNum_1"), library ? u"2"_s : u"1"_s);
            child<QRadioButton>(b, "optType_0")->click();
            QCOMPARE(text(b, "lblNum_1"), u"1"_s);

            tick(b, "chkType_0", true);
            QCOMPARE(b.filePattern(0) + u' ' + text(b, "lblNum_0"), u"*.bmp;*.jpg;*.gif 3"_s);
            for (const char* type : {"chkType_0", "chkType_1", "chkType_2"})
                tick(b, type, false);
            QCOMPARE(b.filePattern(0) + u' ' + text(b, "lblNum_0"), u"xxxx.xxxx 0"_s);
        }
    }

    // The close box unloads (keys written, a fresh window at the next use)
    // and the settings come back, the tile ticks all on again.
    void settingsSurviveUnloadAndLoad()
    {
        Install install;
        frmBatch& b = install.batch();
        tick(b, "chkGray_3", true);
        child<QComboBox>(b, "cmbBokashi_2")->setCurrentIndex(2);
        tick(b, "chkTile_0", false);
        QPointer<frmBatch> first(&b);
        QVERIFY(b.close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(first.isNull());
        QCOMPARE(install.key("Kouka", "Gray") + install.key("Kouka", "BIndex"), u"00010020"_s);
        frmBatch& again = *install.main->batchWindow();
        QCOMPARE(child<QComboBox>(again, "cmbBokashi_2")->currentText(), u"x3"_s);
        QVERIFY(child<QCheckBox>(again, "chkTile_0")->isChecked());
    }

    // The first start's defaults; runs over a.bmp and b.jpg: every tile, then
    // without tile B and with effects in their order, then into the input
    // folder itself.
    void firstStartAndRuns()
    {
        Install install;
        install.picture("a.bmp", 1);
        install.picture("b.jpg", 2, 400, 300);
        frmBatch& b = install.batch();
        QVERIFY(!b.isVisible());
        // Just to the right of the main window.
        QCOMPARE(b.pos(), install.main->frameGeometry().topRight() + QPoint(1, 0));
        QCOMPARE(b.EffectOrder(), (std::array<int, 6>{0, 1, 2, 3, 4, 5}));
        QCOMPARE(b.fileList(0), QStringList{"a.bmp"});
        tick(b, "chkType_1", true);
        b.cmdBatch_Click();
        QCOMPARE(filesIn(install.out),
                 (QStringList{"a(A).bmp", "a(B).bmp", "a(C).bmp", "a(D).bmp", "b(A).bmp",
                              "b(B).bmp", "b(C).bmp", "b(D).bmp"}));
        QCOMPARE(text(b, "lblNum_1"), u"8"_s);

        // An unticked tile disables its frame and gets no file.
        const QString second = install.dir.filePath(u"second"_s);
        QDir().mkpath(second);
        b.setFolder(1, second);
        tick(b, "chkTile_1", false);
        QVERIFY(!child(b, "FraPic_1")->isEnabled() && !child(b, "chkGray_1")->isEnabled());
        QVERIFY(child(b, "chkTile_1")->isEnabled() && child(b, "FraPic_0")->isEnabled());
        tick(b, "chkGray_0", true);
        tick(b, "chkLight_0", true);
        child<QComboBox>(b, "cmbLight_0")->setCurrentIndex(9); // +50
        b.EffectOrder() = {4, 0, 1, 2, 3, 5};                  // grey, then brighter
        b.cmdBatch_Click();
        QCOMPARE(filesIn(second), (QStringList{"a(A).bmp", "a(C).bmp", "a(D).bmp", "b(A).bmp",
                                               "b(C).bmp", "b(D).bmp"}));
        // Output folder = input folder: a run does not take its own tiles as
        // inputs; the next run does.
        b.setFolder(1, install.in);
        tick(b, "chkTile_2", false);
        tick(b, "chkTile_3", false);
        b.cmdBatch_Click();
        QCOMPARE(filesIn(install.in).filter(u"(A)"_s), (QStringList{"a(A).bmp", "b(A).bmp"}));
        b.cmdBatch_Click();
        QCOMPARE(filesIn(install.in).filter(u"(A)"_s).size(), 4);
        QVERIFY(install.messages.isEmpty());
    }

    // The run ended during the third of five files by the stop button (once
    // its tiles are composed, once while it loads off the user-interface
    // thread) or by closing the main window: no tile of it, the bar at 3/5,
    // the list refreshed, one message, the labels empty and the caption back.
    // Closing the main window unloads the batch window with its keys written.
    void runEndedDuringTheThirdOfFiveFiles()
    {
        using P = frmBatch::RunPoint;
        for (const auto& [when, closeMain] : {std::pair{P::AfterCompose, false},
                                              {P::LoadStarted, false},
                                              {P::AfterCompose, true}}) {
            Install install;
            for (int i = 0; i < 5; ++i)
                install.picture(u"f%1.bmp"_s.arg(i), i, 600, 450);
            frmBatch& b = install.batch();
            install.main->show();
            b.show();
            QPointer<frmBatch> alive(&b);
            tick(b, "chkBlock_2", true);
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
            QString atMessage; // the bar in twips (3/5 of 2415) and the output count
            install.onMessage = [&] {
                atMessage = QString::number(b.progressTwips()) + u' ' + text(b, "lblNum_1");
            };
            button->click();
            QCOMPARE(install.texts(), QStringList{u"中断しました。"_s});
            QCOMPARE(atMessage, u"1449 8"_s);
            QCOMPARE(filesIn(install.out).size(), 8);
            QCOMPARE(button->text() + text(b, "lblNowSel_0") + text(b, "lblNowSel_1"),
                     u"実行(&R)"_s);
            QVERIFY(!child(b, "shaProcess_1")->isVisibleTo(&b));
            if (closeMain) {
                QTRY_VERIFY(!install.main->isVisible());
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                QVERIFY(alive.isNull());
                QCOMPARE(install.key("Kouka", "Block"), u"0010"_s);
            }
        }
    }

    // Unreadable inputs are skipped with no tiles under their names (never
    // the previous picture's), the run goes on, and one message lists them
    // with the reasons. A tile file that cannot be written ends the run with
    // one message naming it; the files before it stay. Both messages are
    // Japanese throughout and come once the run has ended.
    void unreadableInputsAndUnwritableTiles()
    {
        Install install;
        install.picture("a.bmp", 1);
        testsupport::writeBytes(install.in + u"/b.bmp"_s, "BM broken");
        testsupport::writeBytes(install.in + u"/c.bmp"_s, QByteArray());
        install.picture("d.bmp", 2);
        frmBatch& b = install.batch();
        QStringList stateAtMessage;
        install.onMessage = [&] {
            stateAtMessage << child<QPushButton>(b, "cmdBatch")->text() +
                                  (child(b, "shaProcess_1")->isVisible() ? " bar" : "");
        };
        b.cmdBatch_Click();
        QCOMPARE(filesIn(install.out),
                 (QStringList{"a(A).bmp", "a(B).bmp", "a(C).bmp", "a(D).bmp", "d(A).bmp",
                              "d(B).bmp", "d(C).bmp", "d(D).bmp"}));
        QDir(install.out).removeRecursively();
        QDir(install.out).mkpath(u"a(C).bmp"_s); // a folder in the way
        b.cmdBatch_Click();
        QCOMPARE(filesIn(install.out), (QStringList{"a(A).bmp", "a(B).bmp"}));
        QCOMPARE(
            install.texts(),
            (QStringList{u"画像として読み込めなかった 2 個のファイルは処理しませんでした:\n"
                         u"b.bmp（壊れているか、大きすぎるか、読み込めない形式の画像です。）\n"
                         u"c.bmp（空のファイルです。）"_s,
                         u"タイルのファイルを書き込めませんでした。一括処理を終了します。\n"_s +
                             install.out + u"/a(C).bmp\n同じ名前のフォルダがあります。"_s}));
        QCOMPARE(stateAtMessage, (QStringList{u"実行(&R)"_s, u"実行(&R)"_s}));
    }

    // JPEG output through the window at the program's quality; a file the
    // JPEG writer cannot open gets its message and the run goes on.
    void jpegOutputGoesOnAfterAWriterFailure()
    {
        Install install("[ImageType]\r\nDstFile=1\r\n", true);
        install.picture("a.bmp", 1);
        install.picture("b.bmp", 2);
        QDir(install.out).mkpath(u"a(B).jpg"_s); // a folder in the way
        frmBatch& b = install.batch();
        install.main->setJpegQuality(95);
        b.cmdBatch_Click();
        const QStringList names{"a(A).jpg", "a(C).jpg", "a(D).jpg", "b(A).jpg",
                                "b(B).jpg", "b(C).jpg", "b(D).jpg"};
        QCOMPARE(filesIn(install.out), names);
        QCOMPARE(install.texts(), QStringList{u"File Open Error"_s});
        QCOMPARE(install.messages[0].icon, QMessageBox::Information);
        for (const QString& name : names) {
            QImageReader reader(install.out + u'/' + name);
            QCOMPARE(reader.format(), "jpeg");
            QCOMPARE(reader.size(), QSize(100, 100));
        }
        // The quality is the program's: lower, smaller files.
        const qint64 at95 = QFileInfo(install.out + u"/b(A).jpg"_s).size();
        install.main->setJpegQuality(5);
        b.cmdBatch_Click();
        QVERIFY(QFileInfo(install.out + u"/b(A).jpg"_s).size() < at95 / 2);
    }

    // The window's batch and quilton-batch write the same bytes.
    void sameFilesAsTheCommandLine()
    {
        Install install("[Kouka]\r\nBokashi=1000\r\nBIndex=1000\r\nContrast=0010\r\n"
                        "Enboss=0001\r\nJunjo=502134\r\n[ImageType]\r\nSrcFile=110\r\n");
        install.picture("a.bmp", 1, 300, 200);
        install.picture("b.jpg", 2, 640, 480);
        install.batch().cmdBatch_Click();
        const QString cli = install.dir.filePath(u"cli"_s);
        QCOMPARE(QProcess::execute(testenv::binDir() + u"/quilton-batch"_s,
                                   {u"--settings"_s, install.ini(), install.in, cli}),
                 0);
        const QStringList names = filesIn(install.out);
        QCOMPARE(names.size(), 8);
        QCOMPARE(filesIn(cli), names);
        for (const QString& name : names)
            QCOMPARE(readAll(install.out + u'/' + name), readAll(cli + u'/' + name));
    }
};

QUILTON_TEST_MAIN(tst_frmbatch)
#include "tst_frmbatch.moc"
