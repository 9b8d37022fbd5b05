// SNA expansion of SCS blocks: string control bytes (literal strings, blank runs, repeated bytes) are
// expanded one record at a time; TRN and its count are taken out and the transparent bytes passed on
// as data. A record ends at NL, LF, IRS, FF or CR outside transparent data.
#include "convert/rje_expand.h"

#include "support/rje_util.h"

#include <algorithm>
#include <cstring>

int xlate_to_nls = 0;
FILE *utiltracefd = stderr;

namespace
{

bool ends_record(unsigned char b)
{
    return b == RJE_NL || b == RJE_LF || b == RJE_IRS || b == RJE_FF || b == RJE_CR;
}

// The byte written for a control that ends a record.
unsigned char record_end(unsigned char b)
{
    if (b == RJE_LF || b == RJE_IRS)
        return RJE_NL;
    if ((b == RJE_FF || b == RJE_CR) && xlate_to_nls != 0)
        return RJE_NL;
    return b;
}

const char *result_name(unsigned rc)
{
    return rc == EOR_MORE ? "EOR_MORE" : rc == EOR_EOB ? "EOR_EOB" : "EOB_SPANNED";
}

// Copies of a few bytes, the usual length of a string: inline, and exactly k bytes (the output
// must not be written past the bytes produced).
inline void copy_bytes(unsigned char *to, const unsigned char *from, unsigned k)
{
    if (k >= 8) {
        for (unsigned i = 0; i + 8 < k; i += 8)
            std::memcpy(to + i, from + i, 8);
        std::memcpy(to + k - 8, from + k - 8, 8);
    } else if (k >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + k - 4, from + k - 4, 4);
    } else {
        for (unsigned i = 0; i < k; ++i)
            to[i] = from[i];
    }
}

inline void fill_bytes(unsigned char *to, unsigned char b, unsigned k)
{
    if (k >= 8) {
        const std::uint64_t v = 0x0101010101010101u * b;
        for (unsigned i = 0; i + 8 < k; i += 8)
            std::memcpy(to + i, &v, 8);
        std::memcpy(to + k - 8, &v, 8);
    } else {
        for (unsigned i = 0; i < k; ++i)
            to[i] = b;
    }
}

// The expansion of one call. The context is worked on in a copy (ctx) that rje_expand stores back
// at the end: the output may alias anything, and the copy keeps it from being reloaded after every
// byte written.
struct Expander {
    const unsigned char *p;   // next input byte
    const unsigned char *end; // one past the block's last byte
    unsigned char *o;         // next output byte
    unsigned left;            // bytes this call may still produce
    rje_expand_ctx ctx;
    rje_expand_ctx *const c = &ctx;

    // Writes one byte; an active transparent count covers it. True when max has been reached.
    bool put(unsigned char b)
    {
        *o++ = b;
        if (c->trn_cnt > 0)
            --c->trn_cnt;
        return --left == 0;
    }
    // Writes k copies of b (k <= left). True when max has been reached.
    bool fill(unsigned char b, unsigned k)
    {
        fill_bytes(o, b, k);
        o += k;
        c->trn_cnt = static_cast<std::uint8_t>(c->trn_cnt > k ? c->trn_cnt - k : 0);
        left -= k;
        return left == 0;
    }
    // Loads the next SCB into the context, skipping SCBs 0x00 (empty strings). False at block end.
    bool next_scb()
    {
        while (p < end && *p == 0)
            ++p;
        if (p >= end)
            return false;
        c->scb = *p++;
        return true;
    }
    // The string ended with the record: load the next SCB if the block goes on.
    unsigned record_ended(unsigned n)
    {
        if (n > 0)
            return EOR_MORE;
        return next_scb() ? EOR_MORE : EOR_EOB;
    }

    unsigned raw();
    unsigned literal(unsigned n);
    unsigned blanks(unsigned n);
    unsigned repeat(unsigned n, const unsigned char *out_start);
    unsigned compressed(const unsigned char *out_start);
};

unsigned Expander::raw()
{
    while (p < end) {
        const unsigned char b = *p++;
        if (ends_record(b)) {
            put(record_end(b));
            return EOR_MORE;
        }
        if (put(b))
            return EOR_MORE;
    }
    return EOB_SPANNED;
}

// A string of n unchanged bytes; returns a result, or 3 to go on with the next SCB.
constexpr unsigned NEXT = 3;

unsigned Expander::literal(unsigned n)
{
    if (c->trn_cnt == 0 && c->trn_spanned) {
        // The count of a TRN that ended the previous string or block.
        c->trn_spanned = 0;
        c->trn_cnt = *p++;
        --n;
    } else if (c->trn_cnt == 0 && *p == RJE_TRN) {
        ++p;
        --n;
        if (p >= end) {
            c->scb = static_cast<unsigned char>(RJE_SCB_LITERAL | n);
            c->trn_spanned = 1;
            return EOB_SPANNED;
        }
        if (n == 0) {
            // The count byte is the first byte of the next string.
            c->trn_spanned = 1;
            if (!next_scb())
                return EOB_SPANNED;
            if ((c->scb & RJE_SCB_KIND_MASK) != RJE_SCB_LITERAL)
                return NEXT; // the count comes from that string
            if (p >= end)
                return EOB_SPANNED;
            c->trn_spanned = 0;
            c->trn_cnt = *p++;
            n = (c->scb & RJE_SCB_COUNT_MASK) - 1u;
        } else {
            c->trn_cnt = *p++;
            --n;
        }
    }
    c->scb = static_cast<unsigned char>(RJE_SCB_LITERAL | n);
    while (n > 0 && p < end) {
        if (c->trn_cnt > 0) {
            // Transparent bytes are data whatever their values: copy them in one go.
            const unsigned k = std::min({n, unsigned{c->trn_cnt}, left, static_cast<unsigned>(end - p)});
            copy_bytes(o, p, k);
            o += k;
            p += k;
            n -= k;
            c->trn_cnt = static_cast<std::uint8_t>(c->trn_cnt - k);
            left -= k;
            c->scb = static_cast<unsigned char>(RJE_SCB_LITERAL | n);
            if (left == 0) {
                if (n == 0)
                    next_scb();
                return EOR_MORE;
            }
            continue;
        }
        const unsigned char b = *p++;
        c->scb = static_cast<unsigned char>(RJE_SCB_LITERAL | --n);
        if (c->trn_cnt == 0 && ends_record(b)) {
            put(record_end(b));
            return record_ended(n);
        }
        if (put(b)) {
            if (n == 0)
                next_scb();
            return EOR_MORE;
        }
    }
    if (n > 0 || !next_scb())
        return EOB_SPANNED; // the string or the record goes on in the next block
    return NEXT;
}

