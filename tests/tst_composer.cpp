#include "TestEnv.h"
#include "support/TestInstall.h"

#include "tile/Composer.h"
#include "tile/TileDesigner.h"

#include <QApplication>

#include <utility>
#include <vector>

using testsupport::flatImage;
using testsupport::randomImage;

namespace {

// Raw words: QImage::pixel() of a Format_RGB32 image adds the 0xff itself
// and would hide a cleared alpha byte.
QRgb word(const QImage& image, int x, int y)
{
    return reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
}

} // namespace

class tst_composer : public QObject
{
    Q_OBJECT

private slots:
    void oneColourSource();
    void tilesFollowTheirFormulasInOpaqueWords();
    void symmetricTilesWithChamferBand();
    void stretchFillsTheTileAndKeepsTileSizedSource();
    void composeOneTileKeepsTheOthersEffects();
    void designerFollowsSourceAndOptions();
};

void tst_composer::oneColourSource()
{
    for (const auto& [colour, half] :
         {std::pair(qRgb(255, 128, 0), false), std::pair(qRgb(3, 20, 90), true)}) {
        // A, B = the colour; C = black (four equal copies XORed); D = BG OR c = white.
        const QRgb expected[] = {colour, colour, qRgb(0, 0, 0), qRgb(255, 255, 255)};
        for (int index = 0; index < 4; ++index) {
            const QImage tile = Composer::compose(flatImage(37, 23, colour), index, half, false);
            QCOMPARE(tile.format(), QImage::Format_RGB32);
            QCOMPARE(tile, flatImage(100, half ? 50 : 100, expected[index]));
        }
    }
}

void tst_composer::tilesFollowTheirFormulasInOpaqueWords()
{
    // XOR of two opaque pixels would clear the alpha byte: every word must
    // come out 0xff plus the formula of its tile, worked out per pixel.
    for (const bool half : {false, true}) {
        const QSize size = Composer::tileSize(half);
        const int w = size.width(), h = size.height();
        const QImage s = randomImage(w, h, 11);
        const auto at = [&](int x, int y) { return s.pixel(x, y) & 0x00ffffffu; };
        const auto expected = [&](int index, int x, int y) -> QRgb {
            const QRgb v = at(x, h - 1 - y), m = at(w - 1 - x, y), o = at(x, y),
                       r = at(w - 1 - x, h - 1 - y);
            const QRgb d0 = ((0x00ffffffu ^ v) ^ m) | o | r;
            const QRgb d0Mirrored = ((0x00ffffffu ^ o) ^ r) | v | m;
            const QRgb tiles[] = {v & m & o & r, v | m | o | r, v ^ m ^ o ^ r, d0 & d0Mirrored};
            return 0xff000000u | tiles[index];
        };
        for (int index = 0; index < 4; ++index) {
            const QImage tile = Composer::composeFromStretched(s, index, false);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    QCOMPARE(word(tile, x, y), expected(index, x, y));
        }
    }
}

void tst_composer::symmetricTilesWithChamferBand()
{
    // Odd source sizes, so the stretch itself is not symmetric.
    for (quint32 seed = 1; seed <= 2; ++seed) {
        const QImage source = randomImage(157 + int(seed), 91, seed);
        for (const bool half : {false, true}) {
            for (int index = 0; index < 4; ++index) {
                const QImage plain = Composer::compose(source, index, half, false);
                const QImage edged = Composer::compose(source, index, half, true);
                QCOMPARE(plain.size(), Composer::tileSize(half));
                QCOMPARE(plain.mirrored(true, false), plain);
                QCOMPARE(plain.mirrored(false, true), plain);
                // The band two pixels wide inside the edges; inner pixels untouched.
                const int w = plain.width(), h = plain.height();
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        const bool band = x < 2 || x >= w - 2 || y < 2 || y >= h - 2;
                        QCOMPARE(word(edged, x, y), band ? 0xff646464u : word(plain, x, y));
                    }
                }
            }
        }
    }
}

