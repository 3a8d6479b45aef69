#include "app/SaveJpgLoader.h"

#include "SaveJPG.h"
#include "app/JpegLibrary.h"

#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

namespace {

// An open library, closed again when the call is over.
class LibraryHandle
{
public:
    explicit LibraryHandle(const QString& path)
    {
        // Only a regular file is offered to the loader; a missing path, a
        // folder or anything else is "cannot be loaded".
        if (!path.isEmpty() && QFileInfo(path).isFile())
            m_handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    }
    ~LibraryHandle()
    {
        if (m_handle)
            dlclose(m_handle);
    }
    LibraryHandle(const LibraryHandle&) = delete;
    LibraryHandle& operator=(const LibraryHandle&) = delete;

    DCSavetoJPEGFunction saveFunction() const
    {
        if (!m_handle)
            return nullptr;
        return reinterpret_cast<DCSavetoJPEGFunction>(dlsym(m_handle, "DCSavetoJPEG"));
    }

private:
    void* m_handle = nullptr;
};

} // namespace

namespace SaveJpgLoader {

JpegCallResult save(const QString& libraryPath, const QImage& image, int width, int height,
                    const QString& fileName, int quality)
{
    JpegCallResult result;
    const LibraryHandle library(libraryPath);
    const DCSavetoJPEGFunction saveToJpeg = library.saveFunction();
    if (!saveToJpeg)
        return result;
    result.loaded = true;
    if (quality < 0 || quality > 255)
        return result; // does not fit the byte the library takes

    const QImage pixels = image.format() == QImage::Format_RGB32
                              ? image
                              : image.convertToFormat(QImage::Format_RGB32);
    QuiltonSurface surface;
    surface.bits = pixels.constBits();
    surface.width = pixels.width();
    surface.height = pixels.height();
    surface.bytesPerLine = static_cast<std::int32_t>(pixels.bytesPerLine());
    const QByteArray name = QFile::encodeName(fileName);
    result.code = saveToJpeg(&surface, width, height, name.constData(),
                             static_cast<std::uint8_t>(quality), 0);
    return result;
}

QString systemLibraryPath(const QString& systemFolder)
{
    return systemFolder + QLatin1Char('/') + QString::fromLatin1(JpegLibrary::kFileName);
}

} // namespace SaveJpgLoader
