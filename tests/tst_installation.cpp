// Run from its own folder or installed: where the program keeps the user's
// files, the JPEG library it uses, Qt's Japanese dialogs, and the command
// lines' --help and --version.
#include "TestEnv.h"
#include "support/FileFixtures.h"
#include "support/TestInstall.h"

#include "app/QtTranslation.h"
#include "app/frmMain.h"
#include "platform/Browser.h"
#include "platform/Paths.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QProcess>
#include <QPushButton>

using namespace Qt::StringLiterals;
using testfiles::folderEntries;
using testsupport::writeBytes;

namespace {

// A program tree of its own: root/bin holds the executable's folder, and
// with a package folder root/lib/quilton holds the built SaveJPG.so, as an
// installed package lays them out.
struct Tree
{
    QTemporaryDir dir;
    QString root = dir.path();
    QString bin = root + u"/bin"_s;
    QString package = root + u"/lib/quilton"_s;

    explicit Tree(bool packageFolder)
    {
        QDir().mkpath(bin);
        if (packageFolder) {
            QDir().mkpath(package);
            QFile::copy(testenv::binDir() + u"/SaveJPG.so"_s, package + u"/SaveJPG.so"_s);
        }
    }
    // {prog}, {root}, {home}, {config} and {data} of a expected path filled in.
    QString fill(QString text) const
    {
        const QString home = testenv::homeDir();
        return text.replace(u"{prog}"_s, bin)
            .replace(u"{root}"_s, root)
            .replace(u"{home}"_s, home)
            .replace(u"{config}"_s, qEnvironmentVariable("XDG_CONFIG_HOME"))
            .replace(u"{data}"_s, qEnvironmentVariable("XDG_DATA_HOME"));
    }
};

// Removes what a test wrote into the user's folders of the temporary home.
void clearUserFolders()
{
    const QString home = testenv::homeDir();
    const QStringList folders{home + u"/Pictures"_s, home + u"/Bilder"_s,
                              qEnvironmentVariable("XDG_CONFIG_HOME") + u"/quilton"_s,
                              qEnvironmentVariable("XDG_DATA_HOME") + u"/quilton"_s};
    for (const QString& folder : folders)
        QDir(folder).removeRecursively();
    QFile::remove(qEnvironmentVariable("XDG_CONFIG_HOME") + u"/user-dirs.dirs"_s);
}

Paths::ProgramPlaces placesOf(const Tree& tree, bool writable)
{
    return Paths::programPlaces(tree.bin, [writable](const QString& folder) {
        return writable && Paths::isWritableFolder(folder);
    });
}

const QStringList kOwnFolder{u"{prog}/quilton.ini"_s, u"{prog}/Tiles"_s, u"{prog}"_s, u"{prog}"_s,
                             QString()};
const QStringList kInstalled{u"{config}/quilton/quilton.ini"_s, u"{home}/Pictures/Tiles"_s,
                             u"{data}/quilton"_s, u"{home}/Pictures"_s,
                             u"{root}/lib/quilton/SaveJPG.so"_s};

} // namespace

