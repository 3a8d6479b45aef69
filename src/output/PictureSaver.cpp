#include "output/PictureSaver.h"

#include "app/SaveJpgLoader.h"

#include "platform/AtomicFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>

namespace PictureSaver {

namespace {
// 96 dots per inch in dots per metre, as Qt rounds it.
constexpr int kDotsPerMeter96Dpi = 3780;
} // namespace

bool isJpegName(const QString& name, bool jpegFlag)
{
    return jpegFlag && name.right(3).compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0;
}

bool saveBmp(const QImage& picture, const QString& path, QString* error,
             FileCheck::Failure* failure)
{
    if (failure)
        *failure = FileCheck::Failure::None;
    auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (picture.isNull())
        return fail(QStringLiteral("There is no picture to write."));
    if (path.isEmpty())
        return fail(QStringLiteral("No file name was given."));

    // Qt's BMP writer writes 24 bits per pixel for a 32-bit image; an indexed
    // or 8-bit grey image would come out as a palette bitmap, so convert.
    QImage rgb = picture.format() == QImage::Format_RGB32
                     ? picture
                     : picture.convertToFormat(QImage::Format_RGB32);
    // The resolution in the header is always 96 dpi (15 twips a pixel, the
    // screens the program is laid out for), whatever the screen or process
    // the picture was made in, so the same tile gives the same bytes from
    // the windows and from quilton-batch.
    rgb.setDotsPerMeterX(kDotsPerMeter96Dpi);
    rgb.setDotsPerMeterY(kDotsPerMeter96Dpi);

    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    QImageWriter writer(&bytes, "bmp");
    if (!writer.write(rgb))
        return fail(writer.errorString());
    // The file appears whole under its name or not at all: a full disc or a
    // killed program never leaves a truncated tile or a temporary file, and
    // a pipe or device at the name is refused, never replaced.
    const FileCheck::Problem problem = AtomicFile::write(path, bytes.data());
    if (failure)
        *failure = problem.kind;
    if (!problem.ok())
        return fail(FileCheck::describe(problem));
    return true;
}

JpegOutcome saveJpeg(const QString& libraryPath, const QImage& picture, const QString& path,
                     int quality)
{
    // The quality travels to the library as a byte; a value that does not
    // fit fails before anything is loaded.
    if (quality < 0 || quality > 255)
        return JpegOutcome::QualityOverflow;
    // An empty picture has no area to write: the library would refuse it
    // with its bad-arguments code, so answer the same without calling.
    if (picture.isNull())
        return JpegOutcome::FormatError;
    // The library would not find the folder of a name that lost bytes in
    // decoding; never let it write one of another name.
    if (FileCheck::nameLost(path, true))
        return JpegOutcome::OpenError;
    if (FileCheck::writableTarget(path).ok())
        AtomicFile::removeLeftovers(QFileInfo(path).absolutePath());

    const JpegCallResult result =
        SaveJpgLoader::save(libraryPath, picture, picture.width(), picture.height(), path, quality);
    if (!result.loaded)
        return JpegOutcome::CannotLoad;
    switch (result.code) {
    case 0:
        return JpegOutcome::Saved;
    case 1:
        return JpegOutcome::OpenError;
    case 2:
        return JpegOutcome::WriteError;
    case 3:
        return JpegOutcome::FormatError;
    case 4:
        return JpegOutcome::EncoderError;
    default:
        return JpegOutcome::OtherCode;
    }
}

QString jpegMessage(JpegOutcome outcome)
{
    switch (outcome) {
    case JpegOutcome::OpenError:
        return QStringLiteral("File Open Error");
    case JpegOutcome::WriteError:
        return QStringLiteral("File Write Error");
    case JpegOutcome::FormatError:
        return QStringLiteral("File Format Error");
    case JpegOutcome::EncoderError:
        return QStringLiteral("Stack Overflow");
    case JpegOutcome::CannotLoad:
        return QStringLiteral("SaveJPG.DLLが見つかりません。別途入手してください。");
    case JpegOutcome::Saved:
    case JpegOutcome::OtherCode:
    case JpegOutcome::QualityOverflow:
        break;
    }
    return {};
}

} // namespace PictureSaver
