#include "TestEnv.h"

#include "effects/Effects.h"
#include "effects/PixelGrid.h"
#include "effects/mContrast.h"

#include <QApplication>
#include <QRandomGenerator>

#include <cmath>

namespace {

QImage flatTile(QRgb colour, int w = 100, int h = 100)
{
    QImage tile(w, h, QImage::Format_RGB32);
    tile.fill(colour);
    return tile;
}

QImage randomTile(quint32 seed, int w = 100, int h = 100)
{
    QRandomGenerator random(seed);
    QImage tile(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(tile.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = 0xff000000u | (random.generate() & 0x00ffffffu);
    }
    return tile;
}

// Every pixel of the tile equals expected(x, y); reports the first mismatch.
template <typename Expected> bool everyPixel(const QImage& tile, Expected expected, QString* where)
{
    for (int y = 0; y < tile.height(); ++y) {
        for (int x = 0; x < tile.width(); ++x) {
            const QRgb want = expected(x, y);
            const QRgb got = tile.pixel(x, y);
            if (got != want) {
                *where = QStringLiteral("(%1, %2): got %3, expected %4")
                             .arg(x)
                             .arg(y)
                             .arg(got, 8, 16, QLatin1Char('0'))
                             .arg(want, 8, 16, QLatin1Char('0'));
                return false;
            }
        }
    }
    return true;
}

#define VERIFY_PIXELS(tile, expected)                                                              \
    do {                                                                                           \
        QString where;                                                                             \
        QVERIFY2(everyPixel(tile, expected, &where), qPrintable(where));                           \
    } while (false)

int halfEven(double v)
{
    return int(std::nearbyint(v));
}

} // namespace

class tst_effects : public QObject
{
    Q_OBJECT

private slots:
    // Pixel grid
    void gridLayoutHasMarginRowAndWrappedColumn();
    void gridRoundTripLeavesTileUnchanged_data();
    void gridRoundTripLeavesTileUnchanged();
    void gridWriteIgnoresMarginsAndKeepsTileOpaque();

    // Brightness and contrast
    void brightnessClampsEachChannel_data();
    void brightnessClampsEachChannel();
    void lightLevelOfPercent_data();
    void lightLevelOfPercent();
    void contrastMapsChannels_data();
    void contrastMapsChannels();
    void contrastTwiceCompounds();
    void contrastOutsideStrengthDrawsNothing_data();
    void contrastOutsideStrengthDrawsNothing();
    void contrastIsClippedToSmallerPictures();

