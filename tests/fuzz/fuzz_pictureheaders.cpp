// Feeds arbitrary bytes to the loader's own BMP and GIF structure walks.
// Beyond not crashing, hanging or reading without bound: a file found whole
// says nothing against it, one found damaged says why, and the canvas is
// never negative.
#include "tile/PictureHeaders.h"

#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void checkOutcome(const PictureHeaders::Check& check)
{
    if (check.whole != check.why.isEmpty())
        std::abort();
    if (check.canvas.isValid() && (check.canvas.width() < 0 || check.canvas.height() < 0))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    // Both walks see every input; the first byte steers most inputs to the
    // signature of one of them so that neither starves.
    for (const char* signature : {"BM", "GIF89a"}) {
        QByteArray input = bytes;
        if (!input.isEmpty() && (uchar(input[0]) & 1) == (signature[0] == 'B' ? 0 : 1))
            input.replace(0, std::min<qsizetype>(input.size(), qsizetype(qstrlen(signature))),
                          signature);
        QBuffer device(&input);
        device.open(QIODevice::ReadOnly);
        checkOutcome(signature[0] == 'B' ? PictureHeaders::checkBmp(device)
                                         : PictureHeaders::checkGif(device));
    }
    return 0;
}
