#include "TestEnv.h"
#include "support/TestInstall.h"

#include "effects/Effects.h"
#include "effects/PixelGrid.h"
#include "effects/mContrast.h"

#include <QApplication>
#include <QPainter>

#include <climits>
#include <functional>

using testsupport::flatImage;
using testsupport::randomImage;

namespace {

QImage drawn(int w, int h, const std::function<QRgb(int x, int y)>& colourAt)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, colourAt(x, y));
    return image;
}

QRgb grey(int v)
{
    return qRgb(v, v, v);
}

} // namespace

class tst_effects : public QObject
{
    Q_OBJECT

private slots:

    void gridLayoutAndWriteBackInOpaqueWords()
    {
        // Half size: the grid spans 101 x 51 cells; row 0 is a black margin,
        // column 100 wraps to column 0 of the row above.
        const QImage half = randomImage(100, 50, 1);
        const PixelGrid grid = ReadTilePixels(half);
        QCOMPARE(QSize(grid.width(), grid.height()), QSize(100, 50));
        QCOMPARE(grid.at(7, 0), 0u);
        QCOMPARE(grid.at(7, 50), half.pixel(7, 49) & 0x00ffffffu);
        QCOMPARE(grid.at(100, 9), half.pixel(0, 7) & 0x00ffffffu);
        for (const int height : {100, 50}) {
            QImage tile = randomImage(100, height, 2);
            WriteTilePixels(tile, ReadTilePixels(tile));
            QCOMPARE(tile, randomImage(100, height, 2));
        }

        // The margins are not written back, and written pixels get 0xff in the
        // top byte even where it started as 0 (Format_RGB32 ignores it).
        QImage tile = flatImage(100, 100, 0);
        tile.fill(0x00010203u);
        PixelGrid changed = ReadTilePixels(tile);
        for (int i = 0; i <= 100; ++i)
            changed.at(i, 0) = changed.at(100, i) = 0x00ffffff;
        changed.at(5, 5) = 0x00102030;
        WriteTilePixels(tile, changed);
        QImage expected = flatImage(100, 100, 0xff010203u).convertToFormat(QImage::Format_ARGB32);
        expected.setPixel(5, 4, 0xff102030u);
        QCOMPARE(testsupport::rawWords(tile), expected);
    }

    void lightLevelAndBrightness()
    {
        // The ten batch percentages, then the largest level that fits 16 bits.
        QList<int> levels;
        for (const int percent : {-50, -40, -30, -20, -10, 10, 20, 30, 40, 50, 128})
            levels.append(CLightLevel(percent).value_or(INT_MIN));
        QCOMPARE(levels, (QList<int>{-128, -102, -76, -51, -26, 26, 51, 76, 102, 128, 326}));
        QVERIFY(!CLightLevel(129) && !CLightLevel(-129));

        // Each channel clamps on its own.
        QImage tile = flatImage(100, 100, qRgb(240, 0, 100));
        ChangeBrightness(tile, 25);
        QCOMPARE(tile, flatImage(100, 100, qRgb(255, 25, 125)));
        ChangeBrightness(tile, -50);
        QCOMPARE(tile, flatImage(100, 100, qRgb(205, 0, 75)));
    }

    void contrastMapsChannels()
    {
        // Strength 50: value -> value; 100 -> 86 -> 65 when applied twice. Green
        // and blue check 45 -> 4 and 100 -> 86 alongside. The command always
        // asks for a 100 x 100 square: a half-size tile takes only its own 100 x 50.
        const std::pair<int, int> rows[] = {{128, 128}, {43, 0},    {45, 4},    {100, 86},
                                            {86, 65},   {127, 126}, {129, 130}, {213, 255}};
        for (const auto& [value, expected] : rows) {
            QImage half = flatImage(100, 50, qRgb(value, 45, 100));
            mContrast::ApplyContrast(half, 100, 100, half, 50);
            QCOMPARE(half, flatImage(100, 50, qRgb(expected, 4, 86)));
        }
        QImage tile = flatImage(100, 100, grey(100));
        mContrast::ApplyContrast(tile, 100, 100, tile, 50);
        mContrast::ApplyContrast(tile, 100, 100, tile, 50);
        QCOMPARE(tile, flatImage(100, 100, grey(65)));
    }

