// Record-mode SNA compression for the conversion's hot loop: gives the same block bytes and results
// as rje_compress (TRN-framed record, literal strings cut at 60, blank runs from 2, other runs from
// 3, runs cut at 63), but walks literal strings and runs in tight loops instead of byte by byte.
#include <algorithm>
#include <cstring>

#include "convert/rje_compress.h"
#include "convert/rje_compress_block.h"
#include "convert/rje_convert.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace
{

constexpr std::size_t MIN_ROOM = 5; // checked before anything is placed
// With more room than twice the data plus this, no room check can fail: a record takes at most
// 3 + n + n SCBs + 2 bytes, no check looks more than 6 bytes past what is written, and the
// 16-byte copies of padded records write at most 15 bytes past a literal string.
constexpr std::size_t ROOMY_SLACK = 16;

using Out = rje_compress_detail::Block;
using rje_compress_detail::LITERAL_CUT;
using rje_compress_detail::MAX_INITIAL;
using rje_compress_detail::RUN_CUT;

// First j in [i, lim) with rec[j] == rec[j-1], or lim. Requires i >= 1. Padded: the 16 bytes
// after lim may be read (their results are masked off).
template <bool Padded>
inline __attribute__((always_inline)) std::size_t next_pair(const unsigned char *rec, std::size_t i,
                                                            std::size_t lim)
{
#if defined(__SSE2__)
    while (Padded ? i < lim : i + 16 <= lim) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rec + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rec + i - 1));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)));
        if (Padded && lim - i < 16) {
            mask &= (1u << (lim - i)) - 1;
        }
        if (mask != 0) {
            return i + static_cast<std::size_t>(__builtin_ctz(mask));
        }
        i += 16;
    }
    if (Padded) {
        return lim;
    }
#endif
    while (i < lim && rec[i] != rec[i - 1]) {
        ++i;
    }
    return i;
}

// First j in [i, lim) with rec[j] != b, or lim. Padded as above.
template <bool Padded>
inline __attribute__((always_inline)) std::size_t run_end(const unsigned char *rec, std::size_t i,
                                                          std::size_t lim, unsigned char b)
{
#if defined(__SSE2__)
    const __m128i v = _mm_set1_epi8(static_cast<char>(b));
    while (Padded ? i < lim : i + 16 <= lim) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rec + i));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, v))) ^ 0xFFFFu;
        if (Padded && lim - i < 16) {
            mask &= (1u << (lim - i)) - 1;
        }
        if (mask != 0) {
            return i + static_cast<std::size_t>(__builtin_ctz(mask));
        }
        i += 16;
    }
    if (Padded) {
        return lim;
    }
#endif
    while (i < lim && rec[i] == b) {
        ++i;
    }
    return i;
}

// The record's data rec[0..n) (n >= 2) after TRN and the count, when the block has room for the
// worst case: the same pieces as the checked loop below, found a piece at a time.
template <bool Padded> unsigned char *compress_roomy(const unsigned char *rec, std::size_t n, Out &b)
{
    const unsigned char *lit = rec;
    std::size_t lit_len = 0;
    std::size_t i;
    unsigned char run_byte = 0;
    std::size_t run_len = 0;
    if (rec[1] == rec[0]) {
        run_byte = rec[0];
        run_len = 2;
        i = 2;
        goto run_mode;
    }
    lit_len = 2;
    i = 2;
literal_mode: // lit_len >= 1 bytes pending, rec[i - 1] is the previous byte
    for (;;) {
        const std::size_t j = next_pair<Padded>(rec, i, std::min(n, i + (LITERAL_CUT - lit_len)));
        lit_len += j - i;
        i = j;
        if (lit_len == LITERAL_CUT) {
            b.scb(static_cast<unsigned char>(LITERAL_CUT));
            b.bytes<Padded>(lit, LITERAL_CUT);
            lit += LITERAL_CUT;
            lit_len = 0;
            if (i == n) {
                goto finish;
            }
            lit_len = 1; // the next byte begins a new literal string whatever it is
            ++i;
            continue;
        }
        if (i == n) {
            goto finish;
        }
        const unsigned char c = rec[i];
        if (c == EBCDIC_BLANK || (i + 1 < n && rec[i + 1] == c)) {
            b.literal<Padded>(lit, lit_len - 1);
            lit_len = 0;
            run_byte = c;
            run_len = 2;
            ++i;
            goto run_mode;
        }
        ++lit_len; // a pair that does not begin a run
        ++i;
    }
run_mode : // run_len >= 2 bytes of run_byte pending
{
    const std::size_t j = run_end<Padded>(rec, i, std::min(n, i + (RUN_CUT - run_len)), run_byte);
    run_len += j - i;
    i = j;
    if (i == n) {
        goto finish;
    }
    b.run(run_byte, run_len); // cut at 63 or ended by another byte: that byte begins a literal
    run_len = 0;
    lit = rec + i;
    lit_len = 1;
    ++i;
    goto literal_mode;
}
finish:
    if (run_len != 0) {
        b.run(run_byte, run_len);
    }
    b.literal<Padded>(lit, lit_len);
    b.scb(RJE_SCB_END_RECORD);
    *b.w++ = RJE_IRS;
    return b.w;
}

