// Big-endian integer access for the spool, NETDATA and block layouts. Every multi-byte integer in
// those formats is unsigned big-endian; code reads and writes them only through these helpers.
#pragma once

#include <cstdint>

namespace be {

constexpr uint16_t get16(const unsigned char *p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

constexpr uint32_t get32(const unsigned char *p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

constexpr void put16(unsigned char *p, uint16_t v)
{
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}

constexpr void put32(unsigned char *p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

} // namespace be