    void filtersGiveWholePictures()
    {
        // Grayscale takes the mean rounded down, emboss rounded to nearest. Flat
        // areas emboss to 128; the top row is compared with the black margin
        // row, column 0 of it with the margin column too. The first block row
        // holds the margin row and picture rows 0-3: they get 4/5 of the colour.
        const auto flat = [](QRgb c) { return [c](int, int) { return c; }; };
        const auto embossed = [](int e) {
            return [e](int x, int y) {
                return grey(y > 0 ? 128 : std::max(128 - (x > 0 ? 2 : 1) * e, 0));
            };
        };
        const auto blocked = [](int, int y) {
            return y < 4 ? qRgb(204, 102, 2) : qRgb(255, 128, 3);
        };
        void (*const block)(QImage&) = [](QImage& tile) { BlockFilter(tile, 10, 5); };
        const auto withRect = [](QImage image, QRect rect, QRgb colour) {
            QPainter(&image).fillRect(rect, QColor(colour));
            return image;
        };
        const QImage field = flatImage(100, 100, grey(100));
        const std::tuple<QImage, void (*)(QImage&), std::function<QRgb(int, int)>> rows[] = {
            {flatImage(100, 100, qRgb(255, 0, 0)), GrayFilter, flat(grey(85))},
            {flatImage(100, 100, qRgb(1, 1, 0)), GrayFilter, flat(grey(0))},
            {flatImage(100, 50, grey(40)), GrayFilter, flat(grey(40))},
            {flatImage(100, 100, qRgb(255, 0, 0)), EmbossFilter, embossed(85)},
            {flatImage(100, 100, qRgb(1, 1, 0)), EmbossFilter, embossed(1)},
            {flatImage(100, 50, grey(40)), EmbossFilter, embossed(40)},
            // One lighter pixel: it comes out darker, the three pixels lit by it
            // (right, below, below right) lighter.
            {withRect(field, QRect(50, 50, 1, 1), grey(110)), EmbossFilter,
             [&](int x, int y) {
                 const bool lit = (x == 50 || x == 51) && (y == 50 || y == 51);
                 return x == 50 && y == 50 ? grey(98) : lit ? grey(138) : embossed(100)(x, y);
             }},
            {flatImage(100, 100, qRgb(255, 128, 3)), block, blocked},
            {flatImage(100, 50, qRgb(255, 128, 3)), block, blocked},
            // The cell of columns 30-39, rows 9-13, half black and half 200 on a
            // field of 100: the mean is 100 again, so the whole field stays 100.
            {withRect(withRect(field, QRect(30, 9, 5, 5), 0), QRect(35, 9, 5, 5), grey(200)), block,
             [](int, int y) { return grey(y < 4 ? 80 : 100); }},
            {flatImage(100, 100, qRgb(200, 31, 7)), BlurFilter, flat(qRgb(200, 31, 7))},
            {flatImage(100, 50, qRgb(200, 31, 7)), BlurFilter, flat(qRgb(200, 31, 7))},
            // One pixel of 90 on black spreads to its eight neighbours as 10 each.
            {withRect(flatImage(100, 100, 0), QRect(40, 60, 1, 1), grey(90)), BlurFilter,
             [](int x, int y) { return grey(qAbs(x - 40) <= 1 && qAbs(y - 60) <= 1 ? 10 : 0); }},
        };
        for (const auto& [input, effect, expected] : rows) {
            QImage tile = input;
            effect(tile);
            QCOMPARE(tile, drawn(100, input.height(), expected));
        }
        // Blur: the bottom-left pixel copies the pixel one right and one up.
        QImage tile = randomImage(100, 100, 5);
        BlurFilter(tile);
        QCOMPARE(tile.pixel(0, 99), randomImage(100, 100, 5).pixel(1, 98));
    }
};

QUILTON_TEST_MAIN(tst_effects)
#include "tst_effects.moc"
