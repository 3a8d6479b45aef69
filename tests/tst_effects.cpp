#include "TestEnv.h"
#include "support/TestInstall.h"

#include "effects/Effects.h"
#include "effects/PixelGrid.h"
#include "effects/mContrast.h"

#include <QApplication>

#include <climits>
#include <cmath>
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

// The mean of each channel over area, rounded half to even.
QRgb mean(const QImage& image, const QRect& area)
{
    int r = 0, g = 0, b = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            r += qRed(image.pixel(x, y));
            g += qGreen(image.pixel(x, y));
            b += qBlue(image.pixel(x, y));
        }
    }
    const double n = area.width() * area.height();
    return qRgb(int(std::nearbyint(r / n)), int(std::nearbyint(g / n)), int(std::nearbyint(b / n)));
}

} // namespace

class tst_effects : public QObject
{
    Q_OBJECT

private slots:
    void gridLayoutHasMarginRowAndWrappedColumn();
    void gridWriteReadIdentityInOpaqueWords();
    void brightnessClampsEachChannel();
    void lightLevelOfPercent_data();
    void lightLevelOfPercent();
    void contrastMapsChannels_data();
    void contrastMapsChannels();
    void contrastCompoundsAndClipsToTile();
    void greyOfFlatTile_data();
    void greyOfFlatTile();
    void embossRelief();
    void blockAveragesItsOwnCells();
    void blurNeighbourRule();
};

void tst_effects::gridLayoutHasMarginRowAndWrappedColumn()
{
    // Half size: the grid spans 101 x 51 cells and the last one is addressable.
    const QImage tile = randomImage(100, 50, 1);
    const PixelGrid grid = ReadTilePixels(tile);
    QCOMPARE(grid.width(), 100);
    QCOMPARE(grid.height(), 50);
    for (int x = 0; x <= 100; ++x)
        QCOMPARE(grid.at(x, 0), 0u);
    QCOMPARE(grid.at(100, 1), 0u);
    for (int y = 1; y <= 50; ++y) {
        for (int x = 0; x < 100; ++x)
            QCOMPARE(grid.at(x, y), tile.pixel(x, y - 1) & 0x00ffffffu);
        if (y > 1)
            QCOMPARE(grid.at(100, y), grid.at(0, y - 1));
    }
    QCOMPARE(grid.at(100, 50), tile.pixel(0, 48) & 0x00ffffffu);
}

void tst_effects::gridWriteReadIdentityInOpaqueWords()
{
    for (const int height : {100, 50}) {
        const QImage original = randomImage(100, height, 2);
        QImage tile = original;
        WriteTilePixels(tile, ReadTilePixels(tile));
        QCOMPARE(tile, original);
    }

    // The margins are not written back, and written pixels get 0xff in the
    // top byte even where it started as 0 (Format_RGB32 ignores it).
    QImage tile = flatImage(100, 100, 0);
    tile.fill(0x00010203u);
    PixelGrid grid = ReadTilePixels(tile);
    for (int i = 0; i <= 100; ++i)
        grid.at(i, 0) = grid.at(100, i) = 0x00ffffff;
    grid.at(5, 5) = 0x00102030;
    WriteTilePixels(tile, grid);
    for (int y = 0; y < 100; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(tile.constScanLine(y));
        for (int x = 0; x < 100; ++x)
            QCOMPARE(line[x], x == 5 && y == 4 ? 0xff102030u : 0xff010203u);
    }
}

void tst_effects::brightnessClampsEachChannel()
{
    QImage tile = flatImage(100, 100, qRgb(240, 0, 100));
    ChangeBrightness(tile, 25);
    QCOMPARE(tile, flatImage(100, 100, qRgb(255, 25, 125)));
    tile = flatImage(100, 100, qRgb(10, 255, 25));
    ChangeBrightness(tile, -25);
    QCOMPARE(tile, flatImage(100, 100, qRgb(0, 230, 0)));
}

