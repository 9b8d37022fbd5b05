// SNA expansion: reads a block of SCS data written with SNA string control bytes (as rje_compress
// writes it, or as a host sends it) and hands back one record at a time, with TRN and its count taken
// out and transparent bytes passed through as data.
#pragma once

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
