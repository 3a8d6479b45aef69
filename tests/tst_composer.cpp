#include "TestEnv.h"

#include "effects/Effects.h"
#include "tile/Composer.h"
#include "tile/TileDesigner.h"

#include <QApplication>
#include <QRandomGenerator>

#include <utility>
#include <vector>

namespace {

QImage randomPicture(quint32 seed, int w, int h)
{
    QRandomGenerator random(seed);
    QImage picture(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = 0xff000000u | (random.generate() & 0x00ffffffu);
    }
    return picture;
}

QImage flatPicture(QRgb colour, int w, int h)
{
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(colour);
    return picture;
}

// Reads the raw words: QImage::pixel() of a Format_RGB32 image adds the
// 0xff itself and would hide a cleared alpha byte.
bool allOpaque(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 255)
                return false;
    }
    return true;
}

const char* const kTileNames[] = {"A", "B", "C", "D"};

} // namespace

class tst_composer : public QObject
{
    Q_OBJECT

private slots:
    void oneColourSource_data();
    void oneColourSource();
    void singleLitPixelLandsInTheCorners();
    void tileDFollowsItsRasterTable();
    void tilesAreSymmetricAboutBothCentreLines_data();
    void tilesAreSymmetricAboutBothCentreLines();
    void chamferPaintsTwoPixelBand_data();
    void chamferPaintsTwoPixelBand();
    void stretchKeepsTileSizedSource_data();
    void stretchKeepsTileSizedSource();
    void stretchFillsTheTile_data();
    void stretchFillsTheTile();
    void xorTilesStayOpaque();

    void composeWithoutSourceChangesNothing();
    void composeAllReportsEachTile();
    void composeOneTileKeepsTheOthersEffects();
    void halfSizeTilesAndClippedContrast();
    void newSourceIsStretchedAfresh();
    void lightPercentOverflowDrawsNothing();
};

void tst_composer::oneColourSource_data()
{
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<bool>("half");
    QTest::newRow("orange") << qRgb(255, 128, 0) << false;
    QTest::newRow("dark blue, half size") << qRgb(3, 20, 90) << true;
    QTest::newRow("black") << qRgb(0, 0, 0) << false;
    QTest::newRow("white") << qRgb(255, 255, 255) << false;
}

void tst_composer::oneColourSource()
{
    QFETCH(QRgb, colour);
    QFETCH(bool, half);
    const QImage source = flatPicture(colour, 37, 23);
    // A, B = the colour; C = black (four equal copies XORed); D = BG OR c = white.
    const QRgb expected[] = {colour, colour, qRgb(0, 0, 0), qRgb(255, 255, 255)};
    for (int index = 0; index < 4; ++index) {
        const QImage tile = Composer::compose(source, index, half, false);
        QCOMPARE(tile.size(), Composer::tileSize(half));
        QCOMPARE(tile.format(), QImage::Format_RGB32);
        for (int y = 0; y < tile.height(); ++y)
            for (int x = 0; x < tile.width(); ++x)
                QCOMPARE(tile.pixel(x, y), expected[index]);
    }
}

void tst_composer::singleLitPixelLandsInTheCorners()
{
    // S black but for its top-left pixel: the four orientations light the
    // four corners. A sees no corner lit four times; B and C light all four;
    // D0 is white but where V's light is cancelled ((0, H-1)) or M's light
    // flips white to black ((W-1, 0)), and the final AND spreads those two
    // to all four corners.
    QImage s = flatPicture(qRgb(0, 0, 0), 100, 100);
    s.setPixel(0, 0, qRgb(255, 255, 255));
    const QRgb black = qRgb(0, 0, 0);
    const QRgb white = qRgb(255, 255, 255);
    const auto corner = [](int x, int y) { return (x == 0 || x == 99) && (y == 0 || y == 99); };
    for (int index = 0; index < 4; ++index) {
        const QImage tile = Composer::composeFromStretched(s, index, false);
        for (int y = 0; y < 100; ++y) {
            for (int x = 0; x < 100; ++x) {
                QRgb want = black;
                if (index == 1 || index == 2)
                    want = corner(x, y) ? white : black;
                else if (index == 3)
                    want = corner(x, y) ? black : white;
                QCOMPARE(tile.pixel(x, y), want);
            }
        }
    }
}

void tst_composer::tileDFollowsItsRasterTable()
{
    // D0 = ((BG XOR V) XOR M) OR O OR R with white BG; D = D0 AND D0 mirrored
    // top to bottom. Worked out per pixel on a random S.
    const QImage s = randomPicture(11, 100, 100);
    const QImage d = Composer::composeFromStretched(s, 3, false);
    const auto at = [&](int x, int y) { return s.pixel(x, y) & 0x00ffffffu; };
    const auto d0 = [&](int x, int y) {
        const QRgb v = at(x, 99 - y), m = at(99 - x, y), o = at(x, y), r = at(99 - x, 99 - y);
        return ((0x00ffffffu ^ v) ^ m) | o | r;
    };
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            QCOMPARE(d.pixel(x, y), 0xff000000u | (d0(x, y) & d0(x, 99 - y)));
}

