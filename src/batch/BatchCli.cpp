#include "batch/BatchCli.h"

#include "app/JpegLibrary.h"
#include "batch/BatchCommandLine.h"
#include "batch/BatchEngine.h"
#include "batch/CliTileOperations.h"
#include "output/PictureSaver.h"
#include "platform/FileCheck.h"
#include "platform/Paths.h"
#include "tile/DecodeBudget.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

void printErr(const QString& text)
{
    const QByteArray bytes =
        QString(QStringLiteral("quilton-batch: ") + text + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

// The SaveJPG.so to write through: the one the window would use (the system
// folder's, or the installed package's when that is not older), else the copy
// beside this program; each is tried by writing a one-pixel JPEG to /dev/null
// (a device is written directly, and nothing is left behind whatever happens
// to this program), so a library that exists but cannot be loaded or cannot
// encode is passed over. Empty when none works.
QString findJpegLibrary(int quality)
{
    const QString name = QString::fromLatin1("SaveJPG.so");
    const QString programFolder = Paths::programFolder();
    const QStringList candidates{
        JpegLibrary::libraryInUse(Paths::systemFolder(false),
                                  Paths::programPlaces(programFolder).packageLibrary),
        BatchEngine::joinPath(programFolder, name)};
    QImage probe(1, 1, QImage::Format_RGB32);
    probe.fill(Qt::white);
    for (const QString& library : candidates) {
        if (!QFileInfo(library).isFile())
            continue;
        if (PictureSaver::saveJpeg(library, probe, QStringLiteral("/dev/null"), quality) ==
            PictureSaver::JpegOutcome::Saved)
            return library;
    }
    return {};
}

// Creates the folder when missing and checks that a file can be made in it.
bool prepareOutputFolder(const QString& folder, QString* error)
{
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) {
        *error = QStringLiteral("output folder \"%1\" is not a folder").arg(folder);
        return false;
    }
    if (!info.exists() && !QDir().mkpath(folder)) {
        *error = QStringLiteral("output folder \"%1\" cannot be created: %2")
                     .arg(folder, FileCheck::describe(FileCheck::fromErrno(errno)));
        return false;
    }
    // An unnamed file shows that files can be made there and leaves nothing,
    // whatever happens to this program next.
    const QByteArray name = QFile::encodeName(folder);
    const int fd = open(name.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    int failed = fd < 0 ? errno : 0;
    if (fd >= 0)
        close(fd);
    else if (failed == EOPNOTSUPP || failed == EISDIR || failed == EINVAL)
        failed = access(name.constData(), W_OK | X_OK) == 0 ? 0 : errno;
    if (failed != 0) {
        *error = QStringLiteral("output folder \"%1\" cannot be written: %2")
                     .arg(folder, FileCheck::describe(FileCheck::fromErrno(failed)));
        return false;
    }
    return true;
}

// Inputs whose tile files have the same names (a.bmp and a.jpg) form one group,
// done in input order by one worker, so the later input's tiles win whatever
// the number of jobs, as in a run of one job.
std::vector<std::vector<int>> groupByOutputName(const QStringList& inputs, bool largestFirst)
{
    std::vector<std::vector<int>> groups;
    std::map<QString, size_t> groupOf;
    for (int i = 0; i < inputs.size(); ++i) {
        const QString key = BatchNaming::OutFileName(QFileInfo(inputs.at(i)).fileName(), 0, {});
        const auto [it, inserted] = groupOf.emplace(key, groups.size());
        if (inserted)
            groups.emplace_back();
        groups[it->second].push_back(i);
    }
    // With several workers, the largest pictures first, so that no worker is
    // left with a big one at the end while the others are idle. Only the
    // order of the work changes: results are reported in input order.
    if (!largestFirst)
        return groups;
    std::vector<qint64> bytes(groups.size(), 0);
    for (size_t g = 0; g < groups.size(); ++g) {
        for (int i : groups[g])
            bytes[g] += QFileInfo(inputs.at(i)).size();
    }
    std::vector<size_t> order(groups.size());
    for (size_t g = 0; g < order.size(); ++g)
        order[g] = g;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return bytes[a] > bytes[b]; });
    std::vector<std::vector<int>> sorted;
    sorted.reserve(groups.size());
    for (size_t g : order)
        sorted.push_back(std::move(groups[g]));
    return sorted;
}

} // namespace

namespace BatchCli {

int refuseUndecodableArguments(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        if (!FileCheck::isUtf8(bytes)) {
            printErr(QStringLiteral("the argument \"%1\" is not UTF-8 text; names of files and "
                                    "folders must be UTF-8 (rename it)")
                         .arg(FileCheck::shownName(bytes)));
            return 2;
        }
    }
    return 0;
}

