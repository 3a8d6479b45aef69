// quilton-batch, run as the built program over temporary folders.
#include "TestEnv.h"

#include "app/frmMain.h"
#include "batch/frmBatch.h"
#include "support/FileFixtures.h"
#include "support/Leftovers.h"
#include "support/TestInstall.h"
#include "tile/PictureLoader.h"
#include "tile/TileDesigner.h"

#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using testsupport::readAll;

namespace {

struct Run
{
    int status = -1;
    QString err;
};

// The program (the built quilton-batch unless given) with the words of line
// as its arguments; the temporary paths hold no spaces.
Run batch(const QString& line, const QString& program = {})
{
    QProcess p;
    p.start(program.isEmpty() ? testenv::binDir() + u"/quilton-batch"_s : program,
            line.split(u' '));
    const bool ended = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit;
    return {ended ? p.exitCode() : -2, QString::fromLocal8Bit(p.readAllStandardError())};
}

// The program run with arguments as bytes (names that are no UTF-8 text pass
// unchanged), as the unprivileged user "nobody" when asked and this test runs
// as root; what it says on stderr.
Run batchBytes(QList<QByteArray> arguments, bool asNobody)
{
    if (asNobody && geteuid() == 0)
        arguments =
            QList<QByteArray>{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"} +
            arguments;
    QByteArray command;
    for (const QByteArray& word : arguments) // the test's paths hold no quote
        command += '\'' + word + "' ";
    command += "2>&1 >/dev/null";
    FILE* shell = popen(command.constData(), "r");
    QByteArray err;
    char buffer[4096];
    for (size_t n; shell && (n = std::fread(buffer, 1, sizeof buffer, shell)) > 0;)
        err.append(buffer, qsizetype(n));
    const int status = shell ? pclose(shell) : -1;
    return {status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -2, QString::fromUtf8(err)};
}

// A file made by the bytes of its name (Qt would write U+FFFD in UTF-8 for a
// byte that is no UTF-8), and removed by them when this goes: Qt cannot.
struct RawFile
{
    QByteArray name;
    bool made = false;
    RawFile(const QByteArray& path, const QByteArray& contents) : name(path)
    {
        FILE* file = std::fopen(name.constData(), "wb");
        made = file && std::fwrite(contents.constData(), 1, size_t(contents.size()), file) ==
                           size_t(contents.size());
        made = file && std::fclose(file) == 0 && made;
    }
    ~RawFile() { unlink(name.constData()); }
};

} // namespace

class tst_batch_cli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_pictures; // a.bmp, b.jpg

    QString freshFolder(const QString& name)
    {
        return testfiles::freshFolder(m_tmp.filePath(name));
    }

private slots:
    void initTestCase()
    {
        m_pictures = freshFolder(u"pictures"_s);
        QVERIFY(testsupport::randomImage(160, 120, 1).save(m_pictures + u"/a.bmp"_s));
        QVERIFY(testsupport::randomImage(400, 300, 2).save(m_pictures + u"/b.jpg"_s, "JPG", 90));
    }

    // The files quilton-batch writes are exactly the core's own steps, the
    // effects in the order given.
    void tilesAreTheDesignersTiles()
    {
        const QString out = m_tmp.filePath(u"exact/deeper"_s); // made by the program
        const QString input = m_pictures + u"/b.jpg"_s;
        QCOMPARE(batch(u"--half --chamfer --tiles bd --effect D=blur:2,light:20,emboss --order "
                       u"102345 %1 %2"_s.arg(input, out))
                     .status,
                 0);
        QCOMPARE(testfiles::folderEntries(out), (QStringList{"b(B).bmp", "b(D).bmp"}));
        TileDesigner d;
        d.setHalf(true);
        d.setChamfer(true);
        d.setSource(PictureLoader::load(input).image);
        QVERIFY(d.compose(-1));
        d.setCurrentTile(3);
        d.blur();
        d.blur();
        d.lightPercent(20);
        d.emboss();
        QCOMPARE(QImage(out + u"/b(D).bmp"_s).convertToFormat(QImage::Format_RGB32), d.tile(3));
        QCOMPARE(QImage(out + u"/b(B).bmp"_s).size(), QSize(100, 50));
    }

