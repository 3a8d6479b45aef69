// Feeds arbitrary bytes as a file to the loader's walk over a JPEG's
// markers (to its frame and first scan), which decides how much memory the
// decoder may be given. The walk is private to the loader, so the loader is
// compiled in here whole; PictureLoader::load is not called. Beyond not
// crashing or hanging: the walk answers only for files that begin like a
// JPEG.
#include "tile/PictureLoader.cpp" // NOLINT(bugprone-suspicious-include)

#include "FuzzTempFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = fuzz::writeInput("markers.jpg", data, size);
    if (path.isEmpty())
        return 0;
    const std::optional<bool> buffered = PictureLoader::jpegNeedsWholeBuffer(path);
    if (buffered && (size < 2 || data[0] != 0xff || data[1] != 0xd8))
        std::abort();
    return 0;
}
