// Feeds arbitrary bytes as a picture file to the intake. Beyond not
// crashing, hanging or allocating without bound: a picture that is taken in
// is opaque Format_RGB32 and no larger than the reduction allows, and one
// that is refused says why.
#include "tile/PictureLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

QString scratchTemplate()
{
    const QString memory = QStringLiteral("/dev/shm");
    const QString base =
        QFileInfo(memory).isDir() && QFileInfo(memory).isWritable() ? memory : QDir::tempPath();
    return base + QStringLiteral("/quilton-fuzz-XXXXXX");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // The JPEG and GIF readers are plug-ins, found through the application.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir(scratchTemplate());
    // The name says JPEG; the content decides what is read.
    const QString path = dir.filePath(QStringLiteral("picture.jpg"));
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(bytes) != bytes.size())
            return 0;
    }

    const LoadedPicture loaded = PictureLoader::load(path);
    if (!loaded.ok()) {
        if (loaded.error.isEmpty())
            std::abort();
        return 0;
    }
    const QImage& image = loaded.image;
    if (image.format() != QImage::Format_RGB32 || image.width() <= 0 || image.height() <= 0)
        std::abort();
    // Nothing beyond the full-size decode limit survives the intake.
    if (qint64(image.width()) * image.height() > 64LL * 1000 * 1000)
        std::abort();
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 255)
                std::abort();
    }
    return 0;
}
