// The memory budget of picture decoding: the counting budget itself, and
// quilton-batch over folders of small files that claim huge pictures, its
// peak memory measured from outside the child process.
#include "TestEnv.h"

#include "support/FileFixtures.h"
#include "support/PictureChecks.h"
#include "support/TestInstall.h"
#include "tile/DecodeBudget.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <atomic>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

using namespace Qt::Literals::StringLiterals;
using testfiles::folderEntries;

namespace {

// An 8-bit run-length bitmap of side x side holding nothing but its end
// marker: about a kilobyte on disc, side * side bytes and more once decoded.
QByteArray rleBomb(int side)
{
    return testpictures::rle8Bmp({side, side}, QByteArray(1024, '\0'), QByteArray("\0\x01", 2));
}

// A 35-byte GIF with a side x side screen and one pixel drawn on it.
QByteArray screenBomb(int side)
{
    QByteArray gif(
        "GIF89a\0\0\0\0\x80\0\0\xff\0\0\0\0\xff,\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0;", 35);
    for (const int at : {6, 8})
        qToLittleEndian<quint16>(quint16(side), gif.data() + at);
    return gif;
}

struct ChildRun
{
    int status = -1;
    qint64 peakKiB = 0; // the child's own peak resident memory
    QString err;
};

// Runs the built quilton-batch with arguments and waits for it, taking its
// peak resident memory from the kernel's account of that child alone.
ChildRun runBatch(const QStringList& arguments, const QString& errFile)
{
    QList<QByteArray> words{QFile::encodeName(testenv::binDir() + u"/quilton-batch"_s)};
    for (const QString& a : arguments)
        words.append(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const QByteArray errPath = QFile::encodeName(errFile);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    ChildRun run;
    pid_t pid = 0;
    int status = 0;
    rusage usage{};
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
        wait4(pid, &status, 0, &usage) == pid) {
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.peakKiB = usage.ru_maxrss;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.err = QString::fromLocal8Bit(testsupport::readAll(errFile));
    return run;
}

} // namespace

class tst_decodebudget : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;

    QString freshFolder(const QString& name)
    {
        return testfiles::freshFolder(m_tmp.filePath(name));
    }

private slots:
    // AddressSanitizer keeps freed memory aside to catch late uses, which
    // would count as the child's own: told to keep none (only a sanitizer
    // build reads the variable; this process's own sanitizer has started).
    void initTestCase()
    {
        const QByteArray asan = qgetenv("ASAN_OPTIONS");
        qputenv("ASAN_OPTIONS", asan + (asan.isEmpty() ? "" : ":") + "quarantine_size_mb=0");
    }

