// Conversion of IBM records back into workstation files: the records of one dataset of a data file
// written as text (carriage control turned into line ends and form feeds), as raw bytes, as
// length-prefixed records or through a routine the caller installs; and a dataset reader that hands
// back the records of one dataset, expanding the SNA-compressed blocks that jobpush writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "convert/rje_expand.h"

// Output format codes.
inline constexpr int NJE_OUTPUT_TEXT = 0;    // translated to ASCII, spaced by the carriage control
inline constexpr int NJE_OUTPUT_RAW = 1;     // the bytes of each record, without separators
inline constexpr int NJE_OUTPUT_RECORDS = 2; // 4-byte big-endian length, then the record's bytes
inline constexpr int NJE_OUTPUT_USER = 3;    // each record handed to userroutine
// Any other code reads the records and writes nothing.

// Results of the dataset conversions.
inline constexpr int NJE_FROMIBM_DONE = 0;         // the end of the dataset was reached
inline constexpr int NJE_FROMIBM_READ_FAILED = 2;  // a record could not be read (what was written stays)
inline constexpr int NJE_FROMIBM_WRITE_FAILED = 5; // the output stream reported an error

// Record control value, bits 0x30: the kind of carriage control.
inline constexpr int NJE_CC_MASK = 0x30;
inline constexpr int NJE_CC_NONE = 0x00;    // the whole record is text
inline constexpr int NJE_CC_MACHINE = 0x10; // first byte a machine command
inline constexpr int NJE_CC_ASA = 0x20;     // first byte an EBCDIC ASA character
inline constexpr int NJE_CC_DROP = 0x30;    // first byte dropped, no spacing

// The user output routine of format 3: output stream, record bytes, their count, the record control
// value. Its result is not used.
using nje_output_routine = int (*)(FILE *out, const unsigned char *record, int length, int control);
// The installed routine; null until set (format 3 then writes nothing).
extern nje_output_routine userroutine;
void nje_convert_set_user_output_routine(nje_output_routine routine);

// Reads the records of one dataset from `data_file` (positioned at its first record) with
// nje_data_read_next into `buffer` of `size` bytes, up to the end-of-data mark, and writes them to
// `out` in `format`. The records are taken as they stand in the file (no expansion). In format 1 a last
// byte 0x15 (new line) is removed from each record of 2 bytes or more. `reserved` and `flag` have no
// effect.
// @return NJE_FROMIBM_DONE at the end-of-data mark; NJE_FROMIBM_READ_FAILED when a record cannot be
//         read, including a record longer than `size`; NJE_FROMIBM_WRITE_FAILED when `out` reports an
//         error (noticed after the record that caused it). Never writes past buffer + size.
int nje_convert_fromibm(FILE *data_file, FILE *out, unsigned char *buffer, int size, int format, int reserved,
                        int flag);

// Writes one text record and returns the new open-line state: 1 when the last thing written is text
// without a line end after it, else 0 (`open` is that state before the record). With carriage control
// (control & 0x30 not 0) the record's first byte is the control character and the text is the rest.
// The text is translated with nje_EtoA_str, however long (trailing blanks drop out) and written when it
// holds a character other than a space. Spacing:
//   none (0x00):      a carriage return first when the line is open and the text not blank; the text,
//                     then always a newline (a record of blanks is an empty line); result 0.
//   machine (0x10):   immediate commands (c & 3 == 3) space before the text: 0x03 nothing, 0x13 two
//                     newlines, 0x1B three, 0x8B a form feed, others one newline; write-and-space
//                     commands (c & 3 == 1) space after it: 0x01 nothing, 0x11 two newlines, 0x19 three,
//                     0x89 a form feed, others one newline; other commands do no spacing, and a
//                     carriage return goes before a non-blank text on an open line.
//   ASA (0x20):       before the text: '+' a carriage return, '-' three newlines, '0' two, '1' a form
//                     feed, any other character one newline.
//   0x30:             no spacing.
// An empty record with carriage control has the control character 0. Write errors are left in the
// stream's error indicator.
int convert_print_record(FILE *out, const unsigned char *record, int length, int control, int open);

// Writes `length` as 4 bytes big-endian, then the `length` bytes of `record`.
// @return 0, or -1 when a write fails or length is negative.
int convert_write_record(FILE *out, const unsigned char *record, int length);

// Sets record[from .. length-1] to the EBCDIC blank 0x40 and writes `length` bytes of `record`, which
// must hold `length` bytes. @return 0, or -1 when the write fails or length is negative.
int convert_write_fixed(FILE *out, unsigned char *record, int from, int length);

// Output state kept across the records of one dataset.
struct nje_output {
    FILE *out = nullptr;
    int format = NJE_OUTPUT_TEXT;
    int open = 0; // open-line state of the text format
    // The text format's translate table, taken from nje_EtoA at the first record of the dataset.
    unsigned char text_table[256] = {};
    bool text_table_ready = false;
    bool text_table_nul = false;
};

// Writes one record in the state's format (format 1 writes the bytes as they are).
// @return 0, or NJE_FROMIBM_WRITE_FAILED when the stream's error indicator is set afterwards.
int nje_output_record(nje_output *state, const unsigned char *record, int length, int control);

// Ends the output of a dataset: a newline when the text line is still open.
// @return 0, or NJE_FROMIBM_WRITE_FAILED when the stream's error indicator is set.
int nje_output_finish(nje_output *state);

