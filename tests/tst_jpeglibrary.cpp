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
    // The user's copy in the system folder, the package's copy and a copy in
    // the program folder: which one is used, what is installed and kept.
    void lookUpAndInstall_data()
    {
        QTest::addColumn<QString>("offered"); // program copy: "" = no version block, "none"
        QTest::addColumn<QString>("user");    // "none" = no copy, "gone" = nor its folder
        QTest::addColumn<QString>("package"); // "none" = the package's copy missing
        QTest::addColumn<bool>("installing"); // run from its own folder
        QTest::addColumn<bool>("installs");
        QTest::addColumn<QString>("inUse"); // "user", "package" or "none"
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QString>("programName");
        const auto row = [](const char* tag, const char* offered, const char* user,
                            const char* package, bool installing, bool installs, const char* inUse,
                            bool keep = false, const char* name = "SaveJPG.so") {
            QTest::newRow(tag) << offered << user << package << installing << installs << inUse
                               << keep << name;
        };
        row("absent", "none", "gone", "none", true, false, "none");
        row("newer, other letter case: installed, deleted", "1.0.0.3", "1.0.0.2", "none", true,
            true, "user", false, "savejpg.SO");
        row("newer with /C: installed, kept", "1.0.0.3", "1.0.0.2", "none", true, true, "user",
            true);
        row("older: left alone", "1.0.0.1", "1.0.0.2", "none", true, false, "user");
        row("equal: left alone", "1.0.0.2", "1.0.0.2", "none", true, false, "user");
        row("program copy without version: left alone", "", "1.0.0.2", "none", true, false, "user");
        row("system copy without version: replaced", "0.0.0.1", "", "none", true, true, "user");
        // Presence is decided before installing.
        row("no system copy: folder made, installed", "1.0.0.2", "gone", "none", true, true,
            "none");
        row("parts above 32767 compared as numbers", "1.0.40000.0", "1.0.32767.9", "none", true,
            true, "user");
        row("major part first", "1.65535.65535.65535", "2.0.0.0", "none", true, false, "user");
        // Installed, the package's copy counts as present and the user's own
        // copy wins only when newer; nothing is installed from the program's
        // folder.
        row("package copy alone", "9.0.0.0", "none", "1.0.0.2", false, false, "package");
        row("older user copy", "9.0.0.0", "1.0.0.1", "1.0.0.2", false, false, "package");
        row("user copy as new as the package's", "9.0.0.0", "1.0.0.2", "1.0.0.2", false, false,
            "package");
        row("newer user copy wins", "9.0.0.0", "1.0.0.3", "1.0.0.2", false, false, "user");
        row("user copy without version", "9.0.0.0", "", "1.0.0.2", false, false, "package");
        row("package copy missing", "9.0.0.0", "1.0.0.1", "none", false, false, "user");
        row("neither", "9.0.0.0", "none", "none", false, false, "none");
    }
    void lookUpAndInstall()
    {
        QFETCH(QString, offered);
        QFETCH(QString, user);
        QFETCH(QString, package);
        QFETCH(bool, installing);
        QFETCH(bool, installs);
        QFETCH(QString, inUse);
        QFETCH(bool, keep);
        QFETCH(QString, programName);
        testsupport::Install f;
        const QString programCopy = f.program + u'/' + programName;
        const QString packageCopy = f.dir.filePath(u"pkg/SaveJPG.so"_s);
        const bool offering = offered != u"none"_s;
        const bool present = user != u"none"_s && user != u"gone"_s;
        QVERIFY(!offering || writeBytes(programCopy, libraryBytes(offered, 'p')));
        QVERIFY(present ? writeBytes(lib(f.system), libraryBytes(user, 's'))
                        : user == u"none"_s || QDir(f.system).removeRecursively());
        QVERIFY(QDir().mkpath(f.dir.filePath(u"pkg"_s)));
        QVERIFY(package == u"none"_s || writeBytes(packageCopy, libraryBytes(package, 'k')));
        // A running program may have the old copy loaded: a new one must
        // arrive as a new file, not be written into the old one.
        QFile oldCopy(lib(f.system));
        QVERIFY(!present || oldCopy.open(QIODevice::ReadOnly));

        const JpegLibraryState state =
            JpegLibrary::lookUpAndInstall({f.system, packageCopy, f.program, installing}, keep);
        QCOMPARE(state.libraryPath, inUse == u"package"_s ? packageCopy : lib(f.system));
        QCOMPARE(state.jpegFlag, inUse != u"none"_s);
        // The line shows the version in use after the install step.
        const QString version = installs ? offered : inUse == u"package"_s ? package : user;
        QCOMPARE(state.dllVersionText,
                 inUse == u"none"_s
                     ? kMissing
                     : QString(u"[ with TalvikJPEG保存DLL Ver."_s + version + u" ]"_s));
        QCOMPARE(state.installed, installs);
        QCOMPARE(readAll(lib(f.system)), installs  ? libraryBytes(offered, 'p')
                                         : present ? libraryBytes(user, 's')
                                                   : QByteArray());
        if (present)
            QCOMPARE(oldCopy.readAll(), libraryBytes(user, 's'));
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

    void keepsProgramCopyOnlyForCapitalC()
    {
        QVERIFY(JpegLibrary::keepsProgramCopy({u"a"_s, u"x/Cy"_s})); // anywhere, any argument
        QVERIFY(!JpegLibrary::keepsProgramCopy({u"/c"_s, u"/"_s, u"C"_s}));
    }
};

QUILTON_TEST_MAIN(tst_jpeglibrary)
#include "tst_jpeglibrary.moc"
