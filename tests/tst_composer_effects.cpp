// The tile pictures: the four compositions of a source, and the pixel effects
// on a tile with their worked values.
#include "TestEnv.h"
#include "support/TestInstall.h"

#include "effects/Effects.h"
#include "effects/PixelGrid.h"
#include "effects/mContrast.h"
#include "tile/Composer.h"
#include "tile/TileDesigner.h"

#include <QApplication>
#include <QPainter>

#include <climits>
#include <utility>

using namespace testsupport;

namespace {

QRgb grey(int v)
{
    return qRgb(v, v, v);
}

// image with rect filled in colour.
QImage withRect(QImage image, QRect rect, QRgb colour)
{
    QPainter(&image).fillRect(rect, QColor(colour));
    return image;
}

} // namespace

class tst_composer_effects : public QObject
{
    Q_OBJECT

private slots:
    void tilesInOpaqueWordsSymmetricWithChamferBand()
    {
        // A source of four quadrants a b / c d: every tile comes out one colour,
        // worked out by hand from its formula on a white background. XOR of two
        // opaque pixels would clear the alpha byte: every word must be 0xff....
        const QImage quadrants =
            withRect(withRect(withRect(flatImage(100, 100, 0xff7321b6u), {50, 0, 50, 50}, 0x3c6513),
                              {0, 50, 50, 50}, 0x5e2895),
                     {50, 50, 50, 50}, 0x1ba374);
        const QRgb worked[] = {0xff102010u, 0xff7feff7u, 0xff0acf44u, 0xffff31bfu};
        // Odd source sizes, so the stretch itself is not symmetric.
        const QImage source = randomImage(157, 91, 1);
        for (int index = 0; index < 4; ++index) {
            QCOMPARE(rawWords(Composer::composeFromStretched(quadrants, index, false)),
                     flatImage(100, 100, worked[index]).convertToFormat(QImage::Format_ARGB32));
            for (const bool half : {false, true}) {
                // Of one colour: A, B = the colour; C = black (four equal copies
                // XORed); D = BG OR c = white.
                const QRgb colour = half ? qRgb(3, 20, 90) : qRgb(255, 128, 0);
                const QRgb flat[] = {colour, colour, qRgb(0, 0, 0), qRgb(255, 255, 255)};
                QCOMPARE(Composer::compose(flatImage(37, 23, colour), index, half, false),
                         flatImage(100, half ? 50 : 100, flat[index]));
                const QImage plain = Composer::compose(source, index, half, false);
                QCOMPARE(plain.mirrored(true, false), plain);
                QCOMPARE(plain.mirrored(false, true), plain);
                // The band two pixels wide inside the edges; inner pixels untouched.
                const QImage edged = Composer::compose(source, index, half, true);
                const QRect inner(2, 2, 96, half ? 46 : 96);
                QCOMPARE(edged.copy(inner), plain.copy(inner));
                QCOMPARE(rawWords(withRect(rawWords(edged), inner, grey(100))),
                         rawWords(flatImage(100, half ? 50 : 100, grey(100))));
            }
        }
    }

    void stretchFillsTheTileAndKeepsTileSizedSource()
    {
        for (const bool half : {false, true}) {
            const QSize size = Composer::tileSize(half);
            const QImage tileSized = randomImage(size.width(), size.height(), 8);
            QCOMPARE(Composer::stretch(tileSized, size), tileSized);

            // The whole picture is stretched into the tile, not cropped: a left
            // half red, right half blue source stays red left, blue right.
            for (const QSize from : {QSize(750, 500), QSize(40, 70), QSize(1, 1)}) {
                QImage source(from, QImage::Format_ARGB32);
                source.fill(Qt::blue);
                QPainter(&source).fillRect(0, 0, (from.width() + 1) / 2, from.height(), Qt::red);
                const QImage stretched = Composer::stretch(source, size);
                QCOMPARE(stretched.size(), size);
                QCOMPARE(
                    QList({stretched.pixel(2, 10), stretched.pixel(97, 10)}),
                    QList({qRgb(255, 0, 0), from.width() > 1 ? qRgb(0, 0, 255) : qRgb(255, 0, 0)}));
            }
        }
    }

    void composeOneTileKeepsTheOthersEffects()
    {
        TileDesigner designer;
        QVERIFY(!designer.compose(-1)); // no source: nothing composed
        designer.setSource(randomImage(240, 160, 12));
        QVERIFY(designer.compose(-1));
        const auto fresh = [&](int i) {
            return Composer::compose(designer.source(), i, false, false);
        };
        for (int index = 0; index < 4; ++index)
            QCOMPARE(designer.tile(index), fresh(index));
        for (const auto& [index, effect] : {std::pair(0, &TileDesigner::gray),
                                            {2, &TileDesigner::blur},
                                            {3, &TileDesigner::emboss}}) {
            designer.setCurrentTile(index);
            (designer.*effect)();
        }
        designer.setCurrentTile(1);
        QVERIFY(!designer.lightPercent(129)); // an overflowing percentage draws nothing
        const QImage grayA = designer.tile(0), embossedD = designer.tile(3);
        QVERIFY(designer.tile(2) != fresh(2));

        // Undo of tile C: composes C again, A and D keep their effects.
        QVERIFY(designer.compose(2));
        QCOMPARE(QList({designer.tile(0), designer.tile(1), designer.tile(2), designer.tile(3)}),
                 QList({grayA, fresh(1), fresh(2), embossedD}));
    }