unsigned Expander::blanks(unsigned n)
{
    if (c->trn_cnt == 0 && c->trn_spanned && n > 0) {
        // The first blank was the count of a spanned TRN.
        c->trn_spanned = 0;
        c->trn_cnt = EBCDIC_BLANK;
        --n;
    }
    if (n > 0) {
        const unsigned k = std::min(n, left);
        n -= k;
        c->scb = static_cast<unsigned char>(RJE_SCB_BLANKS | n);
        if (fill(EBCDIC_BLANK, k)) {
            if (n == 0)
                next_scb();
            return EOR_MORE;
        }
    }
    c->scb = RJE_SCB_BLANKS;
    return next_scb() ? NEXT : EOB_SPANNED;
}

// The repeated byte stays under p until the run is used up.
unsigned Expander::repeat(unsigned n, const unsigned char *out_start)
{
    const unsigned char b = *p;
    if (c->trn_cnt == 0 && c->trn_spanned && n > 0) {
        c->trn_spanned = 0;
        c->trn_cnt = b;
        --n;
    }
    if (n > 0 && c->trn_cnt == 0 && ends_record(b)) {
        // One control ends the record; the rest of the run stays for the next calls.
        c->scb = static_cast<unsigned char>(RJE_SCB_REPEAT | --n);
        put(b);
        if (n == 0)
            ++p;
        return record_ended(n);
    }
    if (o == out_start && n >= 2 && b == RJE_TRN && c->trn_cnt == 0) {
        // A record that begins with TRN, TRN: the second copy is the count.
        c->trn_cnt = RJE_TRN;
        n -= 2;
    }
    if (n > 0) {
        const unsigned k = std::min(n, left);
        n -= k;
        c->scb = static_cast<unsigned char>(RJE_SCB_REPEAT | n);
        if (fill(b, k)) {
            if (n == 0) {
                ++p;
                next_scb();
            }
            return EOR_MORE;
        }
    }
    c->scb = RJE_SCB_REPEAT;
    ++p;
    return next_scb() ? NEXT : EOB_SPANNED;
}

unsigned Expander::compressed(const unsigned char *out_start)
{
    for (;;) {
        if (p >= end)
            return EOB_SPANNED;
        const unsigned n = c->scb & RJE_SCB_COUNT_MASK;
        unsigned rc;
        switch (c->scb & RJE_SCB_KIND_MASK) {
        case RJE_SCB_LITERAL:
            rc = n == 0 ? (next_scb() ? NEXT : EOB_SPANNED) : literal(n);
            break;
        case RJE_SCB_BLANKS:
            rc = blanks(n);
            break;
        case RJE_SCB_REPEAT:
            rc = repeat(n, out_start);
            break;
        default:
            // Compaction is not supported: the rest of the block is skipped.
            p = end;
            rc = EOB_SPANNED;
            break;
        }
        if (rc != NEXT)
            return rc;
    }
}

void trace(FILE *f, unsigned rc, const rje_expand_ctx *c, const unsigned char *in,
           const unsigned char *in_end, const unsigned char *out, const unsigned char *out_end)
{
    std::fprintf(f, "rje_expand: %s scb=0x%02x trn_cnt=%u trn_spanned=%u\n", result_name(rc), c->scb,
                 static_cast<unsigned>(c->trn_cnt), static_cast<unsigned>(c->trn_spanned));
    std::fprintf(f, "rje_expand: input (%ld bytes)\n", static_cast<long>(in_end - in));
    nje_dumphex(in, static_cast<int>(in_end - in), f);
    std::fprintf(f, "rje_expand: output (%ld bytes)\n", static_cast<long>(out_end - out));
    nje_dumphex(out, static_cast<int>(out_end - out), f);
}

} // namespace

unsigned rje_expand(const unsigned char **in, unsigned char **out, unsigned max, const unsigned char *in_last,
                    rje_expand_ctx *ctct, int debug, const unsigned char *out_start)
{
    const unsigned char *in0 = *in;
    unsigned char *out0 = *out;
    Expander x{in0, in_last + 1, out0, max, *ctct};
    unsigned rc;
    if (max == 0)
        rc = EOR_MORE;
    else if (x.ctx.scb == 0)
        rc = x.raw();
    else
        rc = x.compressed(out_start);
    *ctct = x.ctx;
    if (debug)
        trace(utiltracefd != nullptr ? utiltracefd : stderr, rc, ctct, in0, x.p, out0, x.o);
    *in = x.p;
    *out = x.o;
    return rc;
}

const unsigned char *rje_expand_begin(rje_expand_ctx *ctct, const unsigned char *block, std::size_t size)
{
    if (size > 0 && (ctct->scb & RJE_SCB_COUNT_MASK) == 0) {
        ctct->scb = block[0];
        return block + 1;
    }
    return block;
}
