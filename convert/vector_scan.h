// Vector scans shared by the conversion's hot loops (internal to convert/): pairs and runs of equal
// bytes for the compressor, printable ASCII and bytes that need decoding for the text path, the
// table translation of printable ASCII (to EBCDIC) and of any byte (back from it). Each scan has a
// plain loop for machines without the vectors; the 32- and 64-byte vectors are chosen at run time
// (isa()), and isa_cap() holds them back (the tests run every path on one machine).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "support/wire.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VECTOR_SCAN_X86 1 // 32- and 64-byte vectors chosen at run time
#endif

namespace vector_scan
{

// Bytes past the data that a scan of padded data may read, and the translation may read and write.
inline constexpr std::size_t PAD = 32;

// First j in [i, lim) with p[j] == p[j-1], or lim. Requires i >= 1. Padded: the 16 bytes after lim
// may be read (their results are masked off).
template <bool Padded>
inline __attribute__((always_inline)) std::size_t next_pair(const unsigned char *p, std::size_t i,
                                                            std::size_t lim)
{
#if defined(__SSE2__)
    while (Padded ? i < lim : i + 16 <= lim) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i - 1));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)));
        if (Padded && lim - i < 16)
            mask &= (1u << (lim - i)) - 1;
        if (mask != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(mask));
        i += 16;
    }
    if (Padded)
        return lim;
#endif
    while (i < lim && p[i] != p[i - 1])
        ++i;
    return i;
}

// First j in [i, lim) with p[j] != b, or lim. Padded as above.
template <bool Padded>
inline __attribute__((always_inline)) std::size_t run_end(const unsigned char *p, std::size_t i,
                                                          std::size_t lim, unsigned char b)
{
#if defined(__SSE2__)
    const __m128i v = _mm_set1_epi8(static_cast<char>(b));
    while (Padded ? i < lim : i + 16 <= lim) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, v))) ^ 0xFFFFu;
        if (Padded && lim - i < 16)
            mask &= (1u << (lim - i)) - 1;
        if (mask != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(mask));
        i += 16;
    }
    if (Padded)
        return lim;
#endif
    while (i < lim && p[i] == b)
        ++i;
    return i;
}

// Copies n bytes; Wide: in pieces of 16, which read and write up to 15 bytes past them.
template <bool Wide> inline void copy(unsigned char *to, const unsigned char *from, std::size_t n)
{
#if defined(__SSE2__)
    if (Wide) {
        for (std::size_t k = 0; k < n; k += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(to + k),
                             _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + k)));
        return;
    }
#endif
    __builtin_memcpy(to, from, n);
}

#if defined(__SSE2__)
// First position j in [i, n) that mark flags (mark gives the flags of sixteen bytes as the bits of a
// number), or n; the 16 bytes after p + n may be read.
template <class Mark>
inline __attribute__((always_inline)) std::size_t first_marked(const unsigned char *p, std::size_t i,
                                                               std::size_t n, Mark mark)
{
    for (; i < n; i += 16) {
        unsigned m = mark(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i)));
        if (n - i < 16)
            m |= 1u << (n - i);
        if (m != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(m));
    }
    return n;
}
#endif

// Length of the leading run of bytes 0x20..0x7F in p[0..k); the 16 bytes after p + k may be read.
inline std::size_t printable_prefix(const unsigned char *p, std::size_t k)
{
#if defined(__SSE2__)
    return first_marked(p, 0, k, [](__m128i x) {
        // Signed compare: bytes 0x80..0xFF count as below the space too.
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(x, _mm_set1_epi8(0x20))));
    });
#else
    std::size_t i = 0;
    while (i < k && p[i] >= 0x20 && p[i] < 0x80)
        ++i;
    return i;
#endif
}

// Position of the first newline or byte above 0x7F in p[i..n), or n; the 16 bytes after p + n may be
// read.
inline std::size_t newline_or_high(const unsigned char *p, std::size_t i, std::size_t n)
{
#if defined(__SSE2__)
    return first_marked(p, i, n, [](__m128i x) {
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(x, _mm_cmpeq_epi8(x, _mm_set1_epi8('\n')))));
    });
