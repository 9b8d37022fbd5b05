// SNA compression of EBCDIC records into blocks (record mode): TRN-framed records ended by IRS,
// written as literal strings (cut at 60 bytes), blank runs (from 2) and runs of other bytes (from 3),
// both cut at 63. Literal strings and runs are found a piece at a time, sixteen bytes per step where
// the record is padded.
#include "convert/rje_compress.h"

#include <algorithm>
#include <cstdint>

#include "convert/vector_scan.h"

namespace
{

constexpr std::size_t LITERAL_CUT = 60; // a literal string is written once it holds this many bytes
constexpr std::size_t RUN_CUT = 63;     // the longest run one SCB can give
constexpr std::size_t MAX_INITIAL = 63; // the longest string one 00 SCB can give
constexpr std::size_t MIN_ROOM = 5;     // checked before anything is placed
// With more room than twice the data plus this, no room check can fail: a record takes at most
// 3 + n + n SCBs + 2 bytes, no check looks more than 6 bytes past what is written, and the 16-byte
// copies of padded records write at most 15 bytes past a literal string.
constexpr std::size_t ROOMY_SLACK = 16;

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
    template <bool Wide> void bytes(const unsigned char *p, std::size_t n)
    {
        vector_scan::copy<Wide>(w, p, n);
        w += n;
    }
    // A literal string: without SCB while it still lengthens the initial string.
    template <bool Wide> void literal(const unsigned char *p, std::size_t n)
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

#if defined(__SSE2__)
constexpr bool HAVE_ROOMY = true;

// Pairs of equal bytes in one record's data, as bit sets (bit i: position i) of at most 256 bits.
constexpr std::size_t MASK_WORDS = (RJE_MAX_RECORD_DATA + 1 + 63) / 64;
struct RecordPairs {
    std::uint64_t pair[MASK_WORDS + 1] = {}; // rec[i] == rec[i - 1]
    std::uint64_t start[MASK_WORDS] = {};    // rec[i - 1], rec[i] begin a run inside a literal string
};

// First position j >= i (i < 128) whose bit in the two words m0, m1 is Want; such a bit must exist.
template <bool Want> inline std::size_t next_in_two(std::uint64_t m0, std::uint64_t m1, std::size_t i)
{
    const std::uint64_t keep = ~std::uint64_t{0} << (i & 63);
    const std::uint64_t w0 = Want ? m0 : ~m0;
    const std::uint64_t w1 = Want ? m1 : ~m1;
    const std::uint64_t lo = i < 64 ? w0 & keep : 0;
    const std::uint64_t hi = i < 64 ? w1 : w1 & keep;
    const auto tl = static_cast<std::size_t>(__builtin_ctzll(lo | (std::uint64_t{1} << 63)));
    const auto th = 64 + static_cast<std::size_t>(__builtin_ctzll(hi | (std::uint64_t{1} << 63)));
    return lo != 0 ? tl : th;
}

// First position j >= i whose bit is Want; such a bit must exist (the walk below sets sentinels).
template <bool Want> inline std::size_t next_bit(const std::uint64_t *m, std::size_t i)
{
    std::size_t w = i >> 6;
    std::uint64_t bits = (Want ? m[w] : ~m[w]) & (~std::uint64_t{0} << (i & 63));
    while (bits == 0) {
        ++w;
        bits = Want ? m[w] : ~m[w];
    }
    return (w << 6) + static_cast<std::size_t>(__builtin_ctzll(bits));
}

// The masks of a record of up to 127 bytes, held in registers: the searches need no loop.
struct ShortMasks {
    std::uint64_t pair0, pair1, start0, start1;

    // From the pairs and blanks of a longer prefix, cut to the record's n bytes.
    static ShortMasks of(const RjeRecordMasks &k, std::size_t n)
    {
        const std::uint64_t keep0 = n < 64 ? (std::uint64_t{1} << n) - 1 : ~std::uint64_t{0};
        const std::uint64_t keep1 = n < 64 ? 0 : (std::uint64_t{1} << (n - 64)) - 1;
        const std::uint64_t p0 = k.pair[0] & keep0 & ~std::uint64_t{1};
        const std::uint64_t p1 = k.pair[1] & keep1;
        return ShortMasks{p0, p1, p0 & (k.blank[0] | (p0 >> 1) | (p1 << 63)), p1 & (k.blank[1] | (p1 >> 1))};
    }
    void sentinel(std::size_t n)
    {
        if (n < 64)
            start0 |= std::uint64_t{1} << n;
        else
            start1 |= std::uint64_t{1} << (n - 64);
    }
    std::size_t next_start(std::size_t i) const { return next_in_two<true>(start0, start1, i); }
    std::size_t next_unpaired(std::size_t i) const { return next_in_two<false>(pair0, pair1, i); }
};

// The masks of any record, in memory.
struct LongMasks {
    RecordPairs &m;

