// Record-mode SNA compression transcribed step by step: room checks, full pieces first, runs of
// blanks from 2 and of other bytes from 3, literal strings cut at 60 and runs at 63, the initial
// string lengthened by the leading bytes that need no SCB of their own.
#include "tests/convert/reference_compress.h"

#include <cstddef>

int reference_compress(const unsigned char **in, unsigned char **out, const unsigned char *in_end,
                       const unsigned char *out_end, unsigned block_size)
{
    const unsigned char *rec = *in;
    if (in_end <= rec || in_end[-1] != 0x1E || in_end - rec > 256)
        return -1;
    const std::size_t n = static_cast<std::size_t>(in_end - rec) - 1; // data bytes; the IRS is at n
    unsigned char *o = *out;
    unsigned char *first_scb = nullptr;
    bool has_scb = false;
    auto room = [&](std::size_t k) { return o + k < out_end; };
    auto scb = [&](int v) {
        if (first_scb == nullptr)
            first_scb = o;
        *o++ = static_cast<unsigned char>(v);
        has_scb = true;
    };
    auto literal = [&](const unsigned char *p, std::size_t len) {
        if (len == 0)
            return;
        if (has_scb)
            scb(static_cast<int>(len));
        for (std::size_t k = 0; k < len; ++k)
            *o++ = p[k];
        has_scb = true;
    };
    const bool at_start = *out + block_size == out_end;
    if (!at_start && (!room(5) || !room(n + 1)))
        return 0;
    unsigned char *initial = at_start ? o++ : o - 2;
    *o++ = 0x35;
    unsigned char *count = o++;

    if (n <= 1) {
        if (!room(3))
            return 0;
        *o++ = n == 0 ? 0x40 : rec[0];
        *o++ = 0x01;
        *o++ = 0x1E;
        *initial = at_start ? 3 : 4;
        *count = 1;
        *in = in_end;
        *out = o;
        return 1;
    }
    const unsigned char *lit = rec; // P
    std::size_t lit_len = 0;        // L; the first byte waits uncounted
    int prev = rec[0];              // -1: no previous byte
    int run_byte = -1;              // -1: no run pending
    std::size_t run_len = 0;
    for (std::size_t i = 1;; ++i) {
        const bool irs = i == n;
        const int c = irs ? -1 : rec[i];
        if (lit_len == 60) { // full pieces first
            if (!room(62))
                return 0;
            scb(60);
            for (int k = 0; k < 60; ++k)
                *o++ = lit[k];
            lit += 60;
            lit_len = 0;
            prev = -1;
        } else if (run_len == 63) {
            if (!room(6))
                return 0;
            scb(run_byte == 0x40 ? 0xBF : 0xFF);
            if (run_byte != 0x40)
                *o++ = static_cast<unsigned char>(run_byte);
            run_byte = -1;
            run_len = 0;
            prev = -1;
        }
        if (!irs && c == prev && lit_len == 0) { // a run grows
            if (run_byte < 0) {
                run_byte = c;
                run_len = 1;
            }
            ++run_len;
        } else if (!irs && c == prev) {
            if (!room(lit_len + 1))
                return 0;
            if (c == 0x40 || (i + 1 < n && rec[i + 1] == c)) {
                literal(lit, lit_len - 1);
                lit_len = 0;
                run_byte = c;
                run_len = 2;
            } else {
                ++lit_len;
            }
        } else if (run_byte >= 0) { // a run ends
            if (!room(2))
                return 0;
            if (run_byte == 0x40 || run_len >= 3) {
                scb((run_byte == 0x40 ? 0x80 : 0xC0) + static_cast<int>(run_len));
                if (run_byte != 0x40)
                    *o++ = static_cast<unsigned char>(run_byte);
            } else {
                *o++ = static_cast<unsigned char>(run_byte); // two leading bytes: no SCB
                *o++ = static_cast<unsigned char>(run_byte);
            }
            run_byte = -1;
            run_len = 0;
            if (irs)
                break;
            lit = rec + i;
            lit_len = 1;
            prev = c;
            if (!room(2))
                return 0;
        } else {
            if (irs)
                break;
            if (i == 1) {
                lit_len = 2; // the waiting first byte is counted too
            } else {
                if (lit_len == 0)
                    lit = rec + i;
                ++lit_len;
            }
            prev = c;
            if (!room(lit_len + 1))
                return 0;
        }
    }
    if (!room(lit_len + 1))
        return 0;
    literal(lit, lit_len);
    if (!room(2))
        return 0;
    scb(0x01);
    *o++ = 0x1E;
    if (first_scb - (initial + 1) > 63)
        return -1;
    *initial = static_cast<unsigned char>(first_scb - (initial + 1));
    *count = static_cast<unsigned char>(n);
    *in = in_end;
    *out = o;
    return 1;
}
