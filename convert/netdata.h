// The NETDATA stream (the interchange format of TSO TRANSMIT and RECEIVE) as the writer lays it out
// and the reader takes it apart: 80-byte records, segments, control records INMR01..INMR07 and text
// units. All integers are unsigned big-endian.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Records ------------------------------------------------------------------------------------
// The stream is cut into records of exactly this size (the last one filled with 0x00); each is one
// data-file record. Segments run on across record boundaries.
inline constexpr int NETDATA_RECORD_SIZE = 80;

// ---- Segments -----------------------------------------------------------------------------------
//   byte 0  segment length, counting itself, the flag byte and the data (2..255)
//   byte 1  flags
//   byte 2  data
inline constexpr int NETDATA_SEGMENT_HEAD = 2;
inline constexpr int NETDATA_SEGMENT_MAX = 255;
inline constexpr int NETDATA_SEGMENT_DATA_MAX = NETDATA_SEGMENT_MAX - NETDATA_SEGMENT_HEAD; // 253
inline constexpr unsigned char NETDATA_FLAG_FIRST = 0x80;   // first segment of a logical record
inline constexpr unsigned char NETDATA_FLAG_LAST = 0x40;    // last segment of a logical record
inline constexpr unsigned char NETDATA_FLAG_CONTROL = 0x20; // the logical record is a control record

// ---- Control records ----------------------------------------------------------------------------
// The first segment's data begins with the 6-character record name in EBCDIC; text units follow.
// In INMR02 a 4-byte file number stands between the name and the text units.
inline constexpr int NETDATA_NAME_SIZE = 6;
inline constexpr int NETDATA_CONTROL_FIRST_MAX = NETDATA_SEGMENT_DATA_MAX - NETDATA_NAME_SIZE; // 247
inline constexpr int NETDATA_FILE_NUMBER_SIZE = 4;
inline constexpr int NETDATA_INMR02_UNITS = NETDATA_NAME_SIZE + NETDATA_FILE_NUMBER_SIZE; // 10

// ---- Text units ---------------------------------------------------------------------------------
//   bytes 0-1  key
//   bytes 2-3  number of items
//   then per item: 2-byte length and that many bytes
inline constexpr int NETDATA_TU_HEAD = 4;
inline constexpr int NETDATA_TU_ITEM_HEAD = 2;
inline constexpr std::size_t NETDATA_TU_ITEM_MAX = 0xFFFF;

// Room the callers give the text units of one control record.
inline constexpr int NETDATA_TU_AREA = 256;

// Text unit descriptor: kind in bits 24-31, a length in bits 16-23, the key in bits 0-15.
inline constexpr unsigned NETDATA_TU_NUMBER = 1; // an integer, big-endian in `length` bytes
inline constexpr unsigned NETDATA_TU_STRING = 2; // EBCDIC text; length 0: the text's own length
inline constexpr unsigned NETDATA_TU_TIME = 3;   // yyyymmddhhmmss, 14 EBCDIC digits (UTC)
inline constexpr unsigned NETDATA_TU_LIST = 4;   // one item per string (name segments)
inline constexpr unsigned NETDATA_TU_BARE = 5;   // an integer in `length` bytes, no key, count or length

constexpr uint32_t netdata_tu(unsigned kind, unsigned length, uint16_t key)
{
    return (kind & 0xFFu) << 24 | (length & 0xFFu) << 16 | key;
}
constexpr unsigned netdata_tu_kind(uint32_t descriptor) { return descriptor >> 24; }
constexpr unsigned netdata_tu_length(uint32_t descriptor) { return (descriptor >> 16) & 0xFFu; }
constexpr uint16_t netdata_tu_key(uint32_t descriptor) { return static_cast<uint16_t>(descriptor); }

inline constexpr int NETDATA_TIME_DIGITS = 14;

// Keys of the text units the program writes and reads.
inline constexpr uint16_t INMDSNAM = 0x0002; // dataset name, one item per qualifier
inline constexpr uint16_t INMMEMBR = 0x0003; // member name
inline constexpr uint16_t INMDSORG = 0x003C; // dataset organisation
inline constexpr uint16_t INMLRECL = 0x0042; // logical record length
inline constexpr uint16_t INMRECFM = 0x0049; // record format
inline constexpr uint16_t INMTNODE = 0x1001; // target node
inline constexpr uint16_t INMTUID = 0x1002;  // target user
inline constexpr uint16_t INMFNODE = 0x1011; // origin node
inline constexpr uint16_t INMFUID = 0x1012;  // origin user
inline constexpr uint16_t INMFTIME = 0x1024; // origin time stamp
inline constexpr uint16_t INMUTILN = 0x1028; // utility program name
inline constexpr uint16_t INMSIZE = 0x102C;  // file size in bytes
inline constexpr uint16_t INMNUMF = 0x102F;  // number of files

// Values of the record format and dataset organisation units.
inline constexpr uint32_t NETDATA_DSORG_PS = 0x4000;       // sequential
inline constexpr uint32_t NETDATA_RECFM_FB = 0x9000;       // fixed, blocked
inline constexpr uint32_t NETDATA_RECFM_V_NO_RDW = 0x4002; // variable, carried without record descriptors
inline constexpr uint32_t NETDATA_RECFM_SHORT_VBS = 0x0001; // the NETDATA stream itself (INMR03)
inline constexpr uint32_t NETDATA_RECFM_MACHINE = 0x0200;  // machine carriage control
inline constexpr uint32_t NETDATA_RECFM_ASA = 0x0400;      // ASA carriage control
// A variable record counts its 4-byte record descriptor in the record length.
inline constexpr int NETDATA_RDW_SIZE = 4;