int run(const QStringList& arguments)
{
    QString error;
    const std::optional<BatchCommandLine> parsed =
        BatchCommandLine::parse(arguments, QThread::idealThreadCount(), &error);
    if (!parsed) {
        printErr(error + QStringLiteral("\nTry 'quilton-batch --help'."));
        return 2;
    }
    const BatchCommandLine& cl = *parsed;
    if (cl.help) {
        const QByteArray text = cl.usage().toLocal8Bit();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        return 0;
    }
    if (cl.version) {
        std::fputs("quilton-batch " QUILTON_RELEASE_TEXT "\n", stdout);
        return 0;
    }
    DecodeBudget::process().setLimit(qint64(cl.memoryMiB) << 20);

    for (const QString& key : cl.unusedSettings)
        printErr(QStringLiteral("settings file \"%1\": %2 could not be used; read as the batch "
                                "window reads it")
                     .arg(cl.settingsFile, key));

    QStringList inputs;
    const QFileInfo input(cl.input);
    const FileCheck::Problem folderProblem = FileCheck::listableFolder(cl.input);
    if (folderProblem.ok()) {
        const QString folder = input.absoluteFilePath();
        FileCheck::Problem problem;
        const QStringList names = BatchNaming::matchingFiles(
            folder, BatchNaming::inputPattern(cl.settings.inputTypes), &problem);
        if (!problem.ok()) {
            printErr(QStringLiteral("cannot read input folder \"%1\": %2")
                         .arg(cl.input, FileCheck::describe(problem)));
            return 2;
        }
        for (const QString& name : names)
            inputs.append(BatchEngine::joinPath(folder, name));
    } else if (folderProblem.kind == FileCheck::Failure::NotAFolder) {
        // Anything else there is taken as a picture: a file that cannot be
        // read is named with the reason when it is loaded.
        inputs.append(input.absoluteFilePath());
    } else if (folderProblem.kind == FileCheck::Failure::Missing) {
        printErr(QStringLiteral("input \"%1\" does not exist").arg(cl.input));
        return 2;
    } else {
        const QString what =
            input.isDir() ? QStringLiteral("input folder") : QStringLiteral("input");
        printErr(QStringLiteral("cannot read %1 \"%2\": %3")
                     .arg(what, cl.input, FileCheck::describe(folderProblem)));
        return 2;
    }

    bool jpeg = cl.jpegByOption.value_or(cl.jpegAskedBySettings);
    QString library;
    if (jpeg) {
        if (cl.quality < 1 || cl.quality > 100) {
            printErr(QStringLiteral("the settings file's JPEG quality %1 is outside 1..100; "
                                    "give one with --quality")
                         .arg(cl.quality));
            return 2;
        }
        library = findJpegLibrary(cl.quality);
        if (library.isEmpty() && cl.jpegByOption) {
            printErr(QStringLiteral("JPEG output needs SaveJPG.so in %1 or beside quilton-batch "
                                    "(%2), and none can be loaded; nothing was written")
                         .arg(Paths::systemFolder(false), QCoreApplication::applicationDirPath()));
            return 2;
        }
        if (library.isEmpty()) {
            printErr(QStringLiteral("note: the settings file asks for JPEG output but SaveJPG.so "
                                    "cannot be loaded; writing BMP, as the batch window does"));
            jpeg = false;
        }
    }
    const QString extension = jpeg ? QStringLiteral("jpg") : QStringLiteral("bmp");

    if (!prepareOutputFolder(cl.outputDir, &error)) {
        printErr(error);
        return 2;
    }
    const QString outputFolder = QFileInfo(cl.outputDir).absoluteFilePath();
    if (inputs.isEmpty()) {
        printErr(QStringLiteral("no matching pictures in \"%1\" (pattern %2)")
                     .arg(cl.input, BatchNaming::inputPattern(cl.settings.inputTypes)));
        return 0;
    }

    const std::vector<std::vector<int>> groups = groupByOutputName(inputs, cl.jobs > 1);
    std::vector<BatchEngine::FileResult> results(size_t(inputs.size()));
    std::vector<char> processed(size_t(inputs.size()), 0);
    std::atomic<size_t> nextGroup{0};
    std::atomic<bool> stop{false};
    std::mutex progressMutex;
    int doneCount = 0;
    const bool showProgress = isatty(STDERR_FILENO) != 0;

    auto worker = [&] {
        CliTileOperations ops(cl.half, cl.chamfer, jpeg ? library : QString(), cl.quality);
        for (;;) {
            const size_t g = nextGroup.fetch_add(1);
            if (g >= groups.size())
                return;
            for (int index : groups[g]) {
                if (stop.load())
                    return;
                results[size_t(index)] = BatchEngine::processFile(
                    ops, cl.settings, inputs.at(index), outputFolder, extension);
                processed[size_t(index)] = 1;
                if (results[size_t(index)].status == BatchEngine::FileResult::WriteFailed)
                    stop.store(true);
                std::lock_guard lock(progressMutex);
                ++doneCount;
                if (showProgress) {
                    std::fprintf(stderr, "\rquilton-batch: %d/%lld pictures", doneCount,
                                 static_cast<long long>(inputs.size()));
                    std::fflush(stderr);
                }
            }
        }
    };
    const int jobs = int(std::min<size_t>(size_t(cl.jobs), groups.size()));
    if (jobs <= 1) {
        worker();
    } else {
        std::vector<std::thread> threads;
        for (int j = 0; j < jobs; ++j)
            threads.emplace_back(worker);
        for (std::thread& t : threads)
            t.join();
    }
    if (showProgress)
        std::fputs("\n", stderr);

    // Reported in input order, whatever order the workers finished in.
    int unreadable = 0;
    int notDone = 0;
    bool writeFailed = false;
    for (int i = 0; i < inputs.size(); ++i) {
        const BatchEngine::FileResult& r = results[size_t(i)];
        if (!processed[size_t(i)]) {
            ++notDone;
        } else if (r.status == BatchEngine::FileResult::Unreadable) {
            ++unreadable;
            printErr(QStringLiteral("cannot read \"%1\": %2; skipped, no tiles written for it")
                         .arg(inputs.at(i), r.error));
        } else if (r.status == BatchEngine::FileResult::WriteFailed) {
            writeFailed = true;
            printErr(
                QStringLiteral("cannot write tile file \"%1\": %2").arg(r.failedPath, r.error));
        }
    }
    if (writeFailed) {
        printErr(QStringLiteral("stopped: %1 of %2 pictures were not processed")
                     .arg(notDone)
                     .arg(inputs.size()));
        return 2;
    }
    if (unreadable > 0) {
        printErr(
            QStringLiteral("%1 of %2 inputs could not be read").arg(unreadable).arg(inputs.size()));
        return 1;
    }
    return 0;
}

} // namespace BatchCli
