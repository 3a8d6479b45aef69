// quilton-batch, run as the built program over temporary folders, and what
// it shares with the batch window: the settings reading rules and the
// memory budget of picture decoding.
#include "TestEnv.h"

#include "app/inifile_IO.h"
#include "batch/BatchSettings.h"
#include "support/FileFixtures.h"
#include "support/Leftovers.h"
#include "support/PictureChecks.h"
#include "support/TestInstall.h"
#include "tile/DecodeBudget.h"
#include "tile/PictureLoader.h"
#include "tile/TileDesigner.h"

#include <QtWidgets>

#include <atomic>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace Qt::Literals::StringLiterals;
using testfiles::folderEntries;
using testsupport::readAll;

namespace {

struct Run
{
    int status = -1;
    QString err;
    long peakKiB = 0; // its own peak resident memory, from the kernel's account
};

// The program and its arguments as bytes (names that are no UTF-8 text pass
// unchanged), as the unprivileged user "nobody" when asked and this test runs
// as root.
Run run(QList<QByteArray> argv, bool asNobody = false)
{
    if (asNobody && geteuid() == 0)
        argv = QList<QByteArray>{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"} +
               argv;
    std::vector<char*> words;
    for (QByteArray& word : argv)
        words.push_back(word.data());
    words.push_back(nullptr);
    posix_spawn_file_actions_t actions; // stderr into the file "stderr" of the test's folder
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "stderr", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    int status = -1;
    rusage usage{};
    const bool ended =
        posix_spawnp(&pid, words[0], &actions, nullptr, words.data(), environ) == 0 &&
        wait4(pid, &status, 0, &usage) == pid;
    posix_spawn_file_actions_destroy(&actions);
    return {ended && WIFEXITED(status) ? WEXITSTATUS(status) : -2,
            QString::fromUtf8(readAll(u"stderr"_s)), usage.ru_maxrss};
}

// The built quilton-batch with the words of line (the paths hold no
// spaces), run through the words of through.
Run batch(const QString& line, const QList<QByteArray>& through = {})
{
    return run(through +
               QFile::encodeName(testenv::binDir() + u"/quilton-batch "_s + line).split(' '));
}

} // namespace

class tst_batch_cli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_program; // a copy "nobody" may run, beside a SaveJPG.so that is no library

private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(m_tmp.path())); // relative paths are in the test's folder
        // An 8-bit run-length bitmap of 4000 x 4000 holding nothing but its
        // end marker: about a kilobyte on disc, 16 MB and more once decoded.
        QVERIFY(testsupport::writeBytes(
            u"bomb.bmp"_s,
            testpictures::rle8Bmp({4000, 4000}, QByteArray(1024, '\0'), "\0\x01"_ba)));
        m_program = m_tmp.filePath(testfiles::freshFolder(u"program"_s) + u"/quilton-batch"_s);
        QVERIFY(QFile::copy(testenv::binDir() + u"/quilton-batch"_s, m_program));
        QVERIFY(testsupport::writeBytes(u"program/SaveJPG.so"_s, "no library"));
        for (const QString& path : {m_tmp.path(), m_tmp.filePath(u"program"_s), m_program})
            QCOMPARE(chmod(QFile::encodeName(path).constData(), 0755), 0);
    }

    // Parallel jobs write exactly what one job writes, also when two inputs
    // give the same tile names (the later one in name order wins), and eight
    // jobs over files that each decode to tens of megabytes stay within the
    // memory budget together (unbudgeted they take several times it). The
    // tiles are exactly the core's own steps, the effects in the order given,
    // blur as often as asked, named by the input's name up to its last dot.
    void jobsWriteTheDesignersTilesWithinTheBudget()
    {
        const QString in = testfiles::freshFolder(u"many"_s);
        for (int i = 0; i < 7; ++i)
            testsupport::randomImage(120 + 37 * i, 90 + 23 * i, i).save(in + u"/p.%1.bmp"_s.arg(i));
        QVERIFY(testsupport::randomImage(400, 300, 2).save(in + u"/p.3.jpg"_s, "JPG", 90));
        // A 35-byte GIF with a 4000 x 4000 screen and one pixel drawn on it.
        const QByteArray screenBomb("GIF89a\xa0\x0f\xa0\x0f\x80\0\0\xff\0\0\0\0\xff,"
                                    "\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0;",
                                    35);
        for (int i = 0; i < 6; ++i) {
            QVERIFY(QFile::copy(u"bomb.bmp"_s, in + u"/rle%1.bmp"_s.arg(i)));
            QVERIFY(testsupport::writeBytes(in + u"/screen%1.gif"_s.arg(i), screenBomb));
        }
        // AddressSanitizer keeps freed memory aside to catch late uses, which
        // would count as the program's own: told to keep none where the peak
        // is measured (only a sanitizer build reads the variable).
        const QList<QByteArray> measured{"env", "ASAN_OPTIONS=" + qgetenv("ASAN_OPTIONS") +
                                                    ":quarantine_size_mb=0"};
        // The output folders are made by the program.
        const QString options =
            u"--half --chamfer --effect D=blur:2,light:20,emboss --order 102345 "_s;
        const Run small = batch(options + u"--tiles bd many/p.3.jpg single/deeper"_s, measured);
        const Run one = batch(options + u"--jobs 1 many 1"_s);
        const Run two = batch(options + u"--jobs=2 many 2"_s);
        const Run eight = batch(options + u"--jobs 8 --memory 220 many 8"_s, measured);
        QCOMPARE((QList<int>{small.status, one.status, two.status, eight.status}),
                 QList<int>(4, 0));
        // The program's own memory (code, Qt, threads) is what the run over
        // one small picture took; decoding adds at most the budget to it.
        QCOMPARE_LT(eight.peakKiB, small.peakKiB + 220 * 1024);
        const QStringList names = folderEntries(u"1"_s);
        QCOMPARE(names.size(), 4 * 19);
        for (const QString& jobs : {u"2/"_s, u"8/"_s}) {
            QCOMPARE(folderEntries(jobs), names);
            for (const QString& name : names)
                QVERIFY2(readAll(jobs + name) == readAll(u"1/"_s + name), qPrintable(jobs + name));
        }
        QCOMPARE(folderEntries(u"single/deeper"_s), (QStringList{"p.3(B).bmp", "p.3(D).bmp"}));
        QCOMPARE(readAll(u"single/deeper/p.3(D).bmp"_s), readAll(u"1/p.3(D).bmp"_s));
        TileDesigner d;
        d.setHalf(true);
        d.setChamfer(true);
        d.setSource(PictureLoader::load(in + u"/p.3.jpg"_s).image);
        QVERIFY(d.compose(-1));
        d.setCurrentTile(3);
        d.blur();
        d.blur();
        d.lightPercent(20);
        d.emboss();
        QCOMPARE(QImage(u"1/p.3(D).bmp"_s).convertToFormat(QImage::Format_RGB32), d.tile(3));
        QCOMPARE(QImage(u"1/p.3(B).bmp"_s).size(), QSize(100, 50));
    }

    // Bad inputs, each made here by one step (after a chmod the program runs
    // as the unprivileged user), with the exact outcome: status, everything
    // said on stderr (%1 the test's folder) and how many of a.bmp's tiles the
    // output folder holds afterwards.
    void badInputs_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QByteArray>("arguments"); // words; paths in the test's folder
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("tiles");
        const auto row = [](const char* name, const char* setup, const QByteArray& arguments,
                            int status, const QString& message, int tiles = 0) {
            QTest::newRow(name) << QString::fromLatin1(setup) << arguments << status << message
                                << tiles;
        };
        const auto unread = [](const QString& file, const QString& reason,
                               const QString& of) -> QString {
            return u"cannot read \"%1/"_s + file + u"\": Cannot load %1/"_s + file + u": "_s +
                   reason + u"; skipped, no tiles written for it\n"_s + of +
                   u" inputs could not be read"_s;
        };
        const QString stopped = u"\nstopped: 0 of 1 pictures were not processed"_s;
        const QString tryHelp = u"\nTry 'quilton-batch --help'."_s;
        row("name in the folder not UTF-8", "", "in out", 1,
            unread(u"in/n\uFFFD.bmp"_s,
                   u"its name is not UTF-8 text, so it cannot be opened by that name; rename it"_s,
                   u"1 of 2"_s),
            4);
        row("input named not UTF-8", "", "in/n\xff.bmp out", 2,
            u"the argument \"%1/in/n\\xFF.bmp\" is not UTF-8 text; names of files and folders "
            u"must be UTF-8 (rename it)"_s);
        row("unreadable file", "chmod 000 in/a.bmp", "in/a.bmp out", 1,
            unread(u"in/a.bmp"_s, u"permission denied"_s, u"1 of 1"_s));
        row("unreadable folder", "chmod 300 in", "in out", 2,
            u"cannot read input folder \"%1/in\": permission denied"_s);
        row("pipe as input", "mkfifo in/f.bmp", "in/f.bmp out", 1,
            unread(u"in/f.bmp"_s, u"it is not a regular file (a pipe)"_s, u"1 of 1"_s));
        // 4000 x 4000 at 8 bytes, the kept 500 x 500 twice, 1 MiB besides.
        row("RLE bomb over the memory budget", "cp ../bomb.bmp in/r.bmp",
            "--memory=100 in/r.bmp out", 1,
            unread(u"in/r.bmp"_s,
                   u"decoding it takes about 125 MiB, more than the memory budget of 100 MiB"_s,
                   u"1 of 1"_s));
        // The small file system has room for two tiles of 30054 bytes.
        row("full disc", "mount", "in/a.bmp out", 2,
            u"cannot write tile file \"%1/out/a(C).bmp\": the disc is full"_s + stopped, 2);
        row("folder at a tile's name", "mkdir 'out/a(B).bmp'", "in/a.bmp out", 2,
            u"cannot write tile file \"%1/out/a(B).bmp\": it is a folder, not a file"_s + stopped,
            2);
        row("settings file unreadable", "chmod 000 s.ini", "--settings s.ini in out", 2,
            u"settings file \"%1/s.ini\" cannot be read: permission denied"_s + tryHelp);
        row("settings file with garbage", "", "--settings s.ini in/a.bmp out", 0,
            u"settings file \"%1/s.ini\": [Kouka] Light=1x could not be used; read as the batch "
            u"window reads it\nsettings file \"%1/s.ini\": [ImageType] DstFile=jpeg could not be "
            u"used; read as the batch window reads it"_s,
            4);
        // The file of that name beside the program is no library and does
        // not count.
        row("JPEG without a loadable library", "", "--format=jpg in out", 2,
            u"JPEG output needs SaveJPG.so in "_s + testenv::homeDir() +
                u"/.local/lib or beside quilton-batch ("_s + QFileInfo(m_program).path() +
                u"), and none can be loaded; nothing was written"_s);
        // Usage errors and a missing input: nothing written, not even the
        // output folder.
        row("effect light 15", "", "--effect=A=light:15 in new", 2,
            u"--effect A: light needs a level of -50..-10 or 10..50 in steps of 10, as light:-30 "
            u"or light:20 (got \"light:15\")"_s +
                tryHelp);
        row("memory below the smallest", "", "--memory=15 in new", 2,
            u"--memory takes a whole number of MiB, 16..1048576 (got \"15\")"_s + tryHelp);
        row("one argument", "", "in", 2, u"INPUT and OUTPUT_DIR are both needed"_s + tryHelp);
        row("input missing", "", "nope new", 2, u"input \"%1/nope\" does not exist"_s);
    }
    void badInputs()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, arguments);
        QFETCH(int, status);
        QFETCH(QString, message);
        QFETCH(int, tiles);
        // Folders every user may enter, and an output folder "nobody" may
        // write, as the unprivileged runs need.
        QTemporaryDir dir(m_tmp.filePath(u"row"_s));
        const auto at = [root = QFile::encodeName(dir.path())](const char* name) {
            return QByteArray(root + '/' + name);
        };
        QVERIFY(QDir(dir.path()).mkpath(u"in/folder.bmp"_s) && QDir(dir.path()).mkdir(u"out"_s));
        QCOMPARE(chmod(at(""), 0755) + chmod(at("out"), 0777), 0);
        QVERIFY(testsupport::randomImage(120, 90, 3).save(dir.filePath(u"in/a.bmp"_s)));
        // The same picture under a name Qt can neither make nor remove; at
        // the end that goes, the input folder is open again and the small
        // file system (if any) unmounted, so that all can be removed.
        QCOMPARE(link(at("in/a.bmp"), at("in/n\xff.bmp")), 0);
        const auto removable = qScopeGuard([&] {
            unlink(at("in/n\xff.bmp"));
            chmod(at("in"), 0755);
            umount(at("out"));
        });
        // Never inputs, as the folder "folder.bmp": a hidden file and a name
        // that does not end in ".bmp".
        for (const char* name : {"in/.hidden.bmp", "in/e.bmp.txt"})
            QVERIFY(testsupport::writeBytes(QFile::decodeName(at(name)), "BM"));
        testsupport::writeBytes(dir.filePath(u"s.ini"_s),
                                "[Kouka]\nLight=1x\nJunjo=012345\n[ImageType]\nDstFile=jpeg\n");

        // The step: a command line in the test's folder, or the small file
        // system mounted on the output folder.
        const bool mounting = setup == u"mount"_s;
        if (!setup.isEmpty() && !mounting)
            QCOMPARE(run({"sh", "-c", "cd " + at("") + " && " + setup.toUtf8()}).status, 0);
        if (mounting && mount("tmpfs", at("out"), "tmpfs", 0, "size=64k") != 0) {
            if (errno == EPERM)
                QSKIP("mounting a small file system is not permitted here");
            QFAIL("the small file system could not be mounted");
        }
        QList<QByteArray> argv{QFile::encodeName(m_program), "--jobs", "1"};
        for (const QByteArray& word : arguments.split(' '))
            argv.append(word.startsWith('-') ? word : at(word));
        const Run r = run(argv, setup.startsWith(u"chmod"_s));

        // Each line of the message said by the program, but the hint.
        QString expected = u"quilton-batch: "_s + message + u'\n';
        expected.replace(u"\n"_s, u"\nquilton-batch: "_s).chop(15);
        expected.replace(u"quilton-batch: Try"_s, u"Try"_s).replace(u"%1"_s, dir.path());
        QCOMPARE(r.err, expected);
        QCOMPARE(r.status, status);
        QCOMPARE(folderEntries(dir.filePath(u"out"_s)),
                 QStringList({"a(A).bmp", "a(B).bmp", "a(C).bmp", "a(D).bmp"}).first(tiles));
        // Nothing was made under another name.
        QCOMPARE(folderEntries(dir.path()), (QStringList{"in", "out", "s.ini"}));
    }

    // A run killed at any moment leaves only whole tile files and nothing in
    // its temporary folder; a dead writer's temporary file in the output
    // folder goes at the next run.
    void killedRunLeavesOnlyWholeTiles()
    {
        const QString in = testfiles::freshFolder(u"kill-in"_s);
        for (int i = 0; i < 40; ++i)
            QVERIFY(testsupport::randomImage(300, 200, i).save(in + u"/p%1.bmp"_s.arg(i)));
        const QRegularExpression tileName(u"^p\\d+\\([A-D]\\)\\.(bmp|jpg)$"_s);
        const QString out = u"kill-out"_s;
        for (int run = 0; run < 12; ++run) {
            const QString format = run < 6 ? u"bmp"_s : u"jpg"_s;
            QDir(out).removeRecursively();
            const QString temporary = testfiles::freshFolder(u"kill-tmp"_s);
            // Killed by "timeout" after 20 to 170 ms, and waited for.
            batch(u"--jobs 4 --format %1 %2 %3"_s.arg(format, in, out),
                  {"env", "TMPDIR=" + QFile::encodeName(m_tmp.filePath(temporary)), "timeout",
                   "--foreground", "-s", "KILL", QByteArray::number(0.02 + 0.03 * (run % 6))});
            QCOMPARE(folderEntries(temporary), QStringList());
            for (const QString& name : folderEntries(out)) {
                const QByteArray bytes = readAll(out + u'/' + name);
                QVERIFY2(
                    tileName.match(name).hasMatch() &&
                        (format == u"bmp"_s ? bytes.size() == 30054 : bytes.endsWith("\xff\xd9")),
                    qPrintable(name));
            }
        }
        // The next run, in JPEG (the format named in any case) through the
        // SaveJPG.so beside the program, the quality followed: higher, larger.
        const QString stale = u"%1/.quilton-%2-0000beef.tmp"_s.arg(out, testfiles::deadPid());
        QVERIFY(testsupport::writeBytes(stale, "BM"));
        qint64 size = 0;
        for (const QString& jpeg :
             {u"--format jpg --quality 10"_s, u"--format=JPG --quality=95"_s}) {
            QCOMPARE(batch(u"%1 --tiles A %2/p0.bmp %3"_s.arg(jpeg, in, out)).status, 0);
            QCOMPARE(QImageReader::imageFormat(out + u"/p0(A).jpg"_s), QByteArray("jpeg"));
            const qint64 before = std::exchange(size, QFileInfo(out + u"/p0(A).jpg"_s).size());
            QVERIFY(size > before);
        }
        QVERIFY(!QFile::exists(stale));
    }

    // Settings read from the stored keys (in both sections: the reader takes
    // its own) are written back with each key of expected among them. (JPEG
    // output only with the JPEG library: tst_frmbatch, the stopped runs.)
    void readingRules()
    {
        const std::pair<const char*, const char*> rows[] = {
            {"", // no keys (the first start)
             "SrcFile=100;DstFile=0;Light=0000;Bokashi=0000;Block=0000;Enboss=0000;Gray=0000;"
             "Contrast=0000;BIndex=0000;LIndex=0000;Junjo=012345"},
            // An order too short is padded (lacking digits: the default), any
            // other number means JPEG output, and every character missing,
            // not a digit or out of range takes the key's default.
            {"Junjo=5;DstFile=7;Light=1x1;Bokashi=2111;Gray=11111;"
             "LIndex=9A3;BIndex=3 2-;SrcFile=x1",
             "Junjo=012345;DstFile=1;Light=1010;Bokashi=0111;Gray=1111;"
             "LIndex=9030;BIndex=0020;SrcFile=110"},
            {"Junjo=5432101", "Junjo=543210"}, // the first six
            {"Junjo=012344", "Junjo=012345"}}; // a digit twice
        inifile_IO in, out;
        in.setFileName(u"in.ini"_s);
        out.setFileName(u"out.ini"_s);
        for (const auto& [stored, expected] : rows) {
            const QByteArray lines = QByteArray(stored).replace(';', "\r\n") + "\r\n";
            testsupport::writeBytes(in.FileName(),
                                    *stored ? "[Kouka]\r\n" + lines + "[ImageType]\r\n" + lines
                                            : QByteArray());
            BatchSettings::read(in, true).write(out);
            const QByteArray written = readAll(out.FileName());
            for (const QByteArray& line : QByteArray(expected).split(';'))
                QVERIFY2(written.contains(QByteArray('\n' + line + "\r\n")),
                         QByteArray(line + " from " + stored + " in " + written).constData());
        }
    }

    // Threads reserving at once are all served and never hold more than the
    // limit together, a reservation beyond the whole limit is refused at
    // once, and one left waiting when the limit drops below it is refused
    // rather than stuck.
    void budgetNeverHoldsMoreThanItsLimit()
    {
        DecodeBudget budget(100);
        std::atomic<int> wrong{0}; // refused, or seen holding more than the limit
        std::vector<std::jthread> threads;
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < 50; ++i) {
                    const DecodeBudget::Reservation held = budget.reserve(10 + (t * 7 + i) % 60);
                    wrong += !held.isValid() || budget.held() > 100;
                }
            });
        threads.clear(); // joins them
        QCOMPARE(wrong.load(), 0);
        QCOMPARE(budget.held(), 0);
        QVERIFY(!budget.reserve(101).isValid());

        DecodeBudget::Reservation first = budget.reserve(70);
        std::atomic<bool> waitingRefused{false};
        std::thread waiter([&] { waitingRefused = !budget.reserve(60).isValid(); });
        QTest::qWait(50); // the waiter is now waiting for room
        budget.setLimit(50);
        waiter.join();
        QVERIFY(waitingRefused.load());
        first = DecodeBudget::Reservation();
        QCOMPARE(budget.held(), 0);
    }
};

QUILTON_TEST_MAIN(tst_batch_cli)
#include "tst_batch_cli.moc"
