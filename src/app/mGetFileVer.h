#pragma once

#include <QString>

#include <cstdint>

// File versions: the four parts of the fixed version block a file carries
// (signature 0xFEEF04BD at a 4-byte-aligned offset, file version words at
// offsets 8 and 12 of the block). A file without one, a missing or unreadable
// file and a block cut off by the end of the file have version 0.0.0.0.
struct FileVersion
{
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    std::uint32_t revision = 0;

    bool isNull() const { return major == 0 && minor == 0 && build == 0 && revision == 0; }
    // Part by part, major first.
    auto operator<=>(const FileVersion&) const = default;
};

namespace mGetFileVer {

// The first version block of the file; files are scanned in bounded chunks.
FileVersion GetFileVersion(const QString& path);

// "1.0.0.2"; the empty text when the file has no version block.
QString GetFileVersionText(const QString& path);

} // namespace mGetFileVer
