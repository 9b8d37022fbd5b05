// Record-mode SNA compression transcribed step by step: room checks, full pieces first, runs of
// blanks from 2 and of other bytes from 3, literal strings cut at 60 and runs at 63, the initial
// string lengthened by the leading bytes that need no SCB of their own.
#include "tests/convert/reference_compress.h"

#include <cstddef>

namespace
{

struct State {
    unsigned char *out;       // write position
    const unsigned char *end; // block end
    unsigned char *first_scb = nullptr;
    bool has_scb = false;

    bool room(std::size_t k) const { return out + k < end; }
    void scb(unsigned char v)
    {
        if (first_scb == nullptr)
            first_scb = out;
        *out++ = v;
        has_scb = true;
    }
    void literal(const unsigned char *p, std::size_t n)
    {
        if (n == 0)
            return;
        if (has_scb)
            scb(static_cast<unsigned char>(n));
        for (std::size_t k = 0; k < n; ++k)
            *out++ = p[k];
        has_scb = true;
    }
};

} // namespace

int reference_compress(const unsigned char **in, unsigned char **out, const unsigned char *in_end,
                       const unsigned char *out_end, unsigned block_size)
{
    const unsigned char *rec = *in;
    if (in_end <= rec || in_end[-1] != 0x1E || in_end - rec > 256)
        return -1;
    const std::size_t n = static_cast<std::size_t>(in_end - rec) - 1; // data bytes; the IRS is at n
    State s{*out, out_end};
    const bool at_start = *out + block_size == out_end;
    unsigned char *initial;
    if (at_start) {
        initial = s.out++;
    } else {
        if (!s.room(5) || !s.room(n + 1))
            return 0;
        initial = s.out - 2;
    }
    *s.out++ = 0x35;
    unsigned char *count = s.out++;

    if (n <= 1) {
        if (!s.room(3))
            return 0;
        *s.out++ = n == 0 ? 0x40 : rec[0];
        *s.out++ = 0x01;
        *s.out++ = 0x1E;
        *initial = at_start ? 3 : 4;
        *count = 1;
        *in = in_end;
        *out = s.out;
        return 1;
    }

    const unsigned char *lit = rec; // P
    std::size_t lit_len = 0;        // L; the first byte waits uncounted
    int prev = rec[0];
    int run_byte = -1; // -1: no run pending
    std::size_t run_len = 0;
    for (std::size_t i = 1;; ++i) {
        const bool irs = i == n;
        const int c = irs ? -1 : rec[i];
        if (lit_len == 60) {
            if (!s.room(62))
                return 0;
            s.scb(60);
            for (int k = 0; k < 60; ++k)
                *s.out++ = lit[k];
            lit += 60;
            lit_len = 0;
            prev = -1;
        } else if (run_len == 63) {
            if (!s.room(6))
                return 0;
            if (run_byte == 0x40) {
                s.scb(0xBF);
            } else {
                s.scb(0xFF);
                *s.out++ = static_cast<unsigned char>(run_byte);
            }
            run_byte = -1;
            run_len = 0;
            prev = -1;
        }
        if (!irs && c == prev && lit_len == 0) {
            if (run_byte < 0) {
                run_byte = c;
                run_len = 1;
            }
            ++run_len;
        } else if (!irs && c == prev) {
            if (!s.room(lit_len + 1))
                return 0;
            if (c == 0x40 || (i + 1 < n && rec[i + 1] == c)) {
                s.literal(lit, lit_len - 1);
                lit_len = 0;
                run_byte = c;
                run_len = 2;
            } else {
                ++lit_len;
            }
        } else if (run_byte >= 0) {
            if (!s.room(2))
                return 0;
            if (run_byte == 0x40) {
                s.scb(static_cast<unsigned char>(0x80 + run_len));
            } else if (run_len >= 3) {
                s.scb(static_cast<unsigned char>(0xC0 + run_len));
                *s.out++ = static_cast<unsigned char>(run_byte);
            } else {
                *s.out++ = static_cast<unsigned char>(run_byte);
                *s.out++ = static_cast<unsigned char>(run_byte);
            }
            run_byte = -1;
            run_len = 0;
            if (irs)
                break;
            lit = rec + i;
            lit_len = 1;
            prev = c;
            if (!s.room(2))
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
            if (!s.room(lit_len + 1))
                return 0;
        }
    }
    if (!s.room(lit_len + 1))
        return 0;
    s.literal(lit, lit_len);
    if (!s.room(2))
        return 0;
    s.scb(0x01);
    *s.out++ = 0x1E;
    const std::ptrdiff_t initial_len = s.first_scb - (initial + 1);
    if (initial_len > 63)
        return -1;
    *initial = static_cast<unsigned char>(initial_len);
    *count = static_cast<unsigned char>(n);
    *in = in_end;
    *out = s.out;
    return 1;
}