void tst_composer::tilesAreSymmetricAboutBothCentreLines_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("half");
    QTest::addColumn<bool>("chamfer");
    for (int index = 0; index < 4; ++index) {
        QTest::addRow("%s full size", kTileNames[index]) << index << false << false;
        QTest::addRow("%s half size", kTileNames[index]) << index << true << false;
        QTest::addRow("%s chamfered", kTileNames[index]) << index << false << true;
    }
}

void tst_composer::tilesAreSymmetricAboutBothCentreLines()
{
    QFETCH(int, index);
    QFETCH(bool, half);
    QFETCH(bool, chamfer);
    for (quint32 seed = 1; seed <= 3; ++seed) {
        // Odd source sizes, so the stretch itself is not symmetric.
        const QImage source = randomPicture(seed, 157 + int(seed), 91);
        const QImage tile = Composer::compose(source, index, half, chamfer);
        QCOMPARE(tile.size(), Composer::tileSize(half));
        QCOMPARE(tile.mirrored(true, false), tile);
        QCOMPARE(tile.mirrored(false, true), tile);
    }
}

void tst_composer::chamferPaintsTwoPixelBand_data()
{
    QTest::addColumn<bool>("half");
    QTest::newRow("full size") << false;
    QTest::newRow("half size") << true;
}

void tst_composer::chamferPaintsTwoPixelBand()
{
    QFETCH(bool, half);
    const QImage source = randomPicture(7, 120, 80);
    for (int index = 0; index < 4; ++index) {
        const QImage plain = Composer::compose(source, index, half, false);
        const QImage edged = Composer::compose(source, index, half, true);
        const int w = plain.width();
        const int h = plain.height();
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const bool band = x < 2 || x >= w - 2 || y < 2 || y >= h - 2;
                QCOMPARE(edged.pixel(x, y), band ? qRgb(100, 100, 100) : plain.pixel(x, y));
            }
        }
    }
}

void tst_composer::stretchKeepsTileSizedSource_data()
{
    QTest::addColumn<bool>("half");
    QTest::newRow("100 x 100") << false;
    QTest::newRow("100 x 50") << true;
}

void tst_composer::stretchKeepsTileSizedSource()
{
    QFETCH(bool, half);
    const QSize size = Composer::tileSize(half);
    const QImage source = randomPicture(8, size.width(), size.height());
    QCOMPARE(Composer::stretch(source, size), source);
    // So tile A of a tile-sized source is the AND of the source's mirrors.
    const QImage a = Composer::compose(source, 0, half, false);
    const int w = size.width(), h = size.height();
    QCOMPARE(a.pixel(3, 4), source.pixel(3, 4) & source.pixel(w - 4, 4) & source.pixel(3, h - 5) &
                                source.pixel(w - 4, h - 5));
}

void tst_composer::stretchFillsTheTile_data()
{
    QTest::addColumn<QSize>("sourceSize");
    QTest::newRow("landscape photo") << QSize(750, 500);
    QTest::newRow("tall strip") << QSize(3, 900);
    QTest::newRow("one pixel") << QSize(1, 1);
    QTest::newRow("smaller than the tile") << QSize(40, 70);
}

