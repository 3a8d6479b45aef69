#include "TestEnv.h"

#include "app/inifile_IO.h"
#include "platform/Paths.h"
#include "platform/RegistryStore.h"
#include "support/support_h1_files.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using support_h1::folderEntries;
using support_h1::readFile;
using support_h1::writeFile;

class tst_inifile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_counter = 0;

    // A fresh settings file path (not yet created) in the test folder.
    QString freshPath() { return m_dir.filePath(QStringLiteral("s%1.ini").arg(++m_counter)); }

    inifile_IO iniAt(const QString& path)
    {
        inifile_IO ini;
        ini.setFileName(path);
        return ini;
    }

    inifile_IO iniWith(const QByteArray& contents)
    {
        const QString path = freshPath();
        writeFile(path, contents);
        return iniAt(path);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void fileNameStartsEmpty() { QCOMPARE(inifile_IO().FileName(), QString()); }

    void readRules_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        const QByteArray basic = "[Position]\r\nTop=120\r\nLeft=45\r\n[Folder]\r\nSave=/tmp/x\r\n";
        QTest::newRow("plain") << basic << "Position"
                               << "Left"
                               << "45";
        QTest::newRow("section and key ignore letter case") << basic << "pOSITION"
                                                            << "lEFT"
                                                            << "45";
        QTest::newRow("missing key gives default") << basic << "Position"
                                                   << "Right"
                                                   << "def";
        QTest::newRow("missing section gives default") << basic << "Jpeg"
                                                       << "Value"
                                                       << "def";
        QTest::newRow("key of another section is not found") << basic << "Folder"
                                                             << "Top"
                                                             << "def";
        QTest::newRow("nothing after equals gives default")
            << QByteArray("[Start]\nScreenCap=\n") << "Start"
            << "ScreenCap"
            << "def";
        QTest::newRow("blanks around key and value dropped")
            << QByteArray("[Start]\r\n  \tClickOpen \t=  True  \r\n") << "Start"
            << "ClickOpen"
            << "True";
        QTest::newRow("blanks inside a value kept")
            << QByteArray("[Folder]\nSource= /home/a b/c \n") << "Folder"
            << "Source"
            << "/home/a b/c";
        QTest::newRow("LF line ends") << QByteArray("[Jpeg]\nValue=75\n") << "Jpeg"
                                      << "Value"
                                      << "75";
        QTest::newRow("no final line break") << QByteArray("[Jpeg]\r\nValue=75") << "Jpeg"
                                             << "Value"
                                             << "75";
        QTest::newRow("first of two keys wins") << QByteArray("[A]\nk=1\nK=2\n") << "A"
                                                << "k"
                                                << "1";
        QTest::newRow("duplicate section: first wins")
            << QByteArray("[A]\nk=1\n[B]\nx=0\n[a]\nk=2\nonly=3\n") << "A"
            << "k"
            << "1";
        QTest::newRow("duplicate section: later copy is not searched")
            << QByteArray("[A]\nk=1\n[a]\nonly=3\n") << "A"
            << "only"
            << "def";
        QTest::newRow("section header with blanks")
            << QByteArray("  [ Kouka ]  \r\nJunjo=012345\r\n") << "Kouka"
            << "Junjo"
            << "012345";
        QTest::newRow("comment line ignored") << QByteArray("[A]\n;k=1\nk=2\n") << "A"
                                              << "k"
                                              << "2";
        QTest::newRow("line without equals ignored") << QByteArray("[A]\nk\nk=2\n") << "A"
                                                     << "k"
                                                     << "2";
        QTest::newRow("key before any section ignored") << QByteArray("k=0\n[A]\nk=2\n") << "A"
                                                        << "k"
                                                        << "2";
        QTest::newRow("value holding an equals sign") << QByteArray("[A]\nk=a=b\n") << "A"
                                                      << "k"
                                                      << "a=b";
        QTest::newRow("UTF-8 byte order mark") << QByteArray("\xEF\xBB\xBF[A]\nk=1\n") << "A"
                                               << "k"
                                               << "1";
        QTest::newRow("Japanese folder") << QByteArray("[Folder]\nSave=/home/u/画像\n") << "Folder"
                                         << "Save"
                                         << "/home/u/画像";
        QTest::newRow("value cut at NUL") << QByteArray("[A]\nk=ab\0cd\n", 12) << "A"
                                          << "k"
                                          << "ab";
        QTest::newRow("blank caller names match") << basic << " Position "
                                                  << "\tTop"
                                                  << "120";
    }
    void readRules()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(iniWith(contents).ReadStr(section, key, QStringLiteral("def")), expected);
    }

    void readOfMissingFileGivesDefault()
    {
        const inifile_IO ini = iniAt(m_dir.filePath(QStringLiteral("none.ini")));
        QCOMPARE(ini.ReadStr(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("d")),
                 QStringLiteral("d"));
        QCOMPARE(ini.ReadInt(QStringLiteral("A"), QStringLiteral("k"), 9), qint16(9));
        QCOMPARE(
            inifile_IO().ReadStr(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("d")),
            QStringLiteral("d"));
    }

    void longValueIsCutTo1023Bytes()
    {
        const QByteArray ascii(1500, 'v');
        inifile_IO ini = iniWith("[A]\r\nk=" + ascii + "\r\n");
        QCOMPARE(ini.ReadStr(QStringLiteral("A"), QStringLiteral("k"), QString()).toUtf8(),
                 ascii.left(1023));

        // 1 + 500 x 3 bytes: the cut at 1023 falls inside a character, which
        // is dropped whole rather than turned into garbage.
        const QString japanese = QStringLiteral("a") + QString(500, QChar(0x3042));
        ini = iniWith("[A]\nk=" + japanese.toUtf8() + "\n");
        QCOMPARE(ini.ReadStr(QStringLiteral("A"), QStringLiteral("k"), QString()),
                 QStringLiteral("a") + QString(340, QChar(0x3042)));
    }

    void readInt_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("blanks around 7") << QByteArray(" 7 ") << 7;
        QTest::newRow("-3") << QByteArray("-3") << -3;
        QTest::newRow("+12") << QByteArray("+12") << 12;
        QTest::newRow("2.5 ties to even") << QByteArray("2.5") << 2;
        QTest::newRow("3.5 ties to even") << QByteArray("3.5") << 4;
        QTest::newRow("-2.5 ties to even") << QByteArray("-2.5") << -2;
        QTest::newRow("2.51 rounds up") << QByteArray("2.51") << 3;
        QTest::newRow("2.4999 rounds down") << QByteArray("2.4999") << 2;
        QTest::newRow("7. is 7") << QByteArray("7.") << 7;
        QTest::newRow(".5 is 0") << QByteArray(".5") << 0;
        QTest::newRow("leading zeros") << QByteArray("0007") << 7;
        QTest::newRow("largest") << QByteArray("32767") << 32767;
        QTest::newRow("smallest") << QByteArray("-32768") << -32768;
        QTest::newRow("-32768.5 rounds into range") << QByteArray("-32768.5") << -32768;
        QTest::newRow("digits then letters") << QByteArray("12ab") << -1;
        QTest::newRow("empty") << QByteArray("") << -1;
        QTest::newRow("40000 out of range") << QByteArray("40000") << -1;
        QTest::newRow("32767.5 rounds out of range") << QByteArray("32767.5") << -1;
        QTest::newRow("many digits") << QByteArray("99999999999999999999999") << -1;
        QTest::newRow("sign alone") << QByteArray("-") << -1;
        QTest::newRow("dot alone") << QByteArray(".") << -1;
        QTest::newRow("two dots") << QByteArray("1.2.3") << -1;
        QTest::newRow("blank inside") << QByteArray("1 2") << -1;
        QTest::newRow("word") << QByteArray("True") << -1;
    }
    void readInt()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, expected);
        const inifile_IO ini = iniWith("[Jpeg]\r\nValue=" + value + "\r\n");
        QCOMPARE(int(ini.ReadInt(QStringLiteral("Jpeg"), QStringLiteral("Value"), -1)), expected);
    }

    void writeCreatesFileWithCrLf()
    {
        const QString path = freshPath();
        inifile_IO ini = iniAt(path);
        QVERIFY(
            ini.WriteStr(QStringLiteral("Jpeg"), QStringLiteral("Value"), QStringLiteral("50")));
        QVERIFY(ini.WriteStr(QStringLiteral("Start"), QStringLiteral("ScreenCap"),
                             QStringLiteral("True")));
        QVERIFY(ini.WriteStr(QStringLiteral("jpeg"), QStringLiteral("Other"), QStringLiteral("1")));
        QCOMPARE(readFile(path),
                 QByteArray("[Jpeg]\r\nValue=50\r\nOther=1\r\n[Start]\r\nScreenCap=True\r\n"));
    }

    void writeWithOtherLetterCaseReplacesInPlace()
    {
        const QByteArray before = "; kept comment\r\n[Position]\r\nTop=1\r\nLeft=2\r\n"
                                  "\r\n[Folder]\r\nSource=/a\r\n";
        const QString path = freshPath();
        writeFile(path, before);
        inifile_IO ini = iniAt(path);
        QVERIFY(
            ini.WriteStr(QStringLiteral("POSITION"), QStringLiteral("top"), QStringLiteral("300")));
        QCOMPARE(ini.ReadStr(QStringLiteral("position"), QStringLiteral("TOP"), QString()),
                 QStringLiteral("300"));
        // Only that line changes; the key keeps its spelling in the file.
        QByteArray expected = before;
        expected.replace("Top=1", "Top=300");
        QCOMPARE(readFile(path), expected);
    }

    void writeAppendsKeyAtEndOfItsSection()
    {
        const QString path = freshPath();
        writeFile(path, "[A]\r\nx=1\r\n\r\n\r\n[B]\r\ny=2\r\n");
        QVERIFY(
            iniAt(path).WriteStr(QStringLiteral("a"), QStringLiteral("z"), QStringLiteral("3")));
        QCOMPARE(readFile(path), QByteArray("[A]\r\nx=1\r\nz=3\r\n\r\n\r\n[B]\r\ny=2\r\n"));

        // Into the first of duplicate sections, which is the one read.
        writeFile(path, "[A]\r\nx=1\r\n[A]\r\nw=1\r\n");
        inifile_IO ini = iniAt(path);
        QVERIFY(ini.WriteStr(QStringLiteral("A"), QStringLiteral("w"), QStringLiteral("2")));
        QCOMPARE(readFile(path), QByteArray("[A]\r\nx=1\r\nw=2\r\n[A]\r\nw=1\r\n"));
        QCOMPARE(ini.ReadStr(QStringLiteral("A"), QStringLiteral("w"), QString()),
                 QStringLiteral("2"));
    }

    void writeAppendsNewSectionAndEndsLinesWithCrLf()
    {
        const QString path = freshPath();
        writeFile(path, "[A]\nx=1"); // LF, no final line break
        QVERIFY(
            iniAt(path).WriteStr(QStringLiteral("B"), QStringLiteral("y"), QStringLiteral("2")));
        QCOMPARE(readFile(path), QByteArray("[A]\r\nx=1\r\n[B]\r\ny=2\r\n"));
    }

    void writeReadRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("Japanese path") << QStringLiteral("/home/ユーザー/画像/タイル");
        QTest::newRow("semicolon and brackets") << QStringLiteral("a;b [c] =d");
        QTest::newRow("1023 bytes") << QString(1023, QLatin1Char('q'));
    }
    void writeReadRoundTrip()
    {
        QFETCH(QString, value);
        inifile_IO ini = iniAt(freshPath());
        QVERIFY(ini.WriteStr(QStringLiteral("Folder"), QStringLiteral("Save"), value));
        QCOMPARE(ini.ReadStr(QStringLiteral("FOLDER"), QStringLiteral("save"), QString()), value);
        // A second program instance reads the same.
        QCOMPARE(iniAt(ini.FileName())
                     .ReadStr(QStringLiteral("folder"), QStringLiteral("SAVE"), QString()),
                 value);
    }

    void writeIntoMissingFolderCreatesNothing()
    {
        const QString folder = m_dir.filePath(QStringLiteral("missing"));
        inifile_IO ini = iniAt(folder + QStringLiteral("/quilton.ini"));
        QVERIFY(!ini.WriteStr(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("v")));
        QVERIFY(!QFileInfo::exists(folder));
        QVERIFY(
            !inifile_IO().WriteStr(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("v")));
    }

    void writeRefusesWhatCannotBeReadBack_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("line feed in value") << "A"
                                            << "k"
                                            << "one\ntwo=3";
        QTest::newRow("carriage return in value") << "A"
                                                  << "k"
                                                  << "one\rtwo";
        QTest::newRow("NUL in value") << "A"
                                      << "k" << QString(QStringLiteral("ab") + QChar(0) + "c");
        QTest::newRow("line feed in section") << "A]\n[B"
                                              << "k"
                                              << "v";
        QTest::newRow("line feed in key") << "A"
                                          << "k\nx"
                                          << "v";
        QTest::newRow("empty section") << " "
                                       << "k"
                                       << "v";
        QTest::newRow("empty key") << "A"
                                   << ""
                                   << "v";
        QTest::newRow("equals sign in key") << "A"
                                            << "k=x"
                                            << "v";
        QTest::newRow("key read as a comment") << "A"
                                               << ";k"
                                               << "v";
    }
    void writeRefusesWhatCannotBeReadBack()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QByteArray before = "[A]\r\nk=old\r\n";
        const QString path = freshPath();
        writeFile(path, before);
        QVERIFY(!iniAt(path).WriteStr(section, key, value));
        QCOMPARE(readFile(path), before);
    }

    void garbageFilesReadWithoutCrash()
    {
        QRandomGenerator random(1234);
        QByteArray binary(200000, '\0');
        for (char& byte : binary)
            byte = static_cast<char>(random.bounded(256));
        inifile_IO ini = iniWith(binary);
        QCOMPARE(ini.ReadStr(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("d")),
                 QStringLiteral("d"));
        QCOMPARE(ini.ReadInt(QStringLiteral("A"), QStringLiteral("k"), 5), qint16(5));
        QVERIFY(ini.WriteStr(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("7")));
        QCOMPARE(ini.ReadInt(QStringLiteral("A"), QStringLiteral("k"), 5), qint16(7));

        // 10 MB of sections, the wanted key at the very end.
        QByteArray big;
        big.reserve(10 * 1024 * 1024 + 64);
        for (int i = 0; big.size() < 10 * 1024 * 1024; ++i)
            big += "[S" + QByteArray::number(i) + "]\nkey=value value value value\n";
        big += "[Last]\nk=found";
        ini = iniWith(big);
        QCOMPARE(ini.ReadStr(QStringLiteral("last"), QStringLiteral("K"), QString()),
                 QStringLiteral("found"));
        QVERIFY(ini.WriteStr(QStringLiteral("Last"), QStringLiteral("k2"), QStringLiteral("x")));
        QCOMPARE(ini.ReadStr(QStringLiteral("last"), QStringLiteral("K2"), QString()),
                 QStringLiteral("x"));

        // One 10 MB line without any line break, then a real section.
        ini = iniWith(QByteArray(10 * 1024 * 1024, 'z') + "\n[A]\nk=1\n");
        QCOMPARE(ini.ReadStr(QStringLiteral("A"), QStringLiteral("k"), QString()),
                 QStringLiteral("1"));
    }

    void settingsPathThatIsNoFileGivesDefaults()
    {
        // A folder and a pipe: reading must neither block nor fail loudly,
        // writing must refuse instead of replacing them.
        const QString folder = m_dir.filePath(QStringLiteral("folder.ini"));
        QVERIFY(QDir().mkpath(folder));
        const QString pipe = m_dir.filePath(QStringLiteral("pipe.ini"));
        QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        for (const QString& path : {folder, pipe}) {
            inifile_IO ini = iniAt(path);
            QCOMPARE(ini.ReadStr(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("d")),
                     QStringLiteral("d"));
            QVERIFY(!ini.WriteStr(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("v")));
        }
        QVERIFY(QFileInfo(folder).isDir());
        QVERIFY(QFileInfo(pipe).exists() && !QFileInfo(pipe).isFile());
    }

    void failedWriteLeavesNoHalfFile()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("quilton.ini"));
        const QByteArray before = "[Position]\r\nTop=1\r\n";
        writeFile(path, before);
        inifile_IO ini = iniAt(path);
        {
            // A full disc: nothing past 4 KiB can be written.
            support_h1::FileSizeLimit limit(4096);
            QVERIFY(!ini.WriteStr(QStringLiteral("Position"), QStringLiteral("Left"),
                                  QString(20000, QLatin1Char('w'))));
        }
        QCOMPARE(readFile(path), before);
        QCOMPARE(folderEntries(folder.path()), QStringList{QStringLiteral("quilton.ini")});

        if (geteuid() != 0) { // the superuser may write anywhere
            QVERIFY(QFile::setPermissions(folder.path(),
                                          QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            QVERIFY(!ini.WriteStr(QStringLiteral("Position"), QStringLiteral("Top"),
                                  QStringLiteral("2")));
            QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                     QFileDevice::ExeOwner);
            QCOMPARE(readFile(path), before);
        }
    }

    void registryStoreMatchesWithoutCase()
    {
        const QString file = m_dir.filePath(QStringLiteral("config/quilton/registry.ini"));
        RegistryStore store(file);
        QCOMPARE(store.get(QStringLiteral("Control Panel\\desktop"), QStringLiteral("Wallpaper")),
                 QString());
        QVERIFY(!QFileInfo::exists(file));
        // The store's folder is made on the first write.
        QVERIFY(store.set(QStringLiteral("Control Panel\\desktop"), QStringLiteral("Wallpaper"),
                          QStringLiteral("/home/u/壁紙.bmp")));
        QVERIFY(store.set(QStringLiteral("CONTROL PANEL\\Desktop"), QStringLiteral("TileWallpaper"),
                          QStringLiteral("1")));
        QVERIFY(store.set(QStringLiteral("control panel\\desktop"), QStringLiteral("WALLPAPER"),
                          QStringLiteral("/home/u/quilton.bmp")));
        const RegistryStore reopened(file);
        QCOMPARE(
            reopened.get(QStringLiteral("Control Panel\\Desktop"), QStringLiteral("wallpaper")),
            QStringLiteral("/home/u/quilton.bmp"));
        QCOMPARE(
            reopened.get(QStringLiteral("control panel\\DESKTOP"), QStringLiteral("tilewallpaper")),
            QStringLiteral("1"));
        QCOMPARE(readFile(file),
                 QByteArray("[Control Panel\\desktop]\r\n"
                            "Wallpaper=/home/u/quilton.bmp\r\nTileWallpaper=1\r\n"));
        QCOMPARE(folderEntries(Paths::folderPart(file)),
                 QStringList{QStringLiteral("registry.ini")});

        QVERIFY(!RegistryStore(QString()).set(QStringLiteral("K"), QStringLiteral("v"),
                                              QStringLiteral("x")));
    }

    void registryFileFollowsXdgConfigHome()
    {
        const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("cfg/"))));
        QCOMPARE(Paths::registryFile(), m_dir.filePath(QStringLiteral("cfg/quilton/registry.ini")));
        qputenv("XDG_CONFIG_HOME", "");
        QCOMPARE(Paths::registryFile(),
                 testenv::homeDir() + QStringLiteral("/.config/quilton/registry.ini"));
        qputenv("XDG_CONFIG_HOME", saved);
    }
};

QUILTON_TEST_MAIN(tst_inifile)
#include "tst_inifile.moc"
