// Test-only DBCS conversion library: a handful of made-up mappings between 16-bit IBM DBCS codes and
// UTF-8 characters (the multibyte locale the tests run in). Built a second time without "xeuclen" to
// exercise the missing-entry-point path.
#include <cstring>

#include "convert/kiolink.h"

namespace
{

struct Mapping {
    unsigned int ibm;
    const char *text; // the character's bytes
};

// The first byte of each character's bytes is what "xeuclen" is asked about. U+3042 and U+3044 have
// code points whose low 8 bits (0x42, 0x44) are ASCII letters.
constexpr Mapping mappings[] = {
    {0x4281, "\xC3\xA9"},     // U+00E9
    {0x4282, "\xC3\xBC"},     // U+00FC
    {0x8342, "\xE3\x82\xA2"}, // U+30A2
    {0x4E4C, "\xE4\xBA\xBA"}, // U+4EBA
    {0x4481, "\xE3\x81\x82"}, // U+3042
    {0x4483, "\xE3\x81\x84"}, // U+3044
};

constexpr int UNKNOWN_IBM = 0xFEFE;

} // namespace

extern "C" {

euc_char xibmtoeuc(unsigned int code)
{
    euc_char ch{};
    ch.c[0] = 0xFF; // no character for this code
    for (const auto &m : mappings) {
        if (m.ibm == code) {
            std::memcpy(ch.c, m.text, std::strlen(m.text));
        }
    }
    return ch;
}

int xeuctoibm(euc_char ch)
{
    for (const auto &m : mappings) {
        if (std::memcmp(ch.c, m.text, std::strlen(m.text)) == 0) {
            return static_cast<int>(m.ibm) | 0x10000; // high bits carry no meaning
        }
    }
    return UNKNOWN_IBM;
}

#ifndef DBCS_STUB_PARTIAL
int xeuclen(int byte)
{
    if (byte == 0xE3)
        return 3; // the lead byte of the Japanese characters above
    return byte >= 0xA1 && byte <= 0xFF ? 2 : 1; // a value past a byte: the caller did not mask it
}
#endif
}