    // Parallel pictures write exactly what one job writes, also when two
    // inputs give the same tile names (the later one in name order wins).
    void jobsGiveIdenticalFiles()
    {
        const QString in = freshFolder(u"many"_s);
        for (int i = 0; i < 7; ++i)
            testsupport::randomImage(120 + 37 * i, 90 + 23 * i, i).save(in + u"/p%1.bmp"_s.arg(i));
        testsupport::randomImage(333, 222, 9).save(in + u"/p3.jpg"_s, "JPG");
        const QString one = freshFolder(u"many-1"_s), two = freshFolder(u"many-2"_s),
                      single = freshFolder(u"many-single"_s);
        const QString effects = u"--effect A=contrast,blur:3 --effect C=light:-40,block "_s;
        QCOMPARE(batch(effects + u"--jobs 1 %1 %2"_s.arg(in, one)).status, 0);
        QCOMPARE(batch(effects + u"--jobs=2 %1 %2"_s.arg(in, two)).status, 0);
        QCOMPARE(batch(effects + u"%1/p3.jpg %2"_s.arg(in, single)).status, 0);
        const QStringList names = testfiles::folderEntries(one);
        QCOMPARE(names.size(), 28);
        QCOMPARE(testfiles::folderEntries(two), names);
        for (const QString& name : names)
            QVERIFY2(readAll(one + u'/' + name) == readAll(two + u'/' + name), qPrintable(name));
        QCOMPARE(readAll(one + u"/p3(A).bmp"_s), readAll(single + u"/p3(A).bmp"_s));
    }

    // JPEG through the SaveJPG.so beside the program, the quality followed.
    void jpegOutput()
    {
        const QString low = freshFolder(u"jpeg-10"_s), high = freshFolder(u"jpeg-95"_s);
        QCOMPARE(batch(u"--format jpg --quality 10 %1/a.bmp %2"_s.arg(m_pictures, low)).status, 0);
        QCOMPARE(batch(u"--format=JPG --quality=95 %1/a.bmp %2"_s.arg(m_pictures, high)).status, 0);
        QCOMPARE(testfiles::folderEntries(high),
                 (QStringList{"a(A).jpg", "a(B).jpg", "a(C).jpg", "a(D).jpg"}));
        QCOMPARE(QImageReader(high + u"/a(D).jpg"_s).format(), QByteArray("jpeg"));
        QVERIFY(QFileInfo(high + u"/a(D).jpg"_s).size() > QFileInfo(low + u"/a(D).jpg"_s).size());
    }

