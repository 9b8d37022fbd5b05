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
