// Conversion of workstation files into IBM records for a job's data file: text lines translated to
// EBCDIC (double-byte text as SO/SI runs), binary and transparent chunks packed into SNA blocks, and
// length-prefixed records passed through as one data-file record each.
#include "convert/rje_convert.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "convert/kiolink.h"
#include "convert/rje_compress.h"
#include "convert/translate.h"
#include "spool/rje_data.h"
#include "support/byteorder.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define CONVERT_HAVE_VECTOR_TRANSLATE 1
#endif

namespace
{

constexpr unsigned char IRS = RJE_IRS;
constexpr unsigned char TRN = RJE_TRN;
constexpr unsigned char BLANK = EBCDIC_BLANK;
constexpr unsigned char SO = 0x0E;
constexpr unsigned char SI = 0x0F;
constexpr unsigned char ASCII_BLANK = 0x20; // trimmed from the end of variable text records
constexpr int EMPTY_LINE_BLANKS = 3;        // an empty variable line becomes this many blanks
constexpr int MAX_LRECL = 255;              // the TRN count is one byte
constexpr int MIN_MAXDATA = 16;             // no block is smaller (compressor writes 3 bytes up front)
constexpr int DBCS_CHAR_ROOM = 4;           // SO, two code bytes, SI

// Format-4 framing: TRN and its count, the string control bytes around the data.
constexpr int FORMAT4_OVERHEAD = 10;     // a chunk of n bytes takes at most n + 10 bytes of a block
constexpr int FORMAT4_FIRST_DIRECT = 59; // data bytes behind the count in a block's first record
constexpr int FORMAT4_LATER_DIRECT = 60; // ... in a later record (the rewritten 0x01 covers IRS too)
constexpr int FORMAT4_PIECE = 63;        // longest further piece of data under one SCB
constexpr unsigned char FORMAT4_LONG_FIRST_SCB = 0x3D; // TRN, count and 59 bytes
constexpr unsigned char FORMAT4_LONG_LATER_SCB = 0x3F; // IRS, TRN, count and 60 bytes

constexpr std::size_t RECORD_PREFIX = 4;       // format 2: 32-bit big-endian record length
constexpr std::size_t READ_SIZE = 256 * 1024;  // bulk input buffer of the fast paths
constexpr std::size_t SKIP_SIZE = 4096;        // scratch for skipping unseekable input
constexpr std::size_t BATCH_SIZE = 256 * 1024; // data-file records collected before one write
// Bytes past the data that the vector loops of the bulk paths may read (input buffer) or write
// (record area): one 32-byte vector.
constexpr std::size_t VECTOR_PAD = 32;
static_assert(VECTOR_PAD >= RJE_COMPRESS_READ_PAD);

bool force_wide = false;

const unsigned char *file_table()
{
    return nje_usr_AtoE != nullptr ? nje_usr_AtoE : nje_AtoE;
}

// ---------------------------------------------------------------------------------------------
// Blocks: one data buffer of maxdata bytes filled by the compressor and written as one record.

using compress_fn = int (*)(const unsigned char *rec, std::size_t len, unsigned char **w,
                            unsigned char *block, unsigned char *end);

int compress_reference(const unsigned char *rec, std::size_t len, unsigned char **w, unsigned char *block,
                       unsigned char *end)
{
    const unsigned char *in = rec;
    return rje_compress(&in, w, rec + len, end, static_cast<unsigned>(end - block), RJE_MODE_RECORD);
}

// The bulk paths build their records here: room for the longest record and the bytes that the
// vector scans may read past it.
struct RecordArea {
    unsigned char bytes[MAX_LRECL + NJE_CONVERT_BUFFER_SLACK + VECTOR_PAD] = {};
};

int compress_fused(const unsigned char *rec, std::size_t len, unsigned char **w, unsigned char *block,
                   unsigned char *end)
{
    return rje_compress_padded(rec, rec + len, w, block, end);
}

struct Blocks {
    std::FILE *df;
    int control;
    int maxdata;
    compress_fn compress;
    unsigned char *block = nullptr;
    unsigned char *w = nullptr;
    // Data-file records collect in memory and reach the data file in large writes: the data
    // file's own stream buffer is small, and a write call per block costs more than the block.
    unsigned char *batch = nullptr;
    std::FILE *mem = nullptr;