#else
    while (i < n && p[i] != '\n' && p[i] < 0x80)
        ++i;
    return i;
#endif
}

// Position of the first byte of p[0..n) whose class in cls is `wanted`, or n. high_only: only bytes
// above 0x7F can have that class, so sixteen bytes below 0x80 are passed over at once.
inline std::size_t first_of_class(const unsigned char *p, std::size_t n, const unsigned char *cls,
                                  unsigned char wanted, bool high_only)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    if (high_only) {
        for (; i + 16 <= n; i += 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
            for (unsigned m = static_cast<unsigned>(_mm_movemask_epi8(x)); m != 0; m &= m - 1) {
                const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(m));
                if (cls[p[at]] == wanted)
                    return at;
            }
        }
    }
#else
    (void)high_only;
#endif
    while (i < n && cls[p[i]] != wanted)
        ++i;
    return i;
}

// The widest vectors the processor offers at run time, and a cap on them (the tests run the narrower
// paths on machines that have the wider ones).
enum class Isa { base = 0, avx2 = 1, avx512 = 2 };

inline Isa &isa_cap()
{
    static Isa cap = Isa::avx512;
    return cap;
}

#if defined(VECTOR_SCAN_X86)
inline Isa isa_found()
{
    static const Isa found = [] {
        __builtin_cpu_init(); // may run before the constructor that sets up the processor data
        if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi") &&
            __builtin_cpu_supports("bmi2"))
            return Isa::avx512;
        return __builtin_cpu_supports("avx2") ? Isa::avx2 : Isa::base;
    }();
    return found;
}
#else
inline Isa isa_found()
{
    return Isa::base;
}
#endif

inline Isa isa()
{
    const Isa found = isa_found();
    return isa_cap() < found ? isa_cap() : found;
}

#if defined(VECTOR_SCAN_X86)
// The table's rows 0x20..0x7F for translating printable ASCII thirty-two bytes at a time: the low
// nibble looks up each of the six rows, and the bits of the row number (high nibble - 2) pick among
// them.
struct PrintableTable {
    __m256i rows[6];
    __attribute__((target("avx2"))) explicit PrintableTable(const unsigned char *table)
    {
        for (int r = 0; r < 6; ++r)
            rows[r] = _mm256_broadcastsi128_si256(
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(table + 0x20 + 16 * r)));
    }
    __attribute__((target("avx2"))) __m256i operator()(__m256i x) const
    {
        const __m256i low = _mm256_set1_epi8(0x0F);
        const __m256i lo = _mm256_and_si256(x, low);
        const __m256i row =
            _mm256_sub_epi8(_mm256_and_si256(_mm256_srli_epi16(x, 4), low), _mm256_set1_epi8(2));
        const __m256i bit0 = _mm256_slli_epi16(row, 7); // blendv looks at bit 7 of each byte
        const __m256i bit1 = _mm256_slli_epi16(row, 6);
        const __m256i bit2 = _mm256_slli_epi16(row, 5);
        const __m256i r01 =
            _mm256_blendv_epi8(_mm256_shuffle_epi8(rows[0], lo), _mm256_shuffle_epi8(rows[1], lo), bit0);
        const __m256i r23 =
            _mm256_blendv_epi8(_mm256_shuffle_epi8(rows[2], lo), _mm256_shuffle_epi8(rows[3], lo), bit0);
        const __m256i r45 =
            _mm256_blendv_epi8(_mm256_shuffle_epi8(rows[4], lo), _mm256_shuffle_epi8(rows[5], lo), bit0);
        return _mm256_blendv_epi8(_mm256_blendv_epi8(r01, r23, bit1), r45, bit2);
    }
};

// Translates the leading bytes 0x20..0x7F of in[0..k), found while translating; the last vector
// reads and writes up to 31 bytes past k (PAD), what it writes there carries no meaning.
// @return their number.
__attribute__((target("avx2"))) inline std::size_t
translate_prefix_avx2(unsigned char *out, const unsigned char *in, std::size_t k, const unsigned char *table)
{
    const PrintableTable t(table);
    const __m256i below = _mm256_set1_epi8(0x20);
    for (std::size_t i = 0; i < k; i += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + i));
        // Signed compare: bytes 0x80..0xFF count as below the space too.
        auto stop = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpgt_epi8(below, x)));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i), t(x));
        if (k - i < 32)
            stop |= ~0u << (k - i);
        if (stop != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(stop));
    }
    return k;
}

