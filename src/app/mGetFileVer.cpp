#include "app/mGetFileVer.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <optional>

namespace {

// Files are read this much at a time; a block straddling two reads is found
// because the unscanned tail of one read is kept for the next.
constexpr qint64 kChunkSize = 64 * 1024;
// The fixed version block: signature, structure version, file version most
// and least significant words (offsets 8 and 12), and nine more words.
constexpr qsizetype kBlockSize = 52;

// The block signature 0xFEEF04BD, held byte-swapped behind a volatile. The
// scanner runs over executables, its own program among them: written as a
// plain constant, the compiler would emit the signature as the immediate
// operand of the compare instruction, and those bytes could sit at an
// aligned offset of the code, ahead of the real block, and be taken for it.
// The swapped bytes (FE EF 04 BD in memory) never look like a block, and the
// volatile keeps the compiler from folding the swap back into an immediate.
volatile const std::uint32_t kSignatureSwapped = 0xBD04EFFEu;

std::uint32_t wordAt(const char* bytes)
{
    return qFromLittleEndian<quint32>(bytes);
}

FileVersion fromBlock(const char* block)
{
    const std::uint32_t mostSignificant = wordAt(block + 8);
    const std::uint32_t leastSignificant = wordAt(block + 12);
    FileVersion version;
    version.major = mostSignificant >> 16;
    version.minor = mostSignificant & 0xFFFFu;
    version.build = leastSignificant >> 16;
    version.revision = leastSignificant & 0xFFFFu;
    return version;
}

// The first whole block at a 4-byte-aligned offset, or nothing.
std::optional<FileVersion> findBlock(const QString& path)
{
    // Only regular files: a folder has no bytes and a pipe or device could
    // block or never end.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;

    const std::uint32_t signature = qbswap(static_cast<std::uint32_t>(kSignatureSwapped));
    // Always starts at an aligned offset of the file, so aligned positions in
    // it are aligned in the file.
    QByteArray window;
    while (true) {
        const QByteArray chunk = file.read(kChunkSize);
        if (chunk.isEmpty())
            return std::nullopt; // end of file (a block cut off there counts as none) or error
        window += chunk;

        qsizetype pos = 0;
        for (; pos + 4 <= window.size(); pos += 4) {
            if (wordAt(window.constData() + pos) != signature)
                continue;
            if (pos + kBlockSize > window.size())
                break; // the rest of the block is in the next read
            return fromBlock(window.constData() + pos);
        }
        window.remove(0, pos);
    }
}

} // namespace

namespace mGetFileVer {

FileVersion GetFileVersion(const QString& path)
{
    return findBlock(path).value_or(FileVersion{});
}

QString GetFileVersionText(const QString& path)
{
    const std::optional<FileVersion> version = findBlock(path);
    if (!version)
        return QString();
    return QStringLiteral("%1.%2.%3.%4")
        .arg(version->major)
        .arg(version->minor)
        .arg(version->build)
        .arg(version->revision);
}

} // namespace mGetFileVer