    void sentinel(std::size_t n) { m.start[n >> 6] |= std::uint64_t{1} << (n & 63); }
    std::size_t next_start(std::size_t i) const { return next_bit<true>(m.start, i); }
    std::size_t next_unpaired(std::size_t i) const { return next_bit<false>(m.pair, i); }
};

// The pairs of rec[0..n), n >= 2, that 16 bytes past n may be read from. A pair begins a run when
// it is a blank pair or the byte after it is equal too (and still data).
inline void find_pairs(const unsigned char *rec, std::size_t n, RecordPairs &m)
{
    std::uint64_t blank[MASK_WORDS] = {};
    const __m128i blanks = _mm_set1_epi8(static_cast<char>(EBCDIC_BLANK));
    for (std::size_t i = 0; i < n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rec + i));
        const __m128i b =
            i == 0 ? _mm_slli_si128(a, 1) : _mm_loadu_si128(reinterpret_cast<const __m128i *>(rec + i - 1));
        m.pair[i >> 6] |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)))}
                          << (i & 63);
        blank[i >> 6] |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, blanks)))}
                         << (i & 63);
    }
    m.pair[0] &= ~std::uint64_t{1};
    const std::size_t w = n >> 6; // bits from n on are not data
    const std::uint64_t keep = (std::uint64_t{1} << (n & 63)) - 1;
    m.pair[w] &= keep;
    blank[w] &= keep;
    for (std::size_t k = 0; k <= w; ++k)
        m.start[k] = m.pair[k] & (blank[k] | (m.pair[k] >> 1) | (m.pair[k + 1] << 63));
}

#if defined(VECTOR_SCAN_AVX512)
// Word w of the pairs and blanks of rec[0..n).
VECTOR_SCAN_AVX512 inline void pairs_step_avx512(const unsigned char *rec, std::size_t n, std::size_t w,
                                                 std::uint64_t *pair, std::uint64_t *blank)
{
    const std::size_t i = 64 * w;
    const __mmask64 in = vector_scan::lanes(i, n);
    const __m512i a = _mm512_maskz_loadu_epi8(in, rec + i);
    // The byte before each: rec[i - 1 ...], the first lane left out at the record's start.
    const __mmask64 before = i == 0 ? in & ~__mmask64{1} : in;
    const __m512i b = _mm512_maskz_loadu_epi8(before, rec + i - 1);
    pair[w] = _mm512_mask_cmpeq_epi8_mask(before, a, b);
    blank[w] = _mm512_mask_cmpeq_epi8_mask(in, a, _mm512_set1_epi8(static_cast<char>(EBCDIC_BLANK)));
}

// find_pairs sixty-four bytes at a time; reads nothing outside rec[0..n).
VECTOR_SCAN_AVX512 void find_pairs_avx512(const unsigned char *rec, std::size_t n, RecordPairs &m)
{
    if (n < 128) {
        // Both words at once, in registers (lanes past n are neither read nor set).
        const __m512i blanks = _mm512_set1_epi8(static_cast<char>(EBCDIC_BLANK));
        const __mmask64 in0 = vector_scan::lanes(0, n) & ~__mmask64{1};
        const __mmask64 in1 = vector_scan::lanes(64, n);
        const __m512i a0 = _mm512_maskz_loadu_epi8(vector_scan::lanes(0, n), rec);
        const __m512i a1 = _mm512_maskz_loadu_epi8(in1, rec + 64);
        const std::uint64_t p0 = _mm512_mask_cmpeq_epi8_mask(in0, a0, _mm512_maskz_loadu_epi8(in0, rec - 1));
        const std::uint64_t p1 = _mm512_mask_cmpeq_epi8_mask(in1, a1, _mm512_maskz_loadu_epi8(in1, rec + 63));
        const std::uint64_t k0 = _mm512_cmpeq_epi8_mask(a0, blanks);
        const std::uint64_t k1 = _mm512_mask_cmpeq_epi8_mask(in1, a1, blanks);
        m.pair[0] = p0;
        m.pair[1] = p1;
        m.start[0] = p0 & (k0 | (p0 >> 1) | (p1 << 63));
        m.start[1] = p1 & (k1 | (p1 >> 1));
        return;
    }
    std::uint64_t blank[MASK_WORDS];
    // The first two words whatever the length (lanes past n are neither read nor set): no branch on
    // the length of the record up to 128 bytes.
    pairs_step_avx512(rec, n, 0, m.pair, blank);
    pairs_step_avx512(rec, n, 1, m.pair, blank);
    std::size_t w = 2;
    for (; 64 * w < n; ++w)
        pairs_step_avx512(rec, n, w, m.pair, blank);
    for (std::size_t k = 0; k < w; ++k)
        m.start[k] = m.pair[k] & (blank[k] | (m.pair[k] >> 1) | (m.pair[k + 1] << 63));
}
#endif

