#pragma once

#include <cstdint>

// The three colour bytes of a grid value: red is byte 2, green byte 1, blue
// byte 0. Byte 3 belongs to nobody and is never written.
namespace channels {

inline int red(std::uint32_t v)
{
    return int((v >> 16) & 0xff);
}
inline int green(std::uint32_t v)
{
    return int((v >> 8) & 0xff);
}
inline int blue(std::uint32_t v)
{
    return int(v & 0xff);
}

// Replaces the three colour bytes of v, keeping byte 3.
inline std::uint32_t withColour(std::uint32_t v, int r, int g, int b)
{
    return (v & 0xff000000u) | (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) |
           std::uint32_t(b);
}

inline int clampByte(int v)
{
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

} // namespace channels