void tst_composer::stretchFillsTheTile()
{
    QFETCH(QSize, sourceSize);
    // The whole picture is stretched into the tile, not cropped: a left half
    // red, right half blue source stays red on the left, blue on the right.
    QImage source(sourceSize, QImage::Format_ARGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, 2 * x < source.width() ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    for (const bool half : {false, true}) {
        const QImage stretched = Composer::stretch(source, Composer::tileSize(half));
        QCOMPARE(stretched.size(), Composer::tileSize(half));
        QCOMPARE(stretched.format(), QImage::Format_RGB32);
        if (sourceSize.width() >= 40) {
            QCOMPARE(stretched.pixel(2, 10), qRgb(255, 0, 0));
            QCOMPARE(stretched.pixel(97, 10), qRgb(0, 0, 255));
        }
    }
}

void tst_composer::xorTilesStayOpaque()
{
    // XOR of two opaque pixels would clear the alpha byte; every tile must
    // come out opaque whatever its operations.
    const QImage source = randomPicture(9, 130, 70);
    for (int index = 0; index < 4; ++index) {
        QVERIFY2(allOpaque(Composer::compose(source, index, false, false)), kTileNames[index]);
        QVERIFY2(allOpaque(Composer::compose(source, index, true, true)), kTileNames[index]);
    }
}

void tst_composer::composeWithoutSourceChangesNothing()
{
    TileDesigner designer;
    QVERIFY(!designer.hasSource());
    int calls = 0;
    QVERIFY(!designer.compose(-1, [&](int, int) { ++calls; }));
    QVERIFY(!designer.compose(2));
    QCOMPARE(calls, 0);
    for (int index = 0; index < 4; ++index)
        QVERIFY(designer.tile(index).isNull());
    // Effects on a tile that was never composed do nothing.
    designer.blur();
    designer.contrast();
    QVERIFY(designer.lightPercent(10));
    QVERIFY(designer.tile(0).isNull());
}

void tst_composer::composeAllReportsEachTile()
{
    TileDesigner designer;
    designer.setSource(randomPicture(10, 300, 200));
    std::vector<std::pair<int, int>> calls;
    const auto record = [&](int index, int last) { calls.emplace_back(index, last); };
    QVERIFY(designer.compose(-1, record));
    const std::vector<std::pair<int, int>> all = {{0, 3}, {1, 3}, {2, 3}, {3, 3}};
    QCOMPARE(calls, all);
    for (int index = 0; index < 4; ++index)
        QCOMPARE(designer.tile(index), Composer::compose(designer.source(), index, false, false));
    calls.clear();
    QVERIFY(designer.compose(2, record));
    const std::vector<std::pair<int, int>> one = {{2, 2}};
    QCOMPARE(calls, one);
}

void tst_composer::composeOneTileKeepsTheOthersEffects()
{
    TileDesigner designer;
    designer.setSource(randomPicture(12, 240, 160));
    QVERIFY(designer.compose(-1));
    designer.setCurrentTile(0);
    designer.gray();
    designer.setCurrentTile(2);
    designer.blur();
    designer.setCurrentTile(3);
    designer.emboss();
    const QImage grayA = designer.tile(0);
    const QImage fresh[] = {Composer::compose(designer.source(), 0, false, false),
                            Composer::compose(designer.source(), 1, false, false),
                            Composer::compose(designer.source(), 2, false, false),
                            Composer::compose(designer.source(), 3, false, false)};
    QVERIFY(designer.tile(2) != fresh[2]);

    // Undo of tile C: composes C again, A and D keep their effects.
    QVERIFY(designer.compose(2));
    QCOMPARE(designer.tile(2), fresh[2]);
    QCOMPARE(designer.tile(0), grayA);
    QVERIFY(designer.tile(3) != fresh[3]);
    QCOMPARE(designer.tile(1), fresh[1]);
}

void tst_composer::halfSizeTilesAndClippedContrast()
{
    TileDesigner designer;
    designer.setSource(flatPicture(qRgb(100, 45, 200), 500, 400));
    designer.setHalf(true);
    QVERIFY(designer.compose(-1));
    QCOMPARE(designer.tileSize(), QSize(100, 50));
    for (int index = 0; index < 4; ++index)
        QCOMPARE(designer.tile(index).size(), QSize(100, 50));
    designer.setCurrentTile(1);
    designer.contrast();
    const QImage b = designer.tile(1);
    QCOMPARE(b.size(), QSize(100, 50));
    QCOMPARE(b.pixel(0, 0), qRgb(86, 4, 236));
    QCOMPARE(b.pixel(99, 49), qRgb(86, 4, 236));

    // Back to full size: all tiles composed at 100 x 100 from the same source.
    designer.setHalf(false);
    QVERIFY(designer.compose(-1));
    for (int index = 0; index < 4; ++index)
        QCOMPARE(designer.tile(index).size(), QSize(100, 100));
    QCOMPARE(designer.tile(1).pixel(50, 99), qRgb(100, 45, 200));
}

void tst_composer::newSourceIsStretchedAfresh()
{
    TileDesigner designer;
    designer.setSource(flatPicture(qRgb(10, 20, 30), 200, 200));
    QVERIFY(designer.compose(-1));
    designer.setSource(flatPicture(qRgb(40, 50, 60), 200, 200));
    QVERIFY(designer.compose(0));
    QCOMPARE(designer.tile(0).pixel(50, 50), qRgb(40, 50, 60));
    QCOMPARE(designer.tile(1).pixel(50, 50), qRgb(10, 20, 30));
    designer.setChamfer(true);
    QVERIFY(designer.compose(1));
    QCOMPARE(designer.tile(1).pixel(0, 50), qRgb(100, 100, 100));
    QCOMPARE(designer.tile(1).pixel(50, 50), qRgb(40, 50, 60));
}

void tst_composer::lightPercentOverflowDrawsNothing()
{
    TileDesigner designer;
    designer.setSource(flatPicture(qRgb(100, 100, 100), 100, 100));
    QVERIFY(designer.compose(-1));
    designer.setCurrentTile(1);
    QVERIFY(!designer.lightPercent(129));
    QCOMPARE(designer.tile(1).pixel(5, 5), qRgb(100, 100, 100));
    QVERIFY(designer.lightPercent(-10));
    QCOMPARE(designer.tile(1).pixel(5, 5), qRgb(74, 74, 74));
    designer.light(25);
    QCOMPARE(designer.tile(1).pixel(5, 5), qRgb(99, 99, 99));
    QCOMPARE(designer.tile(0).pixel(5, 5), qRgb(100, 100, 100));
}

QUILTON_TEST_MAIN(tst_composer)
#include "tst_composer.moc"
