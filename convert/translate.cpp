// Character translation between the workstation character set and EBCDIC: built-in tables, table
// files of 256 raw bytes ("toebcdic.bin", "toascii.bin"), and the fixed-width field converters with
// SO/SI double-byte handling through the DBCS link.
#include "convert/translate.h"

#include "convert/kiolink.h"
#include "support/rje_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <string>

// clang-format off
unsigned char nje_EtoA[256] = {
    0x00, 0x01, 0x02, 0x03, 0x9C, 0x09, 0x86, 0x7F, 0x97, 0x8D, 0x8E, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x9D, 0x0A, 0x08, 0x87, 0x18, 0x19, 0x92, 0x8F, 0x1C, 0x1D, 0x1E, 0x1F,
    0x80, 0x81, 0x82, 0x83, 0x84, 0x0A, 0x17, 0x1B, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x05, 0x06, 0x07,
    0x90, 0x91, 0x16, 0x93, 0x94, 0x95, 0x96, 0x04, 0x98, 0x99, 0x9A, 0x9B, 0x14, 0x15, 0x9E, 0x1A,
    0x20, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xD5, 0x2E, 0x3C, 0x28, 0x2B, 0x7C,
    0x26, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB0, 0xB1, 0x21, 0x24, 0x2A, 0x29, 0x3B, 0x5E,
    0x2D, 0x2F, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0x7C, 0x2C, 0x25, 0x5F, 0x3E, 0x3F,
    0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xC0, 0xC1, 0xC2, 0x60, 0x3A, 0x23, 0x40, 0x27, 0x3D, 0x22,
    0xC3, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9,
    0xCA, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F, 0x70, 0x71, 0x72, 0x7E, 0x7E, 0xCD, 0xCE, 0xCF, 0xD0,
    0xD1, 0x7E, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0xD2, 0xD3, 0xD4, 0x5B, 0xD6, 0xD7,
    0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0x5D, 0xE6, 0xE7,
    0x7B, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED,
    0x7D, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0xEE, 0xEF, 0xF0, 0xF1, 0xF2, 0xF3,
    0x5C, 0x9F, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF,
};

// The upper half repeats the lower half: a byte with its top bit set translates like the same byte
// with that bit clear.
unsigned char nje_AtoE[256] = {
    0x00, 0x01, 0x02, 0x03, 0x37, 0x2D, 0x2E, 0x2F, 0x16, 0x05, 0x25, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x3C, 0x3D, 0x32, 0x26, 0x18, 0x19, 0x3F, 0x27, 0x1C, 0x1D, 0x1E, 0x1F,
    0x40, 0x5A, 0x7F, 0x7B, 0x5B, 0x6C, 0x50, 0x7D, 0x4D, 0x5D, 0x5C, 0x4E, 0x6B, 0x60, 0x4B, 0x61,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0x7A, 0x5E, 0x4C, 0x7E, 0x6E, 0x6F,
    0x7C, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6,
    0xD7, 0xD8, 0xD9, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xAD, 0xE0, 0xBD, 0x5F, 0x6D,
    0x79, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96,
    0x97, 0x98, 0x99, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xC0, 0x4F, 0xD0, 0xA1, 0x07,

    0x00, 0x01, 0x02, 0x03, 0x37, 0x2D, 0x2E, 0x2F, 0x16, 0x05, 0x25, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x3C, 0x3D, 0x32, 0x26, 0x18, 0x19, 0x3F, 0x27, 0x1C, 0x1D, 0x1E, 0x1F,
    0x40, 0x5A, 0x7F, 0x7B, 0x5B, 0x6C, 0x50, 0x7D, 0x4D, 0x5D, 0x5C, 0x4E, 0x6B, 0x60, 0x4B, 0x61,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0x7A, 0x5E, 0x4C, 0x7E, 0x6E, 0x6F,
    0x7C, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6,
    0xD7, 0xD8, 0xD9, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xAD, 0xE0, 0xBD, 0x5F, 0x6D,
    0x79, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96,
    0x97, 0x98, 0x99, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xC0, 0x4F, 0xD0, 0xA1, 0x07,
};
// clang-format on

