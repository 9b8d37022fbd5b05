// Conversion of workstation files into IBM records: text lines (translated to EBCDIC, with
// double-byte text as SO/SI runs), binary chunks, length-prefixed records and transparent chunks
// become SNA-compressed (or transparently framed) blocks appended to a job's data file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Data format codes of nje_convert_toibm.
inline constexpr int NJE_FORMAT_TEXT = 0;        // text lines, translated and compressed
inline constexpr int NJE_FORMAT_BINARY = 1;      // chunks of lrecl bytes, compressed
inline constexpr int NJE_FORMAT_RECORD = 2;      // 4-byte big-endian length + data, passed through
inline constexpr int NJE_FORMAT_TRANSPARENT = 4; // chunks of lrecl bytes, transparent strings

// Results of nje_convert_toibm besides a record count.
inline constexpr int NJE_CONVERT_WRITE_FAILED = -1;    // a data-file write failed
inline constexpr int NJE_CONVERT_COMPRESS_FAILED = -2; // compression failed, or settings refused
inline constexpr int NJE_CONVERT_NO_MEMORY = -3;       // no memory for the block or work buffers
inline constexpr int NJE_CONVERT_DBCS_NO_ROOM = -4;    // a double-byte character, lrecl below 4
inline constexpr int NJE_CONVERT_SHORT_RECORD = -5;    // format 2: the last record is cut short

// Smallest record buffer the conversion and the readers accept: lrecl + this many bytes
// (room for the IRS and the headroom of a double-byte run).
inline constexpr int NJE_CONVERT_BUFFER_SLACK = 4;

// Converts the whole input stream `file`, from its current position (a byte pushed back with ungetc
// included) to its end, into the records of one dataset appended to `data_file` (opened with
// nje_data_create). The input is left at its end, as reading it would leave it.
//   buffer   record buffer of at least lrecl + NJE_CONVERT_BUFFER_SLACK bytes, from
//            nje_data_allocate_buffer (format 2 hands it to nje_data_write_next).
//   lrecl    record length, 1..255.   maxdata: block size in bytes (3820 by default).
//   data_format one of NJE_FORMAT_*; control: record control value for every data-file record.
//   tabs     tab stop interval for text, 0 = tabs are translated like other control bytes.
//   fixed    non-zero: text and format-2 records are padded with EBCDIC blanks to lrecl.
// @return the number of records written (lines, cut parts of double-byte lines, chunks or input
//   records; 64 bits: an input may hold more than 2^31 records), or
//   NJE_CONVERT_WRITE_FAILED when a data-file write fails;
//   NJE_CONVERT_COMPRESS_FAILED when a record does not fit even an empty block (the blocks before
//     it are written), and before anything is written for an unknown data format, lrecl outside
//     1..255, maxdata below 16 or, in format 4, lrecl + 10 not below maxdata;
//   NJE_CONVERT_NO_MEMORY when the block or the work buffers cannot be allocated;
//   NJE_CONVERT_DBCS_NO_ROOM when a double-byte character meets an lrecl below 4;
//   NJE_CONVERT_SHORT_RECORD in format 2 when the input ends inside a record's length prefix or
//     data, from a file and from a pipe alike (the records before it are written).
// Uses a few MiB of memory at most whatever the input size (a regular file is mapped in windows).
std::int64_t nje_convert_toibm(std::FILE *file, std::FILE *data_file, unsigned char *buffer, int lrecl,
                               int maxdata, int data_format, int control, int tabs, int fixed);

// Reads one text record into `buffer` (at least lrecl + NJE_CONVERT_BUFFER_SLACK bytes):
// translated with nje_usr_AtoE when loaded, else nje_AtoE; tabs expanded; cut to lrecl bytes;
// padded (fixed) or trailing-0x20-trimmed; terminated by IRS 0x1E. No record exceeds lrecl bytes
// (an empty line is min(3, lrecl) blanks). A line holding double-byte characters is continued in
// further records instead of truncated: the reader keeps the rest of such a line for the next
// call on the same stream (reading another stream in between drops it). Bytes the locale cannot
// decode are taken as single-byte characters. @return record length including the IRS; -1 at end
// of input when nothing was read; NJE_CONVERT_DBCS_NO_ROOM for a double-byte character when lrecl
// is below 4.
int convert_read_line(std::FILE *file, unsigned char *buffer, int lrecl, int tabs, int fixed);

// Reads the whole text input `file` into records exactly as convert_read_line called until the end
// would (from a fresh start, whatever was read before), a buffer at a time where the locale allows,
// and hands each record (its bytes and the IRS) to `sink`, which returns 0 to go on or a negative
// value to stop. lrecl 1..255.
// @return the number of records; the sink's negative value; NJE_CONVERT_NO_MEMORY when memory runs
//         out; NJE_CONVERT_DBCS_NO_ROOM as convert_read_line; NJE_CONVERT_COMPRESS_FAILED (nothing
//         read) for bad arguments.
using convert_record_sink = int (*)(void *context, const unsigned char *record, std::size_t length);
std::int64_t convert_text_records(std::FILE *file, int lrecl, int tabs, int fixed, convert_record_sink sink,
                                  void *context);

// Reads up to n bytes into buffer. @return bytes read (1..n), or -1 when none could be read.
int convert_read_chunk(std::FILE *file, unsigned char *buffer, int n);

// Reads one length-prefixed record (4-byte big-endian length L, then L bytes), keeping its first
// min(L, lrecl) bytes in buffer and skipping the rest. @return bytes stored (0 for an empty
// record); -1 at the end of the input (nothing of a record read) or on a read error;
// NJE_CONVERT_SHORT_RECORD when the input ends inside the length prefix or the record's data.
int convert_read_record(std::FILE *file, unsigned char *buffer, int lrecl);

// Sets buffer[from .. to-1] to EBCDIC blank 0x40; nothing when from >= to.
void convert_fill_blanks(unsigned char *buffer, int from, int to);

// Text conversion normally runs a bulk byte path and decodes characters one at a time only
// where the result can differ (a multibyte locale meeting a byte above 0x7F, or a linked DBCS
// library). `on` forces the character path for every line (used to check the two agree).
void convert_force_wide_path(bool on);
