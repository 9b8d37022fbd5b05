// The block a record-mode compressor fills: room checks and the string control bytes it writes.
// Shared by rje_compress and the conversion's fused compressor so that both place the same bytes;
// internal to convert/, not part of the library's interface.
#pragma once

#include <cstddef>
#include <cstring>

#include "convert/rje_compress.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rje_compress_detail
{

constexpr std::size_t LITERAL_CUT = 60; // a literal string is written once it holds this many bytes
constexpr std::size_t RUN_CUT = 63;     // the longest run one SCB can give
constexpr std::size_t MAX_INITIAL = 63; // the longest string one 00 SCB can give

// The block being filled: the write position and the end. fits(k) is the room check on w + k.
struct Block {
    unsigned char *w;
    const unsigned char *end;
    unsigned char *first_scb = nullptr; // the record's first SCB of its own (ends the initial string)
    bool has_scb = false;               // later literal strings get an SCB of their own

    bool fits(std::size_t k) const { return k < static_cast<std::size_t>(end - w); }
    void scb(unsigned char v)
    {
        if (first_scb == nullptr)
            first_scb = w;
        *w++ = v;
        has_scb = true;
    }
    // Copies n bytes. Wide: in pieces of 16, which may read and write up to 15 bytes past them.
    template <bool Wide = false> void bytes(const unsigned char *p, std::size_t n)
    {
#if defined(__SSE2__)
        if (Wide) {
            for (std::size_t k = 0; k < n; k += 16)
                _mm_storeu_si128(reinterpret_cast<__m128i *>(w + k),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + k)));
            w += n;
            return;
        }
#endif
        std::memcpy(w, p, n);
        w += n;
    }
    // A literal string: without SCB while it still lengthens the initial string.
    template <bool Wide = false> void literal(const unsigned char *p, std::size_t n)
    {
        if (n == 0)
            return;
        if (has_scb)
            scb(static_cast<unsigned char>(n));
        bytes<Wide>(p, n);
        has_scb = true;
    }
    void run(unsigned char b, std::size_t n)
    {
        if (b == EBCDIC_BLANK) {
            scb(static_cast<unsigned char>(RJE_SCB_BLANKS | n));
        } else if (n >= 3) {
            scb(static_cast<unsigned char>(RJE_SCB_REPEAT | n));
            *w++ = b;
        } else {
            // Two equal non-blank bytes lead the record: they lengthen the initial string.
            *w++ = b;
            *w++ = b;
        }
    }
};

} // namespace rje_compress_detail
