// Times the repeat preview's repaint on a 1920 x 1080 view, offscreen.
//
//   QT_QPA_PLATFORM=offscreen bench_repeat [frames]
//
// For each zoom it prints the median processor time of one frame in
// milliseconds, twice: "changed" frames, where the tile changed before the
// frame (as after an effect: the repeating unit or the reduced screen is
// built again), and "same" frames, a plain repaint. Goal: a changed frame
// well under 5 ms, so the preview can follow every effect without a visible
// delay. Processor time, because the machines this runs on are shared.

#include "BenchClock.h"

#include "app/guiRepeatView.h"

#include <QApplication>
#include <QImage>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QImage randomTile(quint32 seed)
{
    QRandomGenerator random(seed);
    QImage picture(100, 100, QImage::Format_RGB32);
    for (int y = 0; y < 100; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < 100; ++x)
            line[x] = 0xff000000u | (random.generate() & 0x00ffffffu);
    }
    return picture;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Case
{
    const char* name;
    RepeatPattern::Zoom zoom;
    bool seams;
    QSize screen;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(3, atoi(argv[1])) : 201;
    const QSize viewSize(1920, 1080);
    // Two different tiles: a changed frame shows the other one, as the
    // committed tile after an effect is a new picture.
    const QImage tiles[2] = {randomTile(1), randomTile(2)};
    QImage target(viewSize, QImage::Format_RGB32);

    const Case cases[] = {
        {"1x", RepeatPattern::Zoom::X1, false, QSize(1920, 1080)},
        {"1x, seams", RepeatPattern::Zoom::X1, true, QSize(1920, 1080)},
        {"2x", RepeatPattern::Zoom::X2, false, QSize(1920, 1080)},
        {"4x, seams", RepeatPattern::Zoom::X4, true, QSize(1920, 1080)},
        {"fit screen 1920x1080", RepeatPattern::Zoom::FitScreen, false, QSize(1920, 1080)},
        {"fit screen 2560x1440", RepeatPattern::Zoom::FitScreen, true, QSize(2560, 1440)},
        {"fit screen 3840x2160", RepeatPattern::Zoom::FitScreen, false, QSize(3840, 2160)},
        // A reduction whose rows never repeat: every row is summed.
        {"fit screen 1921x1081", RepeatPattern::Zoom::FitScreen, false, QSize(1921, 1081)},
    };
    std::printf("repaint of a %dx%d preview, median of %d frames (processor ms)\n",
                viewSize.width(), viewSize.height(), frames);
    std::printf("%-24s %10s %10s\n", "zoom", "changed", "same");
    for (const Case& c : cases) {
        guiRepeatView view;
        view.resize(viewSize);
        view.setScreenSize(c.screen);
        view.setZoom(c.zoom);
        view.setSeams(c.seams);
        view.setTile(tiles[0]);
        view.render(&target); // warm-up
        std::vector<double> changed;
        std::vector<double> same;
        for (int i = 0; i < frames; ++i) {
            double start = processorSeconds();
            view.setTile(tiles[(i + 1) % 2]);
            view.render(&target);
            changed.push_back((processorSeconds() - start) * 1e3);
            start = processorSeconds();
            view.render(&target);
            same.push_back((processorSeconds() - start) * 1e3);
        }
        std::printf("%-24s %10.2f %10.2f\n", c.name, median(changed), median(same));
    }
    return 0;
}
