// Conversion tables between one IBM host double-byte character set (IBM-939, -933, -935 or -937) and
// one workstation multibyte encoding (EUC-JP, EUC-KR, GB2312, EUC-TW or UTF-8), built once from the C
// library's iconv converters. Only the DBCS conversion library (dbcs_entry.cpp) uses this; it links
// nothing of the record library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

enum class dbcs_host { none, ibm939, ibm933, ibm935, ibm937 };
enum class dbcs_workstation { none, euc_jp, euc_kr, euc_cn, euc_tw, utf8 };

// A host set and a workstation encoding; a pair with either part none converts nothing.
struct dbcs_pair {
    dbcs_host host = dbcs_host::none;
    dbcs_workstation ws = dbcs_workstation::none;
};

// EUC single shifts: SS2 starts half-width katakana in EUC-JP and the planes of EUC-TW, SS3 the
// supplementary kanji of EUC-JP. Both halves of a two-byte EUC character lie in EUC_G1_FIRST-LAST.
inline constexpr unsigned char EUC_SS2 = 0x8E;
inline constexpr unsigned char EUC_SS3 = 0x8F;
inline constexpr unsigned char EUC_G1_FIRST = 0xA1;
inline constexpr unsigned char EUC_G1_LAST = 0xFE;
// EUC-TW: SS2, a plane byte (0xA1 = plane 1 ... 0xB0 = plane 16), then a two-byte character.
inline constexpr unsigned char EUC_TW_PLANE_FIRST = 0xA1;
inline constexpr unsigned char EUC_TW_PLANE_LAST = 0xB0;

// Host DBCS codes: both bytes 0x41-0xFE, plus the double-byte blank 0x4040. Bytes below 0x40 are the
// controls of EBCDIC text (SO and SI among them).
inline constexpr unsigned DBCS_BYTE_FIRST = 0x41;
inline constexpr unsigned DBCS_BYTE_LAST = 0xFE;
inline constexpr uint16_t DBCS_BLANK = 0x4040;
// The host's default double-byte substitution character: the answer for a workstation character the
// host set lacks.
inline constexpr uint16_t DBCS_SUBSTITUTE = 0xFEFE;

// First byte of a workstation answer that means "no character for this code".
inline constexpr unsigned char DBCS_NO_CHARACTER = 0xFF;
// Longest workstation character (EUC-TW with SS2, UTF-8 up to U+10FFFF).
inline constexpr std::size_t DBCS_CHAR_MAX = 4;

using dbcs_bytes = std::array<unsigned char, DBCS_CHAR_MAX>;

// The iconv names of a host set and of a workstation encoding; null for none.
const char *dbcs_host_charset(dbcs_host host);
const char *dbcs_workstation_charset(dbcs_workstation ws);

// The pair of a locale name "language[_territory][.codeset][@modifier]" (the name the library was
// loaded under, without directory and "lib"). Languages: ja and ja_JP (IBM-939), ko and ko_KR
// (IBM-933), zh_CN (IBM-935), zh_TW (IBM-937), and the aliases "japanese" and "korean". Code sets are
// compared without case and punctuation: utf8; eucjp, ujis; euckr; gb2312, euccn; euctw; "euc" is the
// language's EUC. A name without a code set takes `codeset` (the process locale's, e.g. from
// nl_langinfo) when the language supports it, else the language's traditional EUC (none for zh_TW,
// whose bare locale is Big5).
// @return the pair, or a pair of none for a name or code set this library does not serve.
dbcs_pair dbcs_pair_for_locale(std::string_view name, std::string_view codeset);

// Length of the workstation character whose first byte is `first_byte` (0-255): EUC two-byte forms 2,
// SS2 2 (EUC-JP) or 4 (EUC-TW), SS3 3 (EUC-JP); UTF-8 2-4 by the lead byte. 1 for everything else
// (ASCII, bytes that cannot begin a character, and every byte when `ws` is none).
int dbcs_char_length(dbcs_workstation ws, int first_byte);

// The other width of a character of Unicode's half-width and full-width pairs (U+FF61 half-width
// katakana A <-> U+30A2 katakana A, U+00A2 cent <-> U+FFE0 full-width cent, U+0041 <-> U+FF21 ...).
// The half-width voiced sound marks pair with the spacing marks U+309B and U+309C.
// @return the partner, or 0 when `ucs` has none.
char32_t dbcs_width_partner(char32_t ucs);

// The built tables of one pair. Host to workstation: one entry per 16-bit code (first byte
// DBCS_NO_CHARACTER for none). Workstation to host: pages of 65,536 codes (0 = none), allocated only
// when used; see dbcs_lookup_host for the keys.
struct dbcs_tables {
    dbcs_pair pair;
    std::unique_ptr<dbcs_bytes[]> to_workstation;
    static constexpr std::size_t PAGES = 17;
    std::array<std::unique_ptr<uint16_t[]>, PAGES> to_host;
};

// Builds the tables of `pair` with iconv. A code the host set has gets the workstation form of its
// character, or of that character's width partner when the workstation lacks the character itself.
// A workstation character gets iconv's double-byte code for it, or for its width partner when the
// host has the character only as a single byte or not at all; otherwise no code.
// @return 0, or -1 when the pair is none or a converter cannot be opened (tables then empty).
int dbcs_build_tables(dbcs_pair pair, dbcs_tables &tables);

// Host code to workstation character (bytes after the character's last byte are 0).
// @return the character, or a first byte DBCS_NO_CHARACTER for a code with none (any code above
//         0xFFFF, or empty tables, included).
dbcs_bytes dbcs_lookup_workstation(const dbcs_tables &tables, unsigned code);

// Workstation character to host code. Reads at most the character's length by its first byte from
// `ch`, never more than DBCS_CHAR_MAX bytes.
// @return the code, or DBCS_SUBSTITUTE for a malformed character, one the host set lacks, or empty
//         tables.
uint16_t dbcs_lookup_host(const dbcs_tables &tables, const dbcs_bytes &ch);