    // Threads reserving at once never hold more than the limit together, a
    // reservation beyond the whole limit is refused at once, and one left
    // waiting when the limit drops below it is refused rather than stuck.
    void budgetNeverHoldsMoreThanItsLimit()
    {
        DecodeBudget budget(100);
        std::atomic<qint64> most{0};
        std::atomic<int> refused{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < 50; ++i) {
                    const DecodeBudget::Reservation held = budget.reserve(10 + (t * 7 + i) % 60);
                    if (!held.isValid())
                        ++refused;
                    qint64 seen = budget.held();
                    qint64 before = most.load();
                    while (seen > before && !most.compare_exchange_weak(before, seen)) {
                    }
                }
            });
        }
        for (std::thread& t : threads)
            t.join();
        QCOMPARE(refused.load(), 0);
        QVERIFY(most.load() <= 100 && most.load() >= 60);
        QCOMPARE(budget.held(), 0);
        QVERIFY(!budget.reserve(101).isValid());

        DecodeBudget::Reservation first = budget.reserve(70);
        std::atomic<bool> waitingRefused{false};
        std::thread waiter([&] { waitingRefused = !budget.reserve(60).isValid(); });
        while (budget.held() != 70)
            std::this_thread::yield();
        QTest::qWait(50); // the waiter is now waiting for room
        budget.setLimit(50);
        waiter.join();
        QVERIFY(waitingRefused.load());
        first = DecodeBudget::Reservation();
        QCOMPARE(budget.held(), 0);
    }

    // Eight jobs over files that each decode to tens of megabytes stay
    // within the budget together (unbudgeted they take several times it),
    // and the tiles of the good pictures among them come out the same.
    void bombFolderStaysWithinTheBudget()
    {
        const QString good = freshFolder(u"good"_s);
        QVERIFY(testsupport::randomImage(160, 120, 1).save(good + u"/a.bmp"_s));
        QVERIFY(testsupport::randomImage(400, 300, 2).save(good + u"/b.jpg"_s, "JPG", 90));
        const QString goodOut = freshFolder(u"good-out"_s);
        const ChildRun plain =
            runBatch({u"--jobs"_s, u"1"_s, good, goodOut}, m_tmp.filePath(u"e1"_s));
        QCOMPARE(plain.status, 0);

        const QString bombs = freshFolder(u"bombs"_s);
        for (const QString& name : folderEntries(good))
            QVERIFY(QFile::copy(good + u'/' + name, bombs + u'/' + name));
        for (int i = 0; i < 6; ++i) {
            QVERIFY(testsupport::writeBytes(bombs + u"/rle%1.bmp"_s.arg(i), rleBomb(4000)));
            QVERIFY(testsupport::writeBytes(bombs + u"/screen%1.gif"_s.arg(i), screenBomb(4000)));
        }
        const QString out = freshFolder(u"bombs-out"_s);
        constexpr int kBudgetMiB = 220;
        const ChildRun run =
            runBatch({u"--jobs"_s, u"8"_s, u"--memory"_s, QString::number(kBudgetMiB), bombs, out},
                     m_tmp.filePath(u"e2"_s));
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(folderEntries(out).size(), 4 * 14);
        // The program's own memory (code, Qt, threads) is what the small
        // run took; decoding adds at most the budget to it.
        qInfo("peak %lld KiB, %lld KiB without the bombs", run.peakKiB, plain.peakKiB);
        QVERIFY2(run.peakKiB < plain.peakKiB + kBudgetMiB * 1024,
                 qPrintable(u"peak %1 KiB"_s.arg(run.peakKiB)));
        for (const QString& name : folderEntries(goodOut))
            QCOMPARE(testsupport::readAll(out + u'/' + name),
                     testsupport::readAll(goodOut + u'/' + name));
    }

    void badPicturesThroughQuiltonBatch_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("memory");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message"); // stderr holds it; empty: written

        const QByteArray gif = screenBomb(2);
        QTest::newRow("GIF cut in its frame")
            << gif.left(30) << u"1024"_s << 1 << u"the file is cut short"_s;
        QTest::newRow("RLE bomb within the budget") << rleBomb(4000) << u"200"_s << 0 << QString();
        // 4000 x 4000 at 8 bytes, the kept 500 x 500 twice, 1 MiB besides.
        QTest::newRow("RLE bomb alone over the budget")
            << rleBomb(4000) << u"100"_s << 1
            << u"decoding it takes about 125 MiB, more than the memory budget of 100 MiB"_s;
        QTest::newRow("budget below the smallest")
            << gif << u"15"_s << 2 << u"--memory takes a whole number of MiB, 16..1048576"_s;
    }

    void badPicturesThroughQuiltonBatch()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, memory);
        QFETCH(int, status);
        QFETCH(QString, message);
        const QString in = freshFolder(u"bad"_s);
        const QString out = freshFolder(u"bad-out"_s);
        const QString path = in + u"/picture.bmp"_s;
        QVERIFY(testsupport::writeBytes(path, bytes));
        const ChildRun run = runBatch({u"--memory"_s, memory, path, out}, m_tmp.filePath(u"e3"_s));
        QCOMPARE(run.status, status);
        QCOMPARE(folderEntries(out).size(), message.isEmpty() ? 4 : 0);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(status != 1 || run.err.contains(u"cannot read \"%1\""_s.arg(path)));
    }
};

QUILTON_TEST_MAIN(tst_decodebudget)
#include "tst_decodebudget.moc"