// ---- Dataset reader ----------------------------------------------------------------------------------
//
// A dataset is the run of data-file records from its data offset up to the offset where the next
// dataset begins, or up to the end-of-data mark. Records are handed back as follows:
//  - a data-file record with a control byte and a count is one record, with its carriage control;
//  - a data-file record with the marker "SNA" that has the shape of a block of SNA-compressed records
//    (a literal string control byte, TRN, ... and the final 0x01 0x1E), or that continues a record or
//    string left open by the block before it, is expanded with rje_expand into its records, across
//    block boundaries; each record is handed back without the new line (0x15) that ended it (a record
//    ended by a form feed or carriage return keeps that byte), with control 0;
//  - any other "SNA" record (the pass-through records of jobpush's -record) is one record, control 0.

// Why a dataset could not be read to its end.
inline constexpr int NJE_DATASET_OK = 0;
inline constexpr int NJE_DATASET_BAD_OFFSET = 1;      // the dataset's offset lies past the end of the file
inline constexpr int NJE_DATASET_TRUNCATED = 2;       // a data-file record is cut short or malformed
inline constexpr int NJE_DATASET_BLOCK_TOO_LONG = 3;  // a data-file record exceeds NJE_DATASET_BLOCK_MAX
inline constexpr int NJE_DATASET_RECORD_TOO_LONG = 4; // an expanded record exceeds NJE_DATASET_RECORD_MAX
inline constexpr int NJE_DATASET_NO_EOD = 5;          // the file ends without its end-of-data mark

// Largest data-file record the reader takes (a longer one is a read failure).
inline constexpr std::size_t NJE_DATASET_BLOCK_MAX = 1 << 20;
// Largest expanded record, its ending control included (a longer one is a read failure).
inline constexpr std::size_t NJE_DATASET_RECORD_MAX = 1 << 16;
// "No bound": the dataset runs to the end-of-data mark.
inline constexpr uint64_t NJE_DATASET_TO_EOD = UINT64_MAX;

struct nje_dataset_reader {
    FILE *data_file = nullptr;
    uint64_t end = NJE_DATASET_TO_EOD; // data-file offset at which the dataset ends
    bool eof_ends = false;             // end of file between records ends the data (incomplete job)
    uint32_t max_records = 0;          // records of the dataset (its header's count), 0: no limit
    int debug = 0;                     // traces of the expansion to utiltracefd

    // Where reading stands (for messages): the offset of the data-file record being taken apart.
    uint64_t record_offset = 0;
    int failure = NJE_DATASET_OK; // why reading failed

    std::vector<unsigned char> block; // the current data-file record
    int block_length = 0;
    int block_control = 0;
    bool held = false; // block holds a record not yet handed back (a pending cut record went first)
    bool in_block = false;
    const unsigned char *in = nullptr;
    rje_expand_ctx ctx;
    std::vector<unsigned char> record; // the expanded record being built
    std::size_t record_length = 0;
    uint32_t records = 0; // records handed back so far
    bool done = false;
};

// Starts reading a dataset: positions `data_file` at `begin`. Set max_records afterwards to end the
// dataset after that many records. `end` is the offset where the dataset
// ends (NJE_DATASET_TO_EOD for the last one); `eof_ends` lets the end of the file between records end
// the data, as in a job that is still incomplete (no end-of-data mark yet).
// @return 0, or -1 (reader->failure set) when the stream cannot be positioned at `begin` or `begin`
//         lies past the end of the file.
int nje_dataset_open(nje_dataset_reader *reader, FILE *data_file, uint64_t begin, uint64_t end,
                     bool eof_ends);

// Hands back the next record: *record points at its bytes (valid until the next call), *length and
// *control are set.
// @return 1 for a record; 0 at the end of the dataset; -1 when the data cannot be read (a truncated or
//         oversized data-file record, an expanded record longer than NJE_DATASET_RECORD_MAX, a missing
//         end-of-data mark); reader->failure and reader->record_offset then tell what and where.
//         Never reads outside the data-file record it holds; memory stays under NJE_DATASET_BLOCK_MAX +
//         NJE_DATASET_RECORD_MAX.
int nje_dataset_next(nje_dataset_reader *reader, const unsigned char **record, int *length, int *control);

// Hands back the next data-file record of the dataset as it stands (*control: 0x80 for an "SNA"
// record, else its bits 0x30), for callers that take blocks apart themselves. Do not mix with
// nje_dataset_next on one reader; max_records does not apply.
// @return 1, 0 at the end of the dataset, -1 as nje_dataset_next.
int nje_dataset_next_block(nje_dataset_reader *reader, const unsigned char **block, int *length,
                           int *control);

// Whether an "SNA" data-file record has the shape of a block of SNA-compressed records: a literal string
// control byte whose string begins with TRN, and the final string 0x01 0x1E.
bool nje_dataset_is_block(const unsigned char *block, int length);

// Whether an expansion context was left inside a record or a string (or with a transparent count or a
// TRN count still to come), so that the next block goes on with it.
bool nje_expansion_open(const rje_expand_ctx *ctx);

// Reads the whole dataset and writes it to `out` in `format` (nje_output_record), then ends it
// (nje_output_finish; also after a read failure, so that what was written stays whole).
// @return NJE_FROMIBM_DONE, NJE_FROMIBM_READ_FAILED or NJE_FROMIBM_WRITE_FAILED.
int nje_dataset_fromibm(nje_dataset_reader *reader, FILE *out, int format);
