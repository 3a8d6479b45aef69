// The settings file: reading, writing, batches of writes, and a writer
// killed in the middle of a shut-down.
#include "TestEnv.h"

#include "app/inifile_IO.h"
#include "platform/AtomicFile.h"
#include "support/FileFixtures.h"
#include "support/TestInstall.h"

#include <QRandomGenerator>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using testsupport::readAll;

class tst_inifile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_counter = 0;

    // A settings file at name (a fresh one when empty) in the test's folder,
    // holding contents; no file for a null array.
    inifile_IO iniWith(const QByteArray& contents, const QString& name = {})
    {
        inifile_IO ini;
        ini.setFileName(m_dir.filePath(name.isEmpty() ? u"s%1.ini"_s.arg(++m_counter) : name));
        if (!contents.isNull())
            testsupport::writeBytes(ini.FileName(), contents);
        return ini;
    }

private slots:
    // Each file is asked for section " a ", key "\tK": letter case and
    // blanks around the names do not count.
    void readRules()
    {
        // Garbage: binary bytes, then 10 MB of sections with the wanted key
        // at the very end, then a 10 MB line without any line break.
        QByteArray binary(200000, '\0'), big;
        QRandomGenerator(1234).fillRange(reinterpret_cast<quint32*>(binary.data()), 50000);
        for (int i = 0; big.size() < 10 * 1024 * 1024; ++i)
            big += "[S" + QByteArray::number(i) + "]\nkey=value value value value\n";
        // Values are cut to 1023 bytes; 1 + 500 x 3 bytes: the character cut
        // at byte 1023 is dropped whole.
        const QString japanese = 'a' + QString(500, QChar(0x3042));
        const std::tuple<const char*, QByteArray, QString> rows[] = {
            {"letter case and blanks of the names ignored", "[A]\r\nk=45\r\n", "45"},
            {"key of another section", "[B]\nk=1\n[A]\nj=2\n", "def"},
            {"no file", QByteArray(), "def"},
            {"empty value gives default", "[A]\nk=\n", "def"},
            {"blanks around dropped, inside kept", "[a]\r\n \tK \t= /a b/c=d  \r\n", "/a b/c=d"},
            {"first of two keys wins", "[A]\nk=1\nK=2\n", "1"},
            {"duplicate section not searched", "[A]\nj=1\n[B]\n[a]\nk=3\n", "def"},
            {"comment, no '=', before a section; no last LF", "k=0\n[A]\n;k=1\nk\nk=2", "2"},
            {"binary bytes", binary, "def"},
            {"10 MB file", big + "[a]\nK=found", "found"},
            {"10 MB line", QByteArray(10 * 1024 * 1024, 'z') + "\n[A]\nk=1\n", "1"},
            {"long value cut", "[A]\r\nk=" + QByteArray(1500, 'v') + "\r\n", QString(1023, 'v')},
            {"cut before a character", "[A]\nk=" + japanese.toUtf8(), japanese.left(341)},
        };
        for (const auto& [name, contents, expected] : rows)
            QVERIFY2(iniWith(contents).ReadStr(" a ", "\tK", "def") == expected, name);
    }

    void readInt()
    {
        const QList<std::pair<const char*, qint16>> rows{
            {" 7 ", 7},   {"-3", -3}, {"2.5", 2},    {"3.5", 4},
            {"12ab", -1}, {"", -1},   {"40000", -1}, {"99999999999999999999", -1}};
        for (const auto& [value, expected] : rows)
            QVERIFY2(iniWith("[Jpeg]\nValue=" + QByteArray(value)).ReadInt("jpeg", "value", -1) ==
                         expected,
                     value);
    }

    // A write's file before (null: none) and after (null: refused, the file
    // unchanged); what was written reads back in other letter case.
    void writes()
    {
        const QByteArray two = "; note\r\n[Position]\r\nTop=1\r\n\r\n[Folder]\r\nSource=/a\r\n";
        const QByteArray old = "[A]\r\nk=old\r\n";
        const QString odd = "/home/ユーザー/a;b [c] =d";
        const std::tuple<const char*, QByteArray, QString, QString, QString, QByteArray> rows[] = {
            {"creates the file", {}, "F", "S", odd, "[F]\r\nS=" + odd.toUtf8() + "\r\n"},
            {"other letter case replaces in place", two, "POSITION", "top", "300",
             QByteArray(two).replace("Top=1", "Top=300")},
            {"key appended at the end of its section, before blank lines", two, "position", "Left",
             "2", QByteArray(two).replace("=1\r\n", "=1\r\nLeft=2\r\n")},
            {"new section; LF file rewritten with CR LF", "[A]\nx=1", "B", "y", "2",
             "[A]\r\nx=1\r\n[B]\r\ny=2\r\n"},
            {"line feed in value", old, "A", "k", "one\ntwo=3", {}},
            {"NUL in value", old, "A", "k", QString::fromUtf16(u"a\0b", 3), {}},
        };
        for (const auto& [name, before, section, key, value, after] : rows) {
            inifile_IO ini = iniWith(before);
            QVERIFY2(ini.WriteStr(section, key, value) == !after.isNull(), name);
            QVERIFY2(readAll(ini.FileName()) == (after.isNull() ? before : after), name);
            QVERIFY2(after.isNull() || ini.ReadStr(section.toLower(), key.toUpper(), {}) == value,
                     name);
        }
    }

    // Writes between beginBatch and commitBatch follow WriteStr's rules, are
    // seen by reads at once and reach the file in one write: the same bytes
    // as the single writes, nested batches written by the outermost commit.
    // A file that cannot be written (its folder is missing) takes none.
    void batchWritesOnce()
    {
        const QByteArray before = "[Position]\r\nTop=1\r\n[Start]\nFormHide=False\n";
        inifile_IO single = iniWith(before), batched = iniWith(before),
                   missing = iniWith({}, "nowhere/quilton.ini");
        const QList<std::array<QString, 3>> writes{{"Position", "top", "15"},
                                                   {"Kouka", "Junjo", "543210"},
                                                   {"Folder", "Save", "a\nb"},
                                                   {"START", "FormHide", "True"}};
        for (inifile_IO* ini : {&batched, &batched, &missing})
            ini->beginBatch();
        for (const auto& [section, key, value] : writes) {
            const bool written = single.WriteStr(section, key, value);
            QCOMPARE(batched.WriteStr(section, key, value), written);
            QCOMPARE(missing.WriteStr(section, key, value), written);
            QCOMPARE(batched.ReadStr(section, key, {}), single.ReadStr(section, key, {}));
        }
        QVERIFY(batched.commitBatch());
        QCOMPARE(readAll(batched.FileName()), before);
        QVERIFY(batched.commitBatch());
        QCOMPARE(readAll(batched.FileName()), readAll(single.FileName()));
        QVERIFY(!missing.commitBatch());
        QVERIFY(!QFileInfo::exists(m_dir.filePath("nowhere")));
    }

    // A writer killed at any moment of a shut-down leaves one shut-down's
    // settings, never some keys of each: all 40 keys hold the same round.
    // Replacing a file needs a name to rename from, so a kill in that instant
    // leaves the writer's hidden file, which the next program's first write
    // into the folder removes.
    void killedWriterLeavesOneWholeShutDown()
    {
        const QString folder = m_dir.filePath("killed"), path = folder + "/quilton.ini";
        QVERIFY(QDir().mkpath(folder));
        const auto shutDown = [&](int round) {
            inifile_IO ini = iniWith({}, "killed/quilton.ini");
            ini.beginBatch();
            for (int k = 0; k < 40; ++k)
                ini.WriteStr(u"S%1"_s.arg(k % 5), u"k%1"_s.arg(k), QString::number(round));
            return ini.commitBatch();
        };
        QVERIFY(shutDown(0));
        for (int run = 0; run < 12; ++run) {
            const pid_t child = fork();
            if (child == 0) {
                for (int round = 1;; ++round)
                    shutDown(round);
            }
            QVERIFY(child > 0);
            usleep(useconds_t(2000 + 3000 * run));
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            const QString round = iniWith({}, "killed/quilton.ini").ReadStr("S0", "k0", {});
            QCOMPARE(QString(readAll(path)).count('=' + round + "\r\n"), 40);
            AtomicFile::removeLeftovers(folder, true); // what the next start's write does
            QCOMPARE(testfiles::folderEntries(folder), QStringList{"quilton.ini"});
        }
    }
};

QUILTON_TEST_MAIN(tst_inifile)
#include "tst_inifile.moc"
