// Data file NJD<id> of a spooled job: length-prefixed records, each a control byte, the marker "SNA"
// and the caller's bytes (a block of SNA-compressed records or one NETDATA record), closed by an
// end-of-data mark of four zero bytes. All integers are unsigned big-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "support/wire.h"

// Record layout in the file.
inline constexpr size_t NJE_DATA_LENGTH_SIZE = 4;  // record length: data length + 4
inline constexpr size_t NJE_DATA_CONTROL_SIZE = 1; // 0x80 | (control & 0x30)
inline constexpr size_t NJE_DATA_MARKER_SIZE = 3;  // "SNA"
inline constexpr size_t NJE_DATA_RECORD_OVERHEAD =
    NJE_DATA_LENGTH_SIZE + NJE_DATA_CONTROL_SIZE + NJE_DATA_MARKER_SIZE;
inline constexpr unsigned char NJE_DATA_CONTROL_SNA = 0x80;
inline constexpr unsigned char NJE_DATA_CONTROL_BITS = 0x30; // bits of the caller's control value kept
inline constexpr unsigned char NJE_DATA_MARKER[NJE_DATA_MARKER_SIZE] = {'S', 'N', 'A'};
inline constexpr size_t NJE_DATA_EOD_SIZE = 4;         // end-of-data mark: a record length of 0
inline constexpr size_t NJE_DATA_STREAM_BUFFER = 8192; // full buffering of the writing stream

// Returns a buffer of `size` usable bytes preceded by NJE_DATA_HEADROOM bytes that belong to this
// module (nje_data_write_next stores its marker there), or null when memory is exhausted or `size` is
// too large. Contents are not initialised. Release with nje_data_free_buffer.
unsigned char *nje_data_allocate_buffer(size_t size);

// Releases a buffer from nje_data_allocate_buffer; null is ignored.
void nje_data_free_buffer(unsigned char *buffer);

// Creates `path` (or empties the regular file there) as rje_create_regular (support/rje_file.h) does,
// never through a symbolic link; fully buffered with an 8192-byte stream buffer.
// @return the stream, or null with errno when the file cannot be opened.
FILE *nje_data_create(const char *path);

// Opens `path` for reading, only when it is a regular file. @return the stream or null.
FILE *nje_data_open(const char *path);

// Closes the stream. @return the result of fclose.
int nje_data_close(FILE *stream);

// Appends one record holding the `length` bytes at `buffer`. `buffer` must come from
// nje_data_allocate_buffer: the 3 bytes in front of it are overwritten with "SNA" so that marker and
// data leave in one write. Only bits 0x30 of `control` are kept; `buffer_size` is not used; the low 8
// bits of `format` must be 134.
// @return 0, or -1 when the format is wrong or `length` too large (nothing written) or a write fails
//         (a partial record may then be left in the file).
int nje_data_write_next(FILE *stream, unsigned char *buffer, size_t length, int control, size_t buffer_size,
                        int format);

// Writes the NJE_DATA_RECORD_OVERHEAD bytes that lead a data-file record of `length` data bytes into
// `head`: the record length, the control byte 0x80 | (control & 0x30) and "SNA". For writers that
// build whole records in memory; length must leave room for the length field's 32 bits.
void nje_data_put_record_head(unsigned char *head, size_t length, int control);

// Appends the end-of-data mark (four zero bytes). @return 0, or -1 when the write fails.
int nje_data_write_eod(FILE *stream);

// Reads the next record into `out`, which holds `out_size` bytes. Three record forms are read:
//  - as written by nje_data_write_next: control byte 0x80 | bits 0x30, "SNA", data (length - 4
//    bytes); *control_out = 0x80 (an SNA record);
//  - "SNA" first: data count = length - 5, starting after the marker; *control_out = 0x80;
//  - control byte, 16-bit count c, data: data count = c - 1; *control_out = control byte & 0x30.
// Records whose data count is 0 carry nothing and are passed over, so that an empty record is never
// taken for the end-of-data mark (the records behind it would be lost); only a record length of 0
// ends the data.
// @return the data count (> 0, also stored in *count_out); 0 with *count_out = 0 at the end-of-data
//         mark; -1 on a read failure, at end of file without an end-of-data mark, or for a record
//         whose count is negative, exceeds the bytes the record holds, or exceeds `out_size`. Never
//         writes more than `out_size` bytes into `out` and allocates nothing.
int nje_data_read_next(FILE *stream, unsigned char *out, size_t out_size, int *control_out, int *count_out);