template <bool Padded>
int compress_record(const unsigned char *in, const unsigned char *in_end, unsigned char **out,
                    unsigned char *block_start, unsigned char *out_end)
{
    if (in == nullptr || out == nullptr || *out == nullptr || in_end <= in || in_end[-1] != RJE_IRS ||
        *out < block_start || *out > out_end) {
        return -1;
    }
    const std::size_t len = static_cast<std::size_t>(in_end - in);
    const std::size_t data_len = len - 1;
    if (data_len > RJE_MAX_RECORD_DATA) {
        return -1;
    }
    unsigned char *start = *out;
    const bool at_block_start = start == block_start;
    if (!at_block_start && start - block_start < 2) {
        return -1;
    }
    Out b{start, out_end};
    if (!b.fits(MIN_ROOM)) {
        return 0;
    }
    unsigned char *initial;
    if (at_block_start) {
        initial = start;
        ++b.w;
    } else {
        if (!b.fits(len)) {
            return 0;
        }
        initial = start - 2;
    }
    *b.w++ = RJE_TRN;
    unsigned char *count = b.w++;

    if (data_len <= 1) {
        if (!b.fits(3)) {
            return 0;
        }
        *b.w++ = data_len == 0 ? EBCDIC_BLANK : in[0];
        *b.w++ = RJE_SCB_END_RECORD;
        *b.w++ = RJE_IRS;
        *initial = at_block_start ? 3 : 4;
        *count = 1;
        *out = b.w;
        return 1;
    }

    const unsigned char *rec = in;
    if (static_cast<std::size_t>(out_end - b.w) > 2 * data_len + ROOMY_SLACK) {
        compress_roomy<Padded>(rec, data_len, b);
        const std::size_t initial_len = static_cast<std::size_t>(b.first_scb - (initial + 1));
        if (initial_len > MAX_INITIAL) {
            return -1; // the caller retries a record that was appended in a fresh block
        }
        *initial = static_cast<unsigned char>(initial_len);
        *count = static_cast<unsigned char>(data_len);
        *out = b.w;
        return 1;
    }
    const unsigned char *lit = rec;
    std::size_t lit_len = 0;
    int prev = rec[0];
    unsigned char run_byte = 0;
    std::size_t run_len = 0;

    std::size_t i = 1;
    while (i < data_len) {
        if (lit_len == LITERAL_CUT) {
            if (!b.fits(LITERAL_CUT + 2)) {
                return 0;
            }
            b.scb(static_cast<unsigned char>(LITERAL_CUT));
            std::memcpy(b.w, lit, LITERAL_CUT);
            b.w += LITERAL_CUT;
            lit += LITERAL_CUT;
            lit_len = 0;
            prev = -1;
        } else if (run_len == RUN_CUT) {
            if (!b.fits(6)) {
                return 0;
            }
            b.run(run_byte, run_len);
            run_len = 0;
            prev = -1;
        }
        const unsigned char c = rec[i];
        if (c == prev && lit_len == 0) {
            // A run grows: take every further equal byte up to the cut at once.
            if (run_len == 0) {
                run_byte = c;
                run_len = 1;
            }
            ++run_len;
            ++i;
            const std::size_t j =
                run_end<Padded>(rec, i, std::min(data_len, i + (RUN_CUT - run_len)), run_byte);
            run_len += j - i;
            i = j;
            continue;
        }
        if (c == prev) {
            if (!b.fits(lit_len + 1)) {
                return 0;
            }
            if (c == EBCDIC_BLANK || (i + 1 < data_len && rec[i + 1] == c)) {
                b.literal(lit, lit_len - 1);
                lit_len = 0;
                run_byte = c;
                run_len = 2;
            } else {
                ++lit_len;
            }
            ++i;
            continue;
        }
        if (run_len != 0) {
            if (!b.fits(2)) {
                return 0;
            }
            b.run(run_byte, run_len);
            run_len = 0;
            lit = rec + i;
            lit_len = 1;
            prev = c;
            if (!b.fits(2)) {
                return 0;
            }
            ++i;
            continue;
        }
        if (i == 1) {
            lit_len = 2;
        } else {
            if (lit_len == 0) {
                lit = rec + i;
            }
            ++lit_len;
        }
        ++i;
        // Every following byte that differs from the one before it joins the literal string, up
        // to the cut at 60; the room check on the longest string covers the shorter ones.
        const std::size_t lim = std::min(data_len, i + (LITERAL_CUT - lit_len));
        const std::size_t j = next_pair<Padded>(rec, i, lim);
        lit_len += j - i;
        i = j;
        prev = rec[i - 1];
        if (!b.fits(lit_len + 1)) {
            return 0;
        }
    }

    if (lit_len == LITERAL_CUT) {
        if (!b.fits(LITERAL_CUT + 2)) {
            return 0;
        }
        b.scb(static_cast<unsigned char>(LITERAL_CUT));
        std::memcpy(b.w, lit, LITERAL_CUT);
        b.w += LITERAL_CUT;
        lit_len = 0;
    }
    if (run_len != 0) {
        if (!b.fits(run_len == RUN_CUT ? 6 : 2)) {
            return 0;
        }
        b.run(run_byte, run_len);
    }
    if (!b.fits(lit_len + 1)) {
        return 0;
    }
    b.literal(lit, lit_len);
    if (!b.fits(2)) {
        return 0;
    }
    b.scb(RJE_SCB_END_RECORD);
    *b.w++ = RJE_IRS;

    const std::size_t initial_len = static_cast<std::size_t>(b.first_scb - (initial + 1));
    if (initial_len > MAX_INITIAL) {
        return -1; // the caller retries a record that was appended in a fresh block
    }
    *initial = static_cast<unsigned char>(initial_len);
    *count = static_cast<unsigned char>(data_len);
    *out = b.w;
    return 1;
}

} // namespace

int convert_compress_record(const unsigned char *in, const unsigned char *in_end, unsigned char **out,
                            unsigned char *block_start, unsigned char *out_end)
{
    return compress_record<false>(in, in_end, out, block_start, out_end);
}

int convert_compress_padded(const unsigned char *in, const unsigned char *in_end, unsigned char **out,
                            unsigned char *block_start, unsigned char *out_end)
{
    return compress_record<true>(in, in_end, out, block_start, out_end);
}