unsigned char *nje_usr_AtoE = nullptr;
unsigned char *nje_usr_EtoA = nullptr;

namespace
{

// Reads a table file into a fresh table. The user pointer is only replaced once the whole table has
// been read, so a failed load never leaves a half-filled table in use.
int load_table(const char *dir, const char *file, unsigned char *&table)
{
    std::unique_ptr<unsigned char[]> fresh(new (std::nothrow) unsigned char[NJE_XLATE_TABLE_SIZE]);
    if (!fresh) {
        std::fputs("RJE Load Translate tables: no memory\n", stderr);
        return 0;
    }
    std::string path = dir ? std::string(dir) + "/" + file : std::string(file);
    // A path that would not fit the table path buffer is treated like a file that is not there.
    FILE *f = path.size() <= NJE_XLATE_PATH_MAX ? rje_open_regular(path.c_str()) : nullptr;
    if (!f) {
        std::fprintf(stderr, "RJE Load Translate tables: unable to open: %s\n", path.c_str());
        return 0;
    }
    size_t got = std::fread(fresh.get(), 1, NJE_XLATE_TABLE_SIZE, f);
    std::fclose(f);
    if (got < NJE_XLATE_TABLE_SIZE) {
        std::fprintf(stderr, "RJE Load Translate tables: short file: %s\n", path.c_str());
        return 0;
    }
    delete[] table;
    table = fresh.release();
    return 1;
}

// Writes into a bounded buffer; once something did not fit, nothing more is written.
struct Sink {
    char *out;
    size_t cap; // bytes available for text (the NUL is kept apart)
    size_t pos = 0;
    bool full = false;

    bool put(const char *p, size_t len)
    {
        if (full || len > cap - pos) {
            full = true;
            return false;
        }
        std::memcpy(out + pos, p, len);
        pos += len;
        return true;
    }
    bool put(char c) { return put(&c, 1); }
};

// Writes the double-byte segment p[0..seglen) (SO, code pairs, SI) as text.
void put_segment(Sink &sink, const unsigned char *p, size_t seglen)
{
    sink.put(static_cast<char>(ASCII_SPACE));
    for (size_t i = 1; i + 1 < seglen; i += 2) {
        euc_char ch = ibmtoeuc(static_cast<uint16_t>((p[i] << 8) | p[i + 1]));
        std::mbstate_t st{};
        size_t len = std::mbrlen(reinterpret_cast<const char *>(ch.c), 4, &st);
        if (len == 0 || len > 4) {
            // Not a character of this locale: stand-in like a code without a character.
            sink.put('-');
        } else {
            sink.put(reinterpret_cast<const char *>(ch.c), len);
        }
    }
    sink.put(static_cast<char>(ASCII_SPACE));
}

// Length of the segment starting with the SO at p: up to and including the first SI.
size_t segment_length(const unsigned char *p, size_t n)
{
    const void *si = std::memchr(p, EBCDIC_SI, n);
    return static_cast<const unsigned char *>(si) - p + 1;
}

} // namespace

int nje_load_ebcdic_tbl(const char *dir)
{
    return load_table(dir, "toebcdic.bin", nje_usr_AtoE);
}

int nje_load_ascii_tbl(const char *dir)
{
    return load_table(dir, "toascii.bin", nje_usr_EtoA);
}

const unsigned char *nje_EtoA_str(std::span<const unsigned char> field, std::span<char> dst)
{
    if (dst.empty()) {
        return field.data() + field.size();
    }
    Sink sink{dst.data(), dst.size() - 1};
    size_t deferred = 0;
    const size_t n = field.size();
    for (size_t i = 0; i < n;) {
        unsigned char b = field[i];
        if (b == EBCDIC_BLANK || b == 0x00) {
            deferred++;
            i++;
            continue;
        }
        for (; deferred > 0; deferred--) {
            sink.put(static_cast<char>(ASCII_SPACE));
        }
        size_t rest = n - i;
        if (b == EBCDIC_SO && dbcs_validate(&field[i], rest > INT_MAX ? INT_MAX : static_cast<int>(rest))) {
            size_t seglen = segment_length(&field[i], rest);
            put_segment(sink, &field[i], seglen);
            i += seglen;
            continue;
        }
        sink.put(static_cast<char>(nje_EtoA[b]));
        i++;
    }
    dst[sink.pos] = '\0';
    return field.data() + n;
}

