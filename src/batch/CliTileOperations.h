#pragma once

#include "tile/TileDesigner.h"
#include "tile/TileOperations.h"

#include <QString>

// The batch's operations without any window: a TileDesigner for the tiles,
// PictureLoader for intake and PictureSaver for the tile files. quilton-batch
// gives every worker its own instance, so pictures can be done in parallel.
class CliTileOperations : public TileOperations
{
public:
    // jpegLibraryPath: the SaveJPG.so to write JPEG through; empty when there
    // is none (a name ending in "jpg" is then written as BMP, as SPic does).
    CliTileOperations(bool half, bool chamfer, QString jpegLibraryPath, int jpegQuality);

    bool loadSource(const QString& path, QString* error) override;
    void cmdExec_Click(qint16 index) override;
    void picDst_MouseDown(qint16 index, int button, int shift, float x, float y) override;
    bool CLight(qint16 iPercent) override;
    void mnuBokashi_Click() override;
    void mnuBlock_Click() override;
    void mnuEnboss_Click() override;
    void mnuGray_Click() override;
    void mnuContrast_Click() override;
    bool SPic(const QString& fileName, QString* error) override;

    const TileDesigner& designer() const { return m_designer; }

private:
    TileDesigner m_designer;
    QString m_jpegLibrary;
    int m_jpegQuality;
};
