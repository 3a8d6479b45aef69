// Run from its own folder or installed: where the program keeps the user's
// files, the JPEG library it uses, Qt's Japanese dialogs, and the command
// lines' --help and --version (scripts/package-check.sh also tries the
// installed programs' --version and --help).
#include "TestEnv.h"
#include "support/FileFixtures.h"
#include "support/TestInstall.h"

#include "app/QtTranslation.h"
#include "app/frmMain.h"
#include "platform/Paths.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>

using namespace Qt::StringLiterals;
using testfiles::folderEntries;

namespace {

// Settings file, Tiles, sample page folder, offered folder and package
// library of a program in {root}/bin, {home} the temporary home.
const QString kOwnFolder = u"{root}/bin/quilton.ini|{root}/bin/Tiles|{root}/bin|{root}/bin|"_s;
const QString kInstalled = u"{home}/.config/quilton/quilton.ini|{home}/Pictures/Tiles|"
                           "{home}/.local/share/quilton|{home}/Pictures|"
                           "{root}/lib/quilton/SaveJPG.so"_s;

} // namespace

class tst_installation : public QObject
{
    Q_OBJECT

private slots:
    // What a row wrote into the temporary home.
    void cleanup()
    {
        for (const char* made : {"Pictures", "Bilder", ".config/quilton", ".local/share/quilton"})
            QDir(testenv::homeDir() + u'/' + QLatin1String(made)).removeRecursively();
        QFile::remove(testenv::homeDir() + u"/.config/user-dirs.dirs"_s);
    }

    // Where the user's files go, run from its own folder or installed, and
    // the main window over that program folder: Tiles made, the offered
    // folder, the JPEG library, the sample page, the settings file written;
    // an installed program writes nothing beside its executable.
    void placesAndMainWindow_data()
    {
        QTest::addColumn<bool>("writable");      // what the folder probe says
        QTest::addColumn<bool>("packageFolder"); // {root}/lib/quilton holds SaveJPG.so
        QTest::addColumn<QString>("expected");
        QTest::newRow("build folder") << true << false << kOwnFolder;
        QTest::newRow("folder the user cannot write") << false << false << kInstalled;
        QTest::newRow("installed") << false << true << kInstalled;
        // root can write /usr/bin: the install layout alone says installed.
        QTest::newRow("install layout in a writable folder") << true << true << kInstalled;
        QTest::newRow("pictures folder named by user-dirs.dirs")
            << false << true << QString(kInstalled).replace(u"Pictures"_s, u"Bilder"_s);
    }
    void placesAndMainWindow()
    {
        QFETCH(bool, writable);
        QFETCH(bool, packageFolder);
        QFETCH(QString, expected);
        const QTemporaryDir dir;
        const QString bin = dir.filePath(u"bin"_s);
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(!packageFolder || (QDir().mkpath(dir.filePath(u"lib/quilton"_s)) &&
                                   QFile::copy(testenv::binDir() + u"/SaveJPG.so"_s,
                                               dir.filePath(u"lib/quilton/SaveJPG.so"_s))));
        QVERIFY(!expected.contains(u"Bilder"_s) ||
                testsupport::writeBytes(testenv::homeDir() + u"/.config/user-dirs.dirs"_s,
                                        "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"));
        auto probe = [=](const QString& f) { return writable && Paths::isWritableFolder(f); };
        const Paths::ProgramPlaces places = Paths::programPlaces(bin, probe);
        const QStringList paths = expected.replace(u"{root}"_s, dir.path())
                                      .replace(u"{home}"_s, testenv::homeDir())
                                      .split(u'|');
        QCOMPARE((QStringList{places.programFolder, places.settingsFile, places.tilesFolder,
                              places.sampleFolder, places.userFolder, places.packageLibrary}),
                 QStringList{bin} + paths);
        QCOMPARE(places.installsLibrary, places.packageLibrary.isEmpty());

        testsupport::Install install;
        AppContext context = install.context(testsupport::randomImage(64, 48, 3));
        context.setPlaces(places);
        testsupport::Shown shown;
        frmMain w(context);
        // Installed, the package's library counts as present.
        QCOMPARE((QStringList{w.SaveFolder(), w.SourceFolder(), w.jpegLibrary()}),
                 (QStringList{paths[1], paths[3],
                              packageFolder ? paths[4] : install.system + u"/SaveJPG.so"_s}));
        QCOMPARE(w.JpegFlag(), packageFolder);
        QVERIFY(QFileInfo(paths[1]).isDir());
        w.HTML({});
        QCOMPARE(shown.opened, QStringList{paths[2] + u"/Sample.html"_s});
        QCOMPARE(QImage(paths[2] + (packageFolder ? u"/Sample.jpg"_s : u"/Sample.bmp"_s)).size(),
                 QSize(100, 100));
        QVERIFY(w.close());
        QVERIFY(QFileInfo(paths[0]).isFile());
        const QStringList beside{"Sample.bmp", "Sample.html", "Tiles", "quilton.ini"};
        QCOMPARE(folderEntries(bin), places.installsLibrary ? beside : QStringList());
    }

    // Qt's own dialogs and buttons in Japanese, like the rest of the program.
    void standardDialogsSpeakJapanese()
    {
        QVERIFY(QtTranslation::install(*qApp));
        using Box = QDialogButtonBox;
        const Box box(Box::Ok | Box::Cancel | Box::Yes | Box::No);
        QStringList texts;
        for (const auto button : {Box::Ok, Box::Cancel, Box::Yes, Box::No})
            texts << box.button(button)->text();
        for (QFileDialog::AcceptMode mode : {QFileDialog::AcceptOpen, QFileDialog::AcceptSave}) {
            QFileDialog dialog;
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            dialog.setAcceptMode(mode);
            texts << dialog.findChild<QDialogButtonBox*>()->buttons().first()->text();
        }
        texts << QCoreApplication::translate("QFileDialog",
                                             "%1 already exists.\nDo you want to replace it?");
        QCOMPARE(texts, (QStringList{u"OK"_s, u"キャンセル"_s, u"はい(&Y)"_s, u"いいえ(&N)"_s,
                                     u"開く(&O)"_s, u"保存(&S)"_s,
                                     u"%1 は既に存在します。\n置き換えますか?"_s}));
    }

    // --help and --version answer without a display, with exit code 0.
    void commandLinesAnswerHelpAndVersion()
    {
        // The programs started below inherit neither.
        qunsetenv("DISPLAY");
        qunsetenv("QT_QPA_PLATFORM");
        for (const QString& line :
             {u"quilton --version"_s, u"quilton -h"_s, u"quilton-batch --version"_s,
              u"quilton-batch -h"_s, u"quilton-batch in.jpg --help"_s}) {
            QStringList arguments = line.split(u' ');
            const QString program = arguments.takeFirst();
            QProcess process;
            process.start(testenv::binDir() + u'/' + program, arguments);
            QVERIFY(process.waitForFinished(30000));
            const QString out = QString::fromUtf8(process.readAllStandardOutput());
            const QString first = line.endsWith(u"--version"_s) ? QString(program + u" 1.0.0"_s)
                                                                : u"Usage: "_s + program + u' ';
            QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 &&
                         out.startsWith(first),
                     qPrintable(line + u": "_s + out));
        }
    }
};

QUILTON_TEST_MAIN(tst_installation)
#include "tst_installation.moc"
