#include "batch/BatchEngine.h"

#include "tile/TileOperations.h"

#include <QFileInfo>

namespace BatchEngine {

QString joinPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

bool prepareFile(TileOperations& ops, const QString& inputPath, QString* error)
{
    if (!ops.loadSource(inputPath, error))
        return false;
    ops.cmdExec_Click(-1);
    return true;
}

namespace {

// The effects that are one call each: the tick that turns them on and the
// call, by effect code.
struct PlainEffect
{
    int code;
    bool TileEffects::*ticked;
    void (TileOperations::*apply)();
};

const PlainEffect kPlainEffects[] = {
    {kBlock, &TileEffects::block, &TileOperations::mnuBlock_Click},
    {kEmboss, &TileEffects::emboss, &TileOperations::mnuEnboss_Click},
    {kGray, &TileEffects::gray, &TileOperations::mnuGray_Click},
    {kContrast, &TileEffects::contrast, &TileOperations::mnuContrast_Click},
};

} // namespace

void applyEffects(TileOperations& ops, const TileEffects& fx, const std::array<int, 6>& order)
{
    for (int code : order) {
        if (code == kLight && fx.light) {
            ops.CLight(qint16(BatchNaming::lightPercent(fx.lightIndex)));
        } else if (code == kBlur && fx.blur) {
            for (int pass = 0; pass <= fx.blurIndex; ++pass)
                ops.mnuBokashi_Click();
        } else {
            for (const PlainEffect& e : kPlainEffects) {
                if (e.code == code && fx.*e.ticked)
                    (ops.*e.apply)();
            }
        }
    }
}

bool processTile(TileOperations& ops, int tile, const TileEffects& fx,
                 const std::array<int, 6>& order, const QString& outputPath, QString* error)
{
    ops.picDst_MouseDown(qint16(tile), 0, 0, 1, 1);
    applyEffects(ops, fx, order);
    return ops.SPic(outputPath, error);
}

FileResult processFile(TileOperations& ops, const BatchSettings& settings, const QString& inputPath,
                       const QString& outputFolder, const QString& extension)
{
    FileResult result;
    if (!prepareFile(ops, inputPath, &result.error)) {
        result.status = FileResult::Unreadable;
        return result;
    }
    const QString name = QFileInfo(inputPath).fileName();
    for (int t = 0; t < 4; ++t) {
        const TileEffects& fx = settings.tiles[t];
        if (!fx.produce)
            continue;
        const QString path = joinPath(outputFolder, BatchNaming::OutFileName(name, t, extension));
        if (!processTile(ops, t, fx, settings.order, path, &result.error)) {
            result.status = FileResult::WriteFailed;
            result.failedPath = path;
            return result;
        }
        result.written.append(path);
    }
    return result;
}

} // namespace BatchEngine