    // Bad inputs, each made here, with the exact outcome: status, everything
    // said on stderr (%1 the test's folder) and what the output folder holds
    // afterwards. Unreadable files are tried as an unprivileged user.
    void badInputs_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QByteArray>("arguments"); // words; paths in the test's folder
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("left");
        const QStringList tiles{"a(A).bmp", "a(B).bmp", "a(C).bmp", "a(D).bmp"};
        const QString notUtf8 = u"is not UTF-8 text; names of files and folders must be UTF-8 "
                                u"(rename it)"_s;
        const QString skipped = u"; skipped, no tiles written for it\n"_s;
        const auto row = [](const char* name, const char* setup, const QByteArray& arguments,
                            int status, const QString& message, const QStringList& left) {
            QTest::newRow(name) << QString::fromLatin1(setup) << arguments << status << message
                                << left;
        };
        row("name in the folder not UTF-8", "", "in out", 1,
            u"cannot read \"%1/in/n\uFFFD.bmp\": Cannot load %1/in/n\uFFFD.bmp: its name is not "
            u"UTF-8 text, so it cannot be opened by that name; rename it"_s +
                skipped + u"1 of 2 inputs could not be read"_s,
            tiles);
        row("input named not UTF-8", "", "in/n\xff.bmp out", 2,
            u"the argument \"%1/in/n\\xFF.bmp\" "_s + notUtf8, {});
        row("output folder not UTF-8", "", "in/a.bmp o\xffx", 2,
            u"the argument \"%1/o\\xFFx\" "_s + notUtf8, {});
        row("unreadable file", "nobody: chmod 000 in/a.bmp", "in/a.bmp out", 1,
            u"cannot read \"%1/in/a.bmp\": Cannot load %1/in/a.bmp: permission denied"_s + skipped +
                u"1 of 1 inputs could not be read"_s,
            {});
        row("unreadable folder", "nobody: chmod 300 in", "in out", 2,
            u"cannot read input folder \"%1/in\": permission denied"_s, {});
        row("pipe as input", "mkfifo in/f.bmp", "in/f.bmp out", 1,
            u"cannot read \"%1/in/f.bmp\": Cannot load %1/in/f.bmp: it is not a regular file (a "
            u"pipe)"_s +
                skipped + u"1 of 1 inputs could not be read"_s,
            {});
        row("pipe at a tile's name", "mkfifo out/a(B).bmp", "in/a.bmp out", 2,
            u"cannot write tile file \"%1/out/a(B).bmp\": it is not a regular file (a pipe)\n"
            u"stopped: 0 of 1 pictures were not processed"_s,
            {"a(A).bmp", "a(B).bmp"});
        row("full disc", "mount out", "in/a.bmp out", 2,
            u"cannot write tile file \"%1/out/a(C).bmp\": the disc is full\n"
            u"stopped: 0 of 1 pictures were not processed"_s,
            {"a(A).bmp", "a(B).bmp"});
        row("settings file unreadable", "nobody: chmod 000 s.ini", "--settings s.ini in out", 2,
            u"settings file \"%1/s.ini\" cannot be read: permission denied\n"
            u"Try 'quilton-batch --help'."_s,
            {});
        row("settings file a folder", "", "--settings in in out", 2,
            u"settings file \"%1/in\" cannot be read: it is a folder, not a file\n"
            u"Try 'quilton-batch --help'."_s,
            {});
        row("damaged pictures", "write broken in/b.jpg; write empty in/e.bmp", "in out", 1,
            u"cannot read \"%1/in/b.jpg\": Cannot load %1/in/b.jpg: the JPEG header is damaged "
            u"(JPEG datastream contains no image)"_s +
                skipped +
                u"cannot read \"%1/in/e.bmp\": Cannot load %1/in/e.bmp: the file is empty"_s +
                skipped +
                u"cannot read \"%1/in/n\uFFFD.bmp\": Cannot load %1/in/n\uFFFD.bmp: its name is "
                u"not UTF-8 text, so it cannot be opened by that name; rename it"_s +
                skipped + u"3 of 4 inputs could not be read"_s,
            tiles);
        row("folder at a tile's name", "mkdir out/a(B).bmp", "in/a.bmp out", 2,
            u"cannot write tile file \"%1/out/a(B).bmp\": it is a folder, not a file\n"
            u"stopped: 0 of 1 pictures were not processed"_s,
            {"a(A).bmp", "a(B).bmp"});
        // A file of that name that is no library does not count (%2 the
        // program's folder, %3 the home folder).
        row("JPEG without a loadable library", "write notlib SaveJPG.so", "--format=jpg in out", 2,
            u"JPEG output needs SaveJPG.so in %3/.local/lib or beside quilton-batch (%2), and none "
            u"can be loaded; nothing was written"_s,
            {});
        // Usage errors: nothing written, not even the output folder.
        const QString tryHelp = u"\nTry 'quilton-batch --help'."_s;
        row("order too short", "", "--order=01234 in new", 2,
            u"--order takes six digits holding each of 0..5 once (0 brightness, 1 blur, 2 block, "
            u"3 emboss, 4 grayscale, 5 contrast), as 012345 (got \"01234\")"_s +
                tryHelp,
            {});
        row("effect light 15", "", "--effect=A=light:15 in new", 2,
            u"--effect A: light needs a level of -50..-10 or 10..50 in steps of 10, as light:-30 "
            u"or light:20 (got \"light:15\")"_s +
                tryHelp,
            {});
        row("quality 101", "", "--quality=101 in new", 2,
            u"--quality takes a whole number 1..100 (got \"101\")"_s + tryHelp, {});
        row("unknown option", "", "--fast in new", 2, u"unknown option \"--fast\""_s + tryHelp, {});
        row("value missing", "", "in new --order", 2, u"--order needs a value"_s + tryHelp, {});
        row("one argument", "", "in", 2, u"INPUT and OUTPUT_DIR are both needed"_s + tryHelp, {});
        row("input missing", "", "nope new", 2, u"input \"%1/nope\" does not exist"_s, {});
        row("output is a file", "", "in s.ini", 2, u"output folder \"%1/s.ini\" is not a folder"_s,
            {});
        row("settings file with garbage", "", "--settings s.ini in/a.bmp out", 0,
            u"settings file \"%1/s.ini\": [Kouka] Light=1x could not be used; read as the batch "
            u"window reads it\nsettings file \"%1/s.ini\": [ImageType] DstFile=jpeg could not be "
            u"used; read as the batch window reads it"_s,
            tiles);
    }
    void badInputs()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, arguments);
        QFETCH(int, status);
        QFETCH(QString, message);
        QFETCH(QStringList, left);
        // Folders every user may enter, and an output folder "nobody" may
        // write, as the unprivileged runs need.
        QTemporaryDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        QCOMPARE(chmod(root.constData(), 0755), 0);
        QVERIFY(QDir().mkdir(dir.filePath(u"in"_s)) && QDir().mkdir(dir.filePath(u"out"_s)));
        QCOMPARE(chmod(QByteArray(root + "/out").constData(), 0777), 0);
        QVERIFY(testsupport::randomImage(120, 90, 3).save(dir.filePath(u"in/a.bmp"_s)));
        const RawFile bad(root + "/in/n\xff.bmp", readAll(dir.filePath(u"in/a.bmp"_s)));
        QVERIFY(bad.made);
        testsupport::writeBytes(dir.filePath(u"in/.hidden.bmp"_s), "BM"); // never listed
        testsupport::writeBytes(dir.filePath(u"s.ini"_s),
                                "[Kouka]\nLight=1x\nJunjo=012345\n[ImageType]\nDstFile=jpeg\n");

        // A copy of the program where "nobody" may run it, wherever the build is.
        QTemporaryDir programDir;
        const QString program = programDir.filePath(u"quilton-batch"_s);
        QVERIFY(QFile::copy(testenv::binDir() + u"/quilton-batch"_s, program));
        QCOMPARE(chmod(QFile::encodeName(programDir.path()).constData(), 0755), 0);
        QCOMPARE(chmod(QFile::encodeName(program).constData(), 0755), 0);

        const bool asNobody = setup.startsWith(u"nobody: "_s);
        QByteArray mounted;
        for (const QString& step : QString(setup).remove(u"nobody: "_s).split(u"; "_s)) {
            const QStringList w = step.split(u' ');
            const QByteArray target = QFile::encodeName(dir.filePath(w.last()));
            if (w.first() == u"chmod"_s) {
                QCOMPARE(chmod(target.constData(), mode_t(w.at(1).toInt(nullptr, 8))), 0);
            } else if (w.first() == u"mkfifo"_s) {
                QCOMPARE(mkfifo(target.constData(), 0644), 0);
            } else if (w.first() == u"mkdir"_s) {
                QCOMPARE(mkdir(target.constData(), 0755), 0);
            } else if (w.first() == u"write"_s) {
                const QByteArray jpegStart("\xff\xd8\xff\xe0\x00\x10JFIF\x00", 11);
                QVERIFY(w.at(1) == u"notlib"_s
                            ? testsupport::writeBytes(programDir.filePath(w.last()), "no library")
                            : testsupport::writeBytes(dir.filePath(w.last()),
                                                      w.at(1) == u"broken"_s
                                                          ? jpegStart + QByteArray(300, 'x')
                                                          : QByteArray()));
            } else if (w.first() == u"mount"_s) {
                // Room for two tiles of 30054 bytes, not for a third.
                const int made = mount("tmpfs", target.constData(), "tmpfs", 0, "size=64k");
                if (made != 0 && errno == EPERM)
                    QSKIP("mounting a small file system is not permitted here");
                QCOMPARE(made, 0);
                mounted = target;
            }
        }
        QList<QByteArray> argv{QFile::encodeName(program), "--jobs", "1"};
        for (const QByteArray& word : arguments.split(' '))
            argv.append(word.startsWith('-') ? word : root + '/' + word);
        const Run r = batchBytes(argv, asNobody);
        const QStringList entries = testfiles::folderEntries(dir.filePath(u"out"_s));
        if (!mounted.isEmpty())
            QCOMPARE(umount(mounted.constData()), 0);

        QString expected;
        const QString said = QString(message)
                                 .replace(u"%1"_s, dir.path())
                                 .replace(u"%2"_s, programDir.path())
                                 .replace(u"%3"_s, testenv::homeDir());
        for (const QString& line : said.split(u'\n'))
            expected +=
                (line.startsWith(u"Try"_s) ? QString() : u"quilton-batch: "_s) + line + u'\n';
        QCOMPARE(r.err, expected);
        QCOMPARE(r.status, status);
        QCOMPARE(entries, left);
        // Nothing was made under another name.
        QCOMPARE(testfiles::folderEntries(dir.path()), (QStringList{"in", "out", "s.ini"}));
        chmod(QByteArray(root + "/in").constData(), 0755); // so that it can be removed
    }

    // The batch window lists a picture whose name is no UTF-8 text, names it
    // among those it could not read, and makes the others' tiles.
    void windowBatchNamesUndecodableFiles()
    {
        testsupport::Install install;
        const QString in = install.dir.filePath(u"in"_s), out = install.dir.filePath(u"out"_s);
        QVERIFY(QDir().mkpath(in) && QDir().mkpath(out));
        QVERIFY(testsupport::randomImage(120, 90, 4).save(in + u"/a.bmp"_s));
        const RawFile bad(QFile::encodeName(in) + "/n\xff.bmp", "BM");
        QVERIFY(bad.made);
        install.writeIni("[Start]\r\nScreenCap=False\r\n[Folder]\r\nSource=" + in.toUtf8() +
                         "\r\nSave=" + out.toUtf8() + "\r\n");
        const testsupport::Shown shown;
        const std::unique_ptr<frmMain> main = install.start();
        frmBatch& b = *main->batchWindow();
        QCOMPARE(b.fileList(0), (QStringList{u"a.bmp"_s, u"n\uFFFD.bmp"_s}));
        b.cmdBatch_Click();
        QCOMPARE(testfiles::folderEntries(out),
                 (QStringList{"a(A).bmp", "a(B).bmp", "a(C).bmp", "a(D).bmp"}));
        QCOMPARE(shown.messages.size(), 1);
        QVERIFY2(shown.messages.first().text.endsWith(
                     u"\nn\uFFFD.bmp（名前が UTF-8 の文字列でないため、"
                     u"その名前では開けません。名前を変えてください。）"_s),
                 qPrintable(shown.messages.first().text));
    }

    // A run killed at any moment leaves only whole tile files; what killed
    // writers of any kind left goes at the next run into the folder, while a
    // user's own file of a similar name stays.
    void killedRunLeavesNothingStale()
    {
        const QString in = freshFolder(u"kill-in"_s);
        for (int i = 0; i < 40; ++i)
            QVERIFY(testsupport::randomImage(300, 200, i).save(in + u"/p%1.bmp"_s.arg(i)));
        const QRegularExpression tileName(u"^p\\d+\\([A-D]\\)\\.(bmp|jpg)$"_s);
        const QString out = m_tmp.filePath(u"kill-out"_s);
        for (const QString& format : {u"bmp"_s, u"jpg"_s}) {
            for (int run = 0; run < 6; ++run) {
                QDir(out).removeRecursively();
                // Its temporary folder, to see that nothing stays there either.
                const QString temporary = freshFolder(u"kill-tmp"_s);
                QProcess p;
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert(u"TMPDIR"_s, temporary);
                p.setProcessEnvironment(env);
                p.start(testenv::binDir() + u"/quilton-batch"_s,
                        {u"--jobs"_s, u"4"_s, u"--format"_s, format, in, out});
                QVERIFY(p.waitForStarted());
                usleep(useconds_t(20000 + 30000 * run));
                kill(pid_t(p.processId()), SIGKILL);
                QVERIFY(p.waitForFinished());
                QCOMPARE(testfiles::folderEntries(temporary), QStringList());
                for (const QString& name : testfiles::folderEntries(out)) {
                    QVERIFY2(tileName.match(name).hasMatch(), qPrintable(name));
                    const QByteArray bytes = readAll(out + u'/' + name);
                    if (format == u"bmp"_s)
                        QCOMPARE(bytes.size(), 30054);
                    else
                        QVERIFY2(bytes.endsWith("\xff\xd9"), qPrintable(name));
                }
            }
        }

        const QString dead = testfiles::deadPid();
        const QStringList stale{u".savejpg-%1-0000beef.tmp"_s.arg(dead),
                                u".quilton-%1-0000beef.tmp"_s.arg(dead), u"p1(A).bmp.Xy7Qa2"_s};
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        for (const QString& name : stale + QStringList{u"notes.bmp.backup"_s})
            testsupport::writeBytes(out + u'/' + name, "BM");
        QVERIFY(testfiles::makeOld(out + u"/p1(A).bmp.Xy7Qa2"_s, 120));
        QCOMPARE(batch(u"--tiles A %1/p0.bmp %2"_s.arg(in, out)).status, 0);
        QCOMPARE(testfiles::folderEntries(out),
                 (QStringList{u"notes.bmp.backup"_s, u"p0(A).bmp"_s}));
    }
};

QUILTON_TEST_MAIN(tst_batch_cli)
#include "tst_batch_cli.moc"