void tst_effects::lightLevelOfPercent_data()
{
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("level"); // INT_MIN: overflow, no level
    const int levels[] = {-128, -102, -76, -51, -26, 26, 51, 76, 102, 128};
    for (int i = 0; i < 10; ++i) {
        const int percent = i < 5 ? 10 * i - 50 : 10 * i - 40;
        QTest::addRow("batch %+d %%", percent) << percent << levels[i];
    }
    QTest::newRow("largest without overflow") << 128 << 326;
    QTest::newRow("129 overflows 16 bits") << 129 << INT_MIN;
    QTest::newRow("-129 overflows 16 bits") << -129 << INT_MIN;
}

void tst_effects::lightLevelOfPercent()
{
    QFETCH(int, percent);
    QFETCH(int, level);
    const std::optional<int> got = CLightLevel(percent);
    QCOMPARE(got.has_value(), level != INT_MIN);
    if (got)
        QCOMPARE(*got, level);
}

void tst_effects::contrastMapsChannels_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("mid grey stays") << 128 << 128;
    QTest::newRow("43 -> 0.5 rounds to 0") << 43 << 0;
    QTest::newRow("45 -> 3.5 rounds to 4") << 45 << 4;
    QTest::newRow("100 -> 86") << 100 << 86;
    QTest::newRow("127 -> 126.5 rounds to 126") << 127 << 126;
    QTest::newRow("129 -> 129.5 rounds to 130") << 129 << 130;
    QTest::newRow("213 -> 255.5 clamps") << 213 << 255;
    QTest::newRow("0 clamps") << 0 << 0;
}

void tst_effects::contrastMapsChannels()
{
    QFETCH(int, value);
    QFETCH(int, expected);
    // Red carries the value; green and blue check 45 -> 4 and 100 -> 86.
    QImage tile = flatImage(100, 100, qRgb(value, 45, 100));
    mContrast::ApplyContrast(tile, 100, 100, tile, 50);
    QCOMPARE(tile, flatImage(100, 100, qRgb(expected, 4, 86)));
}

void tst_effects::contrastCompoundsAndClipsToTile()
{
    // The command always asks for a 100 x 100 square; a half-size tile
    // takes only its own 100 x 50. Twice: 100 -> 86 -> 65.
    QImage half = flatImage(100, 50, qRgb(100, 100, 100));
    mContrast::ApplyContrast(half, 100, 100, half, 50);
    QCOMPARE(half, flatImage(100, 50, qRgb(86, 86, 86)));
    mContrast::ApplyContrast(half, 100, 100, half, 50);
    QCOMPARE(half, flatImage(100, 50, qRgb(65, 65, 65)));

    // Strengths outside 0..100 draw nothing.
    for (const int strength : {-1, 101}) {
        QImage tile = randomImage(100, 100, 3);
        mContrast::ApplyContrast(tile, 100, 100, tile, strength);
        QCOMPARE(tile, randomImage(100, 100, 3));
    }
}

void tst_effects::greyOfFlatTile_data()
{
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<int>("gray");   // grayscale: mean rounded down
    QTest::addColumn<int>("emboss"); // emboss: mean rounded to nearest
    QTest::addColumn<int>("height");
    QTest::newRow("pure red") << qRgb(255, 0, 0) << 85 << 85 << 100;
    QTest::newRow("(1, 1, 0): 0 in grayscale, 1 in emboss") << qRgb(1, 1, 0) << 0 << 1 << 100;
    QTest::newRow("grey 63") << qRgb(63, 63, 63) << 63 << 63 << 100;
    QTest::newRow("half size grey 40") << qRgb(40, 40, 40) << 40 << 40 << 50;
}

void tst_effects::greyOfFlatTile()
{
    QFETCH(QRgb, colour);
    QFETCH(int, gray);
    QFETCH(int, emboss);
    QFETCH(int, height);
    QImage tile = flatImage(100, height, colour);
    GrayFilter(tile);
    QCOMPARE(tile, flatImage(100, height, qRgb(gray, gray, gray)));

    // Emboss: flat areas are 128; the top row is compared with the black
    // margin row, column 0 of it with the margin column too.
    tile = flatImage(100, height, colour);
    EmbossFilter(tile);
    QCOMPARE(tile, drawn(100, height, [emboss](int x, int y) {
                 const int e = y > 0 ? 128 : std::max(128 - (x > 0 ? 2 : 1) * emboss, 0);
                 return qRgb(e, e, e);
             }));
}

