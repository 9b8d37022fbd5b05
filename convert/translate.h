// Character translation between the workstation character set (ASCII, EUC double-byte text in a
// multibyte locale) and EBCDIC: the two built-in 256-entry tables, replacement tables loaded from the
// raw 256-byte files "toebcdic.bin" / "toascii.bin", and the fixed-width field converters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <span>

#include "support/wire.h"


// Size of a translate table and of a table file's useful part.
inline constexpr std::size_t NJE_XLATE_TABLE_SIZE = 256;
// Longest table path ("dir/toebcdic.bin"); a longer one is refused like a missing file.
inline constexpr std::size_t NJE_XLATE_PATH_MAX = 255;

// Built-in tables, writable (the translate map loader adjusts single entries at start-up).
// nje_EtoA is indexed by an EBCDIC code; nje_AtoE by an ASCII byte, and its entries 0x80-0xFF
// repeat 0x00-0x7F.
extern unsigned char nje_EtoA[256];
extern unsigned char nje_AtoE[256];

// Replacement tables (256 bytes on the heap), null until loaded. File data going to the host uses
// nje_usr_AtoE when set; header and control fields always use the built-in tables.
extern unsigned char *nje_usr_AtoE;
extern unsigned char *nje_usr_EtoA;

// Loads "toebcdic.bin" from dir (or from the current directory when dir is null) into a new table and
// points nje_usr_AtoE at it. Only the first 256 bytes of the file count; a shorter file is refused.
// Failures print one line on stderr ("RJE Load Translate tables: ...", not through the catalogue).
// @return 1 when loaded, 0 on any failure (no memory, path too long or unopenable, short file).
int nje_load_ebcdic_tbl(const char *dir);
// The same for "toascii.bin" and nje_usr_EtoA.
int nje_load_ascii_tbl(const char *dir);

// Worst-case size of the ASCII string (NUL included) that nje_EtoA_str makes from an n-byte field:
// a 2-byte double-byte code can come back as a multibyte character of up to 4 bytes.
constexpr std::size_t nje_etoa_str_bound(int n)
{
    return n > 0 ? 2 * static_cast<std::size_t>(n) + 1 : 1;
}

// EBCDIC field of n bytes to a NUL-terminated string, always with the built-in nje_EtoA. Trailing
// EBCDIC blanks and NULs are trimmed, inner ones become spaces; a valid SO..SI double-byte segment is
// converted through the DBCS link, with SO and SI becoming one space each.
// dst must hold nje_etoa_str_bound(n) bytes.
// @return src + n (src itself when n < 1).
const unsigned char *nje_EtoA_str(const unsigned char *src, char *dst, int n);
// Checked form: converts the whole field, writing at most dst.size() bytes including the NUL (output
// that does not fit is cut at a character boundary). dst must not be empty.
// @return pointer just past the field.
const unsigned char *nje_EtoA_str(std::span<const unsigned char> field, std::span<char> dst);

// The double-byte test of the field and file converters: the wide character wc is double-byte when
// its value is above 127 and rje_euclen of the first byte of its multibyte form in the current locale
// (as wcrtomb makes it; under glibc a wide character is a code point, not the bytes) is 2 or more.
// Never true without a DBCS conversion library. When true and code is not null, *code receives the
// character's IBM DBCS code (euctoibm of that multibyte form).
bool nje_dbcs_char(wchar_t wc, std::uint16_t *code);

// NUL-terminated string in the current locale's multibyte encoding to an EBCDIC field of n bytes,
// always with the built-in nje_AtoE. At most n characters are converted; at most n bytes are written
// (no terminator, the rest of the field stays as the caller left it). Double-byte characters are
// written as SO, 2-byte codes, SI; a double-byte character that does not fit whole together with its
// closing SI is left out, and an open run is always closed inside the field. Text that is not valid in
// the locale is translated byte by byte.
// @return position in src just past the last character consumed.
const char *nje_AtoE_str(const char *src, unsigned char *dst, int n);
// Checked form: the field is the whole span.
const char *nje_AtoE_str(const char *src, std::span<unsigned char> field);

// Compares an ASCII string with an EBCDIC field of n bytes through nje_EtoA. The string may be
// shorter than the field when the field continues with a blank or NUL at the string's end.
// @return 0 when equal in that sense (or n < 1), 1 otherwise.
int nje_AEncmp(const char *ascii, const unsigned char *ebcdic, int n);