    // Blur, block, emboss, grayscale
    void grayscaleRoundsDown_data();
    void grayscaleRoundsDown();
    void embossOfFlatTile_data();
    void embossOfFlatTile();
    void embossRelief();
    void blockOfFlatTileDarkensTopRows_data();
    void blockOfFlatTileDarkensTopRows();
    void blockAveragesItsOwnCells();
    void blurOfFlatTileIsUnchanged_data();
    void blurOfFlatTileIsUnchanged();
    void blurNeighbourRule();
    void blurRoundsHalfToEven();
};

void tst_effects::gridLayoutHasMarginRowAndWrappedColumn()
{
    const QImage tile = randomTile(1, 100, 50);
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
    // The half-size grid spans 101 x 51 cells: the last one is addressable.
    QCOMPARE(grid.at(100, 50), tile.pixel(0, 48) & 0x00ffffffu);
}

void tst_effects::gridRoundTripLeavesTileUnchanged_data()
{
    QTest::addColumn<int>("height");
    QTest::newRow("full size") << 100;
    QTest::newRow("half size") << 50;
}

void tst_effects::gridRoundTripLeavesTileUnchanged()
{
    QFETCH(int, height);
    const QImage original = randomTile(2, 100, height);
    QImage tile = original;
    WriteTilePixels(tile, ReadTilePixels(tile));
    QCOMPARE(tile, original);
}

void tst_effects::gridWriteIgnoresMarginsAndKeepsTileOpaque()
{
    // The top byte starts as 0 (Format_RGB32 ignores it); written pixels
    // must come out with 0xff there.
    QImage tile = flatTile(qRgb(1, 2, 3));
    tile.fill(0x00010203u);
    PixelGrid grid = ReadTilePixels(tile);
    for (int x = 0; x <= 100; ++x)
        grid.at(x, 0) = 0x00ffffff;
    for (int y = 0; y <= 100; ++y)
        grid.at(100, y) = 0x00ffffff;
    grid.at(5, 5) = 0x00102030;
    WriteTilePixels(tile, grid);
    VERIFY_PIXELS(tile, [](int x, int y) {
        return x == 5 && y == 4 ? qRgb(0x10, 0x20, 0x30) : qRgb(1, 2, 3);
    });
    // Raw words: QImage::pixel() would add the 0xff itself.
    for (int y = 0; y < tile.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(tile.constScanLine(y));
        for (int x = 0; x < tile.width(); ++x)
            QCOMPARE(qAlpha(line[x]), 255);
    }
}

void tst_effects::brightnessClampsEachChannel_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QRgb>("before");
    QTest::addColumn<QRgb>("after");
    QTest::newRow("+25 lifts 240 to the top, 0 to 25")
        << 25 << qRgb(240, 0, 100) << qRgb(255, 25, 125);
    QTest::newRow("-25 takes 10 to 0") << -25 << qRgb(10, 255, 25) << qRgb(0, 230, 0);
    QTest::newRow("+25 keeps white white") << 25 << qRgb(255, 255, 255) << qRgb(255, 255, 255);
    QTest::newRow("-128 on black") << -128 << qRgb(0, 0, 0) << qRgb(0, 0, 0);
    QTest::newRow("0 changes nothing") << 0 << qRgb(7, 8, 9) << qRgb(7, 8, 9);
}

void tst_effects::brightnessClampsEachChannel()
{
    QFETCH(int, level);
    QFETCH(QRgb, before);
    QFETCH(QRgb, after);
    QImage tile = flatTile(before);
    ChangeBrightness(tile, level);
    VERIFY_PIXELS(tile, [after](int, int) { return after; });
}

void tst_effects::lightLevelOfPercent_data()
{
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("level"); // INT_MIN: overflow, no level
    const int levels[] = {-128, -102, -76, -51, -26, 26, 51, 76, 102, 128};
    const int percents[] = {-50, -40, -30, -20, -10, 10, 20, 30, 40, 50};
    for (int i = 0; i < 10; ++i)
        QTest::addRow("batch %+d %%", percents[i]) << percents[i] << levels[i];
    QTest::newRow("zero") << 0 << 0;
    QTest::newRow("largest without overflow") << 128 << 326;
    QTest::newRow("smallest without overflow") << -128 << -326;
    QTest::newRow("129 overflows 16 bits") << 129 << INT_MIN;
    QTest::newRow("-129 overflows 16 bits") << -129 << INT_MIN;
    QTest::newRow("far out of range") << 100000 << INT_MIN;
}

void tst_effects::lightLevelOfPercent()
{
    QFETCH(int, percent);
    QFETCH(int, level);
    const std::optional<int> got = CLightLevel(percent);
    if (level == INT_MIN) {
        QVERIFY(!got.has_value());
    } else {
        QVERIFY(got.has_value());
        QCOMPARE(*got, level);
    }
}

void tst_effects::contrastMapsChannels_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("mid grey stays") << 128 << 128;
    QTest::newRow("43 -> 0.5 rounds to 0") << 43 << 0;
    QTest::newRow("44 -> 2") << 44 << 2;
    QTest::newRow("45 -> 3.5 rounds to 4") << 45 << 4;
    QTest::newRow("100 -> 86") << 100 << 86;
    QTest::newRow("127 -> 126.5 rounds to 126") << 127 << 126;
    QTest::newRow("129 -> 129.5 rounds to 130") << 129 << 130;
    QTest::newRow("0 clamps") << 0 << 0;
    QTest::newRow("212 -> 254") << 212 << 254;
    QTest::newRow("213 -> 255.5 clamps") << 213 << 255;
    QTest::newRow("255 clamps") << 255 << 255;
}