void tst_effects::embossRelief()
{
    // One lighter pixel on a flat grey field: it comes out darker, the three
    // pixels lit by it (right, below, below right) lighter.
    QImage tile = flatImage(100, 100, qRgb(100, 100, 100));
    tile.setPixel(50, 50, qRgb(110, 110, 110));
    EmbossFilter(tile);
    QCOMPARE(tile.pixel(50, 50), qRgb(98, 98, 98));
    for (const QPoint lit : {QPoint(51, 50), QPoint(50, 51), QPoint(51, 51)})
        QCOMPARE(tile.pixel(lit), qRgb(138, 138, 138));
    QCOMPARE(tile.pixel(49, 50), qRgb(128, 128, 128));
    QCOMPARE(tile.pixel(50, 49), qRgb(128, 128, 128));
}

void tst_effects::blockAveragesItsOwnCells()
{
    // The first block row holds the black margin row and picture rows 0-3:
    // on a flat colour they get 4/5 of it.
    for (const int height : {100, 50}) {
        QImage flat = flatImage(100, height, qRgb(255, 128, 3));
        BlockFilter(flat, 10, 5);
        QCOMPARE(flat, drawn(100, height, [](int, int y) {
                     return y < 4 ? qRgb(204, 102, 2) : qRgb(255, 128, 3);
                 }));
    }

    const QImage original = randomImage(100, 100, 4);
    QImage tile = original;
    BlockFilter(tile, 10, 5);
    // A middle block: picture columns 30-39, rows 9-13.
    const QRgb middle = mean(original, QRect(30, 9, 10, 5));
    for (int y = 9; y <= 13; ++y)
        for (int x = 30; x <= 39; ++x)
            QCOMPARE(tile.pixel(x, y), middle);
    // The last block row holds picture row 99 alone.
    for (int x = 90; x <= 99; ++x)
        QCOMPARE(tile.pixel(x, 99), mean(original, QRect(90, 99, 10, 1)));
}

void tst_effects::blurNeighbourRule()
{
    for (const int height : {100, 50}) {
        QImage flat = flatImage(100, height, qRgb(200, 31, 7));
        BlurFilter(flat);
        QCOMPARE(flat, flatImage(100, height, qRgb(200, 31, 7)));
    }

    const QImage original = randomImage(100, 100, 5);
    QImage tile = original;
    BlurFilter(tile);
    // The bottom-left pixel copies the pixel one right and one up.
    QCOMPARE(tile.pixel(0, 99), original.pixel(1, 98));
    // Interior: the nine-pixel neighbourhood.
    QCOMPARE(tile.pixel(40, 60), mean(original, QRect(39, 59, 3, 3)));
    // Left column: only picture column 1 counts.
    QCOMPARE(tile.pixel(0, 50), mean(original, QRect(1, 49, 1, 3)));
    // Top row: the margin row above does not count.
    QCOMPARE(tile.pixel(40, 0), mean(original, QRect(39, 0, 3, 2)));
    // Right column: the wrapped margin column does not count.
    QCOMPARE(tile.pixel(99, 50), mean(original, QRect(98, 49, 2, 3)));
    // Bottom row: the bottom row itself never counts, only the row above.
    QCOMPARE(tile.pixel(40, 99), mean(original, QRect(39, 98, 3, 1)));

    // Rounding half to even: picture (0, 0) averages picture (1, 0) and (1, 1).
    tile = flatImage(100, 100, qRgb(0, 0, 0));
    tile.setPixel(1, 0, qRgb(2, 1, 5));
    tile.setPixel(1, 1, qRgb(3, 2, 6));
    BlurFilter(tile);
    QCOMPARE(tile.pixel(0, 0), qRgb(2, 2, 6));
}

QUILTON_TEST_MAIN(tst_effects)
#include "tst_effects.moc"
