#pragma once

#include "batch/BatchSettings.h"

#include <QString>
#include <QStringList>

#include <array>

class TileOperations;

// The steps of a batch run over one input file, shared by the batch window
// and quilton-batch. They drive a TileOperations exactly as a user would: the
// file becomes the source picture, all four tiles are composed, and each
// ticked tile is selected, gets its ticked effects in the effect order and is
// saved under the input's name with "(A)".."(D)".
namespace BatchEngine {

// folder + "/" + name (no doubled '/' for the root folder "" or "/").
QString joinPath(const QString& folder, const QString& name);

// Loads the input as the source picture and composes all four tiles
// (cmdExec_Click(-1)). False and error when the picture cannot be read; the
// tiles are then left alone and must not be saved under this input's name.
bool prepareFile(TileOperations& ops, const QString& inputPath, QString* error);

// Applies the ticked effects of fx to the current tile, in the order of the
// six effect codes: 0 brightness (CLight with the list's percentage), 1 blur
// (blurIndex + 1 passes), 2 block, 3 emboss, 4 grayscale, 5 contrast.
void applyEffects(TileOperations& ops, const TileEffects& fx, const std::array<int, 6>& order);

// One tile of a prepared file: selects tile (picDst_MouseDown(t, 0, 0, 1, 1)),
// applies the effects and saves it at outputPath (SPic). False and error when
// the tile file could not be written. fx.produce is not looked at here.
bool processTile(TileOperations& ops, int tile, const TileEffects& fx,
                 const std::array<int, 6>& order, const QString& outputPath, QString* error);

struct FileResult
{
    enum Status { Done, Unreadable, WriteFailed };
    Status status = Done;
    QString error;       // why the input could not be read / the tile not written
    QString failedPath;  // the tile file that could not be written
    QStringList written; // full paths of the tile files written, in tile order
};

// The whole of one input: prepare, then every produced tile into
// outputFolder with OutFileName(input name, t, extension). Stops at the first
// tile file that cannot be written.
FileResult processFile(TileOperations& ops, const BatchSettings& settings, const QString& inputPath,
                       const QString& outputFolder, const QString& extension);

} // namespace BatchEngine
