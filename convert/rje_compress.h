// SNA compression of EBCDIC records into blocks: each record is framed as an SCS transparent string
// (TRN, count, data) followed by IRS and written with SNA string control bytes (literal strings,
// blank runs, runs of one repeated byte). rje_expand (convert/rje_expand.h) is the inverse.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/wire.h"

// Compression modes (only the low 8 bits of the mode argument count).
inline constexpr unsigned RJE_MODE_RECORD = 2;

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

// Bytes after a record that rje_compress_padded may read; their values do not matter.
inline constexpr std::size_t RJE_COMPRESS_READ_PAD = 16;

// rje_compress in record mode for a record in..in_end (data, then the IRS as the last byte) that is
// followed by RJE_COMPRESS_READ_PAD readable bytes, so that strings and runs are found sixteen bytes
// at a time. block_start..out_end is the block; the call is at block start when *out == block_start.
// @return as rje_compress (1, 0 or -1), with the same bytes in the block; *out is advanced on 1.
int rje_compress_padded(const unsigned char *in, const unsigned char *in_end, unsigned char **out,
                        const unsigned char *block_start, const unsigned char *out_end);

// What the builder of a record already knows of its bytes, so that the compressor need not look for
// it again: bit i of pair[i / 64] is set when byte i equals byte i - 1, of blank[i / 64] when byte i
// is an EBCDIC blank, for the bytes of a prefix at least as long as the record's data; bits at and
// past the data's length carry no meaning.
struct RjeRecordMasks {
    std::uint64_t pair[2];
    std::uint64_t blank[2];
};

// rje_compress_padded for a record whose masks are known. They are used for records of fewer than
// 128 data bytes, and must then be right: wrong masks give wrong bytes in the block.
// @return as rje_compress_padded.
int rje_compress_masked(const unsigned char *in, const unsigned char *in_end, const RjeRecordMasks &masks,
                        unsigned char **out, const unsigned char *block_start, const unsigned char *out_end);
