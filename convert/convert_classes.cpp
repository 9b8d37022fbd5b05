// Byte classes of the bulk text path, from the locale's decoding of each byte by itself.
#include "convert/convert_classes.h"

#include <cwchar>

#include "convert/convert_decode.h"
#include "convert/vector_scan.h"

ByteClasses::ByteClasses(int tabs)
{
    for (int b = 0; b < 256; ++b) {
        std::mbstate_t st{};
        wchar_t wc = 0;
        const char c = static_cast<char>(b);
        const std::size_t r = std::mbrtowc(&wc, &c, 1, &st);
        WChar ch;
        ch.bytes[0] = static_cast<unsigned char>(b);
        ch.nb = 1;
        unsigned char k;
        if (r == static_cast<std::size_t>(-2)) {
            k = BYTE_WIDE; // may begin a multibyte character
        } else {
            ch.raw = r == static_cast<std::size_t>(-1);
            ch.wc = ch.raw ? static_cast<wchar_t>(b) : wc;
            if (ch.is_newline())
                k = BYTE_NEWLINE;
            else if (ch.is_dbcs())
                k = BYTE_WIDE;
            else if (tabs > 0 && ch.is_tab())
                k = BYTE_TAB;
            else
                k = BYTE_ORDINARY;
        }
        cls[b] = k;
        if ((k == BYTE_NEWLINE) != (b == '\n'))
            usable = false;
        any_wide = any_wide || k == BYTE_WIDE;
        if (b >= 0x20 && b < 0x80 && k != BYTE_ORDINARY)
            ascii_ordinary = false;
        if (b < 0x80 && k == BYTE_WIDE)
            wide_high_only = false;
    }
}

std::size_t ByteClasses::first_wide(const unsigned char *p, std::size_t n) const
{
    return vector_scan::first_of_class(p, n, cls, BYTE_WIDE, wide_high_only);
}
