// NETDATA writer: control records built from text units and data records read from a workstation
// file, cut into segments and 80-byte records, each record appended to a job's data file with
// nje_data_write_next (control byte 0x80). The layout is in convert/netdata.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <span>

#include "convert/netdata.h"
#include "support/wire.h"

// Writer context, one per stream, owned by the caller; set up with nje_netdata_create.
struct netdata_writer {
    std::FILE *stream = nullptr;
    int room = NETDATA_RECORD_SIZE; // left in the current record
    int used = 0;                   // bytes in the current record
    unsigned long records = 0;      // 80-byte records written so far
    // The current record, behind the headroom that nje_data_write_next writes its marker into.
    unsigned char storage[NJE_DATA_HEADROOM + NETDATA_RECORD_SIZE];

    unsigned char *record() { return storage + NJE_DATA_HEADROOM; }
};

// Results besides 0 / a count.
inline constexpr int NETDATA_WRITE_FAILED = -1; // a data-file record could not be written
inline constexpr int NETDATA_BAD_REQUEST = -2;  // nje_netdata_toibm: a data format without a reader

// One text unit to encode: its descriptor (netdata_tu) and its value. Kinds 1 and 5 take `number`,
// kind 3 takes `number` as seconds since 1970, kind 2 `text`, kind 4 `list` (one item per string).
struct nje_tu {
    uint32_t descriptor;
    int64_t number = 0;
    const char *text = nullptr;
    std::span<const char *const> list;

    constexpr nje_tu(uint32_t d, int v) : descriptor(d), number(v) {}
    constexpr nje_tu(uint32_t d, unsigned v) : descriptor(d), number(v) {}
    constexpr nje_tu(uint32_t d, long v) : descriptor(d), number(v) {}
    constexpr nje_tu(uint32_t d, const char *s) : descriptor(d), text(s) {}
    constexpr nje_tu(uint32_t d, std::span<const char *const> l) : descriptor(d), list(l) {}
};

// Sets up `writer` for the data-file stream (from nje_data_create): room 80, nothing used, no record
// written. Writes nothing.
void nje_netdata_create(std::FILE *stream, netdata_writer *writer);

// Appends n bytes to the stream, writing each record once it is full. n 0 does nothing.
// @return 0, or NETDATA_WRITE_FAILED when a record could not be written.
int nje_netdata_put(netdata_writer *writer, const unsigned char *data, std::size_t n);

// Encodes the units, in order, into area from position `offset` on. A descriptor of 0 ends the list.
// Strings are translated with the built-in table (at most as many bytes as the item's length; a
// string kind with a length longer than its text is filled with EBCDIC blanks). Nothing is written
// outside `area`.
// @return the position just past the last unit, or -1 for a kind outside 1..5, a unit that does not
//         fit in `area`, an item longer than 65535 bytes or a time that has no 4-digit year (the
//         units before it stay encoded).
int nje_netdata_put_tu(std::span<unsigned char> area, int offset, std::initializer_list<nje_tu> units);
int nje_netdata_put_tu(std::span<unsigned char> area, int offset, std::span<const nje_tu> units);

// Writes one control record: the 6-character ASCII `name` (translated; a shorter name is filled
// with blanks) and the n bytes of text units at `units` (null when n is 0), in segments flagged
// 0xA0 / 0x20 / 0x60, or 0xE0 for a record in one segment.
// @return 0, or NETDATA_WRITE_FAILED.
int nje_netdata_put_control(netdata_writer *writer, const char *name, const unsigned char *units,
                            std::size_t n);

// Writes one data record of n bytes in segments flagged 0x80 / 0x00 / 0x40, or 0xC0 for a record in
// one segment (an empty record is the segment 02 C0).
// @return 0, or NETDATA_WRITE_FAILED.
int nje_netdata_put_data(netdata_writer *writer, const unsigned char *data, std::size_t n);

// Reads `file` to its end record by record (format 0 text lines with convert_read_line, 1 chunks of
// lrecl bytes, 2 length-prefixed records) and writes each as one data record. Text records leave
// their record separator (IRS) behind; with `fixed` every record is filled with EBCDIC blanks to (or
// cut at) lrecl bytes. Text is read line by line from a fresh start. buffer holds at least
// lrecl + NJE_CONVERT_BUFFER_SLACK bytes; lrecl is 1..255.
// @return the number of data records written; NETDATA_WRITE_FAILED (= NJE_CONVERT_WRITE_FAILED) when
//         writing failed; NETDATA_BAD_REQUEST (nothing read or written) for another data format or
//         lrecl; the conversion's NJE_CONVERT_NO_MEMORY, NJE_CONVERT_DBCS_NO_ROOM or
//         NJE_CONVERT_SHORT_RECORD (records before it written).
std::int64_t nje_netdata_toibm(std::FILE *file, netdata_writer *writer, unsigned char *buffer, int lrecl,
                               int data_format, int tabs, int fixed);

// Writes the last, partly filled record (filled with 0x00); nothing when it is empty.
// @return 0, or NETDATA_WRITE_FAILED.
int nje_netdata_close(netdata_writer *writer);
