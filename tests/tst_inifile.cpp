#include "TestEnv.h"

#include "app/inifile_IO.h"
#include "support/TestInstall.h"
#include "support/support_h1_files.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using support_h1::folderEntries;
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
    static QString str(const inifile_IO& ini, const QString& section, const QString& key)
    {
        return ini.ReadStr(section, key, u"def"_s);
    }

private slots:
    void readRules_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QByteArray& contents, const char* section,
                            const char* key, const char* expected) {
            QTest::newRow(name) << contents << QString::fromUtf8(section) << QString::fromUtf8(key)
                                << QString::fromUtf8(expected);
        };
        const QByteArray basic = "[Position]\r\nTop=120\r\nLeft=45\r\n[Folder]\r\nSave=/tmp/x\r\n";
        row("plain", basic, "Position", "Left", "45");
        row("letter case and blanks of the names ignored", basic, " pOSITION ", "\tlEFT", "45");
        row("missing key", basic, "Position", "Right", "def");
        row("missing section", basic, "Jpeg", "Value", "def");
        row("key of another section", basic, "Folder", "Top", "def");
        row("no file", QByteArray(), "Position", "Top", "def");
        row("empty value gives default", "[Start]\nScreenCap=\n", "Start", "ScreenCap", "def");
        row("blanks around dropped, inside kept", "[F]\r\n \tS \t= /a b/c  \r\n", "F", "S",
            "/a b/c");
        row("LF, no final line break", "[Jpeg]\nValue=75", "Jpeg", "Value", "75");
        row("first of two keys wins", "[A]\nk=1\nK=2\n", "A", "k", "1");
        row("later copy of a section not searched", "[A]\nk=1\n[B]\n[a]\nj=3\n", "A", "j", "def");
        row("section header with blanks", "  [ Kouka ]  \r\nJunjo=012\r\n", "Kouka", "Junjo",
            "012");
        row("comment, no equals, before a section: ignored", "k=0\n[A]\n;k=1\nk\nk=2", "A", "k",
            "2");
        row("value holding an equals sign", "[A]\nk=a=b\n", "A", "k", "a=b");
        row("UTF-8 byte order mark", "\xEF\xBB\xBF[A]\nk=1\n", "A", "k", "1");
        row("Japanese", "[Folder]\nSave=/home/u/画像\n", "Folder", "Save", "/home/u/画像");
        row("value cut at NUL", QByteArray("[A]\nk=ab\0cd\n", 12), "A", "k", "ab");
        // Garbage: binary bytes, then 10 MB of sections with the wanted key
        // at the very end, then a 10 MB line without any line break.
        QByteArray binary(200000, '\0'), big;
        QRandomGenerator(1234).fillRange(reinterpret_cast<quint32*>(binary.data()), 50000);
        row("binary bytes", binary, "A", "k", "def");
        for (int i = 0; big.size() < 10 * 1024 * 1024; ++i)
            big += "[S" + QByteArray::number(i) + "]\nkey=value value value value\n";
        row("10 MB file", big + "[Last]\nk=found", "last", "K", "found");
        row("10 MB line", QByteArray(10 * 1024 * 1024, 'z') + "\n[A]\nk=1\n", "A", "k", "1");
    }
    void readRules()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(str(iniWith(contents), section, key), expected);
    }

    void longValueIsCutTo1023Bytes()
    {
        const QByteArray ascii(1500, 'v');
        QCOMPARE(str(iniWith("[A]\r\nk=" + ascii + "\r\n"), u"A"_s, u"k"_s).toUtf8(),
                 ascii.left(1023));
        // 1 + 500 x 3 bytes: the character cut at byte 1023 is dropped whole.
        const QString japanese = u"a"_s + QString(500, QChar(0x3042));
        QCOMPARE(str(iniWith("[A]\nk=" + japanese.toUtf8() + "\n"), u"A"_s, u"k"_s),
                 japanese.left(341));
    }

    void readInt_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("expected");
        // clang-format off
        const QList<std::pair<const char*, int>> rows{
            {" 7 ", 7}, {"-3", -3}, {"+12", 12}, {"2.5", 2}, {"3.5", 4}, {"-2.5", -2}, {"2.51", 3},
            {"7.", 7}, {".5", 0}, {"-32768", -32768}, {"12ab", -1}, {"", -1}, {"40000", -1},
            {"32767.5", -1}, {"99999999999999999999", -1}, {"1.2.3", -1}, {"1 2", -1}, {"-", -1}};
        // clang-format on
        for (const auto& [value, expected] : rows)
            QTest::newRow(*value ? value : "empty") << QByteArray(value) << expected;
    }
    void readInt()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, expected);
        QCOMPARE(
            int(iniWith("[Jpeg]\r\nValue=" + value + "\r\n").ReadInt(u"jpeg"_s, u"value"_s, -1)),
            expected);
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
        row("creates the file", {}, "Jpeg", "Value", "5", "[Jpeg]\r\nValue=5\r\n");
        row("other letter case replaces in place", two, "POSITION", "top", "300",
            QByteArray(two).replace("Top=1", "Top=300"));
        row("key appended at the end of its section, before blank lines", two, "position", "Left",
            "2", QByteArray(two).replace("Top=1\r\n", "Top=1\r\nLeft=2\r\n"));
        row("into the first of duplicate sections", "[A]\r\nx=1\r\n[A]\r\nw=1\r\n", "a", "w", "2",
            "[A]\r\nx=1\r\nw=2\r\n[A]\r\nw=1\r\n");
        row("new section; LF file rewritten with CR LF", "[A]\nx=1", "B", "y", "2",
            "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
        row("Japanese and odd characters", {}, "F", "S", odd,
            QByteArray("[F]\r\nS=" + odd.toUtf8() + "\r\n"));
        row("1023 bytes", {}, "A", "k", QString(1023, u'q'),
            QByteArray("[A]\r\nk=" + QByteArray(1023, 'q') + "\r\n"));
        const QByteArray old = "[A]\r\nk=old\r\n";
        row("line feed in value", old, "A", "k", "one\ntwo=3", {});
        row("NUL in value", old, "A", "k", QString::fromUtf16(u"a\0b", 3), {});
        row("line feed in section", old, "A]\n[B", "k", "v", {});
        row("empty section", old, " ", "k", "v", {});
        row("equals sign in key", old, "A", "k=x", "v", {});
        row("key read as a comment", old, "A", ";k", "v", {});
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
            QCOMPARE(str(ini, section.toLower(), key.toUpper()), value);
    }

    void writesThatCannotHappenCreateNothing()
    {
        inifile_IO ini;
        QVERIFY(!ini.WriteStr(u"A"_s, u"k"_s, u"v"_s)); // no file name
        ini.setFileName(m_dir.filePath(u"missing/quilton.ini"_s));
        QVERIFY(!ini.WriteStr(u"A"_s, u"k"_s, u"v"_s));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(u"missing"_s)));
        // A folder and a pipe: reading neither blocks nor fails loudly, and
        // writing refuses instead of replacing them.
        const QString pipe = m_dir.filePath(u"pipe.ini"_s);
        QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        for (const QString& path : {m_dir.path(), pipe}) {
            ini.setFileName(path);
            QCOMPARE(str(ini, u"A"_s, u"k"_s), u"def"_s);
            QVERIFY(!ini.WriteStr(u"A"_s, u"k"_s, u"v"_s));
        }
        QVERIFY(QFileInfo(pipe).exists() && !QFileInfo(pipe).isFile());
    }

    void failedWriteLeavesNoHalfFile()
    {
        QTemporaryDir folder;
        const QByteArray before = "[Position]\r\nTop=1\r\n";
        inifile_IO ini;
        ini.setFileName(folder.filePath(u"quilton.ini"_s));
        writeBytes(ini.FileName(), before);
        {
            support_h1::FileSizeLimit limit(4096); // a full disc
            QVERIFY(!ini.WriteStr(u"Position"_s, u"Left"_s, QString(20000, u'w')));
        }
        QCOMPARE(readAll(ini.FileName()), before);
        QCOMPARE(folderEntries(folder.path()), QStringList{u"quilton.ini"_s});
        if (geteuid() != 0) { // the superuser may write anywhere
            QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            QVERIFY(!ini.WriteStr(u"Position"_s, u"Top"_s, u"2"_s));
            QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                     QFileDevice::ExeOwner);
            QCOMPARE(readAll(ini.FileName()), before);
        }
    }
};

QUILTON_TEST_MAIN(tst_inifile)
#include "tst_inifile.moc"