    Blocks(std::FILE *d, int c, int m, compress_fn f, bool batched)
        : df(d), control(c), maxdata(m), compress(f)
    {
        block = nje_data_allocate_buffer(static_cast<std::size_t>(maxdata));
        if (block != nullptr) {
            std::memset(block, 0, static_cast<std::size_t>(maxdata));
        }
        w = block;
        // A block larger than the batch goes straight to the data file.
        if (batched && static_cast<std::size_t>(maxdata) + NJE_DATA_RECORD_OVERHEAD <= BATCH_SIZE) {
            batch = static_cast<unsigned char *>(std::malloc(BATCH_SIZE));
            mem = batch != nullptr ? fmemopen(batch, BATCH_SIZE, "w") : nullptr;
            if (mem != nullptr) {
                std::setvbuf(mem, nullptr, _IONBF, 0);
            }
        }
    }
    ~Blocks()
    {
        if (mem != nullptr) {
            std::fclose(mem);
        }
        std::free(batch);
        nje_data_free_buffer(block);
    }
    Blocks(const Blocks &) = delete;
    Blocks &operator=(const Blocks &) = delete;

    bool ok() const { return block != nullptr; }
    bool empty() const { return w == block; }
    // Moves the collected records into the data file. @return false when the write failed.
    bool drain()
    {
        if (mem == nullptr) {
            return true;
        }
        const long pos = std::ftell(mem);
        if (pos < 0) {
            return false;
        }
        const bool ok = pos == 0 || std::fwrite(batch, 1, static_cast<std::size_t>(pos), df) ==
                                        static_cast<std::size_t>(pos);
        std::fseek(mem, 0, SEEK_SET);
        return ok;
    }
    // Writes the block when it holds anything. @return false when the write failed.
    bool flush()
    {
        if (empty()) {
            return true;
        }
        std::FILE *to = df;
        if (mem != nullptr) {
            const long pos = std::ftell(mem);
            if (pos < 0 ||
                static_cast<std::size_t>(pos) + static_cast<std::size_t>(maxdata) + NJE_DATA_RECORD_OVERHEAD >
                    BATCH_SIZE) {
                if (!drain()) {
                    w = block;
                    return false;
                }
            }
            to = mem;
        }
        int rc = nje_data_write_next(to, block, static_cast<std::size_t>(w - block), control,
                                     static_cast<std::size_t>(maxdata), NJE_DATA_FORMAT_SNA);
        w = block;
        return rc == 0;
    }
    // Ends the dataset: writes the last block and everything collected. Records already complete
    // reach the data file also when the conversion stops with an error.
    // @return `status` (a record count or an error), or NJE_CONVERT_WRITE_FAILED.
    int finish(int status)
    {
        const bool wrote = status < 0 || flush();
        const bool drained = drain();
        return wrote && drained ? status : NJE_CONVERT_WRITE_FAILED;
    }
    // Appends one record (data + IRS). A record that does not fit, or whose initial string would
    // be too long behind the records already there, starts a fresh block; only a refusal at the
    // start of a block is a compression failure.
    // @return 0 appended, NJE_CONVERT_WRITE_FAILED, NJE_CONVERT_COMPRESS_FAILED.
    int add(const unsigned char *rec, std::size_t len)
    {
        for (;;) {
            const bool at_start = empty();
            int rc = compress(rec, len, &w, block, block + maxdata);
            if (rc > 0) {
                return 0;
            }
            if (at_start) {
                return NJE_CONVERT_COMPRESS_FAILED;
            }
            if (!flush()) {
                return NJE_CONVERT_WRITE_FAILED;
            }
        }
    }
};

// ---------------------------------------------------------------------------------------------
// Bulk input: a large buffer refilled from the stream; the bytes not yet used move to its front.

struct Reader {
    std::FILE *f;
    unsigned char *buf;
    std::size_t cap;
    std::size_t pos = 0;
    std::size_t end = 0;
    bool eof = false;

    Reader(std::FILE *file, std::size_t size)
        : f(file), buf(static_cast<unsigned char *>(std::calloc(size + VECTOR_PAD, 1))), cap(size)
    {
    }
    ~Reader() { std::free(buf); }
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    std::size_t avail() const { return end - pos; }
    // Reads more input behind the bytes still unused. @return false when nothing more came.
    bool refill()
    {
        if (eof) {
            return false;
        }
        if (pos > 0) {
            std::memmove(buf, buf + pos, end - pos);
            end -= pos;
            pos = 0;
        }
        const std::size_t want = cap - end;
        const std::size_t got = std::fread(buf + end, 1, want, f);
        end += got;
        if (got < want) {
            eof = true;
        }
        return got > 0;
    }
};

// ---------------------------------------------------------------------------------------------
// Characters: bytes decoded one at a time in the current locale. A byte that cannot be decoded
// (also every byte of an unfinished sequence before the byte that broke it) is taken as a
// single-byte character by itself, so no input is ever lost.

struct WChar {
    wchar_t wc = 0;
    unsigned char bytes[MB_LEN_MAX] = {};
    int nb = 0;
    bool raw = false; // an undecodable byte taken by itself