// The record's data rec[0..n) (n >= 2) after TRN and the count, when the block has room for the
// worst case: the same pieces as compress_checked, found from the record's pairs of equal bytes.
template <class Masks>
inline __attribute__((always_inline)) void walk_record(const unsigned char *rec, std::size_t n, Masks m, Block &b)
{
    // Sentinels: a run may begin at n, and no pair is there, so both searches stop at n at the latest.
    m.sentinel(n);

    // The record as literal strings and runs: a run begins at every start pair found in the literal
    // string (two equal leading bytes always begin one) and lasts while the bytes stay equal.
    std::size_t lit = 0; // first byte of the pending literal string
    std::size_t s = rec[1] == rec[0] ? 1 : m.next_start(2); // a run's second byte, or n
    for (;;) {
        if (s >= lit + LITERAL_CUT) {
            // No run begins within sixty bytes: the literal string is cut there, and the byte after
            // the cut begins a new one whatever it is.
            b.scb(static_cast<unsigned char>(LITERAL_CUT));
            b.bytes<true>(rec + lit, LITERAL_CUT);
            lit += LITERAL_CUT;
            if (lit == n)
                break;
            s = m.next_start(lit + 1);
            continue;
        }
        if (s == n)
            break;
        const std::size_t r = s - 1; // the run's first byte leaves the literal string
        b.literal<true>(rec + lit, r - lit);
        const std::size_t e = std::min(m.next_unpaired(s + 1), r + RUN_CUT);
        b.run(rec[r], e - r);
        lit = e; // ended by another byte, or cut at 63: either way that byte begins a literal string
        if (lit == n)
            break;
        s = m.next_start(lit + 1);
    }
    b.literal<true>(rec + lit, n - lit);
    b.scb(RJE_SCB_END_RECORD);
    *b.w++ = RJE_IRS;
}

// known: the record's pairs and blanks as its builder found them, or null.
void compress_roomy(const unsigned char *rec, std::size_t n, Block &b, const RjeRecordMasks *known)
{
    if (known != nullptr && n < 128)
        return walk_record(rec, n, ShortMasks::of(*known, n), b);
    RecordPairs m;
#if defined(VECTOR_SCAN_AVX512)
    if (vector_scan::isa() == vector_scan::Isa::avx512)
        find_pairs_avx512(rec, n, m);
    else
#endif
        find_pairs(rec, n, m);
    if (n < 128)
        walk_record(rec, n, ShortMasks{m.pair[0], m.pair[1], m.start[0], m.start[1]}, b);
    else
        walk_record(rec, n, LongMasks{m}, b);
}
#else
constexpr bool HAVE_ROOMY = false;
void compress_roomy(const unsigned char *, std::size_t, Block &, const RjeRecordMasks *) {}
#endif

