// Multibyte decoding of text input for the conversion (internal to convert/): bytes decoded one
// character at a time in the current locale. A byte that cannot be decoded (also every byte of an
// unfinished sequence before the byte that broke it) is a single-byte character by itself, so no
// input is ever lost.
#pragma once

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "convert/translate.h"

struct WChar {
    wchar_t wc = 0;
    unsigned char bytes[MB_LEN_MAX] = {};
    int nb = 0;
    bool raw = false; // an undecodable byte taken by itself

    unsigned long value() const { return raw ? bytes[0] : static_cast<unsigned long>(wc); }
    bool is_newline() const { return value() == '\n'; }
    bool is_tab() const { return value() == '\t'; }
    // Double-byte by nje_dbcs_char; code receives its IBM code (may be null).
    bool is_dbcs(std::uint16_t *code = nullptr) const { return !raw && nje_dbcs_char(wc, code); }
    // Index into the translate table: the byte of a single-byte character, else the low 8 bits.
    unsigned char table_index() const { return nb == 1 ? bytes[0] : static_cast<unsigned char>(wc & 0xFF); }
};

// A byte source: int get() gives the next byte or EOF; void unget() gives back the byte just taken.
struct Decoder {
    unsigned char queue[MB_LEN_MAX] = {}; // bytes of a broken sequence still to hand out
    int qhead = 0;
    int qlen = 0;

    // @return false at end of input.
    template <class Src> bool next(Src &src, WChar &ch)
    {
        if (qhead < qlen) {
            take_raw(ch, queue[qhead++]);
            return true;
        }
        unsigned char seq[MB_LEN_MAX];
        int k = 0;
        std::mbstate_t st{};
        for (;;) {
            const int b = src.get();
            if (b == EOF) {
                if (k == 0)
                    return false;
                hand_out(ch, seq, k);
                return true;
            }
            seq[k++] = static_cast<unsigned char>(b);
            const char c = static_cast<char>(b);
            wchar_t wc = 0;
            const std::size_t r = std::mbrtowc(&wc, &c, 1, &st);
            if (r == static_cast<std::size_t>(-2)) {
                if (k < MB_LEN_MAX)
                    continue;
                hand_out(ch, seq, k);
                return true;
            }
            if (r == static_cast<std::size_t>(-1)) {
                if (k > 1) {
                    src.unget(); // the byte that broke the sequence may begin a character
                    --k;
                }
                hand_out(ch, seq, k);
                return true;
            }
            ch.raw = false;
            ch.wc = wc;
            ch.nb = k;
            std::memcpy(ch.bytes, seq, static_cast<std::size_t>(k));
            return true;
        }
    }

  private:
    static void take_raw(WChar &ch, unsigned char b)
    {
        ch.raw = true;
        ch.nb = 1;
        ch.bytes[0] = b;
        ch.wc = b;
    }
    // First byte now, the others from the queue.
    void hand_out(WChar &ch, const unsigned char *seq, int k)
    {
        take_raw(ch, seq[0]);
        qhead = 0;
        qlen = k - 1;
        std::memcpy(queue, seq + 1, static_cast<std::size_t>(qlen));
    }
};

// A stdio stream as a byte source for the decoder.
struct StreamSource {
    std::FILE *f;
    int last = EOF;
    int get() { return last = std::getc(f); }
    void unget() { std::ungetc(last, f); }
};
