// Scans arbitrary bytes for a version block and checks the chunked scan
// against a plain scan of the whole input held in memory.
#include "FuzzTempFile.h"
#include "app/mGetFileVer.h"

#include <QtEndian>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = fuzz::writeInput("library.so", data, size);
    if (path.isEmpty())
        return 0;
    // The first aligned block of the whole input; "" when it has none or it is cut off.
    QString expected;
    for (std::size_t pos = 0; pos + 4 <= size; pos += 4) {
        if (qFromLittleEndian<quint32>(data + pos) != 0xFEEF04BDu)
            continue;
        if (pos + 52 <= size) {
            const quint32 ms = qFromLittleEndian<quint32>(data + pos + 8);
            const quint32 ls = qFromLittleEndian<quint32>(data + pos + 12);
            expected = QStringLiteral("%1.%2.%3.%4")
                           .arg(ms >> 16)
                           .arg(ms & 0xFFFF)
                           .arg(ls >> 16)
                           .arg(ls & 0xFFFF);
        }
        break;
    }
    const QString text = mGetFileVer::GetFileVersionText(path);
    if (text != expected || (!mGetFileVer::GetFileVersion(path).isNull() && text.isEmpty()))
        __builtin_trap();
    return 0;
}
