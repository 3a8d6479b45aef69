// Feeds arbitrary bytes as a file to the JPEG reader's walk over the markers
// (to the frame and first scan, the EXIF orientation) and its reduced
// decode. Beyond not crashing or hanging: a header is only ever read from a
// file that begins like a JPEG, and its orientation is one of the eight.
#include "tile/JpegReader.h"

#include "FuzzTempFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = fuzz::writeInput("markers.jpg", data, size);
    if (path.isEmpty())
        return 0;
    JpegReader reader(path);
    if (!reader.readHeader())
        return 0;
    if (size < 2 || data[0] != 0xff || data[1] != 0xd8)
        std::abort();
    if (reader.orientation() < 1 || reader.orientation() > 8)
        std::abort();
    // Small pictures only: the point is the walk, not libjpeg's speed.
    if (qint64(reader.size().width()) * reader.size().height() <= 4096LL * 4096)
        reader.read(1);
    return 0;
}
