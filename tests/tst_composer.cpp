#include "TestEnv.h"
#include "support/TestInstall.h"

#include "tile/Composer.h"
#include "tile/TileDesigner.h"

#include <QApplication>
#include <QPainter>

#include <utility>
#include <vector>

using testsupport::flatImage;
using testsupport::randomImage;
using testsupport::rawWords;

class tst_composer : public QObject
{
    Q_OBJECT

private slots:
    void tilesFollowTheirFormulasInOpaqueWords()
    {
        // A source of four quadrants a b / c d: every tile comes out one colour,
        // worked out by hand from its formula on a white background. XOR of two
        // opaque pixels would clear the alpha byte: every word must be 0xff....
        QImage s = flatImage(100, 100, 0xff7321b6u);
        QPainter(&s).fillRect(50, 0, 50, 50, QColor(0x3c6513));
        QPainter(&s).fillRect(0, 50, 50, 50, QColor(0x5e2895));
        QPainter(&s).fillRect(50, 50, 50, 50, QColor(0x1ba374));
        const QRgb expected[] = {0xff102010u, 0xff7feff7u, 0xff0acf44u, 0xffff31bfu};
        for (int index = 0; index < 4; ++index)
            QCOMPARE(rawWords(Composer::composeFromStretched(s, index, false)),
                     flatImage(100, 100, expected[index]).convertToFormat(QImage::Format_ARGB32));
    }

    void symmetricTilesWithChamferBand()
    {
        // Odd source sizes, so the stretch itself is not symmetric.
        const QImage source = randomImage(157, 91, 1);
        for (const bool half : {false, true}) {
            // Of one colour: A, B = the colour; C = black (four equal copies
            // XORed); D = BG OR c = white.
            const QRgb colour = half ? qRgb(3, 20, 90) : qRgb(255, 128, 0);
            const QRgb flat[] = {colour, colour, qRgb(0, 0, 0), qRgb(255, 255, 255)};
            for (int index = 0; index < 4; ++index) {
                QCOMPARE(Composer::compose(flatImage(37, 23, colour), index, half, false),
                         flatImage(100, half ? 50 : 100, flat[index]));
                const QImage plain = Composer::compose(source, index, half, false);
                QCOMPARE(plain.size(), Composer::tileSize(half));
                QCOMPARE(plain.mirrored(true, false), plain);
                QCOMPARE(plain.mirrored(false, true), plain);
                // The band two pixels wide inside the edges; inner pixels untouched.
                const QImage edged = Composer::compose(source, index, half, true);
                const int w = plain.width(), h = plain.height();
                QCOMPARE(edged.copy(2, 2, w - 4, h - 4), plain.copy(2, 2, w - 4, h - 4));
                QImage band = rawWords(edged);
                QPainter(&band).fillRect(2, 2, w - 4, h - 4, QColor(100, 100, 100));
                QCOMPARE(band, rawWords(flatImage(w, h, qRgb(100, 100, 100))));
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
        std::vector<std::pair<int, int>> calls;
        const auto record = [&](int index, int last) { calls.emplace_back(index, last); };
        QVERIFY(designer.compose(-1, record));
        QCOMPARE(calls, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));
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
        calls.clear();
        QVERIFY(designer.compose(2, record));
        QCOMPARE(calls, (std::vector<std::pair<int, int>>{{2, 2}}));
        QCOMPARE(QList({designer.tile(0), designer.tile(1), designer.tile(2), designer.tile(3)}),
                 QList({grayA, fresh(1), fresh(2), embossedD}));
    }
};

QUILTON_TEST_MAIN(tst_composer)
#include "tst_composer.moc"