class tst_installation : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { clearUserFolders(); }

    // Where the user's files go, run from its own folder or installed; then
    // start, sample page, close and restart over that program folder: the
    // settings survive, and an installed program writes nothing beside its
    // executable.
    void placesAndMainWindow_data()
    {
        QTest::addColumn<bool>("writable");       // what the folder probe says
        QTest::addColumn<bool>("packageFolder");  // root/lib/quilton present
        QTest::addColumn<QByteArray>("userDirs"); // XDG_PICTURES_DIR line, or none
        // Settings file, Tiles, sample page folder, offered folder, package library.
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("installs"); // run from its own folder
        QStringList bilder = kInstalled;
        bilder[1] = u"{home}/Bilder/Tiles"_s;
        bilder[3] = u"{home}/Bilder"_s;
        QTest::newRow("build folder") << true << false << QByteArray() << kOwnFolder << true;
        QTest::newRow("folder the user cannot write")
            << false << false << QByteArray() << kInstalled << false;
        QTest::newRow("installed") << false << true << QByteArray() << kInstalled << false;
        // root can write /usr/bin: the install layout alone says installed.
        QTest::newRow("install layout in a writable folder")
            << true << true << QByteArray() << kInstalled << false;
        QTest::newRow("pictures folder named by user-dirs.dirs")
            << false << true << QByteArray("XDG_PICTURES_DIR=\"$HOME/Bilder\"\n") << bilder
            << false;
    }
    void placesAndMainWindow()
    {
        QFETCH(bool, writable);
        QFETCH(bool, packageFolder);
        QFETCH(QByteArray, userDirs);
        QFETCH(QStringList, expected);
        QFETCH(bool, installs);
        const Tree tree(packageFolder);
        QVERIFY(
            userDirs.isEmpty() ||
            writeBytes(qEnvironmentVariable("XDG_CONFIG_HOME") + u"/user-dirs.dirs"_s, userDirs));
        const Paths::ProgramPlaces places = placesOf(tree, writable);
        const QStringList paths = tree.fill(expected.join(u'|')).split(u'|');
        QCOMPARE(places.programFolder, tree.bin);
        QCOMPARE((QStringList{places.settingsFile, places.tilesFolder, places.sampleFolder,
                              places.userFolder, places.packageLibrary}),
                 paths);
        QCOMPARE(places.installsLibrary, installs);
        QVERIFY(Paths::isWritableFolder(tree.bin));
        QVERIFY(!Paths::isWritableFolder(tree.root + u"/missing"_s));

        testsupport::Install install;
        AppContext context = install.context(testsupport::randomImage(64, 48, 3));
        context.setPlaces(places);
        QStringList opened;
        Browser::setOpener([&opened](const QString& page) { opened << page; });
        {
            frmMain w(context);
            QCOMPARE(w.SaveFolder(), paths[1]);
            QVERIFY(QFileInfo(paths[1]).isDir());
            QCOMPARE(w.SourceFolder(), paths[3]);
            // Installed, the package's library counts as present.
            QCOMPARE(w.JpegFlag(), packageFolder);
            QCOMPARE(w.jpegLibrary(), packageFolder ? paths[4] : install.system + u"/SaveJPG.so"_s);
            w.HTML({});
            QCOMPARE(opened, QStringList{paths[2] + u"/Sample.html"_s});
            const QString picture =
                paths[2] + (packageFolder ? u"/Sample.jpg"_s : u"/Sample.bmp"_s);
            QVERIFY(QImage(picture).size() == QSize(100, 100));
            w.setJpegQuality(77);
            w.setSourceFolder(tree.root);
            QVERIFY(w.close());
        }
        Browser::setOpener(nullptr);
        QVERIFY(QFileInfo(paths[0]).isFile());
        const QStringList besideExecutable{u"Sample.bmp"_s, u"Sample.html"_s, u"Tiles"_s,
                                           u"quilton.ini"_s};
        QCOMPARE(folderEntries(tree.bin), installs ? besideExecutable : QStringList());

        frmMain again(context);
        QCOMPARE(again.JpegQuality(), qint16(77));
        QCOMPARE(again.SourceFolder(), tree.root);
        QVERIFY(again.close());
    }

    // Qt's own dialogs and buttons in Japanese, like the rest of the program.
    void standardDialogsSpeakJapanese()
    {
        QVERIFY(QtTranslation::install(*qApp));
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                             QDialogButtonBox::Yes | QDialogButtonBox::No);
        const auto text = [&box](QDialogButtonBox::StandardButton b) {
            return box.button(b)->text();
        };
        QCOMPARE((QStringList{text(QDialogButtonBox::Ok), text(QDialogButtonBox::Cancel),
                              text(QDialogButtonBox::Yes), text(QDialogButtonBox::No)}),
                 (QStringList{u"OK"_s, u"キャンセル"_s, u"はい(&Y)"_s, u"いいえ(&N)"_s}));

        QStringList accept;
        for (QFileDialog::AcceptMode mode : {QFileDialog::AcceptOpen, QFileDialog::AcceptSave}) {
            QFileDialog dialog;
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            dialog.setAcceptMode(mode);
            accept << dialog.findChild<QDialogButtonBox*>()->buttons().first()->text();
        }
        QCOMPARE(accept, (QStringList{u"開く(&O)"_s, u"保存(&S)"_s}));
        QCOMPARE(QCoreApplication::translate("QFileDialog",
                                             "%1 already exists.\nDo you want to replace it?"),
                 u"%1 は既に存在します。\n置き換えますか?"_s);
    }

    void commandLinesAnswerHelpAndVersion_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("firstLine");
        const QString usage = u"Usage: %1 "_s;
        for (const QString& program : {u"quilton"_s, u"quilton-batch"_s}) {
            const auto tag = [&program](const char* what) {
                return QByteArray(program.toUtf8() + what);
            };
            QTest::newRow(tag(" --version"))
                << program << QStringList{u"--version"_s} << program + u" 1.0.0"_s;
            QTest::newRow(tag(" -h")) << program << QStringList{u"-h"_s} << usage.arg(program);
            QTest::newRow(tag(" --help after a name"))
                << program << QStringList{u"in.jpg"_s, u"--help"_s} << usage.arg(program);
        }
    }
    void commandLinesAnswerHelpAndVersion()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QString, firstLine);
        QProcess process;
        // No display: the answers must come without one.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"QT_QPA_PLATFORM"_s);
        process.setProcessEnvironment(environment);
        process.start(testenv::binDir() + u'/' + program, arguments);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(out.startsWith(firstLine), qPrintable(out));
    }
};

QUILTON_TEST_MAIN(tst_installation)
#include "tst_installation.moc"