void tst_effects::contrastMapsChannels()
{
    QFETCH(int, value);
    QFETCH(int, expected);
    // Each channel on its own, in all three positions.
    QImage tile = flatTile(qRgb(value, 128, 255 - value));
    mContrast::ApplyContrast(tile, 100, 100, tile, 50);
    QImage reference = flatTile(qRgb(255 - value, value, 128));
    mContrast::ApplyContrast(reference, 100, 100, reference, 50);
    const int mirrored = [value] {
        const double v = 1.5 * (255 - value) - 64;
        return std::clamp(halfEven(v), 0, 255);
    }();
    VERIFY_PIXELS(tile, [&](int, int) { return qRgb(expected, 128, mirrored); });
    VERIFY_PIXELS(reference, [&](int, int) { return qRgb(mirrored, expected, 128); });
}

void tst_effects::contrastTwiceCompounds()
{
    QImage tile = flatTile(qRgb(100, 100, 100));
    mContrast::ApplyContrast(tile, 100, 100, tile, 50);
    mContrast::ApplyContrast(tile, 100, 100, tile, 50);
    VERIFY_PIXELS(tile, [](int, int) { return qRgb(65, 65, 65); });
}

void tst_effects::contrastOutsideStrengthDrawsNothing_data()
{
    QTest::addColumn<int>("strength");
    QTest::newRow("negative") << -1;
    QTest::newRow("above 100") << 101;
}

void tst_effects::contrastOutsideStrengthDrawsNothing()
{
    QFETCH(int, strength);
    const QImage original = randomTile(3);
    QImage tile = original;
    mContrast::ApplyContrast(tile, 100, 100, tile, strength);
    QCOMPARE(tile, original);
}

void tst_effects::contrastIsClippedToSmallerPictures()
{
    // The command always asks for a 100 x 100 square; a half-size tile
    // takes only its own 100 x 50.
    QImage half = flatTile(qRgb(100, 100, 100), 100, 50);
    mContrast::ApplyContrast(half, 100, 100, half, 50);
    QCOMPARE(half.size(), QSize(100, 50));
    VERIFY_PIXELS(half, [](int, int) { return qRgb(86, 86, 86); });

    // A separate destination gets the square of the source, the rest stays.
    const QImage source = flatTile(qRgb(45, 45, 45), 30, 20);
    QImage destination = flatTile(qRgb(1, 2, 3), 40, 40);
    mContrast::ApplyContrast(source, 100, 100, destination, 50);
    VERIFY_PIXELS(destination,
                  [](int x, int y) { return x < 30 && y < 20 ? qRgb(4, 4, 4) : qRgb(1, 2, 3); });
}

void tst_effects::grayscaleRoundsDown_data()
{
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<int>("grey");
    QTest::newRow("pure red") << qRgb(255, 0, 0) << 85;
    QTest::newRow("(1, 1, 0) rounds down to 0") << qRgb(1, 1, 0) << 0;
    QTest::newRow("(2, 2, 1) rounds down to 1") << qRgb(2, 2, 1) << 1;
    QTest::newRow("white") << qRgb(255, 255, 255) << 255;
    QTest::newRow("channels weigh equally") << qRgb(0, 0, 90) << 30;
}

void tst_effects::grayscaleRoundsDown()
{
    QFETCH(QRgb, colour);
    QFETCH(int, grey);
    QImage tile = flatTile(colour);
    GrayFilter(tile);
    VERIFY_PIXELS(tile, [grey](int, int) { return qRgb(grey, grey, grey); });
    // Twice changes nothing more.
    const QImage once = tile;
    GrayFilter(tile);
    QCOMPARE(tile, once);
}

