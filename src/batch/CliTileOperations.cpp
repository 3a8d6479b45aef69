#include "batch/CliTileOperations.h"

#include "output/PictureSaver.h"
#include "tile/PictureLoader.h"

CliTileOperations::CliTileOperations(bool half, bool chamfer, QString jpegLibraryPath,
                                     int jpegQuality)
    : m_jpegLibrary(std::move(jpegLibraryPath)), m_jpegQuality(jpegQuality)
{
    m_designer.setHalf(half);
    m_designer.setChamfer(chamfer);
}

bool CliTileOperations::loadSource(const QString& path, QString* error)
{
    LoadedPicture picture = PictureLoader::load(path);
    if (!picture.ok()) {
        if (error)
            *error = picture.error;
        return false;
    }
    m_designer.setSource(picture.image);
    return true;
}

void CliTileOperations::cmdExec_Click(qint16 index)
{
    m_designer.compose(index);
}

void CliTileOperations::picDst_MouseDown(qint16 index, int, int, float, float)
{
    m_designer.setCurrentTile(index);
}

bool CliTileOperations::CLight(qint16 iPercent)
{
    return m_designer.lightPercent(iPercent);
}
void CliTileOperations::mnuBokashi_Click()
{
    m_designer.blur();
}
void CliTileOperations::mnuBlock_Click()
{
    m_designer.block();
}
void CliTileOperations::mnuEnboss_Click()
{
    m_designer.emboss();
}
void CliTileOperations::mnuGray_Click()
{
    m_designer.gray();
}
void CliTileOperations::mnuContrast_Click()
{
    m_designer.contrast();
}

bool CliTileOperations::SPic(const QString& fileName, QString* error)
{
    const QImage& tile = m_designer.tile(m_designer.currentTile());
    if (tile.isNull()) {
        if (error)
            *error = QStringLiteral("no tile has been composed");
        return false;
    }
    if (!PictureSaver::isJpegName(fileName, !m_jpegLibrary.isEmpty())) {
        return PictureSaver::saveBmp(tile, fileName, error);
    }
    const PictureSaver::JpegOutcome outcome =
        PictureSaver::saveJpeg(m_jpegLibrary, tile, fileName, m_jpegQuality);
    if (outcome == PictureSaver::JpegOutcome::Saved)
        return true;
    if (error) {
        const QString message = PictureSaver::jpegMessage(outcome);
        *error =
            message.isEmpty() ? QStringLiteral("the JPEG library could not write it") : message;
    }
    return false;
}
