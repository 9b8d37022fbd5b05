// NJE header field dictionary and the operations that set, clear and extract section fields by field
// descriptor. A descriptor packs the field type (bits 31-24: 1 integer, 2 EBCDIC character, 3 IBM
// time), its length (23-16) and its offset from the section head (15-0). Integers are big-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

inline constexpr uint32_t NJE_FIELD_INTEGER = 1;
inline constexpr uint32_t NJE_FIELD_CHARACTER = 2;
inline constexpr uint32_t NJE_FIELD_TIME = 3;
inline constexpr size_t NJE_TIME_FIELD_SIZE = 8; // clock high word, then 4 zero bytes

constexpr uint32_t nje_descriptor(uint32_t type, uint32_t length, uint32_t offset)
{
    return (type << 24) | ((length & 0xFF) << 16) | (offset & 0xFFFF);
}
constexpr uint32_t nje_field_type(uint32_t descriptor)
{
    return descriptor >> 24;
}
constexpr uint32_t nje_field_length(uint32_t descriptor)
{
    return (descriptor >> 16) & 0xFF;
}
constexpr uint32_t nje_field_offset(uint32_t descriptor)
{
    return descriptor & 0xFFFF;
}

// The dictionary in its order: X(name, type, length, offset). Groups: NJHG job header general
// section, NJH2, NJHP, NJHE, NDHG dataset header general section, NDHC, NDHA, NDHV dataset header
// RSCS section, NDHP, NJTG job trailer general section, NJTS, and the nodal message record NMR (its
// offsets count from the record's first byte; entries sharing an offset name alternative contents).
// clang-format off
#define NJE_FIELD_LIST(X)                                                                                      \
    X(NJHGJID, 1, 2, 4) X(NJHGJCLS, 2, 1, 6) X(NJHGMCLS, 2, 1, 7) X(NJHGFLG1, 1, 1, 8) X(NJHGPRIO, 1, 1, 9)     \
    X(NJHGORGQ, 1, 1, 10) X(NJHGJCPY, 1, 1, 11) X(NJHGLNCT, 1, 1, 12) X(NJHGACCT, 2, 8, 16)                     \
    X(NJHGJNAM, 2, 8, 24) X(NJHGUSID, 2, 8, 32) X(NJHGPASS, 2, 8, 40) X(NJHGNPAS, 2, 8, 48)                     \
    X(NJHGETS, 3, 8, 56) X(NJHGORGN, 2, 8, 64) X(NJHGORGR, 2, 8, 72) X(NJHGXEQN, 2, 8, 80)                      \
    X(NJHGXEQU, 2, 8, 88) X(NJHGPRTN, 2, 8, 96) X(NJHGPRTR, 2, 8, 104) X(NJHGPUNN, 2, 8, 112)                   \
    X(NJHGPUNR, 2, 8, 120) X(NJHGFORM, 2, 8, 128) X(NJHGICRD, 1, 4, 136) X(NJHGETIM, 1, 4, 140)                 \
    X(NJHGELIN, 1, 4, 144) X(NJHGECRD, 1, 4, 148) X(NJHGPRGN, 2, 20, 152) X(NJHGROOM, 2, 8, 172)                \
    X(NJHGDEPT, 2, 8, 180) X(NJHGBLDG, 2, 8, 188) X(NJHGNREC, 1, 4, 196)                                        \
                                                                                                               \
    X(NJH2FLG1, 1, 1, 4) X(NJH2ACCT, 2, 4, 8) X(NJH2USID, 2, 8, 12) X(NJH2USR, 2, 8, 20) X(NJH2GRP, 2, 8, 28)  \
    X(NJH2SUSR, 2, 8, 36) X(NJH2SGRP, 2, 8, 44)                                                                 \
                                                                                                               \
    X(NJHPFLG1, 1, 1, 4) X(NJPHDISP, 2, 1, 5) X(NJHPSYID, 2, 1, 7) X(NJHPUSER, 2, 16, 8) X(NJHPDSKT, 1, 2, 24)  \
                                                                                                               \
    X(NJHEPAGE, 1, 4, 4) X(NJHEBYTE, 1, 4, 8)                                                                   \
                                                                                                               \
    X(NDHGNODE, 2, 8, 4) X(NDHGRMT, 2, 8, 12) X(NDHGPROC, 2, 8, 20) X(NDHGSTEP, 2, 8, 28) X(NDHGDD, 2, 8, 36)  \
    X(NDHGDSNO, 1, 2, 44) X(NDHGCLAS, 2, 1, 47) X(NDHGNREC, 1, 4, 48) X(NDHGFLG1, 1, 1, 52)                     \
    X(NDHGRCFM, 1, 1, 53) X(NDHGLREC, 1, 2, 54) X(NDHGDSCT, 1, 1, 56) X(NDHGFCBI, 1, 1, 57)                     \
    X(NDHGLNCT, 1, 1, 58) X(NDHGFORM, 2, 8, 60) X(NDHGFCB, 2, 8, 68) X(NDHGUCS, 2, 8, 76)                       \
    X(NDHGXWTR, 2, 8, 84) X(NDHGFLG2, 1, 1, 100) X(NDHGUCSO, 1, 1, 101) X(NDHGPMDE, 2, 8, 104)                  \
                                                                                                               \
    X(NDHCFLG1, 1, 1, 4) X(NDHCRCFM, 1, 1, 5) X(NDHCLREC, 1, 2, 6)                                              \
                                                                                                               \
    X(NDHAFLG1, 1, 1, 4) X(NDHAFLCT, 1, 1, 5) X(NDHATREF, 1, 1, 6) X(NDHATAB1, 2, 8, 8) X(NDHATAB2, 2, 8, 16)   \
    X(NDHATAB3, 2, 8, 24) X(NDHATAB4, 2, 8, 32) X(NDHAFLSH, 2, 8, 40) X(NDHAMODF, 2, 8, 48)                     \
    X(NDHACPYG, 1, 8, 56)                                                                                       \
                                                                                                               \
    X(NDHVFLG1, 1, 1, 4) X(NDHVCLAS, 2, 1, 5) X(NDHVIDEV, 1, 1, 6) X(NDHVPGLE, 1, 1, 7) X(NDHVDIST, 2, 8, 8)    \
    X(NDHVFNAM, 2, 12, 16) X(NDHVFTYP, 2, 12, 28) X(NDHVPRIO, 1, 2, 40) X(NDHVVRSN, 1, 1, 42)                   \
    X(NDHVRELN, 1, 1, 43) X(NDHVTAGR, 2, 1, 44)                                                                 \
                                                                                                               \
    X(NDHPFLG1, 1, 1, 4) X(NDHPIDEV, 1, 1, 5) X(NDHPPRIO, 2, 1, 6) X(NDHPDISP, 2, 1, 7) X(NDHPUSER, 2, 16, 8)   \
    X(NDHPJBSF, 1, 1, 24) X(NDHPSYID, 2, 1, 25) X(NDHPNSEP, 1, 1, 26) X(NDHPOPTN, 1, 1, 27)                     \
    X(NDHPPART, 2, 2, 28) X(NDHPRCFM, 1, 1, 32) X(NDHPJNUM, 1, 2, 34) X(NDHPCOMP, 2, 4, 36)                     \
    X(NDHPPASS, 2, 8, 40) X(NDHPSETP, 2, 68, 48) X(NDHPSTRT, 3, 8, 116)                                         \
                                                                                                               \
    X(NJTGFLG1, 1, 1, 4) X(NJTGXCLS, 2, 1, 5) X(NJTGSTRT, 3, 8, 8) X(NJTGSTOP, 3, 8, 16) X(NJTGALIN, 1, 4, 28)  \
    X(NJTGACRD, 1, 4, 32) X(NJTGIXPR, 1, 1, 40) X(NJTGAXPR, 1, 1, 41) X(NJTGIOPR, 1, 1, 42)                     \
    X(NJTGAOPR, 1, 1, 43)                                                                                       \
                                                                                                               \
    X(NJTSAPAG, 1, 4, 4) X(NJTSABYT, 1, 4, 8)                                                                   \
                                                                                                               \
    X(NMRFLAG, 1, 1, 0) X(NMRLEVEL_PRIO, 1, 1, 1) X(NMRTYPE, 1, 1, 2) X(NMRML, 1, 1, 3) X(NMRTONOD, 2, 8, 4)    \
    X(NMRTOQUL, 1, 1, 12) X(NMROUT, 2, 8, 13) X(NMRUCM, 1, 1, 13) X(NMRRMT, 2, 8, 13) X(NMRUSER, 2, 8, 13)     \
    X(NMRDESC, 1, 2, 13) X(NMRUCMA, 1, 1, 14) X(NMRINET, 1, 2, 15) X(NMRROUT, 1, 2, 15)                         \
    X(NMRDOMID, 1, 4, 17) X(NMRFMNOD, 2, 8, 21) X(NMRFMQUL, 1, 1, 29) X(NMRECSID, 2, 8, 30)                     \
    X(NMRFNORM, 1, 20, 30) X(NMRFRTE, 1, 32, 30) X(NMRFOP, 1, 1, 30) X(NMRFFLG, 1, 1, 31)                       \
    X(NMRFJID, 1, 2, 32) X(NMRFORGN, 2, 8, 34) X(NMRFJNAM, 2, 8, 42) X(NMRFD, 2, 8, 50) X(NMRFR, 2, 8, 58)     \
    X(NMRTIME, 2, 8, 30) X(NMRUSERID, 2, 8, 30) X(NMRMSG, 2, 0, 30)
