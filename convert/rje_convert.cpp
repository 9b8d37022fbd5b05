// The format writers of the conversion to IBM records: text lines (a bulk byte path, and the
// character path wherever the locale or the DBCS library decides), binary chunks and transparent
// chunks into blocks, length-prefixed records passed through as one data-file record each; and the
// plain readers that the NETDATA writer shares.
#include "convert/rje_convert.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "convert/convert_blocks.h"
#include "convert/convert_classes.h"
#include "convert/convert_input.h"
#include "convert/convert_line.h"
#include "convert/rje_compress.h"
#include "convert/vector_scan.h"
#include "spool/rje_data.h"
#include "support/byteorder.h"

namespace
{

constexpr int MAX_LRECL = 255;                // the TRN count is one byte
constexpr int MIN_MAXDATA = 16;               // no block is smaller (compressor writes 3 bytes up front)
constexpr int FORMAT4_OVERHEAD = 10;          // a format-4 chunk of n bytes takes n + 10 bytes at most
constexpr std::size_t RECORD_PREFIX = 4;      // format 2: 32-bit big-endian record length
constexpr std::size_t READ_SIZE = 256 * 1024; // read buffer of the bulk paths
constexpr std::size_t SKIP_SIZE = 4096;       // scratch for skipping unseekable input

bool force_wide = false;

// Records of the bulk paths are built here: room for the longest record and the bytes that the
// vector scans and the compressor may read past it.
struct RecordArea {
    unsigned char bytes[MAX_LRECL + NJE_CONVERT_BUFFER_SLACK + vector_scan::PAD] = {};
};
static_assert(vector_scan::PAD >= RJE_COMPRESS_READ_PAD);

struct Counter {
    std::int64_t records = 0;
    int status = 0; // 0 or an error result
};

// Ends the record being built and adds it to the blocks (or another sink with the same add).
// @return false when that failed (the error result is in cnt.status).
template <class Sink>
bool emit_record(LineBuilder &lb, Sink &blocks, Counter &cnt, const RjeRecordMasks *masks = nullptr)
{
    const int len = lb.finish();
    const int rc = blocks.add(lb.rec, static_cast<std::size_t>(len), masks);
    if (rc != 0) {
        cnt.status = rc;
        return false;
    }
    ++cnt.records;
    return true;
}

// emit_record for a record that is the bytes translated with their masks (an empty line becomes
// blanks).
template <class Sink> bool emit_known(LineBuilder &lb, Sink &blocks, Counter &cnt, RjeRecordMasks &masks)
{
    if (lb.n == 0)
        masks = RjeRecordMasks{{0b110, 0}, {0b111, 0}};
    return emit_record(lb, blocks, cnt, &masks);
}

// Reads characters into lb until the end of the line (or input), writing every record of the line
// (a folded line gives several) into the blocks.
template <class Sink>
void finish_line_wide(ConvertInput &in, Decoder &dec, LineBuilder &lb, Sink &blocks, Counter &cnt)
{
    WChar ch;
    for (;;) {
        if (!dec.next(in, ch)) {
            if (lb.n > 0 || lb.in_run)
                emit_record(lb, blocks, cnt);
            return;
        }
        if (ch.is_newline()) {
            emit_record(lb, blocks, cnt);
            return;
        }
        Put p = lb.put(ch);
        if (p == Put::cut) {
            if (!emit_record(lb, blocks, cnt))
                return;
            p = lb.put(ch);
        }
        if (p == Put::no_room) {
            cnt.status = NJE_CONVERT_DBCS_NO_ROOM;
            return;
        }
    }
}

// The character path: one convert_read_line per record, as the NETDATA writer reads text.
template <class Sink> void text_by_characters(std::FILE *file, const TextSettings &s, Sink &blocks, Counter &cnt)
{
    RecordArea area;
    convert_read_line_forget();
    for (;;) {
        const int len = convert_read_line(file, area.bytes, s.lrecl, s.tabs, s.fixed ? 1 : 0);
        if (len < 0) {
            if (len != -1)
                cnt.status = len;
            return;
        }
        const int rc = blocks.add(area.bytes, static_cast<std::size_t>(len));
        if (rc != 0) {
            cnt.status = rc;
            return;
        }
        ++cnt.records;
    }
}

// Drops the rest of a truncated line: up to and past its newline. @return true when a byte that may
// begin a multibyte character stands before it (the character path then drops the rest the same way).
bool drop_rest_of_line(ConvertInput &in, const ByteClasses &bc)
{
    for (;;) {
        const unsigned char *t = in.data();
        const std::size_t av = in.avail();
        // j: the first newline or wide byte, or av.
        std::size_t j;
        if (bc.any_wide && bc.wide_high_only) {
            j = vector_scan::newline_or_high(t, 0, av);
            while (j < av && t[j] != '\n' && bc.cls[t[j]] != BYTE_WIDE)
                j = vector_scan::newline_or_high(t, j + 1, av);
        } else {
            const auto *q = static_cast<const unsigned char *>(std::memchr(t, '\n', av));
            j = q != nullptr ? static_cast<std::size_t>(q - t) : av;
            if (bc.any_wide)
                j = bc.first_wide(t, j);
        }
        if (j < av) {
            const bool newline = t[j] == '\n';
            in.advance(newline ? j + 1 : j);
            return !newline;
        }
        in.advance(av);
        if (!in.refill())
            return false;
    }
}

// The bulk path: lines found with memchr, translated through the table; a line switches to decoding
// characters from the first byte whose meaning depends on the locale.
template <class Sink>
void text_bulk(ConvertInput &in, unsigned char *rec, const TextSettings &s, const ByteClasses &bc, Sink &blocks,
               Counter &cnt)
{
    const unsigned char *table = s.table;
    const auto lrecl = static_cast<std::size_t>(s.lrecl);
    Decoder dec;
    LineBuilder lb{s, rec};
    // Short variable records of printable text get their pairs of equal bytes found while they are
    // translated, for the compressor.
#if defined(VECTOR_SCAN_AVX512)
    const bool pairs_known = bc.ascii_ordinary && !s.fixed && lrecl < 128 &&
                             vector_scan::isa() == vector_scan::Isa::avx512;
#else
    const bool pairs_known = false;
#endif
    RjeRecordMasks masks{};
    for (;;) {
        const std::size_t avail = in.avail();
        if (avail == 0) {
            if (!in.refill())
                return;
            continue;
        }
        const unsigned char *p = in.data();
        if (avail <= lrecl && !in.at_end() && std::memchr(p, '\n', avail) == nullptr) {
            in.refill(); // the record is not known yet
            continue;
        }
        // The line ends within the first lrecl bytes, or the record fills up first, or the input
        // ends: either way the bytes at hand decide the record.
        std::size_t i = 0;
#if defined(VECTOR_SCAN_AVX512)
        if (pairs_known)
            i = vector_scan::translate_prefix_pairs_avx512(rec, p, std::min(avail, lrecl), table, masks.pair,
                                                            masks.blank);
        else
#endif
            if (bc.ascii_ordinary)
            i = vector_scan::translate_printable_prefix(rec, p, std::min(avail, lrecl), table);
        if (pairs_known && i < avail && p[i] == '\n') {
            // A whole line of printable text, as most are: its record is the bytes translated.
            in.advance(i + 1);
            lb.n = static_cast<int>(i);
            lb.folding = false;
            if (!emit_known(lb, blocks, cnt, masks))
                return;
            continue;
        }
        const std::size_t translated = i;
        std::size_t n = i;
        bool wide = false;
        bool ended = false;
        while (i < avail && n < lrecl) {
            const unsigned char b = p[i];
            const unsigned char c = bc.cls[b];
            if (c == BYTE_ORDINARY) {
                rec[n++] = table[b];
            } else if (c == BYTE_TAB) {
                do {
                    rec[n++] = table[static_cast<unsigned char>(' ')];
                } while (n < lrecl && n % static_cast<std::size_t>(s.tabs) != 0);
            } else if (c == BYTE_NEWLINE) {
                ended = true;
                break;
            } else {
                wide = true;
                break;
            }
            ++i;
        }
        if (!wide && !ended && i < avail && p[i] == '\n')
            ended = true; // the line fills the record exactly
        lb.n = static_cast<int>(n);
        lb.in_run = false;
        lb.folding = false;
        lb.dropping = false;
        if (!wide && !ended && n == lrecl) {
            in.advance(i);
            wide = drop_rest_of_line(in, bc);
        } else if (wide) {
            in.advance(i);
        } else {
            in.advance(ended ? i + 1 : i); // without a newline this is the end of the input
        }
        if (wide) {
            finish_line_wide(in, dec, lb, blocks, cnt);
            if (cnt.status != 0)
                return;
        } else {
            const bool emitted = pairs_known && n == translated ? emit_known(lb, blocks, cnt, masks)
                                                                : emit_record(lb, blocks, cnt);
            if (!emitted)
                return;
        }
    }
}

// Every text record of the file into the sink. @return false when memory for the input ran out.
template <class Sink> bool text_records(std::FILE *file, const TextSettings &s, Sink &blocks, Counter &cnt)
{
    const ByteClasses bc(s.tabs);
    if (force_wide || !bc.usable) {
        text_by_characters(file, s, blocks, cnt);
        return true;
    }
    ConvertInput in(file, READ_SIZE);
    if (!in.ok())
        return false;
    RecordArea rec;
    text_bulk(in, rec.bytes, s, bc, blocks, cnt);
    return true;
}

std::int64_t convert_text(std::FILE *file, const TextSettings &s, BlockWriter &blocks)
{
    Counter cnt;
    if (!text_records(file, s, blocks, cnt))
        return NJE_CONVERT_NO_MEMORY;
    return blocks.finish(cnt.status != 0 ? cnt.status : cnt.records);
}

// A caller's record sink in the shape of BlockWriter::add.
struct CallerSink {
    convert_record_sink fn;
    void *context;
    int add(const unsigned char *rec, std::size_t len, const RjeRecordMasks * = nullptr)
    {
        return fn(context, rec, len);
    }
};

// Binary chunks (format 1): every chunk gets its own IRS, so a data byte 0x1E stays data.
std::int64_t convert_binary(std::FILE *file, int lrecl, BlockWriter &blocks)
{
    RecordArea area;
    ConvertInput in(file, READ_SIZE);
    if (!in.ok())
        return NJE_CONVERT_NO_MEMORY;
    const auto size = static_cast<std::size_t>(lrecl);
    std::int64_t records = 0;
    for (;;) {
        if (in.avail() < size && !in.at_end() && in.refill())
            continue;
        const std::size_t n = std::min(size, in.avail());
        if (n == 0)
            break;
        std::memcpy(area.bytes, in.data(), n);
        in.advance(n);
        area.bytes[n] = RJE_IRS;
        const int rc = blocks.add(area.bytes, n + 1);
        if (rc != 0)
            return blocks.finish(rc);
        ++records;
    }
    return blocks.finish(records);
}

// Transparent chunks (format 4): TRN-framed records without compression.
std::int64_t convert_transparent(std::FILE *file, unsigned char *buffer, int lrecl, BlockWriter &blocks)
{
    std::int64_t records = 0;
    for (;;) {
        const int n = convert_read_chunk(file, buffer, lrecl);
        if (n < 0)
            return blocks.finish(records);
        const int rc = blocks.add_transparent(buffer, n);
        if (rc != 0)
            return blocks.finish(rc);
        ++records;
    }
}

// Length-prefixed records (format 2): one data-file record each.
std::int64_t convert_records(std::FILE *file, std::FILE *data_file, unsigned char *buffer, int lrecl,
                             int control, bool fixed)
{
    std::int64_t records = 0;
    for (;;) {
        int n = convert_read_record(file, buffer, lrecl);
        if (n == NJE_CONVERT_SHORT_RECORD)
            return n;
        if (n < 0)
            return records;
        if (fixed) {
            convert_fill_blanks(buffer, n, lrecl);
            n = lrecl;
        }
        if (nje_data_write_next(data_file, buffer, static_cast<std::size_t>(n), control,
                                static_cast<std::size_t>(lrecl), NJE_DATA_FORMAT_SNA) != 0)
            return NJE_CONVERT_WRITE_FAILED;
        ++records;
    }
}

// Skips n bytes of input. A regular file is sought, after checking that it holds them; any other
// stream is read past. @return 0, NJE_CONVERT_SHORT_RECORD when the input ends first, -1 on error.
int skip_input(std::FILE *file, std::uint64_t n)
{
    struct stat st;
    const off_t here = ftello(file);
    if (here >= 0 && fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode)) {
        if (static_cast<std::uint64_t>(st.st_size - std::min<off_t>(here, st.st_size)) < n)
            return NJE_CONVERT_SHORT_RECORD;
        return fseeko(file, static_cast<off_t>(n), SEEK_CUR) == 0 ? 0 : -1;
    }
    unsigned char scratch[SKIP_SIZE];
    while (n > 0) {
        const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(n, SKIP_SIZE));
        if (std::fread(scratch, 1, part, file) != part)
            return std::ferror(file) ? -1 : NJE_CONVERT_SHORT_RECORD;
        n -= part;
    }
    return 0;
}

} // namespace

