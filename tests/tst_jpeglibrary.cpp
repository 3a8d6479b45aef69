#include "TestEnv.h"

#include "app/JpegLibrary.h"
#include "app/SaveJpgLoader.h"
#include "app/mGetFileVer.h"
#include "platform/Paths.h"
#include "support/support_h1_files.h"

#include <QApplication>
#include <QTemporaryDir>

#include <sys/stat.h>

using support_h1::filler;
using support_h1::folderEntries;
using support_h1::readFile;
using support_h1::versionBlock;
using support_h1::writeFile;

namespace {

const QString kMissing = QStringLiteral("[TalvikJPEG保存DLLがありません]");

QString line(const QString& version)
{
    return QStringLiteral("[ with TalvikJPEG保存DLL Ver.") + version + QStringLiteral(" ]");
}

// A stand-in library file carrying the given version ("" for none).
QByteArray libraryBytes(const QString& version, char tag = 'l')
{
    if (version.isEmpty())
        return filler(4000, tag);
    const QStringList parts = version.split(QLatin1Char('.'));
    return filler(1024, tag) +
           versionBlock(parts.at(0).toUShort(), parts.at(1).toUShort(), parts.at(2).toUShort(),
                        parts.at(3).toUShort()) +
           filler(512, tag);
}

QString builtLibrary()
{
    return testenv::binDir() + QStringLiteral("/SaveJPG.so");
}

} // namespace

class tst_jpeglibrary : public QObject
{
    Q_OBJECT

private:
    // Program and system folders for one case.
    struct Folders
    {
        QTemporaryDir root;
        QString program = root.filePath(QStringLiteral("program"));
        QString system = root.filePath(QStringLiteral("home/.local/lib"));
        Folders()
        {
            QDir().mkpath(program);
            QDir().mkpath(system);
        }
        QString systemCopy() const { return system + QStringLiteral("/SaveJPG.so"); }
    };

private slots:
    void absentLibrary()
    {
        Folders f;
        const JpegLibraryState state = JpegLibrary::lookUpAndInstall(f.program, f.system, false);
        QVERIFY(!state.jpegFlag);
        QVERIFY(!state.installed);
        QCOMPARE(state.dllVersionText, kMissing);
        QCOMPARE(folderEntries(f.system), QStringList());
    }

    void presentLibraryShowsItsVersion()
    {
        Folders f;
        QVERIFY(QFile::copy(builtLibrary(), f.systemCopy()));
        const JpegLibraryState state = JpegLibrary::lookUpAndInstall(f.program, f.system, false);
        QVERIFY(state.jpegFlag);
        QVERIFY(!state.installed);
        QCOMPARE(state.dllVersionText, QStringLiteral("[ with TalvikJPEG保存DLL Ver.1.0.0.2 ]"));
    }

