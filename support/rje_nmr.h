// Nodal message records: one line of host console or printer text, taken from a block (expanded when
// it is SNA-compressed), becomes an NJE nodal message record (NMR) of 162 bytes addressed to the user
// it concerns: the user named by a console user pattern ($UX records), the job of a $HASP100 message,
// the user last named on that console, or "System".
#pragma once

#include <cstddef>

#include "convert/rje_expand.h"

// Record layout (offsets from the record's first byte, as in the field dictionary's NMR group).
inline constexpr std::size_t NMR_FLAG = 0;       // NMRFLAG
inline constexpr std::size_t NMR_LEVEL_PRIO = 1; // NMRLEVEL_PRIO
inline constexpr std::size_t NMR_TYPE = 2;       // NMRTYPE
inline constexpr std::size_t NMR_ML = 3;         // NMRML: message length in bytes
inline constexpr std::size_t NMR_TONOD = 4;      // NMRTONOD, 8 EBCDIC characters
inline constexpr std::size_t NMR_TOQUL = 12;     // NMRTOQUL
inline constexpr std::size_t NMR_USER = 13;      // NMRUSER, 8 EBCDIC characters
inline constexpr std::size_t NMR_FMNOD = 21;     // NMRFMNOD, 8 EBCDIC characters
inline constexpr std::size_t NMR_FMQUL = 29;     // NMRFMQUL
inline constexpr std::size_t NMR_MSG = 30;       // NMRMSG: the EBCDIC message text
inline constexpr std::size_t NMR_NAME_SIZE = 8;
inline constexpr std::size_t NMR_RECORD_SIZE = 162;
inline constexpr std::size_t NMR_MSG_MAX = NMR_RECORD_SIZE - NMR_MSG; // 132 bytes of text fit

inline constexpr unsigned char NMR_FLAG_COMPRESSED = 0x20;
inline constexpr unsigned char NMR_FLAG_PLAIN = 0x01;
inline constexpr unsigned char NMR_LEVEL_PRIO_VALUE = 0x77;
inline constexpr unsigned char NMR_TYPE_MESSAGE = 4;
inline constexpr unsigned char NMR_FMQUL_VALUE = 1;

// Users remembered per console: a user identification of up to 6 characters and a NUL.
inline constexpr int NMR_CONSOLES = 32;
inline constexpr std::size_t NMR_USERID_SIZE = 7;
extern char con_userid[NMR_CONSOLES][NMR_USERID_SIZE];
// The user chosen for the record being built.
extern char to_userid[NMR_USERID_SIZE];

// Builds one nodal message record at *out (which must hold NMR_RECORD_SIZE bytes) from the line at
// *in.
//   compressed (low 8 bits non-zero): the block is SNA-compressed; `in_end` is the address of its last
//     byte (inclusive), passed to rje_expand with `ctct`, which carries the expansion from call to call.
//     The line is the next expanded record, up to and including the control that ended it.
//   otherwise: the bytes from *in up to, not including, `in_end` are the line.
// At most NMR_MSG_MAX bytes make one record: the rest of a longer line is left for the next call (the
// input position stops after the bytes taken). `node` is the local node; `console` (low 8 bits) selects
// the con_userid entry, and an index of NMR_CONSOLES or more has none; `conuids` is the console user
// pattern (for instance "$UX": "-UX$1" then finds the user after UX); `debug_level` 5 or more traces
// every decision to utiltracefd, any other non-zero value the translated line when it is longer than 5.
// *in always moves past what was read; *out moves by NMR_RECORD_SIZE when a record is built.
// @return 0 when no record was built (the block ended inside a line, EOB_SPANNED; or the line is
//         empty, NMRFLAG then already written); otherwise rje_expand's result (EOR_MORE or EOR_EOB) for
//         a compressed block and 1 for a plain one. Never reads past in_end, never writes past the
//         record.
int rje_make_nmr(const unsigned char **in, unsigned char **out, const unsigned char *in_end, const char *node,
                 rje_expand_ctx *ctct, int console, int compressed, const char *conuids, int debug_level);
