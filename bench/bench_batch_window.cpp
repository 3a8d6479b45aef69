// The batch window's run for the batch benchmark: builds the main window
// offscreen over a temporary program folder whose settings name the input
// and output folders (JPEG inputs, BMP output, all four tiles, no effect),
// clicks "実行(&R)" and prints the run's wall time and processor time in
// seconds. The run is the one
// a user starts: the same window, the same event breaks before each file and
// tile, the same composer and saving.
//
//   bench_batch_window INPUT_DIR OUTPUT_DIR
#include "BenchClock.h"
#include "app/AppContext.h"
#include "app/frmMain.h"
#include "app/guiMessage.h"
#include "batch/frmBatch.h"
#include "platform/Desktop.h"
#include "platform/RegistryStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

#include <time.h>

namespace {

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_batch_window INPUT_DIR OUTPUT_DIR\n");
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const QString input = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString output = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    QDir().mkpath(output);

    QTemporaryDir home;
    const QString program = home.filePath(QStringLiteral("prog"));
    for (const char* sub : {"prog", "lib", "backgrounds"})
        QDir().mkpath(home.filePath(QLatin1String(sub)));
    QFile ini(program + QStringLiteral("/quilton.ini"));
    if (!ini.open(QIODevice::WriteOnly))
        return 1;
    ini.write("[Start]\r\nScreenCap=False\r\n[ImageType]\r\nSrcFile=010\r\nDstFile=0\r\n"
              "[Folder]\r\nSource=" +
              input.toUtf8() + "\r\nSave=" + output.toUtf8() + "\r\n");
    ini.close();

    AppContext context;
    context.programFolder = program;
    context.systemFolder = home.filePath(QStringLiteral("lib"));
    context.windowsFolder = home.filePath(QStringLiteral("backgrounds"));
    auto registry = std::make_shared<RegistryStore>(home.filePath(QStringLiteral("registry.ini")));
    context.registry = registry;
    context.desktop = std::shared_ptr<Desktop>(makeStoreOnlyDesktop(*registry).release());
    context.captureScreen = [] { return QImage(); };

    QStringList messages;
    guiMessage::setCapture([&](const guiMessage::Message& m) { messages << m.text; });
    frmMain main(context);
    main.show();
    frmBatch* batch = main.batchWindow();
    batch->show();
    QCoreApplication::processEvents();

    auto* run = batch->findChild<QPushButton*>(QStringLiteral("cmdBatch"));
    QElapsedTimer timer;
    const double cpuStart = processorSeconds();
    timer.start();
    run->click();
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double cpu = processorSeconds() - cpuStart;
    for (const QString& m : messages)
        std::fprintf(stderr, "message: %s\n", qPrintable(m));
    std::printf("%.4f %.4f\n", seconds, cpu);
    return messages.isEmpty() ? 0 : 1;
}