    void programCopyAgainstSystemCopy_data()
    {
        QTest::addColumn<QString>("programName");
        QTest::addColumn<QString>("programVersion"); // "" = no version block
        QTest::addColumn<QString>("systemVersion");  // "none" = no system copy
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("installs");

        QTest::newRow("newer, other letter case: installed, deleted") << "savejpg.SO"
                                                                      << "1.0.0.3"
                                                                      << "1.0.0.2" << false << true;
        QTest::newRow("newer with /C: installed, kept") << "SaveJPG.so"
                                                        << "1.0.0.3"
                                                        << "1.0.0.2" << true << true;
        QTest::newRow("older: left alone") << "SaveJPG.so"
                                           << "1.0.0.1"
                                           << "1.0.0.2" << false << false;
        QTest::newRow("equal: left alone") << "SAVEJPG.SO"
                                           << "1.0.0.2"
                                           << "1.0.0.2" << false << false;
        QTest::newRow("program copy without version: left alone") << "SaveJPG.so"
                                                                  << ""
                                                                  << "1.0.0.2" << false << false;
        QTest::newRow("system copy without version: replaced") << "SaveJPG.so"
                                                               << "0.0.0.1"
                                                               << "" << false << true;
        QTest::newRow("no system copy: installed") << "SaveJPG.so"
                                                   << "1.0.0.2"
                                                   << "none" << false << true;
        QTest::newRow("parts compared as numbers") << "SaveJPG.so"
                                                   << "1.10.0.0"
                                                   << "1.9.0.0" << false << true;
        QTest::newRow("parts above 32767") << "SaveJPG.so"
                                           << "1.0.40000.0"
                                           << "1.0.32767.9" << false << true;
        QTest::newRow("major part first") << "SaveJPG.so"
                                          << "1.65535.65535.65535"
                                          << "2.0.0.0" << false << false;
        QTest::newRow("other file names do not count") << "SaveJPG.so.bak"
                                                       << "9.0.0.0"
                                                       << "1.0.0.2" << false << false;
    }
    void programCopyAgainstSystemCopy()
    {
        QFETCH(QString, programName);
        QFETCH(QString, programVersion);
        QFETCH(QString, systemVersion);
        QFETCH(bool, keep);
        QFETCH(bool, installs);

        Folders f;
        const QString programCopy = f.program + QLatin1Char('/') + programName;
        const QByteArray offered = libraryBytes(programVersion, 'p');
        QVERIFY(writeFile(programCopy, offered));
        const bool present = systemVersion != QLatin1String("none");
        const QByteArray old = libraryBytes(present ? systemVersion : QString(), 's');
        if (present)
            QVERIFY(writeFile(f.systemCopy(), old));

        const JpegLibraryState state = JpegLibrary::lookUpAndInstall(f.program, f.system, keep);
        // Presence and the version line are the system copy's as found.
        QCOMPARE(state.jpegFlag, present);
        QCOMPARE(state.dllVersionText, present ? line(systemVersion) : kMissing);
        QCOMPARE(state.installed, installs);
        QCOMPARE(readFile(f.systemCopy()), installs ? offered : (present ? old : QByteArray()));
        QCOMPARE(QFileInfo::exists(programCopy), !installs || keep);
        // No temporary file stays behind in the system folder.
        QCOMPARE(folderEntries(f.system),
                 present || installs ? QStringList{QStringLiteral("SaveJPG.so")} : QStringList());
    }

    void installedCopyCountsFromTheNextStart()
    {
        Folders f;
        QVERIFY(QFile::copy(builtLibrary(), f.program + QStringLiteral("/SaveJPG.so")));
        JpegLibraryState state = JpegLibrary::lookUpAndInstall(f.program, f.system, false);
        QVERIFY(state.installed);
        QVERIFY(!state.jpegFlag);
        QCOMPARE(state.dllVersionText, kMissing);

        state = JpegLibrary::lookUpAndInstall(f.program, f.system, false);
        QVERIFY(state.jpegFlag);
        QVERIFY(!state.installed);
        QCOMPARE(state.dllVersionText, line(QStringLiteral(SAVEJPG_VERSION_TEXT)));

        // The installed copy is a working library.
        QVERIFY(QFileInfo(f.systemCopy()).permissions() & QFileDevice::ExeOwner);
        const QString jpeg = f.root.filePath(QStringLiteral("t.jpg"));
        QImage image(20, 10, QImage::Format_RGB32);
        image.fill(qRgb(30, 60, 90));
        const JpegCallResult result = SaveJpgLoader::save(
            SaveJpgLoader::systemLibraryPath(f.system), image, 20, 10, jpeg, 75);
        QVERIFY(result.loaded);
        QCOMPARE(result.code, 0);
        QCOMPARE(QImage(jpeg).size(), QSize(20, 10));
    }

    void newerCopyReplacesByRename()
    {
        // A running program may have the old copy loaded: the new one must
        // arrive as a new file, not be written into the old one.
        Folders f;
        QVERIFY(writeFile(f.systemCopy(), libraryBytes(QStringLiteral("1.0.0.2"), 's')));
        QVERIFY(writeFile(f.program + QStringLiteral("/SaveJPG.so"),
                          libraryBytes(QStringLiteral("1.0.0.3"), 'p')));
        QVERIFY(QFile::setPermissions(f.program + QStringLiteral("/SaveJPG.so"),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                          QFileDevice::ExeGroup));
        struct stat before
        {
        };
        QCOMPARE(stat(QFile::encodeName(f.systemCopy()).constData(), &before), 0);
        QFile oldCopy(f.systemCopy());
        QVERIFY(oldCopy.open(QIODevice::ReadOnly)); // held open like a loaded library

        const JpegLibraryState state = JpegLibrary::lookUpAndInstall(f.program, f.system, false);
        QVERIFY(state.installed);
        QCOMPARE(state.dllVersionText, line(QStringLiteral("1.0.0.2")));
        struct stat after
        {
        };
        QCOMPARE(stat(QFile::encodeName(f.systemCopy()).constData(), &after), 0);
        QVERIFY(after.st_ino != before.st_ino);
        QCOMPARE(oldCopy.readAll(), libraryBytes(QStringLiteral("1.0.0.2"), 's'));
        QCOMPARE(mGetFileVer::GetFileVersionText(f.systemCopy()), QStringLiteral("1.0.0.3"));
        QCOMPARE(after.st_mode & 0777, 0750u);
    }