// The record's data rec[0..n) (n >= 2) with a room check before each piece.
// @return false when a room check failed.
template <bool Padded> bool compress_checked(const unsigned char *rec, std::size_t data_len, Block &b)
{
    using vector_scan::next_pair;
    using vector_scan::run_end;
    const unsigned char *lit = rec; // first byte of the pending literal string
    std::size_t lit_len = 0;        // the first byte waits uncounted
    int prev = rec[0];              // -1: no previous byte (just after a cut)
    unsigned char run_byte = 0;
    std::size_t run_len = 0; // 0: no run pending

    std::size_t i = 1;
    while (i < data_len) {
        if (lit_len == LITERAL_CUT) {
            if (!b.fits(LITERAL_CUT + 2))
                return false;
            b.scb(static_cast<unsigned char>(LITERAL_CUT));
            b.bytes<false>(lit, LITERAL_CUT);
            lit += LITERAL_CUT;
            lit_len = 0;
            prev = -1;
        } else if (run_len == RUN_CUT) {
            if (!b.fits(6))
                return false;
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
            if (!b.fits(lit_len + 1))
                return false;
            if (c == EBCDIC_BLANK || (i + 1 < data_len && rec[i + 1] == c)) {
                b.literal<false>(lit, lit_len - 1);
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
            if (!b.fits(2))
                return false;
            b.run(run_byte, run_len);
            run_len = 0;
            lit = rec + i;
            lit_len = 1;
            prev = c;
            if (!b.fits(2))
                return false;
            ++i;
            continue;
        }
        if (i == 1) {
            lit_len = 2; // the waiting first byte is counted too
        } else {
            if (lit_len == 0)
                lit = rec + i;
            ++lit_len;
        }
        ++i;
        // Every following byte that differs from the one before it joins the literal string, up to
        // the cut at 60; the room check on the longest string covers the shorter ones.
        const std::size_t j = next_pair<Padded>(rec, i, std::min(data_len, i + (LITERAL_CUT - lit_len)));
        lit_len += j - i;
        i = j;
        prev = rec[i - 1];
        if (!b.fits(lit_len + 1))
            return false;
    }

    // The IRS: full pieces first, then the pending run or literal string, then 0x01, IRS.
    if (lit_len == LITERAL_CUT) {
        if (!b.fits(LITERAL_CUT + 2))
            return false;
        b.scb(static_cast<unsigned char>(LITERAL_CUT));
        b.bytes<false>(lit, LITERAL_CUT);
        lit_len = 0;
    }
    if (run_len != 0) {
        if (!b.fits(run_len == RUN_CUT ? 6 : 2))
            return false;
        b.run(run_byte, run_len);
    }
    if (!b.fits(lit_len + 1))
        return false;
    b.literal<false>(lit, lit_len);
    if (!b.fits(2))
        return false;
    b.scb(RJE_SCB_END_RECORD);
    *b.w++ = RJE_IRS;
    return true;
}

template <bool Padded>
int compress_record(const unsigned char *in, const unsigned char *in_end, unsigned char **out,
                    const unsigned char *block_start, const unsigned char *out_end,
                    const RjeRecordMasks *known = nullptr)
{
    if (in == nullptr || out == nullptr || *out == nullptr || in_end <= in || in_end[-1] != RJE_IRS ||
        *out < block_start || *out > out_end)
        return -1;
    const std::size_t len = static_cast<std::size_t>(in_end - in);
    const std::size_t data_len = len - 1;
    if (data_len > RJE_MAX_RECORD_DATA)
        return -1;
    unsigned char *start = *out;
    const bool at_block_start = start == block_start;
    if (!at_block_start && start - block_start < 2)
        return -1; // no previous record's final 0x01, IRS before out
    Block b{start, out_end};
    if (!b.fits(MIN_ROOM))
        return 0;
    unsigned char *initial; // the initial SCB
    if (at_block_start) {
        initial = start;
        ++b.w;
    } else {
        if (!b.fits(len))
            return 0;
        initial = start - 2; // the previous record's final 0x01
    }
    *b.w++ = RJE_TRN;
    unsigned char *count = b.w++;

    if (data_len <= 1) {
        if (!b.fits(3))
            return 0;
        *b.w++ = data_len == 0 ? EBCDIC_BLANK : in[0];
        *b.w++ = RJE_SCB_END_RECORD;
        *b.w++ = RJE_IRS;
        *initial = at_block_start ? 3 : 4;
        *count = 1;
        *out = b.w;
        return 1;
    }
    if (Padded && HAVE_ROOMY && static_cast<std::size_t>(out_end - b.w) > 2 * data_len + ROOMY_SLACK)
        compress_roomy(in, data_len, b, known);
    else if (!compress_checked<Padded>(in, data_len, b))
        return 0;
    const std::size_t initial_len = static_cast<std::size_t>(b.first_scb - (initial + 1));
    if (initial_len > MAX_INITIAL)
        return -1; // only behind another record; the same record fits a fresh block
    *initial = static_cast<unsigned char>(initial_len);
    *count = static_cast<unsigned char>(data_len);
    *out = b.w;
    return 1;
}

} // namespace

int rje_compress(const unsigned char **in, unsigned char **out, const unsigned char *in_end,
                 const unsigned char *out_end, unsigned block_size, unsigned mode)
{
    if ((mode & 0xFF) != RJE_MODE_RECORD || in == nullptr || out == nullptr || *in == nullptr ||
        *out == nullptr || out_end < *out || static_cast<std::size_t>(out_end - *out) > block_size)
        return -1;
    const unsigned char *block_start = out_end - block_size;
    const int rc = compress_record<false>(*in, in_end, out, block_start, out_end);
    if (rc == 1)
        *in = in_end;
    return rc;
}

int rje_compress_padded(const unsigned char *in, const unsigned char *in_end, unsigned char **out,
                        const unsigned char *block_start, const unsigned char *out_end)
{
    return compress_record<true>(in, in_end, out, block_start, out_end);
}

int rje_compress_masked(const unsigned char *in, const unsigned char *in_end, const RjeRecordMasks &masks,
                        unsigned char **out, const unsigned char *block_start, const unsigned char *out_end)
{
    return compress_record<true>(in, in_end, out, block_start, out_end, &masks);
}