void tst_composer::stretchFillsTheTileAndKeepsTileSizedSource()
{
    for (const bool half : {false, true}) {
        const QSize size = Composer::tileSize(half);
        const QImage tileSized = randomImage(size.width(), size.height(), 8);
        QCOMPARE(Composer::stretch(tileSized, size), tileSized);

        // The whole picture is stretched into the tile, not cropped: a left
        // half red, right half blue source stays red left, blue right.
        for (const QSize sourceSize : {QSize(750, 500), QSize(40, 70), QSize(1, 1)}) {
            QImage source = flatImage(sourceSize.width(), sourceSize.height(), qRgb(0, 0, 255));
            for (int y = 0; y < source.height(); ++y)
                for (int x = 0; 2 * x < source.width(); ++x)
                    source.setPixel(x, y, qRgb(255, 0, 0));
            const QImage stretched =
                Composer::stretch(source.convertToFormat(QImage::Format_ARGB32), size);
            QCOMPARE(stretched.size(), size);
            QCOMPARE(stretched.format(), QImage::Format_RGB32);
            if (sourceSize.width() >= 40) {
                QCOMPARE(stretched.pixel(2, 10), qRgb(255, 0, 0));
                QCOMPARE(stretched.pixel(97, 10), qRgb(0, 0, 255));
            }
        }
    }
}

void tst_composer::composeOneTileKeepsTheOthersEffects()
{
    TileDesigner designer;
    designer.setSource(randomImage(240, 160, 12));
    std::vector<std::pair<int, int>> calls;
    const auto record = [&](int index, int last) { calls.emplace_back(index, last); };
    QVERIFY(designer.compose(-1, record));
    QCOMPARE(calls, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));
    QImage fresh[4];
    for (int index = 0; index < 4; ++index) {
        fresh[index] = Composer::compose(designer.source(), index, false, false);
        QCOMPARE(designer.tile(index), fresh[index]);
    }
    designer.setCurrentTile(0);
    designer.gray();
    designer.setCurrentTile(2);
    designer.blur();
    designer.setCurrentTile(3);
    designer.emboss();
    const QImage grayA = designer.tile(0);
    const QImage embossedD = designer.tile(3);
    QVERIFY(designer.tile(2) != fresh[2]);

    // Undo of tile C: composes C again, A and D keep their effects.
    calls.clear();
    QVERIFY(designer.compose(2, record));
    QCOMPARE(calls, (std::vector<std::pair<int, int>>{{2, 2}}));
    QCOMPARE(designer.tile(2), fresh[2]);
    QCOMPARE(designer.tile(0), grayA);
    QCOMPARE(designer.tile(3), embossedD);
    QCOMPARE(designer.tile(1), fresh[1]);
}

void tst_composer::designerFollowsSourceAndOptions()
{
    TileDesigner designer;
    // Without a source nothing is composed and the effects do nothing.
    int calls = 0;
    QVERIFY(!designer.compose(-1, [&](int, int) { ++calls; }));
    QCOMPARE(calls, 0);
    designer.blur();
    QVERIFY(designer.tile(0).isNull());

    designer.setSource(flatImage(200, 200, qRgb(10, 20, 30)));
    QVERIFY(designer.compose(-1));
    // An overflowing percentage draws nothing.
    QVERIFY(!designer.lightPercent(129));
    QCOMPARE(designer.tile(0).pixel(5, 5), qRgb(10, 20, 30));

    // A new source is stretched afresh, for the tiles composed from then on.
    designer.setSource(flatImage(200, 200, qRgb(40, 50, 60)));
    QVERIFY(designer.compose(0));
    QCOMPARE(designer.tile(0).pixel(50, 50), qRgb(40, 50, 60));
    QCOMPARE(designer.tile(1).pixel(50, 50), qRgb(10, 20, 30));
    designer.setHalf(true);
    designer.setChamfer(true);
    QVERIFY(designer.compose(1));
    QCOMPARE(designer.tile(1).size(), QSize(100, 50));
    QCOMPARE(designer.tile(1).pixel(0, 25), qRgb(100, 100, 100));
    QCOMPARE(designer.tile(1).pixel(50, 25), qRgb(40, 50, 60));
}

QUILTON_TEST_MAIN(tst_composer)
#include "tst_composer.moc"