// clang-format on

// One named descriptor constant per dictionary entry: NJHGJID == 0x01020004 ...
#define NJE_FIELD_CONSTANT(name, type, length, offset)                                                       \
    inline constexpr uint32_t name = nje_descriptor(type, length, offset);
NJE_FIELD_LIST(NJE_FIELD_CONSTANT)
#undef NJE_FIELD_CONSTANT

// A dictionary entry: the field's NUL-terminated name and its descriptor.
struct nje_field {
    const char *name;
    uint32_t descriptor;
};

inline constexpr size_t NJE_FIELD_COUNT = 149;
// The dictionary: NJE_FIELD_COUNT entries in search order, then the entry {nullptr, 0}.
extern const nje_field nje_field_dictionary[NJE_FIELD_COUNT + 1];

// Exact, case-sensitive lookup in dictionary order. @return the first entry named `name`, or null.
const nje_field *nje_field_find(const char *name);

// One descriptor/value pair to store. Integer and time fields take a 32-bit value (an int is stored
// in two's complement: -1 in a 1-byte field is 0xFF); character fields take an ASCII string (null
// stores nothing). A time value is the IBM time word from nje_toibmtime.
struct nje_field_set {
    uint32_t descriptor;
    uint32_t number = 0;
    const char *text = nullptr;
    bool is_text = false;