const unsigned char *nje_EtoA_str(const unsigned char *src, char *dst, int n)
{
    if (n < 1) {
        dst[0] = '\0';
        return src;
    }
    size_t len = static_cast<size_t>(n);
    return nje_EtoA_str(std::span<const unsigned char>(src, len),
                        std::span<char>(dst, nje_etoa_str_bound(n)));
}

bool nje_dbcs_char(wchar_t wc, std::uint16_t *code)
{
    if (static_cast<unsigned long>(wc) <= 127)
        return false;
    char mb[MB_LEN_MAX];
    std::mbstate_t st{};
    const size_t len = std::wcrtomb(mb, wc, &st);
    if (len == static_cast<size_t>(-1) || len == 0 || rje_euclen(static_cast<unsigned char>(mb[0])) < 2)
        return false;
    if (code != nullptr) {
        euc_char ch{};
        std::memcpy(ch.c, mb, len < 4 ? len : 4);
        *code = euctoibm(ch);
    }
    return true;
}

const char *nje_AtoE_str(const char *src, unsigned char *dst, int n)
{
    if (n < 1) {
        return src;
    }
    const size_t cap = static_cast<size_t>(n);
    const size_t total = std::strlen(src); // mbrtowc never looks past the terminator

    // First pass: make sure the first n characters are valid in the locale. If they are not, the
    // string is translated byte by byte like single-byte text.
    {
        std::mbstate_t st{};
        size_t off = 0;
        for (size_t count = 0; count < cap && off < total; count++) {
            wchar_t wc;
            size_t len = std::mbrtowc(&wc, src + off, total - off, &st);
            if (len == static_cast<size_t>(-1) || len == static_cast<size_t>(-2)) {
                size_t i = 0;
                for (; i < cap && src[i]; i++) {
                    dst[i] = nje_AtoE[static_cast<unsigned char>(src[i])];
                }
                return src + i;
            }
            off += len;
        }
    }

    std::mbstate_t st{};
    size_t pos = 0;
    bool in_run = false;
    const char *end = src + total;
    for (size_t count = 0; count < cap && src < end; count++) {
        wchar_t wc;
        size_t len = std::mbrtowc(&wc, src, static_cast<size_t>(end - src), &st);
        uint16_t code = 0;
        if (nje_dbcs_char(wc, &code)) {
            // SO (when a run starts), the two code bytes, and room for the closing SI.
            size_t need = (in_run ? 0 : 1) + 2 + 1;
            if (pos + need > cap) {
                break;
            }
            if (!in_run) {
                dst[pos++] = EBCDIC_SO;
                in_run = true;
            }
            dst[pos++] = static_cast<unsigned char>(code >> 8);
            dst[pos++] = static_cast<unsigned char>(code);
        } else {
            size_t need = (in_run ? 1 : 0) + 1;
            if (pos + need > cap) {
                break;
            }
            if (in_run) {
                dst[pos++] = EBCDIC_SI;
                in_run = false;
            }
            dst[pos++] = nje_AtoE[static_cast<unsigned char>(*src)];
        }
        src += len;
    }
    if (in_run) {
        dst[pos++] = EBCDIC_SI; // room was kept for it
    }
    return src;
}

const char *nje_AtoE_str(const char *src, std::span<unsigned char> field)
{
    int n = field.size() > INT_MAX ? INT_MAX : static_cast<int>(field.size());
    return nje_AtoE_str(src, field.data(), n);
}

int nje_AEncmp(const char *ascii, const unsigned char *ebcdic, int n)
{
    for (int i = 0; i < n; i++) {
        auto a = static_cast<unsigned char>(ascii[i]);
        if (a == 0) {
            return (ebcdic[i] == EBCDIC_BLANK || ebcdic[i] == 0x00) ? 0 : 1;
        }
        if (a != nje_EtoA[ebcdic[i]]) {
            return 1;
        }
    }
    return 0;
}