    unsigned long value() const { return raw ? bytes[0] : static_cast<unsigned long>(wc); }
    bool is_newline() const { return value() == '\n'; }
    bool is_tab() const { return value() == '\t'; }
    bool is_dbcs() const { return !raw && wc > 127 && rje_euclen(static_cast<int>(wc & 0xFF)) >= 2; }
    // Index into the translate table: the byte of a single-byte character, else the low 8 bits.
    unsigned char table_index() const { return nb == 1 ? bytes[0] : static_cast<unsigned char>(wc & 0xFF); }
};

struct FileSource {
    std::FILE *f;
    int get() { return std::getc(f); }
    void unget(int c) { std::ungetc(c, f); }
};

struct BufferSource {
    Reader &r;
    int get()
    {
        if (r.pos == r.end && !r.refill()) {
            return EOF;
        }
        return r.buf[r.pos++];
    }
    void unget(int) { --r.pos; }
};

struct Decoder {
    unsigned char queue[MB_LEN_MAX] = {}; // bytes of a broken sequence still to hand out
    int qhead = 0;
    int qlen = 0;

    static void take_raw(WChar &ch, unsigned char b)
    {
        ch.raw = true;
        ch.nb = 1;
        ch.bytes[0] = b;
        ch.wc = b;
    }
    // @return false at end of input.
    template <class Src> bool next(Src &src, WChar &ch)
    {
        if (qhead < qlen) {
            take_raw(ch, queue[qhead++]);
            return true;
        }
        unsigned char seq[MB_LEN_MAX];
        int k = 0;
        std::mbstate_t st{};
        for (;;) {
            const int b = src.get();
            if (b == EOF) {
                if (k == 0) {
                    return false;
                }
                hand_out(ch, seq, k);
                return true;
            }
            seq[k++] = static_cast<unsigned char>(b);
            const char c = static_cast<char>(b);
            wchar_t wc = 0;
            const std::size_t r = std::mbrtowc(&wc, &c, 1, &st);
            if (r == static_cast<std::size_t>(-2)) {
                if (k < MB_LEN_MAX) {
                    continue;
                }
                hand_out(ch, seq, k);
                return true;
            }
            if (r == static_cast<std::size_t>(-1)) {
                if (k > 1) {
                    src.unget(b); // the byte that broke the sequence may begin a character
                    --k;
                }
                hand_out(ch, seq, k);
                return true;
            }
            ch.raw = false;
            ch.wc = wc;
            ch.nb = k;
            std::memcpy(ch.bytes, seq, static_cast<std::size_t>(k));
            return true;
        }
    }
    // First byte now, the others from the queue.
    void hand_out(WChar &ch, const unsigned char *seq, int k)
    {
        take_raw(ch, seq[0]);
        qhead = 0;
        qlen = k - 1;
        std::memcpy(queue, seq + 1, static_cast<std::size_t>(qlen));
    }
};

std::uint16_t dbcs_code(const WChar &ch)
{
    char mb[MB_LEN_MAX];
    std::mbstate_t st{};
    std::size_t k = std::wcrtomb(mb, ch.wc, &st);
    euc_char e{};
    if (k == static_cast<std::size_t>(-1)) {
        k = static_cast<std::size_t>(ch.nb);
        std::memcpy(mb, ch.bytes, k);
    }
    std::memcpy(e.c, mb, std::min<std::size_t>(k, 4));
    return euctoibm(e);
}

// ---------------------------------------------------------------------------------------------
// One text record being built: column count, double-byte run, and the line's folding state.

struct TextSettings {
    const unsigned char *table;
    int lrecl;
    int tabs;
    bool fixed;
};

enum class Put { taken, cut };

struct LineBuilder {
    const TextSettings &s;
    unsigned char *rec;
    int n = 0;
    bool in_run = false;
    bool folding = false;  // the line holds double-byte text: a full record is cut, not truncated
    bool dropping = false; // the line was truncated: the rest of it is dropped