void tst_effects::embossOfFlatTile_data()
{
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<int>("grey");
    QTest::addColumn<int>("height");
    // Emboss rounds its grey to nearest: (1, 1, 0) is 1 here, 0 in grayscale.
    QTest::newRow("(1, 1, 0) has grey 1") << qRgb(1, 1, 0) << 1 << 100;
    QTest::newRow("(2, 2, 1) has grey 2") << qRgb(2, 2, 1) << 2 << 100;
    QTest::newRow("grey 50") << qRgb(50, 50, 50) << 50 << 100;
    QTest::newRow("grey 63") << qRgb(63, 63, 63) << 63 << 100;
    QTest::newRow("grey 64 reaches 0") << qRgb(64, 64, 64) << 64 << 100;
    QTest::newRow("white") << qRgb(255, 255, 255) << 255 << 100;
    QTest::newRow("black") << qRgb(0, 0, 0) << 0 << 100;
    QTest::newRow("half size grey 40") << qRgb(40, 40, 40) << 40 << 50;
}

void tst_effects::embossOfFlatTile()
{
    QFETCH(QRgb, colour);
    QFETCH(int, grey);
    QFETCH(int, height);
    QImage tile = flatTile(colour, 100, height);
    EmbossFilter(tile);
    // Flat areas are 128; the top row is compared with the black margin.
    const int topRow = std::max(128 - 2 * grey, 0);
    const int topLeft = std::max(128 - grey, 0);
    VERIFY_PIXELS(tile, [&](int x, int y) {
        const int e = y > 0 ? 128 : (x > 0 ? topRow : topLeft);
        return qRgb(e, e, e);
    });
}

void tst_effects::embossRelief()
{
    // One lighter pixel on a flat grey field: it comes out darker, the three
    // pixels lit by it (right, below, below right) lighter.
    QImage tile = flatTile(qRgb(100, 100, 100));
    tile.setPixel(50, 50, qRgb(110, 110, 110));
    EmbossFilter(tile);
    QCOMPARE(tile.pixel(50, 50), qRgb(98, 98, 98));
    QCOMPARE(tile.pixel(51, 50), qRgb(138, 138, 138));
    QCOMPARE(tile.pixel(50, 51), qRgb(138, 138, 138));
    QCOMPARE(tile.pixel(51, 51), qRgb(138, 138, 138));
    QCOMPARE(tile.pixel(49, 50), qRgb(128, 128, 128));
    QCOMPARE(tile.pixel(50, 49), qRgb(128, 128, 128));
}

void tst_effects::blockOfFlatTileDarkensTopRows_data()
{
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<QRgb>("darker");
    QTest::addColumn<int>("height");
    QTest::newRow("full size") << qRgb(255, 128, 3) << qRgb(204, 102, 2) << 100;
    QTest::newRow("half size") << qRgb(10, 20, 30) << qRgb(8, 16, 24) << 50;
    QTest::newRow("black stays black") << qRgb(0, 0, 0) << qRgb(0, 0, 0) << 100;
}

void tst_effects::blockOfFlatTileDarkensTopRows()
{
    QFETCH(QRgb, colour);
    QFETCH(QRgb, darker);
    QFETCH(int, height);
    QImage tile = flatTile(colour, 100, height);
    BlockFilter(tile, 10, 5);
    // The first block row holds the black margin row and picture rows 0-3.
    VERIFY_PIXELS(tile, [&](int, int y) { return y < 4 ? darker : colour; });

    // Again: only the first block row darkens further.
    BlockFilter(tile, 10, 5);
    const QRgb twice = qRgb(halfEven(qRed(darker) * 4 / 5.0), halfEven(qGreen(darker) * 4 / 5.0),
                            halfEven(qBlue(darker) * 4 / 5.0));
    VERIFY_PIXELS(tile, [&](int, int y) { return y < 4 ? twice : colour; });
}

