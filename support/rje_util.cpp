// Small record-library helpers: Unix time to and from the high word of the IBM time-of-day clock
// (unit 2^20 microseconds, epoch 1900), a hex and EBCDIC dump, in-place case conversion.
#include "support/rje_util.h"

#include <cctype>

#include "convert/translate.h"

// One IBM time word unit is 2^20 us = 16384/15625 s, so H = s * 15625 / 16384. Both steps split the
// value so that no intermediate result needs more than 32 bits.
inline constexpr uint32_t IBM_UNIT_NUM = 15625;
inline constexpr uint32_t IBM_UNIT_DEN = 16384; // 2^14

uint32_t nje_toibmtime(uint32_t seconds)
{
    uint32_t s = seconds + IBM_EPOCH_OFFSET; // wraps after 2036-02-07 06:28:16 UTC
    return (s >> 14) * IBM_UNIT_NUM + (((s & (IBM_UNIT_DEN - 1)) * IBM_UNIT_NUM) >> 14);
}

int32_t nje_fromibmtime(uint32_t h)
{
    uint32_t q = h / IBM_UNIT_NUM;
    uint32_t r = h % IBM_UNIT_NUM;
    uint32_t s = q * IBM_UNIT_DEN + (r * IBM_UNIT_DEN) / IBM_UNIT_NUM - IBM_EPOCH_OFFSET;
    return static_cast<int32_t>(s);
}

void nje_dumphex(const void *buffer, int length, FILE *stream)
{
    if (length <= 0) {
        return;
    }
    const auto *b = static_cast<const unsigned char *>(buffer);
    const long n = (static_cast<long>(length) + 15) / 16 * 16;
    for (long i = 0; i < n; i++) {
        if (i % 16 == 0) {
            std::fprintf(stream, "%06lx  ", static_cast<unsigned long>(i));
        }
        if (i % 4 == 0) {
            std::fputc(' ', stream);
        }
        if (i < length) {
            std::fprintf(stream, "%02x", b[i]);
        } else {
            std::fputs("  ", stream);
        }
        if (i % 16 == 15) {
            std::fputs("   *", stream);
            for (long j = i - 15; j <= i; j++) {
                int c = ' ';
                if (j < length) {
                    c = nje_EtoA[b[j]];
                    // A tab or other control character would break the dump's columns.
                    if (!(std::isalnum(c) || std::ispunct(c) || c == ' ')) {
                        c = '.';
                    }
                }
                std::fputc(c, stream);
            }
            std::fputs("*\n", stream);
        }
    }
}

char *rje_uppercase(char *s)
{
    for (; *s; s++) {
        *s = static_cast<char>(std::toupper(static_cast<unsigned char>(*s)));
    }
    return s;
}

char *rje_lowercase(char *s)
{
    for (; *s; s++) {
        *s = static_cast<char>(std::tolower(static_cast<unsigned char>(*s)));
    }
    return s;
}
