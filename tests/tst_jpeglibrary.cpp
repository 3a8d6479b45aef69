#include "TestEnv.h"

#include "app/JpegLibrary.h"
#include "app/SaveJpgLoader.h"
#include "app/mGetFileVer.h"
#include "platform/Paths.h"
#include "support/TestInstall.h"
#include "support/support_h1_files.h"

#include <QApplication>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using support_h1::folderEntries;
using testsupport::readAll;
using testsupport::writeBytes;

namespace {

const QString kMissing = u"[TalvikJPEG保存DLLがありません]"_s;

// A stand-in library file carrying the given version (none unless a.b.c.d).
QByteArray libraryBytes(const QString& version, char tag)
{
    const QStringList p = version.split(u'.');
    return QByteArray(1024, tag) +
           (p.size() == 4 ? support_h1::versionBlock(p[0].toUShort(), p[1].toUShort(),
                                                     p[2].toUShort(), p[3].toUShort())
                          : QByteArray()) +
           QByteArray(512, tag);
}

QString lib(const QString& folder)
{
    return folder + u"/SaveJPG.so"_s;
}

} // namespace

class tst_jpeglibrary : public QObject
{
    Q_OBJECT

private slots:
    void programCopyAgainstSystemCopy_data()
    {
        QTest::addColumn<QString>("offered"); // "" = no version block, "none" = no copy
        QTest::addColumn<QString>("old");     // "none" = no system copy nor folder
        QTest::addColumn<bool>("installs");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QString>("programName");
        const auto row = [](const char* tag, const char* offered, const char* old, bool installs,
                            bool keep = false, const char* name = "SaveJPG.so") {
            QTest::newRow(tag) << offered << old << installs << keep << name;
        };
        row("absent", "none", "none", false);
        row("newer, other letter case: installed, deleted", "1.0.0.3", "1.0.0.2", true, false,
            "savejpg.SO");
        row("newer with /C: installed, kept", "1.0.0.3", "1.0.0.2", true, true);
        row("older: left alone", "1.0.0.1", "1.0.0.2", false);
        row("equal: left alone", "1.0.0.2", "1.0.0.2", false, false, "SAVEJPG.SO");
        row("program copy without version: left alone", "", "1.0.0.2", false);
        row("system copy without version: replaced", "0.0.0.1", "", true);
        row("no system copy: folder made, installed", "1.0.0.2", "none", true);
        row("parts compared as numbers", "1.10.0.0", "1.9.0.0", true);
        row("parts above 32767", "1.0.40000.0", "1.0.32767.9", true);
        row("major part first", "1.65535.65535.65535", "2.0.0.0", false);
        row("other file names do not count", "9.0.0.0", "1.0.0.2", false, false, "SaveJPG.so.bak");
    }
    void programCopyAgainstSystemCopy()
    {
        QFETCH(QString, offered);
        QFETCH(QString, old);
        QFETCH(bool, installs);
        QFETCH(bool, keep);
        QFETCH(QString, programName);
        testsupport::Install f;
        const QString programCopy = f.program + u'/' + programName;
        const bool offering = offered != u"none"_s, present = old != u"none"_s;
        QVERIFY(!offering || writeBytes(programCopy, libraryBytes(offered, 'p')));
        QVERIFY(present ? writeBytes(lib(f.system), libraryBytes(old, 's'))
                        : QDir(f.system).removeRecursively());

        const JpegLibraryState state = JpegLibrary::lookUpAndInstall(f.program, f.system, keep);
        // Presence and the version line are the system copy's as found.
        QCOMPARE(state.jpegFlag, present);
        QCOMPARE(state.dllVersionText,
                 present ? QString(u"[ with TalvikJPEG保存DLL Ver."_s + old + u" ]"_s) : kMissing);
        QCOMPARE(state.installed, installs);
        QCOMPARE(readAll(lib(f.system)), installs  ? libraryBytes(offered, 'p')
                                         : present ? libraryBytes(old, 's')
                                                   : QByteArray());
        QCOMPARE(QFileInfo::exists(programCopy), offering && (!installs || keep));
        // No temporary file stays behind in the system folder.
        QCOMPARE(folderEntries(f.system).size(), present || installs ? 1 : 0);
    }

