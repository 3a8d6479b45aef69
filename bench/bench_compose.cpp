// Opening a large photo: the program's intake and composition against
// libjpeg-turbo decoding the same file at 1/8 scale on its own.
//
//   bench_compose [picture.jpg] [runs] [goal]
//
// Without a picture it writes a detailed 6000 x 4000 JPEG (quality 90) into
// a temporary folder. The measurements run in fresh child processes of this
// program, so the big picture made here never counts in their memory:
//   (a) libjpeg alone: jpeg_read_header, scale 1/8, all scanlines;
//   (b) PictureLoader::load, then TileDesigner composing tiles A to D.
// One child alternates (a) and (b) and reports their medians (goal:
// b / a <= 1.3 unless given; a progressive photograph, read only as far as
// its 1/8 needs, has 0.5); another runs (b) once and reports its peak resident size
// (goal: under 64 MB), next to a child that only starts up.

#include "tile/PictureLoader.h"
#include "tile/TileDesigner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace {

constexpr double kDefaultRatioGoal = 1.3;
constexpr double kMemoryGoalMb = 64.0;

// The peak resident size of this process image. getrusage's ru_maxrss
// would not do: Linux carries it over an exec from the forking parent,
// which holds the big generated picture. VmHWM starts afresh with the exec.
double peakResidentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0; // kB
    }
    return -1;
}

// A picture with detail everywhere, so the entropy decoder has real work:
// gradients, rings and a fine pseudo-random texture.
QImage detailedPicture(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    quint32 state = 12345;
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = int(state >> 27); // 0..31
            const double ring = std::sin(std::hypot(x - w / 2.0, y - h / 3.0) / 23.0);
            const int r = (x * 255 / w + noise) & 0xff;
            const int g = std::clamp(int(128 + 100 * ring) + noise - 16, 0, 255);
            const int b = ((x / 40 + y / 40) % 2 ? 200 : 60) + noise;
            line[x] = qRgb(r, g, std::min(b, 255));
        }
    }
    QPainter painter(&image);
    painter.setPen(QPen(Qt::black, 3));
    for (int i = 0; i < 60; ++i)
        painter.drawLine(0, i * h / 60, w, h - i * h / 60);
    return image;
}

struct JpegError
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

// Runs libjpeg on an opened file; a libjpeg error jumps back here.
bool decodeEighthFrom(jpeg_decompress_struct& info, JpegError& error)
{
    if (setjmp(error.jump))
        return false;
    jpeg_read_header(&info, TRUE);
    info.scale_num = 1;
    info.scale_denom = 8;
    jpeg_start_decompress(&info);
    JSAMPARRAY rows =
        (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                  info.output_width * JDIMENSION(info.output_components), 1);
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(&info, rows, 1);
    jpeg_finish_decompress(&info);
    return true;
}

// (a): the reference, libjpeg-turbo decoding at 1/8 scale by itself.
bool decodeEighth(const char* path)
{
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    jpeg_decompress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = [](j_common_ptr common) {
        std::longjmp(reinterpret_cast<JpegError*>(common->err)->jump, 1);
    };
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    const bool ok = decodeEighthFrom(info, error);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return ok;
}

// (b): the program's way, from file to four tiles.
bool loadAndCompose(const QString& path)
{
    const LoadedPicture loaded = PictureLoader::load(path);
    if (!loaded.ok())
        return false;
    TileDesigner designer;
    designer.setSource(loaded.image);
    return designer.compose(-1);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int runTiming(const QString& path, int runs)
{
    const QByteArray localPath = path.toLocal8Bit();
    // One warm-up of each: the file in the page cache, plug-ins loaded.
    if (!decodeEighth(localPath.constData()) || !loadAndCompose(path)) {
        std::fprintf(stderr, "cannot decode %s\n", localPath.constData());
        return 1;
    }
    std::vector<double> reference;
    std::vector<double> program;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        decodeEighth(localPath.constData());
        reference.push_back(double(timer.nsecsElapsed()) / 1e6);
        timer.restart();
        loadAndCompose(path);
        program.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("%.3f %.3f\n", median(reference), median(program));
    return 0;
}

int runMemory(const QString& path)
{
    if (!loadAndCompose(path))
        return 1;
    std::printf("%.1f\n", peakResidentMb());
    return 0;
}

QString runChild(const QStringList& arguments)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(600000) || child.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(child.readAllStandardOutput()).trimmed();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args.at(1) == QLatin1String("--timing"))
        return runTiming(args.at(2), args.at(3).toInt());
    if (args.size() >= 3 && args.at(1) == QLatin1String("--memory"))
        return runMemory(args.at(2));
    if (args.size() >= 2 && args.at(1) == QLatin1String("--idle")) {
        std::printf("%.1f\n", peakResidentMb());
        return 0;
    }

    QTemporaryDir folder;
    QString path = args.size() > 1 ? args.at(1) : QString();
    const int runs = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 9;
    const double ratioGoal = args.size() > 3 ? args.at(3).toDouble() : kDefaultRatioGoal;
    if (path.isEmpty()) {
        path = folder.filePath(QStringLiteral("photo-6000x4000.jpg"));
        QImageWriter writer(path, "jpeg");
        writer.setQuality(90);
        if (!writer.write(detailedPicture(6000, 4000))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    std::printf("picture: %s (%.1f MB)\n", qPrintable(path),
                double(QFileInfo(path).size()) / (1024.0 * 1024.0));

    const QStringList timing =
        runChild({QStringLiteral("--timing"), path, QString::number(runs)}).split(QLatin1Char(' '));
    const QString memory = runChild({QStringLiteral("--memory"), path});
    const QString idle = runChild({QStringLiteral("--idle")});
    if (timing.size() != 2 || memory.isEmpty() || idle.isEmpty()) {
        std::fprintf(stderr, "a measuring child failed\n");
        return 1;
    }
    const double reference = timing.at(0).toDouble();
    const double program = timing.at(1).toDouble();
    const double ratio = program / reference;
    const double peak = memory.toDouble();
    std::printf("median of %d runs\n", runs);
    std::printf("  (a) libjpeg-turbo alone, 1/8 scale    %8.2f ms\n", reference);
    std::printf("  (b) load + compose tiles A-D          %8.2f ms\n", program);
    std::printf("  ratio b / a                           %8.2f   (goal <= %.1f) %s\n", ratio,
                ratioGoal, ratio <= ratioGoal ? "ok" : "OVER");
    std::printf("  peak resident size of (b)             %8.1f MB (goal < %.0f MB) %s\n", peak,
                kMemoryGoalMb, peak < kMemoryGoalMb ? "ok" : "OVER");
    std::printf("  of which a process that only starts   %8.1f MB\n", idle.toDouble());
    return 0;
}