#define VECTOR_SCAN_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi,bmi2")))

// Lanes i..min(n, i + 64) of a 64-byte step; none when i >= n.
VECTOR_SCAN_AVX512 inline __mmask64 lanes(std::size_t i, std::size_t n)
{
    return _bzhi_u64(~std::uint64_t{0}, static_cast<unsigned>(n > i ? std::min<std::size_t>(n - i, 64) : 0));
}

// Translates in[i .. min(k, i + 64)) with the table's first half (t0, t1) into out.
// @return the lanes that are not printable ASCII, or past k.
VECTOR_SCAN_AVX512 inline __mmask64 translate_step_avx512(unsigned char *out, const unsigned char *in,
                                                          std::size_t i, std::size_t k, __m512i t0,
                                                          __m512i t1)
{
    const __mmask64 m = lanes(i, k);
    const __m512i x = _mm512_maskz_loadu_epi8(m, in + i);
    _mm512_mask_storeu_epi8(out + i, m, _mm512_permutex2var_epi8(t0, x, t1));
    // Signed compare: bytes 0x80..0xFF count as below the space too.
    return _mm512_cmplt_epi8_mask(x, _mm512_set1_epi8(0x20)) | ~m;
}

// The same sixty-four bytes at a time with the table's first half (0x00..0x7F) in two registers;
// reads and writes nothing past k. @return the number translated.
VECTOR_SCAN_AVX512 inline std::size_t translate_prefix_avx512(unsigned char *out, const unsigned char *in,
                                                              std::size_t k, const unsigned char *table)
{
    const __m512i t0 = _mm512_loadu_si512(table);
    const __m512i t1 = _mm512_loadu_si512(table + 64);
    // The first two steps whatever comes (a line seldom passes 128 bytes): no branch on the length
    // of the line between them.
    const __mmask64 stop0 = translate_step_avx512(out, in, 0, k, t0, t1);
    const __mmask64 stop1 = translate_step_avx512(out, in, 64, k, t0, t1);
    if (stop0 != 0)
        return static_cast<std::size_t>(__builtin_ctzll(stop0));
    if (stop1 != 0)
        return 64 + static_cast<std::size_t>(__builtin_ctzll(stop1));
    for (std::size_t i = 128; i < k; i += 64) {
        const __mmask64 stop = translate_step_avx512(out, in, i, k, t0, t1);
        if (stop != 0)
            return i + static_cast<std::size_t>(__builtin_ctzll(stop));
    }
    return k;
}

