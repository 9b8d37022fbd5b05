// Link to the optional DBCS conversion library: a shared library "<dir>/<LANG>lib" with the entry
// points "xibmtoeuc", "xeuctoibm" and "xeuclen" that converts between EUC multibyte characters and
// 16-bit IBM DBCS codes. Without it every wrapper answers with its fallback (all text single-byte).
#pragma once

#include <cstddef>
#include <cstdint>

// One multibyte character by value: bytes 0-3 hold the character's bytes (as wctomb makes them),
// first byte first; bytes after its last byte carry no meaning. Its length is found with mblen over
// at most 4 bytes.
struct euc_char {
    unsigned char c[5];
};
static_assert(sizeof(euc_char) == 5);

// Entry points of the conversion library, as the library must define them (extern "C").
extern "C" {
using kio_ibmtoeuc_fn = euc_char (*)(unsigned int code); // "xibmtoeuc": first byte 0xFF = no char
using kio_euctoibm_fn = int (*)(euc_char ch);            // "xeuctoibm": low 16 bits = IBM code
using kio_euclen_fn = int (*)(int first_byte);           // "xeuclen": length, >= 2 = double-byte
}

inline constexpr const char *KIO_LIB_SUFFIX = "lib";
// Longest library path; a longer one counts as no library.
inline constexpr std::size_t KIO_PATH_MAX = 255;

// Links "<dir>/<LANG>lib" (lazy binding). Any earlier link is dropped first.
// @return 1 when linked; 0 when the library opened but an entry point is missing (one perror line
//         naming the entry point is printed, the library is closed); -1 when LANG is unset, dir is
//         null, the path is too long or the library cannot be opened (silent); also, silently, when
//         LANG holds a '/' or is "." or "..", so that it never names a file outside `dir`.
int link_kiolib(const char *dir);

// IBM DBCS code to character. Without a library the record begins 0x40 0x40 (remaining bytes 0).
// A code the library cannot convert comes back as "--" (0x2D 0x2D).
euc_char ibmtoeuc(uint16_t code);

// Character to IBM DBCS code; 0 without a library.
uint16_t euctoibm(euc_char ch);

// Length of the EUC character whose first byte is the low 8 bits of byte; 1 without a library.
int rje_euclen(int byte);

// p points at an EBCDIC SO byte with n bytes available from p on. Checks that an SI follows within
// the n bytes, with no second SO, no byte below 0x40 and an even number of bytes between them.
// @return 1 for a well-formed segment, else 0 (also for n < 1).
int dbcs_validate(const unsigned char *p, int n);
