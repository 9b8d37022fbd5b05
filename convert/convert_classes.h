// Byte classes of the bulk text path (internal to convert/), taken from the locale once per file:
// which bytes are ordinary single-byte characters, tabs, the newline, or may begin a character whose
// meaning depends on the locale or the DBCS library (those go through the decoder).
#pragma once

#include <cstddef>

enum : unsigned char { BYTE_ORDINARY = 0, BYTE_TAB = 1, BYTE_NEWLINE = 2, BYTE_WIDE = 3 };

struct ByteClasses {
    unsigned char cls[256];
    bool usable = true;         // the newline byte and only it decodes as a newline
    bool any_wide = false;      // some byte may begin a multibyte or double-byte character
    bool ascii_ordinary = true; // every byte 0x20..0x7F is an ordinary character
    bool wide_high_only = true; // every wide byte is above 0x7F

    // Classes in the current locale; tabs: the tab stop interval (0: a tab is ordinary).
    explicit ByteClasses(int tabs);
    // Position of the first wide byte in p[0..n), or n.
    std::size_t first_wide(const unsigned char *p, std::size_t n) const;
};
