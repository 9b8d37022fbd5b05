// Conversion of workstation files into IBM records: text lines (translated to EBCDIC, with
// double-byte text as SO/SI runs), binary chunks, length-prefixed records and transparent chunks
// become SNA-compressed (or transparently framed) blocks appended to a job's data file.
#pragma once

#include <cstddef>
#include <cstdio>

// Data format codes of nje_convert_toibm.
inline constexpr int NJE_FORMAT_TEXT = 0;        // text lines, translated and compressed
inline constexpr int NJE_FORMAT_BINARY = 1;      // chunks of lrecl bytes, compressed
inline constexpr int NJE_FORMAT_RECORD = 2;      // 4-byte big-endian length + data, passed through
inline constexpr int NJE_FORMAT_TRANSPARENT = 4; // chunks of lrecl bytes, transparent strings

// Results of nje_convert_toibm besides a record count.
inline constexpr int NJE_CONVERT_WRITE_FAILED = -1;
inline constexpr int NJE_CONVERT_COMPRESS_FAILED = -2;
inline constexpr int NJE_CONVERT_NO_MEMORY = -3;    // block or work buffers could not be allocated
inline constexpr int NJE_CONVERT_DBCS_NO_ROOM = -4; // a double-byte character cannot fit a record (lrecl < 4)
inline constexpr int NJE_CONVERT_SHORT_RECORD = -5; // format 2: the last record runs past the end of input

// Smallest record buffer the conversion and the readers accept: lrecl + this many bytes
// (room for the IRS and the headroom of a double-byte run).
inline constexpr int NJE_CONVERT_BUFFER_SLACK = 4;

// Converts the whole input stream `file` into the records of one dataset appended to
// `data_file` (opened with nje_data_create).
//   buffer   record buffer of at least lrecl + NJE_CONVERT_BUFFER_SLACK bytes, from
//            nje_data_allocate_buffer (format 2 hands it to nje_data_write_next).
//   lrecl    record length, 1..255.   maxdata: block size in bytes (3820 by default).
//   data_format one of NJE_FORMAT_*; control: record control value for every data-file record.
//   tabs     tab stop interval for text, 0 = tabs are translated like other control bytes.
//   fixed    non-zero: text and format-2 records are padded with EBCDIC blanks to lrecl.
// @return number of records written (lines, cut parts of double-byte lines, chunks or input
//   records); NJE_CONVERT_WRITE_FAILED (-1) when a data-file write fails or memory for the block
//   runs out; NJE_CONVERT_COMPRESS_FAILED (-2) when a record does not fit even an empty block
//   (the blocks before it are written), and before anything is written for an unknown data
//   format, lrecl outside 1..255, maxdata below 16 or, in format 4, lrecl + 10 not below maxdata.
// Reads the input to its end; uses well under 1 MiB whatever the input size.
int nje_convert_toibm(std::FILE *file, std::FILE *data_file, unsigned char *buffer, int lrecl, int maxdata,
                      int data_format, int control, int tabs, int fixed);

// Reads one text record into `buffer` (at least lrecl + NJE_CONVERT_BUFFER_SLACK bytes):
// translated with nje_usr_AtoE when loaded, else nje_AtoE; tabs expanded; cut to lrecl bytes;
// padded (fixed) or trailing-0x20-trimmed; terminated by IRS 0x1E. No record exceeds lrecl bytes
// (an empty line is min(3, lrecl) blanks). A line holding double-byte characters is continued in
// further records instead of truncated: the reader keeps the rest of such a line for the next
// call on the same stream (reading another stream in between drops it). Bytes the locale cannot
// decode are taken as single-byte characters. @return record length including the IRS, or -1 at
// end of input when nothing was read.
int convert_read_line(std::FILE *file, unsigned char *buffer, int lrecl, int tabs, int fixed);

// Forgets what the line reader keeps between calls (the rest of a cut line), so that the next call
// starts a file afresh even when its stream reuses the address of one read before.
void convert_read_line_reset();

// Reads up to n bytes into buffer. @return bytes read (1..n), or -1 when none could be read.
int convert_read_chunk(std::FILE *file, unsigned char *buffer, int n);

// Reads one length-prefixed record (4-byte big-endian length L, then L bytes), keeping its first
// min(L, lrecl) bytes in buffer and skipping the rest. @return bytes stored (0 for an empty
// record), or -1 at end of input, on a short record or a failed skip.
int convert_read_record(std::FILE *file, unsigned char *buffer, int lrecl);

// Sets buffer[from .. to-1] to EBCDIC blank 0x40; nothing when from >= to.
void convert_fill_blanks(unsigned char *buffer, int from, int to);

// Text conversion normally runs a bulk byte path and decodes characters one at a time only
// where the result can differ (a multibyte locale meeting a byte above 0x7F, or a linked DBCS
// library). `on` forces the character path for every line (used to check the two agree).
void convert_force_wide_path(bool on);

// Appends one EBCDIC record (data followed by IRS, in..in_end) to a block exactly like
// rje_compress in record mode (mode 2), with the same results (1 appended; 0 no room; -1 cannot
// be compressed, also an initial string past 63 bytes behind another record, which the caller
// retries at the start of a fresh block) and the same bytes; faster because it finds strings and
// runs a piece at a time and skips room checks when the worst case fits. `*out` is the write
// position, `block_start` the start of the block.
int convert_compress_record(const unsigned char *in, const unsigned char *in_end, unsigned char **out,
                            unsigned char *block_start, unsigned char *out_end);

// Bytes after a record that convert_compress_padded may read.
inline constexpr int NJE_CONVERT_READ_PAD = 16;
// The same as convert_compress_record, for a record followed by NJE_CONVERT_READ_PAD readable
// bytes (scanned a vector at a time; their values do not matter).
int convert_compress_padded(const unsigned char *in, const unsigned char *in_end, unsigned char **out,
                            unsigned char *block_start, unsigned char *out_end);
