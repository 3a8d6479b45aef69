// Feeds arbitrary bytes as a picture file to the intake. Beyond not
// crashing, hanging or allocating without bound: a picture that is taken in
// is opaque Format_RGB32 and no larger than the reduction allows, and one
// that is refused says why.
#include "FuzzTempFile.h"
#include "tile/PictureLoader.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // The JPEG and GIF readers are plug-ins, found through the application.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The name says JPEG; the content decides what is read.
    const QString path = fuzz::writeInput("picture.jpg", data, size);
    if (path.isEmpty())
        return 0;

    const LoadedPicture loaded = PictureLoader::load(path);
    const QImage& image = loaded.image;
    if (!loaded.ok() && loaded.error.isEmpty())
        std::abort();
    // Nothing beyond the full-size decode limit survives the intake.
    if (loaded.ok() && (image.format() != QImage::Format_RGB32 ||
                        qint64(image.width()) * image.height() > 64LL * 1000 * 1000))
        std::abort();
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 255)
                std::abort();
    }
    return 0;
}