    void installedCopyCountsFromTheNextStart()
    {
        testsupport::Install f;
        QVERIFY(QFile::copy(lib(testenv::binDir()), lib(f.program)));
        JpegLibraryState state = JpegLibrary::lookUpAndInstall(f.program, f.system, false);
        QVERIFY(state.installed && !state.jpegFlag);
        QCOMPARE(state.dllVersionText, kMissing);
        state = JpegLibrary::lookUpAndInstall(f.program, f.system, false);
        QVERIFY(state.jpegFlag && !state.installed);
        QCOMPARE(state.dllVersionText, u"[ with TalvikJPEG保存DLL Ver.1.0.0.2 ]"_s);
        // The installed copy is a working library.
        const QString jpeg = f.dir.filePath(u"t.jpg"_s);
        const JpegCallResult result =
            SaveJpgLoader::save(SaveJpgLoader::systemLibraryPath(f.system),
                                testsupport::flatImage(20, 10, qRgb(30, 60, 90)), 20, 10, jpeg, 75);
        QVERIFY(result.loaded && result.code == 0);
        QCOMPARE(QImage(jpeg).size(), QSize(20, 10));
    }

    void newerCopyReplacesByRename()
    {
        // A running program may have the old copy loaded: the new one must
        // arrive as a new file, not be written into the old one.
        testsupport::Install f;
        QVERIFY(writeBytes(lib(f.system), libraryBytes(u"1.0.0.2"_s, 's')));
        QVERIFY(writeBytes(lib(f.program), libraryBytes(u"1.0.0.3"_s, 'p')));
        QVERIFY(QFile::setPermissions(lib(f.program), QFile::ReadOwner | QFile::WriteOwner |
                                                          QFile::ExeOwner | QFile::ReadGroup |
                                                          QFile::ExeGroup));
        struct stat before = {}, after = {};
        QCOMPARE(stat(QFile::encodeName(lib(f.system)).constData(), &before), 0);
        QFile oldCopy(lib(f.system));
        QVERIFY(oldCopy.open(QIODevice::ReadOnly)); // held open like a loaded library

        QVERIFY(JpegLibrary::lookUpAndInstall(f.program, f.system, false).installed);
        QCOMPARE(stat(QFile::encodeName(lib(f.system)).constData(), &after), 0);
        QVERIFY(after.st_ino != before.st_ino);
        QCOMPARE(oldCopy.readAll(), libraryBytes(u"1.0.0.2"_s, 's'));
        QCOMPARE(mGetFileVer::GetFileVersionText(lib(f.system)), u"1.0.0.3"_s);
        QCOMPARE(after.st_mode & 0777, 0750u);
    }

    void failedInstallKeepsTheDecidedState()
    {
        testsupport::Install f;
        // The system folder cannot be made: a file stands in its way.
        const QString blocked = f.dir.filePath(u"blocked"_s);
        QVERIFY(writeBytes(blocked, "file"));
        QVERIFY(writeBytes(lib(f.program), libraryBytes(u"1.0.0.3"_s, 'p')));
        JpegLibraryState state = JpegLibrary::lookUpAndInstall(f.program, blocked + u"/lib", false);
        QVERIFY(!state.jpegFlag && !state.installed);
        QCOMPARE(state.dllVersionText, kMissing);
        QVERIFY(QFileInfo::exists(lib(f.program))); // not deleted after a failed copy
        QCOMPARE(readAll(blocked), QByteArray("file"));
        // Folders named like the library are no library.
        QVERIFY(QFile::remove(lib(f.program)) && QDir().mkpath(lib(f.program)));
        QVERIFY(QDir().mkpath(lib(f.system)));
        state = JpegLibrary::lookUpAndInstall(f.program, f.system, false);
        QVERIFY(!state.jpegFlag && !state.installed);
    }

    void keepsProgramCopyOnlyForCapitalC()
    {
        QVERIFY(!JpegLibrary::keepsProgramCopy({}));
        QVERIFY(JpegLibrary::keepsProgramCopy({u"/C"_s}));
        QVERIFY(!JpegLibrary::keepsProgramCopy({u"/c"_s}));          // another switch
        QVERIFY(JpegLibrary::keepsProgramCopy({u"a"_s, u"x/Cy"_s})); // anywhere, any argument
        QVERIFY(!JpegLibrary::keepsProgramCopy({u"/"_s, u"C"_s}));
    }

    void foldersAreMadeWhenAskedFor()
    {
        const QString system = Paths::systemFolder(false);
        QCOMPARE(system, testenv::homeDir() + u"/.local/lib"_s);
        QVERIFY(!QFileInfo::exists(system));
        QCOMPARE(Paths::systemFolder(), system);
        QVERIFY(QFileInfo(system).isDir());
        QCOMPARE(Paths::windowsFolder(), testenv::homeDir() + u"/.local/share/backgrounds"_s);
        QVERIFY(QFileInfo(Paths::windowsFolder(false)).isDir());
        QCOMPARE(Paths::withoutTrailingSlash(u"/"_s),
                 QString()); // so that folder + "/" reads right
    }
};

QUILTON_TEST_MAIN(tst_jpeglibrary)
#include "tst_jpeglibrary.moc"