std::int64_t convert_text_records(std::FILE *file, int lrecl, int tabs, int fixed, convert_record_sink sink,
                                  void *context)
{
    if (file == nullptr || sink == nullptr || lrecl < 1 || lrecl > MAX_LRECL)
        return NJE_CONVERT_COMPRESS_FAILED;
    convert_read_line_forget(); // from a fresh start, whatever was read before
    CallerSink to{sink, context};
    Counter cnt;
    if (!text_records(file, TextSettings{convert_file_table(), lrecl, tabs, fixed != 0}, to, cnt))
        return NJE_CONVERT_NO_MEMORY;
    return cnt.status != 0 ? cnt.status : cnt.records;
}

void convert_force_wide_path(bool on)
{
    force_wide = on;
}

void convert_fill_blanks(unsigned char *buffer, int from, int to)
{
    from = std::max(from, 0);
    if (buffer == nullptr || from >= to)
        return;
    std::memset(buffer + from, EBCDIC_BLANK, static_cast<std::size_t>(to - from));
}

int convert_read_chunk(std::FILE *file, unsigned char *buffer, int n)
{
    if (file == nullptr || buffer == nullptr || n <= 0)
        return -1;
    const std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(n), file);
    return got == 0 ? -1 : static_cast<int>(got);
}

