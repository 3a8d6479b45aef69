#include "TestEnv.h"

#include "app/inifile_IO.h"
#include "platform/AtomicFile.h"
#include "support/FileFixtures.h"
#include "support/TestInstall.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using testsupport::readAll;
using testsupport::writeBytes;

class tst_inifile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_counter = 0;

    // A settings file in a fresh path holding contents; no file for a null array.
    inifile_IO iniWith(const QByteArray& contents)
    {
        inifile_IO ini;
        ini.setFileName(m_dir.filePath(u"s%1.ini"_s.arg(++m_counter)));
        if (!contents.isNull())
            writeBytes(ini.FileName(), contents);
        return ini;
    }

private slots:
    void readRules_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QByteArray& contents, const char* section,
                            const char* key, const QString& expected) {
            QTest::newRow(name) << contents << section << key << expected;
        };
        const QByteArray basic = "[Position]\r\nTop=120\r\nLeft=45\r\n[Folder]\r\nSave=/tmp/x\r\n";
        row("letter case and blanks of the names ignored", basic, " pOSITION ", "\tlEFT", "45");
        row("key of another section", basic, "Folder", "Top", "def");
        row("no file", QByteArray(), "Position", "Top", "def");
        row("empty value gives default", "[Start]\nScreenCap=\n", "Start", "ScreenCap", "def");
        row("blanks around dropped, inside kept", "[F]\r\n \tS \t= /a b/c=d  \r\n", "F", "S",
            "/a b/c=d");
        row("LF, no final line break", "[Jpeg]\nValue=75", "Jpeg", "Value", "75");
        row("first of two keys wins", "[A]\nk=1\nK=2\n", "A", "k", "1");
        row("duplicate section not searched", "[A]\nk=1\n[B]\n[a]\nj=3\n", "A", "j", "def");
        row("comment, no equals, before a section: ignored", "k=0\n[A]\n;k=1\nk\nk=2", "A", "k",
            "2");
        // Garbage: binary bytes, then 10 MB of sections with the wanted key
        // at the very end, then a 10 MB line without any line break.
        QByteArray binary(200000, '\0'), big;
        QRandomGenerator(1234).fillRange(reinterpret_cast<quint32*>(binary.data()), 50000);
        row("binary bytes", binary, "A", "k", "def");
        for (int i = 0; big.size() < 10 * 1024 * 1024; ++i)
            big += "[S" + QByteArray::number(i) + "]\nkey=value value value value\n";
        row("10 MB file", big + "[Last]\nk=found", "last", "K", "found");
        row("10 MB line", QByteArray(10 * 1024 * 1024, 'z') + "\n[A]\nk=1\n", "A", "k", "1");
        // Values are cut to 1023 bytes; 1 + 500 x 3 bytes: the character cut
        // at byte 1023 is dropped whole.
        row("long value cut", "[A]\r\nk=" + QByteArray(1500, 'v') + "\r\n", "A", "k",
            QString(1023, u'v'));
        const QString japanese = u"a"_s + QString(500, QChar(0x3042));
        row("long value cut before a character", "[A]\nk=" + japanese.toUtf8() + "\n", "A", "k",
            japanese.left(341));
    }
    void readRules()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(iniWith(contents).ReadStr(section, key, u"def"_s), expected);
    }

    void readInt()
    {
        const QList<std::pair<const char*, qint16>> rows{
            {" 7 ", 7},   {"-3", -3}, {"2.5", 2},    {"3.5", 4},
            {"12ab", -1}, {"", -1},   {"40000", -1}, {"99999999999999999999", -1}};
        for (const auto& [value, expected] : rows) {
            const inifile_IO ini = iniWith("[Jpeg]\nValue=" + QByteArray(value) + "\n");
            QVERIFY2(ini.ReadInt(u"jpeg"_s, u"value"_s, -1) == expected, value);
        }
    }

    void writes_data()
    {
        QTest::addColumn<QByteArray>("before"); // null: no file yet
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after"); // null: refused, file unchanged
        const auto row = [](const char* name, const QByteArray& before, const char* section,
                            const char* key, const QString& value, const QByteArray& after) {
            QTest::newRow(name) << before << section << key << value << after;
        };
        const QByteArray two = "; note\r\n[Position]\r\nTop=1\r\n\r\n[Folder]\r\nSource=/a\r\n";
        const QString odd = "/home/ユーザー/a;b [c] =d";
        row("creates the file", {}, "F", "S", odd, QByteArray("[F]\r\nS=" + odd.toUtf8() + "\r\n"));
        row("other letter case replaces in place", two, "POSITION", "top", "300",
            QByteArray(two).replace("Top=1", "Top=300"));
        row("key appended at the end of its section, before blank lines", two, "position", "Left",
            "2", QByteArray(two).replace("Top=1\r\n", "Top=1\r\nLeft=2\r\n"));
        row("new section; LF file rewritten with CR LF", "[A]\nx=1", "B", "y", "2",
            "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
        const QByteArray old = "[A]\r\nk=old\r\n";
        row("line feed in value", old, "A", "k", "one\ntwo=3", {});
        row("NUL in value", old, "A", "k", QString::fromUtf16(u"a\0b", 3), {});
    }
    void writes()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        inifile_IO ini = iniWith(before);
        QCOMPARE(ini.WriteStr(section, key, value), !after.isNull());
        QCOMPARE(readAll(ini.FileName()), after.isNull() ? before : after);
        if (!after.isNull()) // read back in other letter case
            QCOMPARE(ini.ReadStr(section.toLower(), key.toUpper(), {}), value);
    }

    void failedWritesLeaveNoFile()
    {
        inifile_IO ini = iniWith("[Position]\r\nTop=1\r\n");
        const QStringList before = testfiles::folderEntries(m_dir.path());
        {
            testfiles::FileSizeLimit limit(4096); // a full disc
            QVERIFY(!ini.WriteStr(u"Position"_s, u"Left"_s, QString(20000, u'w')));
        }
        QCOMPARE(readAll(ini.FileName()), "[Position]\r\nTop=1\r\n"_ba);
        QCOMPARE(testfiles::folderEntries(m_dir.path()), before);
        ini.setFileName(m_dir.filePath(u"missing/quilton.ini"_s));
        QVERIFY(!ini.WriteStr(u"A"_s, u"k"_s, u"v"_s));
        QCOMPARE(testfiles::folderEntries(m_dir.path()), before);
    }

    // Writes between beginBatch and commitBatch follow WriteStr's rules, are
    // seen by reads at once and reach the file in one write: the same bytes
    // as the single writes, nested batches written by the outermost commit.
    void batchWritesOnce()
    {
        const QByteArray before = "[Position]\r\nTop=1\r\n[Start]\nFormHide=False\n";
        inifile_IO single = iniWith(before), batched = iniWith(before);
        const QList<std::array<QString, 3>> writes{{u"Position"_s, u"top"_s, u"15"_s},
                                                   {u"Kouka"_s, u"Junjo"_s, u"543210"_s},
                                                   {u"Folder"_s, u"Save"_s, u"a\nb"_s},
                                                   {u"START"_s, u"FormHide"_s, u"True"_s}};
        batched.beginBatch();
        batched.beginBatch();
        for (const auto& [section, key, value] : writes) {
            QCOMPARE(batched.WriteStr(section, key, value), single.WriteStr(section, key, value));
            QCOMPARE(batched.ReadStr(section, key, u"def"_s),
                     single.ReadStr(section, key, u"def"_s));
        }
        QVERIFY(batched.commitBatch());
        QCOMPARE(readAll(batched.FileName()), before);
        QVERIFY(batched.commitBatch());
        QCOMPARE(readAll(batched.FileName()), readAll(single.FileName()));
        QVERIFY(!batched.commitBatch()); // no batch open

        // A file that cannot be written takes none of the batch.
        inifile_IO missing;
        missing.setFileName(m_dir.filePath(u"nowhere/quilton.ini"_s));
        missing.beginBatch();
        QVERIFY(missing.WriteStr(u"A"_s, u"k"_s, u"v"_s));
        QVERIFY(!missing.commitBatch());
        QVERIFY(!QFileInfo::exists(m_dir.filePath(u"nowhere"_s)));
    }

    // A writer killed at any moment of a shut-down leaves one shut-down's
    // settings, never some keys of each. Replacing a file needs a name to
    // rename from, so a kill in that instant leaves the writer's hidden file,
    // which the next program's first write into the folder removes.
    void killedWriterLeavesOneWholeShutDown()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"quilton.ini"_s);
        constexpr int kKeys = 40;
        const auto shutDown = [&](int round) {
            inifile_IO ini;
            ini.setFileName(path);
            ini.beginBatch();
            for (int k = 0; k < kKeys; ++k)
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

            inifile_IO ini;
            ini.setFileName(path);
            const QString first = ini.ReadStr(u"S0"_s, u"k0"_s, {});
            for (int k = 0; k < kKeys; ++k)
                QCOMPARE(ini.ReadStr(u"S%1"_s.arg(k % 5), u"k%1"_s.arg(k), {}), first);
            QStringList entries = testfiles::folderEntries(dir.path());
            entries.removeOne(u"quilton.ini"_s);
            QVERIFY2(entries.isEmpty() ||
                         (entries.size() == 1 &&
                          entries.first().startsWith(u".quilton-%1-"_s.arg(child))),
                     qPrintable(entries.join(u' ')));
            AtomicFile::removeLeftovers(dir.path(), true); // what the next start's write does
            QCOMPARE(testfiles::folderEntries(dir.path()), QStringList{u"quilton.ini"_s});
        }
    }
};

QUILTON_TEST_MAIN(tst_inifile)
#include "tst_inifile.moc"
