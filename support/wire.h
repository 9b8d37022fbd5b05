// Byte values and sizes shared by the wire formats: EBCDIC records and SNA blocks, the data file, the
// header fields and the link protocol's names. Every layer reads them from here.
#pragma once

#include <cstddef>

// ---- EBCDIC and SCS bytes with a fixed meaning in records ----------------------------------------
inline constexpr unsigned char EBCDIC_BLANK = 0x40; // the prime compression character
inline constexpr unsigned char EBCDIC_SO = 0x0E;    // shift-out: a double-byte run follows
inline constexpr unsigned char EBCDIC_SI = 0x0F;    // shift-in: back to single-byte text
inline constexpr unsigned char RJE_IRS = 0x1E;      // interchange record separator: ends every record
inline constexpr unsigned char RJE_TRN = 0x35;      // transparent: a count byte and that many data bytes follow
inline constexpr unsigned char RJE_NL = 0x15;       // new line
inline constexpr unsigned char RJE_LF = 0x25;       // line feed
inline constexpr unsigned char RJE_FF = 0x0C;       // form feed
inline constexpr unsigned char RJE_CR = 0x0D;       // carriage return
inline constexpr unsigned char ASCII_SPACE = 0x20;

// ---- SNA string control bytes (SCB) -----------------------------------------------------------------
// The top two bits give the kind, the low six bits the count.
inline constexpr unsigned char RJE_SCB_KIND_MASK = 0xC0;
inline constexpr unsigned char RJE_SCB_COUNT_MASK = 0x3F;
inline constexpr unsigned char RJE_SCB_LITERAL = 0x00; // n bytes follow unchanged
inline constexpr unsigned char RJE_SCB_COMPACT = 0x40; // compaction (never written, not expanded)
inline constexpr unsigned char RJE_SCB_BLANKS = 0x80;  // n blanks
inline constexpr unsigned char RJE_SCB_REPEAT = 0xC0;  // the next byte, n times
// The string control that ends every compressed record: a literal string of one byte, the IRS.
inline constexpr unsigned char RJE_SCB_END_RECORD = 0x01;

// ---- Record and block sizes ----------------------------------------------------------------------
// A record holds at most this many data bytes (its transparent count is one byte).
inline constexpr std::size_t RJE_MAX_RECORD_DATA = 255;
// Worst-case size of one record in a block: 3 (SCB, TRN, count) + 255 data bytes + 5 SCBs of literal
// strings + the final RJE_SCB_END_RECORD, IRS.
inline constexpr std::size_t RJE_MAX_COMPRESSED_RECORD = 265;

// ---- Data file -----------------------------------------------------------------------------------
inline constexpr int NJE_DATA_FORMAT_SNA = 134; // record format of every data-file record (0x86)
inline constexpr std::size_t NJE_DATA_HEADROOM = 4; // bytes in front of every data buffer

// ---- IBM names -----------------------------------------------------------------------------------
// A node, user, job, dataset or link name: 8 characters on the host; on the workstation side a 10-byte
// field, NUL-terminated (9 characters fit the link protocol's strings).
inline constexpr std::size_t NJE_NAME_CHARS = 8;
inline constexpr std::size_t NJE_NAME_FIELD = 10;