void tst_effects::blockAveragesItsOwnCells()
{
    const QImage original = randomTile(4);
    QImage tile = original;
    BlockFilter(tile, 10, 5);
    const auto mean = [&](int x0, int y0, int w, int h) {
        int r = 0, g = 0, b = 0;
        for (int y = y0; y < y0 + h; ++y) {
            for (int x = x0; x < x0 + w; ++x) {
                const QRgb c = original.pixel(x, y);
                r += qRed(c);
                g += qGreen(c);
                b += qBlue(c);
            }
        }
        const double n = w * h;
        return qRgb(halfEven(r / n), halfEven(g / n), halfEven(b / n));
    };
    // A middle block: picture columns 30-39, rows 9-13.
    const QRgb middle = mean(30, 9, 10, 5);
    // The last block row holds picture row 99 alone.
    const QRgb bottom = mean(90, 99, 10, 1);
    for (int y = 9; y <= 13; ++y)
        for (int x = 30; x <= 39; ++x)
            QCOMPARE(tile.pixel(x, y), middle);
    for (int x = 90; x <= 99; ++x)
        QCOMPARE(tile.pixel(x, 99), bottom);
}

void tst_effects::blurOfFlatTileIsUnchanged_data()
{
    QTest::addColumn<int>("height");
    QTest::newRow("full size") << 100;
    QTest::newRow("half size") << 50;
}

void tst_effects::blurOfFlatTileIsUnchanged()
{
    QFETCH(int, height);
    const QImage original = flatTile(qRgb(200, 31, 7), 100, height);
    QImage tile = original;
    BlurFilter(tile);
    QCOMPARE(tile, original);
}

void tst_effects::blurNeighbourRule()
{
    const QImage original = randomTile(5);
    QImage tile = original;
    BlurFilter(tile);
    const auto mean = [&](int x0, int x1, int y0, int y1) {
        int r = 0, g = 0, b = 0, n = 0;
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                const QRgb c = original.pixel(x, y);
                r += qRed(c);
                g += qGreen(c);
                b += qBlue(c);
                ++n;
            }
        }
        return qRgb(halfEven(double(r) / n), halfEven(double(g) / n), halfEven(double(b) / n));
    };
    // The bottom-left pixel copies the pixel one right and one up.
    QCOMPARE(tile.pixel(0, 99), original.pixel(1, 98));
    // An interior pixel: its nine-pixel neighbourhood.
    QCOMPARE(tile.pixel(40, 60), mean(39, 41, 59, 61));
    // Left column: only picture column 1 counts.
    QCOMPARE(tile.pixel(0, 50), mean(1, 1, 49, 51));
    // Top row: the margin row above does not count.
    QCOMPARE(tile.pixel(40, 0), mean(39, 41, 0, 1));
    // Right column: the wrapped margin column does not count.
    QCOMPARE(tile.pixel(99, 50), mean(98, 99, 49, 51));
    // Bottom row: the bottom row itself never counts, only the row above.
    QCOMPARE(tile.pixel(40, 99), mean(39, 41, 98, 98));
    QCOMPARE(tile.pixel(99, 99), mean(98, 99, 98, 98));
}

void tst_effects::blurRoundsHalfToEven()
{
    // Picture pixel (0, 0) averages picture (1, 0) and (1, 1) only.
    QImage tile = flatTile(qRgb(0, 0, 0));
    tile.setPixel(1, 0, qRgb(2, 1, 5));
    tile.setPixel(1, 1, qRgb(3, 2, 6));
    BlurFilter(tile);
    QCOMPARE(tile.pixel(0, 0), qRgb(2, 2, 6));
}

QUILTON_TEST_MAIN(tst_effects)
#include "tst_effects.moc"
