// NETDATA reader: takes a dataset held in a data file as 80-byte records, reassembles the segments
// into logical records, finds text units in control records, tells a NETDATA stream by its INMR01 and
// INMR02 and unloads its data records. The layout is in convert/netdata.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <span>

#include "convert/netdata.h"

// Reader context, one per stream; set up with nje_netdata_read_init.
struct netdata_reader {
    std::FILE *stream = nullptr;
    int left = 0; // bytes of the current record not yet read
    int pos = 0;  // read position in the current record
    unsigned char record[NETDATA_RECORD_SIZE];
};

// Sets up `reader` for the data-file stream, positioned at the dataset's first record.
void nje_netdata_read_init(std::FILE *stream, netdata_reader *reader);

// Reads the next logical record into buffer, storing at most `size` bytes; a longer record is cut
// there and its remaining bytes are consumed and dropped. *flags receives the flag byte of the
// record's first segment (NETDATA_FLAG_FIRST, _LAST, _CONTROL).
// @return the number of bytes stored, or -1 at the end of the data or when the record cannot be read:
//         a data-file record that does not read or holds more than 80 bytes, a segment length below
//         2, a segment cut short by the end of the data.
int nje_netdata_get_record(netdata_reader *reader, unsigned char *buffer, std::size_t size, unsigned *flags);

// One text unit to look up: its descriptor (netdata_tu) and where its value goes. Kinds 1 and 5
// go to `number`; kinds 2 and 3 to the NUL-terminated ASCII string `text` of `text_size` bytes (cut at
// a character boundary when it does not fit); kind 4 the same, its items joined by ".".
struct nje_tu_get {
    uint32_t descriptor;
    uint32_t *number = nullptr;
    char *text = nullptr;
    std::size_t text_size = 0;

    constexpr nje_tu_get(uint32_t d, uint32_t *out) : descriptor(d), number(out) {}
    constexpr nje_tu_get(uint32_t d, char *out, std::size_t out_size) : descriptor(d), text(out), text_size(out_size)
    {
    }
    template <std::size_t N>
    constexpr nje_tu_get(uint32_t d, char (&out)[N]) : descriptor(d), text(out), text_size(N)
    {
    }
};

// Looks each unit up in the control record of `length` bytes (its text units start behind the name,
// in INMR02 behind the name and the file number). Kind 1 reads the unit's first item as a big-endian
// integer (of the last 4 bytes of a longer item); kind 5 the descriptor's length of bytes behind the
// name. A unit that is not found, or whose first item runs past the record, leaves its destination
// untouched. A descriptor of 0 ends the list.
// @return the number of units not found (0 when all were), or -1 for a kind outside 1..5 or a
//         destination that does not suit its kind.
int nje_netdata_get_tu(const unsigned char *record, std::size_t length, std::initializer_list<nje_tu_get> units);
int nje_netdata_get_tu(const unsigned char *record, std::size_t length, std::span<const nje_tu_get> units);

// The value of the INMLRECL unit of a control record, or `fallback` when it has none.
uint32_t netdata_lrecl(const unsigned char *record, std::size_t length, uint32_t fallback);

// Room for the dataset name nje_isnetdata may return: 8 qualifiers of 8 and their dots, a member.
inline constexpr std::size_t NETDATA_DSNAME_MAX = 44 + 10;

// Whether the dataset at the stream's position is a NETDATA stream: its first logical record is
// INMR01, and an INMR02 follows (other control records between them are passed over) before any
// data record, INMR06 or INMR07. The stream is read up to there.
// name receives the dataset name (INMDSNAM qualifiers joined by ".", then "(member)" from INMMEMBR),
// at most `size` characters and a NUL; it holds size + 1 bytes.
// @return 1 with the name, or 0.
int nje_isnetdata(std::FILE *data_file, char *name, std::size_t size);

// Results of nje_netdata_fromibm.
inline constexpr int NETDATA_FROMIBM_DONE = 0;         // INMR06 reached
inline constexpr int NETDATA_FROMIBM_ENDED = 3;        // the data ended or failed before INMR06
inline constexpr int NETDATA_FROMIBM_NOT_NETDATA = 4;  // no INMR01 first, or a data record before it
inline constexpr int NETDATA_FROMIBM_WRITE_FAILED = 5; // `out` reported an error

// Unloads the NETDATA stream at the data file's position to `out` in an output format of
// convert/rje_fromibm.h: 0 text (spaced by the carriage control that INMR02's record format names:
// machine or ASA), 1 the records' bytes, 2 length-prefixed records, 3 the user output routine (record,
// length, carriage-control kind), any other code nothing. Data records longer than `size` bytes are
// cut there. Control records other than INMR01, INMR02 and INMR06 are passed over. An open text line
// is ended with a newline.
// @return one of NETDATA_FROMIBM_*.
int nje_netdata_fromibm(std::FILE *data_file, std::FILE *out, int format, int size);
