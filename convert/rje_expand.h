// SNA expansion: reads a block of SCS data written with SNA string control bytes (as rje_compress
// writes it, or as a host sends it) and hands back one record at a time, with TRN and its count taken
// out and transparent bytes passed through as data.
#pragma once

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "convert/rje_compress.h"

// Expansion context, owned by the caller, one per incoming data stream. It carries a string, a
// transparent count or a pending TRN count from one call to the next and from one block to the next.
struct rje_expand_ctx {
    // The current SCB with its remaining count in the low six bits. For a block that begins with an
    // SCB the caller stores that first byte here and starts the input just after it; rje_expand then
    // keeps it up to date. 0 means the data is not compressed (raw mode). After EOB_SPANNED a count
    // of 0 (scb & RJE_SCB_COUNT_MASK) means the string was used up, so the next block begins with an
    // SCB to be stored here; any other count is a string that goes on in the next block: leave it.
    unsigned char scb = 0;
    // Transparent data bytes still to come (0: none active). Holds the full count range 0..255.
    std::uint8_t trn_cnt = 0;
    // Set when a TRN was the last byte of a block or of a string: its count byte is still to be read.
    unsigned char trn_spanned = 0;
};

// Results of rje_expand.
inline constexpr unsigned EOB_SPANNED = 0; // the block ended inside a record; it goes on in the next
inline constexpr unsigned EOR_MORE = 1;    // a record ended (or max bytes were produced), more data
inline constexpr unsigned EOR_EOB = 2;     // a record ended with the block's last byte

// Non-zero: form feed and carriage return ending a record are written as new line. 0 at start.
extern int xlate_to_nls;
// Stream for the traces of the reading side: standard error at start (null also means it).
extern FILE *utiltracefd;

// Expands the block from *in up to in_last (the address of the block's LAST byte, inclusive) into
// *out, producing at most max bytes, up to and including the control that ends the record (NL, LF,
// IRS, FF or CR outside transparent data; LF and IRS are written as NL, FF and CR too when
// xlate_to_nls is set). out_start is the start of the caller's record buffer (*out == out_start means
// the record has just begun). With debug set every decision is traced to utiltracefd with hex dumps
// of the input and output.
//
// @return  EOR_MORE, EOR_EOB or EOB_SPANNED (above). *in and *out are advanced past what was read
//          and written. Never reads outside *in..in_last and never writes more than max bytes.
//          Malformed data is not an error: it ends in EOB_SPANNED or in records cut at odd places.
//          An SCB 0x00 inside a block is skipped as an empty string; a compaction SCB ends the block.
//          max 0 returns EOR_MORE at once. In raw mode every record ends with EOR_MORE.
unsigned rje_expand(const unsigned char **in, unsigned char **out, unsigned max, const unsigned char *in_last,
                    rje_expand_ctx *ctct, int debug, const unsigned char *out_start);

// Begins the expansion of one block of a data stream: `size` bytes (at least 1) at `block`, the
// block that follows, in the same stream, the blocks expanded before with `ctct` (a fresh context for
// a stream's first block). When the string of the previous block was used up (ctct->scb has the
// count 0: always so for a fresh context and behind every block that rje_compress writes) the block
// begins with a string control byte: it is stored in ctct->scb and the expansion starts behind it.
// Otherwise the previous block's string goes on with the block's first byte.
// Raw data (no string control bytes) does not go through here.
// @return the input position to hand to rje_expand, with in_last = block + size - 1; one past the
//         block when the block holds nothing but its string control byte.
const unsigned char *rje_expand_begin(rje_expand_ctx *ctct, const unsigned char *block, std::size_t size);

// Expands one whole block of a data stream (rje_expand_begin, then rje_expand until the block is used
// up) into the caller's record buffer record[0..record_size), record_size >= 1. `length` holds the
// bytes of a record that began in an earlier block (0 at the stream's start; below record_size) and
// is updated. take(const unsigned char *data, std::size_t n) receives every record that ends in this
// block, its ending control (as rje_expand writes it) as data[n - 1]; a record longer than the buffer
// comes in pieces of record_size bytes, each without a control of its own at the end.
// @return EOR_EOB when the block ended with the end of a record (length is then 0), EOB_SPANNED when
//         the block ended inside a record, whose bytes so far stay in record[0..length).
template <class Take>
unsigned rje_expand_block(rje_expand_ctx *ctct, const unsigned char *block, std::size_t size,
                          unsigned char *record, std::size_t record_size, std::size_t &length, Take &&take)
{
    const unsigned char *in = rje_expand_begin(ctct, block, size);
    const unsigned char *last = block + size - 1;
    for (;;) {
        unsigned char *out = record + length;
        const auto room = static_cast<unsigned>(std::min<std::size_t>(record_size - length, UINT_MAX));
        const unsigned rc = rje_expand(&in, &out, room, last, ctct, 0, record);
        length = static_cast<std::size_t>(out - record);
        if (rc == EOB_SPANNED)
            return EOB_SPANNED;
        take(static_cast<const unsigned char *>(record), length);
        length = 0;
        if (rc == EOR_EOB || in > last)
            return EOR_EOB;
    }
}
