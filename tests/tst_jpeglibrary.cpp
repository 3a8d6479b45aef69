#include "TestEnv.h"

#include "app/JpegLibrary.h"
#include "support/FileFixtures.h"
#include "support/TestInstall.h"

#include <QApplication>

using namespace Qt::StringLiterals;
using testfiles::folderEntries;
using testsupport::readAll;
using testsupport::writeBytes;

namespace {

const QString kMissing = u"[TalvikJPEG保存DLLがありません]"_s;

// A stand-in library file carrying the given version (none unless a.b.c.d).
QByteArray libraryBytes(const QString& version, char tag)
{
    const QStringList p = version.split(u'.');
    const QByteArray block = p.size() != 4
                                 ? QByteArray()
                                 : testfiles::versionBlock(p[0].toUShort(), p[1].toUShort(),
                                                           p[2].toUShort(), p[3].toUShort());
    return QByteArray(QByteArray(1024, tag) + block + QByteArray(512, tag));
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
        row("equal: left alone", "1.0.0.2", "1.0.0.2", false);
        row("program copy without version: left alone", "", "1.0.0.2", false);
        row("system copy without version: replaced", "0.0.0.1", "", true);
        row("no system copy: folder made, installed", "1.0.0.2", "none", true);
        row("parts above 32767 compared as numbers", "1.0.40000.0", "1.0.32767.9", true);
        row("major part first", "1.65535.65535.65535", "2.0.0.0", false);
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
        // A running program may have the old copy loaded: a new one must
        // arrive as a new file, not be written into the old one.
        QFile oldCopy(lib(f.system));
        QVERIFY(!present || oldCopy.open(QIODevice::ReadOnly));

        const JpegLibraryState state = JpegLibrary::lookUpAndInstall(f.program, f.system, keep);
        // Presence is the system copy's as found; the version line is the
        // system copy's after an upgrade.
        QCOMPARE(state.jpegFlag, present);
        QCOMPARE(state.dllVersionText, present ? QString(u"[ with TalvikJPEG保存DLL Ver."_s +
                                                         (installs ? offered : old) + u" ]"_s)
                                               : kMissing);
        QCOMPARE(state.installed, installs);
        QCOMPARE(readAll(lib(f.system)), installs  ? libraryBytes(offered, 'p')
                                         : present ? libraryBytes(old, 's')
                                                   : QByteArray());
        if (present)
            QCOMPARE(oldCopy.readAll(), libraryBytes(old, 's'));
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
        state = JpegLibrary::lookUpAndInstall(f.program, f.system, false);
        QVERIFY(state.jpegFlag && !state.installed);
        QCOMPARE(state.dllVersionText, u"[ with TalvikJPEG保存DLL Ver.1.0.0.2 ]"_s);
    }

    void failedInstallKeepsTheDecidedState()
    {
        testsupport::Install f;
        // The system folder cannot be made: a file stands in its way.
        QVERIFY(writeBytes(f.dir.filePath(u"blocked"_s), "file"));
        QVERIFY(writeBytes(lib(f.program), libraryBytes(u"1.0.0.3"_s, 'p')));
        const JpegLibraryState state =
            JpegLibrary::lookUpAndInstall(f.program, f.dir.filePath(u"blocked/lib"_s), false);
        QVERIFY(!state.jpegFlag && !state.installed);
        QCOMPARE(state.dllVersionText, kMissing);
        QVERIFY(QFileInfo::exists(lib(f.program))); // not deleted after a failed copy
        QCOMPARE(readAll(f.dir.filePath(u"blocked"_s)), "file"_ba);
    }

    // Installed, the package's copy counts as present and the user's own copy
    // wins only when newer; nothing is installed from the program's folder.
    void packageCopyAgainstUserCopy_data()
    {
        QTest::addColumn<QString>("user");    // "none" = no copy in the system folder
        QTest::addColumn<QString>("package"); // "none" = the package's copy missing
        QTest::addColumn<bool>("installs");   // program folder offers a newer 9.0.0.0
        QTest::addColumn<QString>("inUse");   // "user", "package" or "none"
        const auto row = [](const char* tag, const char* user, const char* package,
                            const char* inUse, bool installs = false) {
            QTest::newRow(tag) << user << package << installs << inUse;
        };
        row("package copy alone", "none", "1.0.0.2", "package");
        row("older user copy", "1.0.0.1", "1.0.0.2", "package");
        row("user copy as new as the package's", "1.0.0.2", "1.0.0.2", "package");
        row("newer user copy wins", "1.0.0.3", "1.0.0.2", "user");
        row("user copy without version", "", "1.0.0.2", "package");
        row("package copy missing", "1.0.0.1", "none", "user");
        row("neither", "none", "none", "none");
        row("own folder: newer program copy installed", "1.0.0.1", "none", "user", true);
    }
    void packageCopyAgainstUserCopy()
    {
        QFETCH(QString, user);
        QFETCH(QString, package);
        QFETCH(bool, installs);
        QFETCH(QString, inUse);
        testsupport::Install f;
        const QString packageCopy = f.dir.filePath(u"pkg/SaveJPG.so"_s);
        QVERIFY(QDir().mkpath(f.dir.filePath(u"pkg"_s)));
        QVERIFY(user == u"none"_s || writeBytes(lib(f.system), libraryBytes(user, 'u')));
        QVERIFY(package == u"none"_s || writeBytes(packageCopy, libraryBytes(package, 'k')));
        QVERIFY(writeBytes(lib(f.program), libraryBytes(u"9.0.0.0"_s, 'p')));

        const JpegLibraryState state =
            JpegLibrary::lookUpAndInstall({f.system, packageCopy, f.program, installs}, false);
        QCOMPARE(state.libraryPath, inUse == u"package"_s ? packageCopy : lib(f.system));
        QCOMPARE(state.jpegFlag, inUse != u"none"_s);
        // The line shows the version in use after the install step.
        const QString version = installs ? u"9.0.0.0"_s : inUse == u"package"_s ? package : user;
        QCOMPARE(state.dllVersionText,
                 inUse == u"none"_s
                     ? kMissing
                     : QString(u"[ with TalvikJPEG保存DLL Ver."_s + version + u" ]"_s));
        QCOMPARE(state.installed, installs);
        QCOMPARE(QFileInfo::exists(lib(f.program)), !installs);
        QCOMPARE(readAll(lib(f.system)),
                 installs ? libraryBytes(u"9.0.0.0"_s, 'p')
                          : (user == u"none"_s ? QByteArray() : libraryBytes(user, 'u')));
    }

    void keepsProgramCopyOnlyForCapitalC()
    {
        QVERIFY(JpegLibrary::keepsProgramCopy({u"a"_s, u"x/Cy"_s})); // anywhere, any argument
        QVERIFY(!JpegLibrary::keepsProgramCopy({u"/c"_s, u"/"_s, u"C"_s}));
    }
};

QUILTON_TEST_MAIN(tst_jpeglibrary)
#include "tst_jpeglibrary.moc"