    void effectGridLayoutAndWriteBackInOpaqueWords()
    {
        // Half size: the grid spans 101 x 51 cells; row 0 is a black margin,
        // column 100 wraps to column 0 of the row above; read and written back,
        // the tile is unchanged.
        QImage half = randomImage(100, 50, 1);
        const PixelGrid grid = ReadTilePixels(half);
        QCOMPARE(grid.at(7, 0), 0u);
        QCOMPARE(grid.at(7, 50), half.pixel(7, 49) & 0x00ffffffu);
        QCOMPARE(grid.at(100, 9), half.pixel(0, 7) & 0x00ffffffu);
        WriteTilePixels(half, grid);
        QCOMPARE(half, randomImage(100, 50, 1));

        // The margins are not written back, and written pixels get 0xff in the
        // top byte even where it started as 0 (Format_RGB32 ignores it).
        QImage tile = flatImage(100, 100, 0x00010203u);
        PixelGrid changed = ReadTilePixels(tile);
        for (int i = 0; i <= 100; ++i)
            changed.at(i, 0) = changed.at(100, i) = 0x00ffffff;
        changed.at(5, 5) = 0x00102030;
        WriteTilePixels(tile, changed);
        QImage expected = flatImage(100, 100, 0xff010203u).convertToFormat(QImage::Format_ARGB32);
        expected.setPixel(5, 4, 0xff102030u);
        QCOMPARE(rawWords(tile), expected);
    }

    void lightLevelBrightnessAndContrast()
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

        // Contrast at strength 50: value -> value; 100 -> 86 -> 65 when applied
        // twice. Green and blue check 45 -> 4 and 100 -> 86 alongside. The
        // command always asks for a 100 x 100 square: a half-size tile takes
        // only its own 100 x 50.
        const std::pair<int, int> rows[] = {{128, 128}, {43, 0},    {45, 4},    {100, 86},
                                            {86, 65},   {127, 126}, {129, 130}, {213, 255}};
        for (const auto& [value, expected] : rows) {
            QImage half = flatImage(100, 50, qRgb(value, 45, 100));
            mContrast::ApplyContrast(half, 100, 100, half, 50);
            QVERIFY2(half == flatImage(100, 50, qRgb(expected, 4, 86)),
                     qPrintable(QString::number(value)));
        }
        tile.fill(grey(100));
        mContrast::ApplyContrast(tile, 100, 100, tile, 50);
        mContrast::ApplyContrast(tile, 100, 100, tile, 50);
        QCOMPARE(tile, flatImage(100, 100, grey(65)));
    }

    void filtersGiveWholePictures()
    {
        // Emboss: flat areas emboss to 128; the top row is compared with the
        // black margin row, column 0 of it with the margin column too.
        const auto embossed = [](int height, int e) {
            const QImage top = withRect(flatImage(100, height, grey(128)), {0, 0, 100, 1},
                                        grey(std::max(128 - 2 * e, 0)));
            return withRect(top, {0, 0, 1, 1}, grey(128 - e));
        };
        void (*const block)(QImage&) = [](QImage& tile) { BlockFilter(tile, 10, 5); };
        const std::tuple<const char*, QImage, void (*)(QImage&), QImage> rows[] = {
            // Grayscale takes the mean rounded down: 85, and 0 from (1, 1, 0).
            {"gray", withRect(flatImage(100, 50, qRgb(1, 1, 0)), {0, 0, 50, 50}, qRgb(255, 0, 0)),
             GrayFilter, withRect(flatImage(100, 50, grey(0)), {0, 0, 50, 50}, grey(85))},
            // Emboss rounds the mean to nearest.
            {"emboss red", flatImage(100, 100, qRgb(255, 0, 0)), EmbossFilter, embossed(100, 85)},
            {"emboss half", flatImage(100, 50, qRgb(1, 1, 0)), EmbossFilter, embossed(50, 1)},
            // One lighter pixel: it comes out darker, the three pixels lit by
            // it (right, below, below right) lighter.
            {"emboss one pixel",
             withRect(flatImage(100, 100, grey(100)), {50, 50, 1, 1}, grey(110)), EmbossFilter,
             withRect(withRect(embossed(100, 100), {50, 50, 2, 2}, grey(138)), {50, 50, 1, 1},
                      grey(98))},
            // The first block row holds the margin row and picture rows 0-3:
            // they get 4/5 of the colour.
            {"block", flatImage(100, 100, qRgb(255, 128, 3)), block,
             withRect(flatImage(100, 100, qRgb(255, 128, 3)), {0, 0, 100, 4}, qRgb(204, 102, 2))},
            // At half size, the cell of columns 30-39, rows 9-13, half black
            // and half 200 on a field of 100: the mean is 100 again, so the
            // whole field stays 100.
            {"block half",
             withRect(withRect(flatImage(100, 50, grey(100)), {30, 9, 5, 5}, 0), {35, 9, 5, 5},
                      grey(200)),
             block, withRect(flatImage(100, 50, grey(100)), {0, 0, 100, 4}, grey(80))},
            // At half size, one pixel 90 lighter in red spreads to itself and
            // its eight neighbours as 10 each; the rest, edges included, stays.
            {"blur half",
             withRect(flatImage(100, 50, qRgb(100, 31, 7)), {40, 30, 1, 1}, qRgb(190, 31, 7)),
             BlurFilter,
             withRect(flatImage(100, 50, qRgb(100, 31, 7)), {39, 29, 3, 3}, qRgb(110, 31, 7))},
        };
        for (auto [name, tile, effect, expected] : rows) {
            effect(tile);
            QVERIFY2(tile == expected, name);
        }
        // Blur: the bottom-left pixel copies the pixel one right and one up.
        QImage tile = randomImage(100, 100, 5);
        BlurFilter(tile);
        QCOMPARE(tile.pixel(0, 99), randomImage(100, 100, 5).pixel(1, 98));
    }
};

QUILTON_TEST_MAIN(tst_composer_effects)
#include "tst_composer_effects.moc"
