// SNA compression of EBCDIC records into blocks (record mode): TRN-framed records ended by IRS,
// written as literal strings (cut at 60 bytes), blank runs (from 2) and runs of other bytes (from 3),
// both cut at 63.
#include "convert/rje_compress.h"
#include "convert/rje_compress_block.h"

#include <cstring>

using namespace rje_compress_detail;

int rje_compress(const unsigned char **in, unsigned char **out, const unsigned char *in_end,
                 const unsigned char *out_end, unsigned block_size, unsigned mode)
{
    if ((mode & 0xFF) != RJE_MODE_RECORD || in == nullptr || out == nullptr || *in == nullptr ||
        *out == nullptr || in_end < *in || out_end < *out)
        return -1;
    const unsigned char *rec = *in;
    const std::size_t len = static_cast<std::size_t>(in_end - rec);
    // The record ends at its last byte, which must be the IRS; every byte before it is data.
    if (len == 0 || in_end[-1] != RJE_IRS || len - 1 > RJE_MAX_RECORD_DATA)
        return -1;
    const std::size_t data_len = len - 1;

    unsigned char *start = *out;
    const std::size_t room = static_cast<std::size_t>(out_end - start);
    if (room > block_size)
        return -1; // out lies before the block
    const bool at_block_start = room == block_size;
    if (!at_block_start && block_size - room < 2)
        return -1; // no previous record's final 0x01, IRS before out

    Block b{start, out_end};
    if (!b.fits(5))
        return 0;
    unsigned char *initial; // the initial SCB
    unsigned char *count;   // the TRN count byte
    if (at_block_start) {
        initial = start;
        ++b.w;
    } else {
        if (!b.fits(len))
            return 0;
        initial = start - 2; // the previous record's final 0x01
    }
    *b.w++ = RJE_TRN;
    count = b.w++;

    if (data_len <= 1) {
        if (!b.fits(3))
            return 0;
        *b.w++ = data_len == 0 ? EBCDIC_BLANK : rec[0];
        *b.w++ = RJE_SCB_END_RECORD;
        *b.w++ = RJE_IRS;
        *initial = at_block_start ? 3 : 4;
        *count = 1;
        *in = in_end;
        *out = b.w;
        return 1;
    }

    const unsigned char *lit = rec; // first byte of the pending literal string
    std::size_t lit_len = 0;        // the first byte waits uncounted
    int prev = rec[0];              // -1: no previous byte (just after a cut)
    unsigned char run_byte = 0;
    std::size_t run_len = 0; // 0: no run pending

    for (std::size_t i = 1; i < data_len; ++i) {
        const unsigned char c = rec[i];
        if (lit_len == LITERAL_CUT) {
            if (!b.fits(LITERAL_CUT + 2))
                return 0;
            b.scb(static_cast<unsigned char>(LITERAL_CUT));
            b.bytes(lit, LITERAL_CUT);
            lit += LITERAL_CUT;
            lit_len = 0;
            prev = -1;
        } else if (run_len == RUN_CUT) {
            if (!b.fits(6))
                return 0;
            b.run(run_byte, run_len);
            run_len = 0;
            prev = -1;
        }

        if (c == prev && lit_len == 0) {
            if (run_len == 0) {
                run_byte = c;
                run_len = 1;
            }
            ++run_len;
        } else if (c == prev) {
            if (!b.fits(lit_len + 1))
                return 0;
            if (c == EBCDIC_BLANK || (i + 1 < data_len && rec[i + 1] == c)) {
                b.literal(lit, lit_len - 1);
                lit_len = 0;
                run_byte = c;
                run_len = 2;
            } else {
                ++lit_len;
            }
        } else if (run_len != 0) {
            if (!b.fits(2))
                return 0;
            b.run(run_byte, run_len);
            run_len = 0;
            lit = rec + i;
            lit_len = 1;
            prev = c;
            if (!b.fits(2))
                return 0;
        } else {
            if (i == 1) {
                lit_len = 2; // the waiting first byte is counted too
            } else {
                if (lit_len == 0)
                    lit = rec + i;
                ++lit_len;
            }
            // The bytes that follow join too while each differs from the one before it.
            while (i + 1 < data_len && lit_len < LITERAL_CUT && rec[i + 1] != rec[i]) {
                ++i;
                ++lit_len;
            }
            prev = rec[i];
            if (!b.fits(lit_len + 1))
                return 0;
        }
    }

    // The IRS: full pieces first, then the pending run or literal string, then 0x01, IRS.
    if (lit_len == LITERAL_CUT) {
        if (!b.fits(LITERAL_CUT + 2))
            return 0;
        b.scb(static_cast<unsigned char>(LITERAL_CUT));
        b.bytes(lit, LITERAL_CUT);
        lit_len = 0;
    }
    if (run_len != 0) {
        if (!b.fits(run_len == RUN_CUT ? 6 : 2))
            return 0;
        b.run(run_byte, run_len);
    }
    if (!b.fits(lit_len + 1))
        return 0;
    b.literal(lit, lit_len);
    if (!b.fits(2))
        return 0;
    b.scb(RJE_SCB_END_RECORD);
    *b.w++ = RJE_IRS;

    const std::size_t initial_len = static_cast<std::size_t>(b.first_scb - (initial + 1));
    if (initial_len > MAX_INITIAL)
        return -1; // behind another record this can happen; the converter retries in a fresh block
    *initial = static_cast<unsigned char>(initial_len);
    *count = static_cast<unsigned char>(data_len);
    *in = in_end;
    *out = b.w;
    return 1;
}
