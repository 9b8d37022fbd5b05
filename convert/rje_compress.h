// SNA compression of EBCDIC records into blocks: each record is framed as an SCS transparent string
// (TRN, count, data) followed by IRS and written with SNA string control bytes (literal strings,
// blank runs, runs of one repeated byte). rje_expand (convert/rje_expand.h) is the inverse.
#pragma once

#include <cstddef>

// SCS bytes with a fixed meaning in records and blocks.
inline constexpr unsigned char RJE_IRS = 0x1E;   // interchange record separator: ends every record
inline constexpr unsigned char RJE_TRN = 0x35;   // transparent: a count byte and that many data bytes follow
inline constexpr unsigned char RJE_BLANK = 0x40; // EBCDIC blank, the prime compression character
inline constexpr unsigned char RJE_NL = 0x15;    // new line
inline constexpr unsigned char RJE_LF = 0x25;    // line feed
inline constexpr unsigned char RJE_FF = 0x0C;    // form feed
inline constexpr unsigned char RJE_CR = 0x0D;    // carriage return

// String control bytes: the top two bits give the kind, the low six bits the count.
inline constexpr unsigned char RJE_SCB_KIND_MASK = 0xC0;
inline constexpr unsigned char RJE_SCB_COUNT_MASK = 0x3F;
inline constexpr unsigned char RJE_SCB_LITERAL = 0x00; // n bytes follow unchanged
inline constexpr unsigned char RJE_SCB_COMPACT = 0x40; // compaction (never written, not expanded)
inline constexpr unsigned char RJE_SCB_BLANKS = 0x80;  // n blanks
inline constexpr unsigned char RJE_SCB_REPEAT = 0xC0;  // the next byte, n times

// Compression modes (only the low 8 bits of the mode argument count).
inline constexpr unsigned RJE_MODE_RECORD = 2;

// A record holds at most this many data bytes (its count is one byte).
inline constexpr std::size_t RJE_MAX_RECORD_DATA = 255;
// Worst-case size of one record in a block: 3 (SCB, TRN, count) + 255 data bytes + 5 SCBs of literal
// strings + the final 0x01, IRS.
inline constexpr std::size_t RJE_MAX_COMPRESSED_RECORD = 265;
// An empty block at least this large always takes a record of RJE_MAX_RECORD_DATA bytes, room checks
// included. Smaller blocks may answer 0 for the same record again and again.
inline constexpr std::size_t RJE_MIN_BLOCK_SIZE = 300;

// Appends one record to a block in record mode (mode RJE_MODE_RECORD).
//
// *in .. in_end is the record: its data bytes (0 to RJE_MAX_RECORD_DATA of them, any values, 0x1E
// included) followed by exactly one IRS as the LAST byte. *out is where the record goes: the block's
// start for the first record, else just past the previous record's final 0x01, IRS. out_end is one
// past the block's last byte; block_size is the block's size (the call is at block start exactly
// when *out + block_size == out_end).
//
// @return  1: appended; *out points just past the record's IRS, *in has moved forward.
//          0: the record does not fit in the room left; *in, *out and every block byte before *out
//             are unchanged (bytes at and after *out may have been overwritten). Write the block
//             out and call again with the same record at the start of a fresh block, where a block
//             of at least RJE_MIN_BLOCK_SIZE bytes always takes it.
//         -1: the record cannot be compressed: the last input byte is not the IRS, the record has
//             more than RJE_MAX_RECORD_DATA data bytes, an unknown mode, out is not in the block, or
//             its initial string would pass 63 bytes. The last happens only behind another record
//             (at block start it is at most 63); *in, *out and the block before *out are then
//             unchanged, and the same record fits at the start of a fresh block.
// Pure: no allocation, nothing printed.
int rje_compress(const unsigned char **in, unsigned char **out, const unsigned char *in_end,
                 const unsigned char *out_end, unsigned block_size, unsigned mode);