    // Adds one character (not a newline). @return Put::cut when it does not fit into this record
    // and starts the next one (the caller ends this record and puts the character again).
    Put put(const WChar &ch)
    {
        if (dropping) {
            return Put::taken;
        }
        if (ch.is_dbcs()) {
            if (s.lrecl < DBCS_CHAR_ROOM) {
                return Put::taken; // cannot be held in any record
            }
            const int need = (in_run ? 0 : 1) + 3; // SO?, code, closing SI
            if (n + need > s.lrecl) {
                if (!folding && n >= s.lrecl) {
                    dropping = true;
                    return Put::taken;
                }
                folding = true;
                return Put::cut;
            }
            if (!in_run) {
                rec[n++] = SO;
            }
            const std::uint16_t code = dbcs_code(ch);
            be::put16(rec + n, code);
            n += 2;
            in_run = true;
            folding = true;
            return Put::taken;
        }
        const int need = (in_run ? 1 : 0) + 1;
        if (n + need > s.lrecl) {
            if (folding) {
                return Put::cut;
            }
            dropping = true;
            return Put::taken;
        }
        if (in_run) {
            rec[n++] = SI;
            in_run = false;
        }
        if (s.tabs > 0 && ch.is_tab()) {
            do {
                rec[n++] = s.table[static_cast<unsigned char>(' ')];
            } while (n < s.lrecl && n % s.tabs != 0);
        } else {
            rec[n++] = s.table[ch.table_index()];
        }
        return Put::taken;
    }

    // Ends the record: closes a run, pads or trims, appends the IRS.
    // @return the record length including the IRS. The builder is ready for the next record of
    // the same line (folding kept).
    int finish()
    {
        if (in_run) {
            rec[n++] = SI;
            in_run = false;
        }
        int len = n;
        if (len == 0) {
            len = s.fixed ? s.lrecl : std::min(EMPTY_LINE_BLANKS, s.lrecl);
            convert_fill_blanks(rec, 0, len);
        } else if (s.fixed) {
            convert_fill_blanks(rec, len, s.lrecl);
            len = std::max(len, s.lrecl);
        } else {
            int m = len;
            while (m > 0 && rec[m - 1] == ASCII_BLANK) {
                --m;
            }
            if (m > 0) {
                len = m;
            }
        }
        rec[len] = IRS;
        n = 0;
        dropping = false;
        return len + 1;
    }
};

// The reader's memory between calls on one stream: a character that began the next record of a
// cut line, the line's folding state and the decoder's queue.
struct LineCarry {
    std::FILE *file = nullptr;
    bool has_char = false;
    WChar ch;
    bool folding = false;
    Decoder dec;
};
LineCarry carry;

// ---------------------------------------------------------------------------------------------
// Byte classes for the bulk text path, taken from the locale once per file.

enum : unsigned char { ORDINARY = 0, TAB = 1, NEWLINE = 2, WIDE = 3 };

struct ByteClasses {
    unsigned char cls[256];
    bool usable = true;         // the newline byte and only it decodes as a newline
    bool any_wide = false;      // some byte may begin a multibyte or double-byte character
    bool ascii_ordinary = true; // every byte 0x20..0x7F is an ordinary character
    bool wide_high_only = true; // every WIDE byte is above 0x7F
};

void classify(ByteClasses &bc, int tabs)
{
    for (int b = 0; b < 256; ++b) {
        std::mbstate_t st{};
        wchar_t wc = 0;
        const char c = static_cast<char>(b);
        const std::size_t r = std::mbrtowc(&wc, &c, 1, &st);
        WChar ch;
        ch.bytes[0] = static_cast<unsigned char>(b);
        ch.nb = 1;
        unsigned char k;
        if (r == static_cast<std::size_t>(-2)) {
            k = WIDE; // may begin a multibyte character
        } else {
            if (r == static_cast<std::size_t>(-1)) {
                ch.raw = true;
                ch.wc = static_cast<wchar_t>(b);
            } else {
                ch.wc = wc;
            }
            if (ch.is_newline()) {
                k = NEWLINE;
            } else if (ch.is_dbcs()) {
                k = WIDE;
            } else if (tabs > 0 && ch.is_tab()) {
                k = TAB;
            } else {
                k = ORDINARY;
            }
        }
        bc.cls[b] = k;
        if ((k == NEWLINE) != (b == '\n')) {
            bc.usable = false;
        }
        bc.any_wide = bc.any_wide || k == WIDE;
        if (b >= 0x20 && b < 0x80 && k != ORDINARY) {
            bc.ascii_ordinary = false;
        }
        if (b < 0x80 && k == WIDE) {
            bc.wide_high_only = false;
        }
    }
}

// Length of the leading run of bytes 0x20..0x7F in p[0..k); the 16 bytes after p + k may be read.
std::size_t printable_prefix(const unsigned char *p, std::size_t k)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi8(0x20);
    while (i < k) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        unsigned m = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(x, space)));
        if (k - i < 16) {
            m |= 1u << (k - i);
        }
        if (m != 0) {
            return i + static_cast<std::size_t>(__builtin_ctz(m));
        }
        i += 16;
    }
    return k;