// translate_prefix_avx512 for k <= 128, which also gives the pairs of equal bytes and the EBCDIC
// blanks among the bytes it translated, as the compressor uses them: bit j of pair[j / 64] is set
// when out[j] == out[j - 1] (j >= 1), of blank[j / 64] when out[j] is the blank. Bits past the
// bytes translated carry no meaning.
VECTOR_SCAN_AVX512 inline std::size_t translate_prefix_pairs_avx512(unsigned char *out, const unsigned char *in,
                                                                    std::size_t k, const unsigned char *table,
                                                                    std::uint64_t pair[2], std::uint64_t blank[2])
{
    // Lane j picks byte 63 + j of two registers side by side: the byte before it when the second is
    // the one after the first, the byte before it in the same register when both are one.
    alignas(64) static constexpr unsigned char before[64] = {
        63,  64,  65,  66,  67,  68,  69,  70,  71,  72,  73,  74,  75,  76,  77,  78,
        79,  80,  81,  82,  83,  84,  85,  86,  87,  88,  89,  90,  91,  92,  93,  94,
        95,  96,  97,  98,  99,  100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110,
        111, 112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126};
    const __m512i t0 = _mm512_loadu_si512(table);
    const __m512i t1 = _mm512_loadu_si512(table + 64);
    const __mmask64 m0 = lanes(0, k);
    const __mmask64 m1 = lanes(64, k);
    const __m512i x0 = _mm512_maskz_loadu_epi8(m0, in);
    const __m512i x1 = _mm512_maskz_loadu_epi8(m1, in + 64);
    const __m512i y0 = _mm512_permutex2var_epi8(t0, x0, t1);
    const __m512i y1 = _mm512_permutex2var_epi8(t0, x1, t1);
    _mm512_mask_storeu_epi8(out, m0, y0);
    _mm512_mask_storeu_epi8(out + 64, m1, y1);
    const __m512i idx = _mm512_load_si512(before);
    const __m512i blanks = _mm512_set1_epi8(static_cast<char>(EBCDIC_BLANK));
    pair[0] = _mm512_mask_cmpeq_epi8_mask(~__mmask64{1}, y0, _mm512_permutex2var_epi8(y0, idx, y0));
    pair[1] = _mm512_cmpeq_epi8_mask(y1, _mm512_permutex2var_epi8(y0, idx, y1));
    blank[0] = _mm512_cmpeq_epi8_mask(y0, blanks);
    blank[1] = _mm512_cmpeq_epi8_mask(y1, blanks);
    // Signed compare: bytes 0x80..0xFF count as below the space too.
    const __mmask64 stop0 = _mm512_cmplt_epi8_mask(x0, _mm512_set1_epi8(0x20)) | ~m0;
    const __mmask64 stop1 = _mm512_cmplt_epi8_mask(x1, _mm512_set1_epi8(0x20)) | ~m1;
    if (stop0 != 0)
        return static_cast<std::size_t>(__builtin_ctzll(stop0));
    return stop1 != 0 ? 64 + static_cast<std::size_t>(__builtin_ctzll(stop1)) : 128;
}

// Translates n bytes of any value through the whole table, four registers of it, and tells whether
// the byte `find` is among them; reads and writes nothing past n.
VECTOR_SCAN_AVX512 inline bool translate_find_avx512(unsigned char *out, const unsigned char *in,
                                                     std::size_t n, const unsigned char *table,
                                                     unsigned char find)
{
    const __m512i t0 = _mm512_loadu_si512(table);
    const __m512i t1 = _mm512_loadu_si512(table + 64);
    const __m512i t2 = _mm512_loadu_si512(table + 128);
    const __m512i t3 = _mm512_loadu_si512(table + 192);
    const __m512i wanted = _mm512_set1_epi8(static_cast<char>(find));
    __mmask64 found = 0;
    for (std::size_t i = 0; i < n; i += 64) {
        const __mmask64 m = lanes(i, n);
        const __m512i x = _mm512_maskz_loadu_epi8(m, in + i);
        const __m512i low = _mm512_permutex2var_epi8(t0, x, t1);
        const __m512i high = _mm512_permutex2var_epi8(t2, x, t3);
        _mm512_mask_storeu_epi8(out + i, m, _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), low, high));
        found |= _mm512_mask_cmpeq_epi8_mask(m, x, wanted);
    }
    return found != 0;
}
#endif

// Translates n bytes (any values) through the table, and tells whether the byte `find` is among them;
// reads and writes nothing past n.
inline bool translate_find(unsigned char *out, const unsigned char *in, std::size_t n,
                           const unsigned char *table, unsigned char find)
{
#if defined(VECTOR_SCAN_X86)
    if (isa() == Isa::avx512)
        return translate_find_avx512(out, in, n, table, find);
#endif
    for (std::size_t i = 0; i < n; ++i)
        out[i] = table[in[i]];
    return n > 0 && std::memchr(in, find, n) != nullptr;
}

// Translates the leading bytes 0x20..0x7F of in[0..k) through the table. in and out have PAD bytes
// of room behind them, and out may be written past the bytes translated. @return their number.
inline std::size_t translate_printable_prefix(unsigned char *out, const unsigned char *in, std::size_t k,
                                              const unsigned char *table)
{
#if defined(VECTOR_SCAN_X86)
    switch (isa()) {
    case Isa::avx512:
        return translate_prefix_avx512(out, in, k, table);
    case Isa::avx2:
        return translate_prefix_avx2(out, in, k, table);
    default:
        break;
    }
#endif
    const std::size_t n = printable_prefix(in, k);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = table[in[i]];
    return n;
}

} // namespace vector_scan