    constexpr nje_field_set(uint32_t d, uint32_t v) : descriptor(d), number(v) {}
    constexpr nje_field_set(uint32_t d, int v) : descriptor(d), number(static_cast<uint32_t>(v)) {}
    constexpr nje_field_set(uint32_t d, const char *s) : descriptor(d), text(s), is_text(true) {}
};

// One descriptor/destination pair to extract. Integer and time fields go to a uint32_t (a time as
// seconds since 1970); character fields to a NUL-terminated ASCII string in `text` of `text_size`
// bytes, cut at a character boundary when it does not fit.
struct nje_field_get {
    uint32_t descriptor;
    uint32_t *number = nullptr;
    char *text = nullptr;
    size_t text_size = 0;

    constexpr nje_field_get(uint32_t d, uint32_t *out) : descriptor(d), number(out) {}
    constexpr nje_field_get(uint32_t d, char *out, size_t out_size)
        : descriptor(d), text(out), text_size(out_size)
    {
    }
    template <size_t N>
    constexpr nje_field_get(uint32_t d, char (&out)[N]) : descriptor(d), text(out), text_size(N)
    {
    }
};

// Stores each value into its field at `section` + offset, in list order. A descriptor of 0 ends the
// list (the end of the list does too). Character values are translated with the built-in table, at
// most `length` characters, without filling; double-byte text is shortened at a character boundary so
// that SO ... SI stays balanced and nothing is written past the field.
// @return 0 when the whole list was stored; -1 at the first descriptor of unknown type or whose value
//         does not suit its type (text for an integer or time field, a number for a character field);
//         the fields before it stay stored.
int nje_section_update_fields(unsigned char *section, std::initializer_list<nje_field_set> list);
int nje_section_update_fields(unsigned char *section, std::span<const nje_field_set> list);
// Checked form: `section` spans the bytes that may be written; a field reaching past it is -1 too.
int nje_section_update_fields(std::span<unsigned char> section, std::span<const nje_field_set> list);
int nje_section_update_fields(std::span<unsigned char> section, std::initializer_list<nje_field_set> list);

// For each character descriptor stores the EBCDIC form of the empty string (no bytes): the section is
// left byte for byte as it was. Other types are passed over. A descriptor of 0 ends the list.
void nje_section_zero_strings(unsigned char *section, std::initializer_list<uint32_t> descriptors);
void nje_section_zero_strings(unsigned char *section, std::span<const uint32_t> descriptors);

// Reverse of nje_section_update_fields. Time fields: H = first 4 bytes; 0 stays 0, else the result is
// H * 1.048576 - 2208988800 truncated (a time before 1970 gives 0).
// @return 0 when the whole list was extracted; -1 at the first descriptor of unknown type or whose
//         destination does not suit its type.
int nje_section_extract_fields(const unsigned char *section, std::initializer_list<nje_field_get> list);
int nje_section_extract_fields(const unsigned char *section, std::span<const nje_field_get> list);
// Checked form for sections read from files: a field reaching past `section` is -1 too.
int nje_section_extract_fields(std::span<const unsigned char> section, std::span<const nje_field_get> list);
int nje_section_extract_fields(std::span<const unsigned char> section,
                               std::initializer_list<nje_field_get> list);

// Stores `value` as a `length`-byte big-endian integer at `destination` (bytes beyond 4 are 0; a
// value wider than the field loses its high bytes; length 0 stores nothing).
void nje_toibm_memcpy(uint32_t value, unsigned char *destination, size_t length);

// Reads `length` bytes at `source` as a big-endian integer into *value_out (for length above 4 only
// the last 4 bytes remain; length 0 gives 0).
void nje_fromibm_memcpy(const unsigned char *source, uint32_t *value_out, size_t length);