int convert_read_record(std::FILE *file, unsigned char *buffer, int lrecl)
{
    if (file == nullptr || buffer == nullptr || lrecl < 0)
        return -1;
    unsigned char prefix[RECORD_PREFIX];
    const std::size_t got = std::fread(prefix, 1, RECORD_PREFIX, file);
    if (got != RECORD_PREFIX)
        return got == 0 || std::ferror(file) ? -1 : NJE_CONVERT_SHORT_RECORD;
    const std::uint32_t length = be::get32(prefix);
    const std::size_t keep = std::min<std::size_t>(length, static_cast<std::size_t>(lrecl));
    if (keep > 0 && std::fread(buffer, 1, keep, file) != keep)
        return std::ferror(file) ? -1 : NJE_CONVERT_SHORT_RECORD;
    const int rc = skip_input(file, length - keep);
    return rc != 0 ? rc : static_cast<int>(keep);
}

std::int64_t nje_convert_toibm(std::FILE *file, std::FILE *data_file, unsigned char *buffer, int lrecl,
                               int maxdata, int data_format, int control, int tabs, int fixed)
{
    if (file == nullptr || data_file == nullptr || buffer == nullptr || lrecl < 1 || lrecl > MAX_LRECL ||
        maxdata < MIN_MAXDATA)
        return NJE_CONVERT_COMPRESS_FAILED;
    if (data_format == NJE_FORMAT_RECORD)
        return convert_records(file, data_file, buffer, lrecl, control, fixed != 0);
    if (data_format != NJE_FORMAT_TEXT && data_format != NJE_FORMAT_BINARY &&
        data_format != NJE_FORMAT_TRANSPARENT)
        return NJE_CONVERT_COMPRESS_FAILED;
    if (data_format == NJE_FORMAT_TRANSPARENT && lrecl + FORMAT4_OVERHEAD >= maxdata)
        return NJE_CONVERT_COMPRESS_FAILED;
    BlockWriter blocks(data_file, control, maxdata);
    if (!blocks.ok())
        return NJE_CONVERT_NO_MEMORY;
    switch (data_format) {
    case NJE_FORMAT_TEXT:
        return convert_text(file, TextSettings{convert_file_table(), lrecl, tabs, fixed != 0}, blocks);
    case NJE_FORMAT_BINARY:
        return convert_binary(file, lrecl, blocks);
    default:
        return convert_transparent(file, buffer, lrecl, blocks);
    }
}