    void systemFolderCreatedWhenNeeded()
    {
        Folders f;
        const QString system = f.root.filePath(QStringLiteral("fresh/.local/lib"));
        QVERIFY(writeFile(f.program + QStringLiteral("/SaveJPG.so"),
                          libraryBytes(QStringLiteral("1.0.0.2"))));
        const JpegLibraryState state = JpegLibrary::lookUpAndInstall(f.program, system, false);
        QVERIFY(state.installed);
        QVERIFY(QFileInfo(system + QStringLiteral("/SaveJPG.so")).isFile());
    }

    void failedCopyKeepsTheDecidedState()
    {
        Folders f;
        // The system folder cannot be made: a file stands in its way.
        const QString blocked = f.root.filePath(QStringLiteral("blocked"));
        QVERIFY(writeFile(blocked, "file"));
        const QString programCopy = f.program + QStringLiteral("/SaveJPG.so");
        QVERIFY(writeFile(programCopy, libraryBytes(QStringLiteral("1.0.0.3"))));
        const JpegLibraryState state =
            JpegLibrary::lookUpAndInstall(f.program, blocked + QStringLiteral("/lib"), false);
        QVERIFY(!state.jpegFlag);
        QVERIFY(!state.installed);
        QCOMPARE(state.dllVersionText, kMissing);
        QVERIFY(QFileInfo::exists(programCopy)); // not deleted after a failed copy
        QCOMPARE(readFile(blocked), QByteArray("file"));
    }

    void folderNamedLikeTheLibraryIsNoLibrary()
    {
        Folders f;
        QVERIFY(QDir().mkpath(f.systemCopy()));
        QVERIFY(QDir().mkpath(f.program + QStringLiteral("/SaveJPG.so")));
        const JpegLibraryState state = JpegLibrary::lookUpAndInstall(f.program, f.system, false);
        QVERIFY(!state.jpegFlag);
        QVERIFY(!state.installed);
    }

    void keepsProgramCopy_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("keep");
        QTest::newRow("no arguments") << QStringList() << false;
        QTest::newRow("/C") << QStringList{QStringLiteral("/C")} << true;
        QTest::newRow("/c is another switch") << QStringList{QStringLiteral("/c")} << false;
        QTest::newRow("anywhere in an argument") << QStringList{QStringLiteral("x/Cy")} << true;
        QTest::newRow("in a later argument")
            << QStringList{QStringLiteral("a"), QStringLiteral("b/C")} << true;
        QTest::newRow("split over two arguments")
            << QStringList{QStringLiteral("/"), QStringLiteral("C")} << false;
    }
    void keepsProgramCopy()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, keep);
        QCOMPARE(JpegLibrary::keepsProgramCopy(arguments), keep);
    }

    void folders()
    {
        QCOMPARE(Paths::withoutTrailingSlash(QStringLiteral("/opt/quilton/")),
                 QStringLiteral("/opt/quilton"));
        QCOMPARE(Paths::withoutTrailingSlash(QStringLiteral("/")), QString());
        QCOMPARE(Paths::folderPart(QStringLiteral("/home/u/a.bmp")), QStringLiteral("/home/u"));
        QCOMPARE(Paths::folderPart(QStringLiteral("/a.bmp")), QString());
        QCOMPARE(Paths::folderPart(QStringLiteral("a.bmp")), QStringLiteral("a.bmp"));
        QCOMPARE(Paths::programFolder(), QCoreApplication::applicationDirPath());

        const QString system = Paths::systemFolder(false);
        QCOMPARE(system, testenv::homeDir() + QStringLiteral("/.local/lib"));
        QVERIFY(!QFileInfo::exists(system));
        QCOMPARE(Paths::systemFolder(), system);
        QVERIFY(QFileInfo(system).isDir());

        QCOMPARE(Paths::windowsFolder(),
                 testenv::homeDir() + QStringLiteral("/.local/share/backgrounds"));
        QVERIFY(QFileInfo(Paths::windowsFolder(false)).isDir());
    }
};

QUILTON_TEST_MAIN(tst_jpeglibrary)
#include "tst_jpeglibrary.moc"