#endif
    while (i < k && p[i] >= 0x20 && p[i] < 0x80) {
        ++i;
    }
    return i;
}

// Position of the first WIDE byte in p[0..n), or n.
std::size_t first_wide(const unsigned char *p, std::size_t n, const ByteClasses &bc)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    if (bc.wide_high_only) {
        while (i + 16 <= n) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
            unsigned m = static_cast<unsigned>(_mm_movemask_epi8(x));
            while (m != 0) {
                const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(m));
                if (bc.cls[p[at]] == WIDE) {
                    return at;
                }
                m &= m - 1;
            }
            i += 16;
        }
    }
#endif
    while (i < n && bc.cls[p[i]] != WIDE) {
        ++i;
    }
    return i;
}

#if defined(CONVERT_HAVE_VECTOR_TRANSLATE)
// Translates n bytes of 0x20..0x7F thirty-two at a time: the low nibble looks up each of the six
// table rows, and the bits of the row number (high nibble - 2) pick among them. The last vector
// reads and writes up to 31 bytes past n (VECTOR_PAD); what it writes there carries no meaning.
__attribute__((target("avx2"))) void translate_printable_avx2(unsigned char *out, const unsigned char *in,
                                                              std::size_t n, const unsigned char *table)
{
    __m256i rows[6];
    for (int r = 0; r < 6; ++r) {
        rows[r] = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(table + 0x20 + 16 * r)));
    }
    const __m256i low = _mm256_set1_epi8(0x0F);
    const __m256i two = _mm256_set1_epi8(2);
    for (std::size_t i = 0; i < n; i += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + i));
        const __m256i lo = _mm256_and_si256(x, low);
        const __m256i row = _mm256_sub_epi8(_mm256_and_si256(_mm256_srli_epi16(x, 4), low), two);
        const __m256i bit0 = _mm256_slli_epi16(row, 7); // blendv looks at bit 7 of each byte
        const __m256i bit1 = _mm256_slli_epi16(row, 6);
        const __m256i bit2 = _mm256_slli_epi16(row, 5);
        const __m256i r01 =
            _mm256_blendv_epi8(_mm256_shuffle_epi8(rows[0], lo), _mm256_shuffle_epi8(rows[1], lo), bit0);
        const __m256i r23 =
            _mm256_blendv_epi8(_mm256_shuffle_epi8(rows[2], lo), _mm256_shuffle_epi8(rows[3], lo), bit0);
        const __m256i r45 =
            _mm256_blendv_epi8(_mm256_shuffle_epi8(rows[4], lo), _mm256_shuffle_epi8(rows[5], lo), bit0);
        const __m256i r03 = _mm256_blendv_epi8(r01, r23, bit1);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i), _mm256_blendv_epi8(r03, r45, bit2));
    }
}

