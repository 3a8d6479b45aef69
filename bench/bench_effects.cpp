// Times each tile effect and the composer on a 100 x 100 tile.
//
//   bench_effects [rounds]
//
// Prints the median processor time of one call in microseconds (goal: each
// effect well under 100 us); processor time, because the machines this runs
// on are shared and wall time mostly measures the neighbours. Every call starts from the committed
// tile, so the copy an effect makes of a shared picture is part of the time, as it is in the
// program.

#include "effects/Effects.h"
#include "effects/mContrast.h"
#include "tile/Composer.h"

#include <QCoreApplication>
#include <QImage>
#include <QRandomGenerator>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QImage randomPicture(int w, int h)
{
    QRandomGenerator random(42);
    QImage picture(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = 0xff000000u | (random.generate() & 0x00ffffffu);
    }
    return picture;
}

double microseconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

struct Timing
{
    double cpu;  // this thread's processor time
    double wall; // elapsed (Qt may scale large pictures on worker threads)
};

// Medians over rounds of the mean time of one call in a batch, in microseconds.
Timing medianMicroseconds(int rounds, int batch, const std::function<void()>& call)
{
    std::vector<double> cpu;
    std::vector<double> wall;
    for (int round = 0; round < rounds; ++round) {
        const double cpuStart = microseconds(CLOCK_THREAD_CPUTIME_ID);
        const double wallStart = microseconds(CLOCK_MONOTONIC);
        for (int i = 0; i < batch; ++i)
            call();
        cpu.push_back((microseconds(CLOCK_THREAD_CPUTIME_ID) - cpuStart) / batch);
        wall.push_back((microseconds(CLOCK_MONOTONIC) - wallStart) / batch);
    }
    std::sort(cpu.begin(), cpu.end());
    std::sort(wall.begin(), wall.end());
    return {cpu[cpu.size() / 2], wall[wall.size() / 2]};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    constexpr int kBatch = 200;
    constexpr double kGoalMicroseconds = 100.0;

    const QImage committed = randomPicture(100, 100);
    QImage tile;
    struct Case
    {
        const char* name;
        std::function<void(QImage&)> effect;
    };
    const std::vector<Case> effects = {
        {"brightness +25", [](QImage& t) { ChangeBrightness(t, 25); }},
        {"contrast 50", [](QImage& t) { mContrast::ApplyContrast(t, 100, 100, t, 50); }},
        {"blur", BlurFilter},
        {"block 10 x 5", [](QImage& t) { BlockFilter(t, 10, 5); }},
        {"emboss", EmbossFilter},
        {"grayscale", GrayFilter},
    };

    std::printf("on a 100 x 100 tile          cpu us   wall us   cpu / goal of %.0f us\n",
                kGoalMicroseconds);
    bool allWithinGoal = true;
    for (const Case& effect : effects) {
        const Timing t = medianMicroseconds(rounds, kBatch, [&] {
            tile = committed;
            effect.effect(tile);
        });
        allWithinGoal = allWithinGoal && t.cpu < kGoalMicroseconds;
        std::printf("  %-26s %7.1f   %7.1f   %6.2f\n", effect.name, t.cpu, t.wall,
                    t.cpu / kGoalMicroseconds);
    }

    const QImage stretched = randomPicture(100, 100);
    const QImage photo = randomPicture(750, 500);
    const Timing compose = medianMicroseconds(rounds, kBatch / 4, [&] {
        for (int index = 0; index < 4; ++index)
            tile = Composer::composeFromStretched(stretched, index, true);
    });
    const Timing stretch = medianMicroseconds(
        rounds, kBatch / 20, [&] { tile = Composer::stretch(photo, QSize(100, 100)); });
    std::printf("  %-26s %7.1f   %7.1f\n", "compose A-D from S", compose.cpu, compose.wall);
    std::printf("  %-26s %7.1f   %7.1f\n", "stretch 750 x 500 to S", stretch.cpu, stretch.wall);
    std::printf("%s\n", allWithinGoal ? "all effects within goal" : "SOME EFFECTS OVER GOAL");
    return 0;
}