const bool have_avx2 = [] {
    __builtin_cpu_init(); // runs before other constructors may have set up the processor data
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

// Translates n bytes through the table; `printable`: every byte is 0x20..0x7F, and in and out
// have VECTOR_PAD bytes of room behind them.
void translate(unsigned char *out, const unsigned char *in, std::size_t n, const unsigned char *table,
               bool printable = false)
{
    std::size_t i = 0;
#if defined(CONVERT_HAVE_VECTOR_TRANSLATE)
    if (printable && have_avx2) {
        translate_printable_avx2(out, in, n, table);
        return;
    }
#else
    (void)printable;
#endif
    for (; i + 8 <= n; i += 8) {
        out[i] = table[in[i]];
        out[i + 1] = table[in[i + 1]];
        out[i + 2] = table[in[i + 2]];
        out[i + 3] = table[in[i + 3]];
        out[i + 4] = table[in[i + 4]];
        out[i + 5] = table[in[i + 5]];
        out[i + 6] = table[in[i + 6]];
        out[i + 7] = table[in[i + 7]];
    }
    for (; i < n; ++i) {
        out[i] = table[in[i]];
    }
}

// ---------------------------------------------------------------------------------------------
// Text conversion.

struct Counter {
    int records = 0;
    int status = 0; // 0 or an error result
};

// Ends the record being built and adds it to the blocks. @return false when that failed (the
// error result is in cnt.status).
bool emit_record(LineBuilder &lb, Blocks &blocks, Counter &cnt)
{
    const int len = lb.finish();
    const int rc = blocks.add(lb.rec, static_cast<std::size_t>(len));
    if (rc != 0) {
        cnt.status = rc;
        return false;
    }
    ++cnt.records;
    return true;
}

// Reads characters from src into lb until the end of the line (or input), writing every record
// of the line (a folded line gives several) into the blocks.
template <class Src>
void finish_line_wide(Src &src, Decoder &dec, LineBuilder &lb, Blocks &blocks, Counter &cnt)
{
    WChar ch;
    for (;;) {
        if (!dec.next(src, ch)) {
            if (lb.n > 0 || lb.in_run) {
                emit_record(lb, blocks, cnt);
            }
            return;
        }
        if (ch.is_newline()) {
            emit_record(lb, blocks, cnt);
            return;
        }
        if (lb.put(ch) == Put::cut) {
            if (!emit_record(lb, blocks, cnt)) {
                return;
            }
            lb.put(ch);
        }
    }
}

// The character path: one convert_read_line per record, as the NETDATA writer reads text.
void text_by_characters(std::FILE *file, unsigned char *buffer, const TextSettings &s, Blocks &blocks,
                        Counter &cnt)
{
    for (;;) {
        std::memset(buffer, 0, static_cast<std::size_t>(s.lrecl));
        const int len = convert_read_line(file, buffer, s.lrecl, s.tabs, s.fixed ? 1 : 0);
        if (len < 0) {
            return;
        }
        const int rc = blocks.add(buffer, static_cast<std::size_t>(len));
        if (rc != 0) {
            cnt.status = rc;
            return;
        }
        ++cnt.records;
    }
}

// The bulk path: lines found with memchr, translated through the table a byte at a time; a line
// switches to decoding characters from the first byte whose meaning depends on the locale.
void text_bulk(Reader &r, unsigned char *rec, const TextSettings &s, const ByteClasses &bc, Blocks &blocks,
               Counter &cnt)
{
    const unsigned char *cls = bc.cls;
    const unsigned char *table = s.table;
    const auto lrecl = static_cast<std::size_t>(s.lrecl);
    Decoder dec;
    BufferSource src{r};
    LineBuilder lb{s, rec};
    for (;;) {
        std::size_t avail = r.avail();
        if (avail == 0) {
            if (!r.refill()) {
                return;
            }
            continue;
        }
        const unsigned char *p = r.buf + r.pos;
        if (avail <= lrecl && !r.eof && std::memchr(p, '\n', avail) == nullptr) {
            r.refill(); // the record is not known yet
            continue;
        }
        // The line ends within the first lrecl bytes, or the record fills up first, or the
        // input ends: either way the bytes at hand decide the record.
        std::size_t i = bc.ascii_ordinary ? printable_prefix(p, std::min(avail, lrecl)) : 0;
        translate(rec, p, i, table, true);
        std::size_t n = i;
        bool wide = false;
        bool ended = false;
        while (i < avail && n < lrecl) {
            const unsigned char b = p[i];
            const unsigned char c = cls[b];
            if (c == ORDINARY) {
                rec[n++] = table[b];
            } else if (c == TAB) {
                do {
                    rec[n++] = table[static_cast<unsigned char>(' ')];
                } while (n < lrecl && n % static_cast<std::size_t>(s.tabs) != 0);
            } else if (c == NEWLINE) {
                ended = true;
                break;
            } else {
                wide = true;
                break;
            }
            ++i;
        }
        if (!wide && !ended && i < avail && p[i] == '\n') {
            ended = true; // the line fills the record exactly
        }
        lb.n = static_cast<int>(n);
        lb.in_run = false;
        lb.folding = false;
        lb.dropping = false;
        if (!wide && !ended && n == lrecl) {
            // The rest of the line is dropped; in a multibyte locale a byte that may begin a
            // character hands the rest to the character path, which drops it the same way.
            r.pos += i;
            for (;;) {
                const unsigned char *t = r.buf + r.pos;
                const std::size_t av = r.avail();
                const auto *q = static_cast<const unsigned char *>(std::memchr(t, '\n', av));
                const std::size_t upto = q != nullptr ? static_cast<std::size_t>(q - t) : av;
                if (bc.any_wide) {
                    const std::size_t j = first_wide(t, upto, bc);
                    if (j < upto) {
                        r.pos += j;
                        wide = true;
                        break;
                    }
                }
                if (q != nullptr) {
                    r.pos += upto + 1;
                    break;
                }
                r.pos = r.end;
                if (!r.refill()) {
                    break;
                }
            }
            if (!wide) {
                if (!emit_record(lb, blocks, cnt)) {
                    return;
                }
                continue;
            }
        } else if (wide) {
            r.pos += i;
        }
        if (wide) {
            finish_line_wide(src, dec, lb, blocks, cnt);
            if (cnt.status != 0) {
                return;
            }
            continue;
        }
        r.pos += ended ? i + 1 : i; // without a newline this is the end of the input
        if (!emit_record(lb, blocks, cnt)) {
            return;
        }
    }
}

int convert_text(std::FILE *file, unsigned char *buffer, const TextSettings &s, Blocks &blocks)
{
    Counter cnt;
    ByteClasses bc;
    classify(bc, s.tabs);
    carry = LineCarry{};
    if (force_wide || !bc.usable) {
        text_by_characters(file, buffer, s, blocks, cnt);
    } else {
        Reader r(file, READ_SIZE);
        if (r.buf == nullptr) {
            return NJE_CONVERT_WRITE_FAILED;
        }
        RecordArea rec;
        text_bulk(r, rec.bytes, s, bc, blocks, cnt);
    }
    return blocks.finish(cnt.status != 0 ? cnt.status : cnt.records);
}

// ---------------------------------------------------------------------------------------------
// Binary chunks (format 1): every chunk gets its own IRS, so a data byte 0x1E stays data.

int convert_binary(std::FILE *file, int lrecl, Blocks &blocks)
{
    RecordArea area;
    unsigned char *buffer = area.bytes;
    Reader r(file, READ_SIZE);
    if (r.buf == nullptr) {
        return NJE_CONVERT_WRITE_FAILED;
    }
    const auto size = static_cast<std::size_t>(lrecl);
    int records = 0;
    for (;;) {
        if (r.avail() < size && !r.eof) {
            r.refill();
            continue;
        }
        const std::size_t n = std::min(size, r.avail());
        if (n == 0) {
            break;
        }
        std::memcpy(buffer, r.buf + r.pos, n);
        r.pos += n;
        buffer[n] = IRS;
        const int rc = blocks.add(buffer, n + 1);
        if (rc != 0) {
            return blocks.finish(rc);
        }
        ++records;
    }
    return blocks.finish(records);
}

// ---------------------------------------------------------------------------------------------
// Transparent chunks (format 4): TRN-framed records without compression.

void frame_transparent(unsigned char *block, int &used, const unsigned char *data, int n)
{
    int p;
    if (used == 0) {
        block[0] = n <= FORMAT4_FIRST_DIRECT ? static_cast<unsigned char>(n + 2) : FORMAT4_LONG_FIRST_SCB;
        p = 1;
    } else {
        block[used - 2] =
            n <= FORMAT4_FIRST_DIRECT ? static_cast<unsigned char>(n + 3) : FORMAT4_LONG_LATER_SCB;
        p = used;
    }
    const int direct = std::min(n, used == 0 ? FORMAT4_FIRST_DIRECT : FORMAT4_LATER_DIRECT);
    block[p++] = TRN;
    block[p++] = static_cast<unsigned char>(n);
    std::memcpy(block + p, data, static_cast<std::size_t>(direct));
    p += direct;
    for (int done = direct; done < n;) {
        const int piece = std::min(FORMAT4_PIECE, n - done);
        block[p++] = static_cast<unsigned char>(piece);
        std::memcpy(block + p, data + done, static_cast<std::size_t>(piece));
        p += piece;
        done += piece;
    }
    block[p++] = RJE_SCB_END_RECORD;
    block[p++] = IRS;
    used = p;
}

int convert_transparent(std::FILE *file, unsigned char *buffer, int lrecl, int maxdata, Blocks &blocks)
{
    int records = 0;
    int used = 0;
    for (;;) {
        std::memset(buffer, 0, static_cast<std::size_t>(lrecl));
        const int n = convert_read_chunk(file, buffer, lrecl);
        if (n < 0) {
            break;
        }
        if (used + n + FORMAT4_OVERHEAD >= maxdata) {
            blocks.w = blocks.block + used;
            if (!blocks.flush()) {
                return blocks.finish(NJE_CONVERT_WRITE_FAILED);
            }
            used = 0;
        }
        frame_transparent(blocks.block, used, buffer, n);
        ++records;
    }
    blocks.w = blocks.block + used;
    return blocks.finish(records);
}

// ---------------------------------------------------------------------------------------------
// Length-prefixed records (format 2): one data-file record each.

int convert_records(std::FILE *file, std::FILE *data_file, unsigned char *buffer, int lrecl, int control,
                    bool fixed)
{
    int records = 0;
    for (;;) {
        int n = convert_read_record(file, buffer, lrecl);
        if (n < 0) {
            return records;
        }
        if (fixed) {
            convert_fill_blanks(buffer, n, lrecl);
            n = lrecl;
        }
        if (nje_data_write_next(data_file, buffer, static_cast<std::size_t>(n), control,
                                static_cast<std::size_t>(lrecl), NJE_DATA_FORMAT_SNA) != 0) {
            return NJE_CONVERT_WRITE_FAILED;
        }
        ++records;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------

void convert_force_wide_path(bool on)
{
    force_wide = on;
}

void convert_fill_blanks(unsigned char *buffer, int from, int to)
{
    from = std::max(from, 0);
    if (buffer == nullptr || from >= to) {
        return;
    }
    std::memset(buffer + from, BLANK, static_cast<std::size_t>(to - from));
}

int convert_read_chunk(std::FILE *file, unsigned char *buffer, int n)
{
    if (file == nullptr || buffer == nullptr || n <= 0) {
        return -1;
    }
    const std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(n), file);
    return got == 0 ? -1 : static_cast<int>(got);
}

int convert_read_record(std::FILE *file, unsigned char *buffer, int lrecl)
{
    if (file == nullptr || buffer == nullptr || lrecl < 0) {
        return -1;
    }
    unsigned char prefix[RECORD_PREFIX];
    if (std::fread(prefix, 1, RECORD_PREFIX, file) != RECORD_PREFIX) {
        return -1;
    }
    const std::uint32_t length = be::get32(prefix);
    const std::size_t keep = std::min<std::size_t>(length, static_cast<std::size_t>(lrecl));
    if (keep > 0 && std::fread(buffer, 1, keep, file) != keep) {
        return -1;
    }
    std::uint64_t skip = length - keep;
    if (skip > 0 && fseeko(file, static_cast<off_t>(skip), SEEK_CUR) != 0) {
        // Not seekable (a pipe): read past the rest instead of losing the following records.
        unsigned char scratch[SKIP_SIZE];
        while (skip > 0) {
            const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(skip, SKIP_SIZE));
            if (std::fread(scratch, 1, part, file) != part) {
                return -1;
            }
            skip -= part;
        }
    }
    return static_cast<int>(keep);
}

int convert_read_line(std::FILE *file, unsigned char *buffer, int lrecl, int tabs, int fixed)
{
    if (file == nullptr || buffer == nullptr || lrecl < 1) {
        return -1;
    }
    if (carry.file != file) {
        carry = LineCarry{};
        carry.file = file;
    }
    const TextSettings s{file_table(), lrecl, tabs, fixed != 0};
    LineBuilder lb{s, buffer};
    lb.folding = carry.folding;
    if (carry.has_char) {
        carry.has_char = false;
        lb.put(carry.ch);
    }
    FileSource src{file};
    WChar ch;
    while (carry.dec.next(src, ch)) {
        if (ch.is_newline()) {
            carry.folding = false;
            return lb.finish();
        }
        if (lb.put(ch) == Put::cut) {
            carry.has_char = true;
            carry.ch = ch;
            carry.folding = true;
            return lb.finish();
        }
    }
    carry.folding = false;
    if (lb.n == 0 && !lb.in_run) {
        return -1;
    }
    return lb.finish();
}

int nje_convert_toibm(std::FILE *file, std::FILE *data_file, unsigned char *buffer, int lrecl, int maxdata,
                      int data_format, int control, int tabs, int fixed)
{
    if (file == nullptr || data_file == nullptr || buffer == nullptr || lrecl < 1 || lrecl > MAX_LRECL ||
        maxdata < MIN_MAXDATA) {
        return NJE_CONVERT_COMPRESS_FAILED;
    }
    if (data_format == NJE_FORMAT_RECORD) {
        return convert_records(file, data_file, buffer, lrecl, control, fixed != 0);
    }
    if (data_format != NJE_FORMAT_TEXT && data_format != NJE_FORMAT_BINARY &&
        data_format != NJE_FORMAT_TRANSPARENT) {
        return NJE_CONVERT_COMPRESS_FAILED;
    }
    if (data_format == NJE_FORMAT_TRANSPARENT && lrecl + FORMAT4_OVERHEAD >= maxdata) {
        return NJE_CONVERT_COMPRESS_FAILED;
    }
    // The character path is the plain reading of the rules: block by block into the data file.
    Blocks blocks(data_file, control, maxdata, force_wide ? compress_reference : compress_fused, !force_wide);
    if (!blocks.ok()) {
        return NJE_CONVERT_WRITE_FAILED;
    }
    switch (data_format) {
    case NJE_FORMAT_TEXT:
        return convert_text(file, buffer, TextSettings{file_table(), lrecl, tabs, fixed != 0}, blocks);
    case NJE_FORMAT_BINARY:
        return convert_binary(file, lrecl, blocks);
    default:
        return convert_transparent(file, buffer, lrecl, maxdata, blocks);
    }
}
