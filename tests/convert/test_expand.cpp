// Expansion of SNA blocks one record at a time: the documented examples, transparent data, runs cut
// by max, strings and TRN counts that span blocks, raw mode and the traces.
#include "convert/rje_expand.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

struct Step {
    Bytes record;
    unsigned rc;
};

// Expands block (whose first byte is the SCB, unless raw) record by record until EOB_SPANNED or
// EOR_EOB, restarting the output buffer for every record.
std::vector<Step> expand(const Bytes &block, bool raw = false, unsigned max = 256)
{
    rje_expand_ctx ctx;
    const unsigned char *in = block.data();
    if (!raw)
        ctx.scb = *in++;
    std::vector<Step> steps;
    unsigned char buf[300];
    for (int guard = 0; guard < 100; ++guard) {
        unsigned char *out = buf;
        unsigned rc = rje_expand(&in, &out, max, &block.back(), &ctx, 0, buf);
        EXPECT_LE(out - buf, static_cast<long>(max));
        steps.push_back({Bytes(buf, out), rc});
        if (rc != EOR_MORE)
            break;
    }
    return steps;
}

bool operator==(const Step &a, const Step &b) { return a.record == b.record && a.rc == b.rc; }
void PrintTo(const Step &s, std::ostream *os)
{
    *os << "{";
    for (unsigned char b : s.record)
        *os << std::hex << int(b) << " ";
    *os << "rc " << s.rc << "}";
}

TEST(Expand, ThreeCompressedRecords)
{
    const Bytes block{0x05, 0x35, 0x03, 0xC1, 0xC2, 0xC3, 0x03, 0x1E, 0x35, 0x04, 0x83, 0x01,
                      0xC1, 0x03, 0x1E, 0x35, 0x06, 0xC5, 0xC4, 0x01, 0xC5, 0x01, 0x1E};
    EXPECT_EQ(expand(block), (std::vector<Step>{{{0xC1, 0xC2, 0xC3, 0x15}, EOR_MORE},
                                                {{0x40, 0x40, 0x40, 0xC1, 0x15}, EOR_MORE},
                                                {{0xC4, 0xC4, 0xC4, 0xC4, 0xC4, 0xC5, 0x15}, EOR_EOB}}));
}

TEST(Expand, TransparentDataKeepsControls)
{
    // C1 15 C2 1E C3 as the compressor writes it, then a record whose data begins with TRN TRN TRN.
    const Bytes block{0x07, 0x35, 0x05, 0xC1, 0x15, 0xC2, 0x1E, 0xC3, 0x03, 0x1E,
                      0x35, 0x04, 0xC3, 0x35, 0x01, 0xC1, 0x01, 0x1E};
    EXPECT_EQ(expand(block), (std::vector<Step>{{{0xC1, 0x15, 0xC2, 0x1E, 0xC3, 0x15}, EOR_MORE},
                                                {{0x35, 0x35, 0x35, 0xC1, 0x15}, EOR_EOB}}));
}

TEST(Expand, ControlsWithoutTrn)
{
    const Bytes block{0x06, 0xC1, 0xC2, 0x15, 0xC3, 0xC4, 0x25, 0x02, 0xC5, 0x0C};
    EXPECT_EQ(expand(block), (std::vector<Step>{{{0xC1, 0xC2, 0x15}, EOR_MORE},
                                                {{0xC3, 0xC4, 0x15}, EOR_MORE},
                                                {{0xC5, 0x0C}, EOR_EOB}}));
    xlate_to_nls = 1;
    EXPECT_EQ(expand(block).back(), (Step{{0xC5, 0x15}, EOR_EOB}));
    EXPECT_EQ(expand({0x03, 0xC1, 0x0D, 0xC2}).front(), (Step{{0xC1, 0x15}, EOR_MORE}));
    xlate_to_nls = 0;
    EXPECT_EQ(expand({0x03, 0xC1, 0x0D, 0xC2}).front(), (Step{{0xC1, 0x0D}, EOR_MORE}));
    // A run of a control: one ends the record, the rest stay for the next calls.
    EXPECT_EQ(expand({0xC3, 0x15}),
              (std::vector<Step>{{{0x15}, EOR_MORE}, {{0x15}, EOR_MORE}, {{0x15}, EOR_EOB}}));
}

TEST(Expand, BlockEndingInsideARecord)
{
    EXPECT_EQ(expand({0x05, 0x35, 0x03, 0xC1, 0xC2}), (std::vector<Step>{{{0xC1, 0xC2}, EOB_SPANNED}}));
    // The string goes on in the next block: the context carries it.
    rje_expand_ctx ctx;
    ctx.scb = 0x07;
    const Bytes b1{0x35, 0x05, 0xC1}, b2{0xC2, 0x15, 0xC3, 0xC4, 0x01, 0x1E};
    unsigned char buf[16];
    unsigned char *out = buf;
    const unsigned char *in = b1.data();
    EXPECT_EQ(rje_expand(&in, &out, 16, &b1.back(), &ctx, 0, buf), EOB_SPANNED);
    in = b2.data();
    EXPECT_EQ(rje_expand(&in, &out, 16, &b2.back(), &ctx, 0, buf), EOR_EOB);
    EXPECT_EQ(Bytes(buf, out), (Bytes{0xC1, 0xC2, 0x15, 0xC3, 0xC4, 0x15}));
}

TEST(Expand, SpannedTrnCount)
{
    // TRN (first byte of what is left of a string) ends a block: the count is the next block's.
    rje_expand_ctx ctx;
    ctx.scb = 0x03;
    const Bytes b1{0xC1, 0x15, 0x35}, b2{0x03, 0x02, 0x15, 0x25, 0x01, 0x1E};
    unsigned char buf[16];
    unsigned char *out = buf;
    const unsigned char *in = b1.data();
    EXPECT_EQ(rje_expand(&in, &out, 16, &b1.back(), &ctx, 0, buf), EOR_MORE);
    EXPECT_EQ(Bytes(buf, out), (Bytes{0xC1, 0x15}));
    out = buf;
    EXPECT_EQ(rje_expand(&in, &out, 16, &b1.back(), &ctx, 0, buf), EOB_SPANNED);
    EXPECT_EQ(ctx.trn_spanned, 1);
    ctx.scb = b2[0];
    in = b2.data() + 1;
    EXPECT_EQ(rje_expand(&in, &out, 16, &b2.back(), &ctx, 0, buf), EOR_EOB);
    EXPECT_EQ(Bytes(buf, out), (Bytes{0x15, 0x25, 0x15}));
    // TRN ends a string and the count is the repeated byte, or the first blank of a blank run.
    EXPECT_EQ(expand({0x01, 0x35, 0xC3, 0x03, 0x02, 0x15, 0x25, 0x01, 0x1E}),
              (std::vector<Step>{{{0x03, 0x03, 0x15, 0x15}, EOR_MORE}, {{0x15}, EOR_EOB}}));
    // The count 0x40 leaves 31 blanks and makes the IRS after them data.
    Bytes blanks(31, 0x40);
    blanks.push_back(0x1E);
    EXPECT_EQ(expand({0x01, 0x35, 0xA0, 0x01, 0x1E}), (std::vector<Step>{{blanks, EOB_SPANNED}}));
}

TEST(Expand, MaxCutsRecordsAndRuns)
{
    // 10 blanks and 5 C1 with max 4: the runs go on from the context.
    const Bytes block{0x02, 0x35, 0x0F, 0x8A, 0xC5, 0xC1, 0x01, 0x1E};
    EXPECT_EQ(expand(block, false, 4), (std::vector<Step>{{Bytes(4, 0x40), EOR_MORE},
                                                          {Bytes(4, 0x40), EOR_MORE},
                                                          {{0x40, 0x40, 0xC1, 0xC1}, EOR_MORE},
                                                          {{0xC1, 0xC1, 0xC1, 0x15}, EOR_EOB}}));
    rje_expand_ctx ctx;
    ctx.scb = 0x03;
    const Bytes b{0xC1, 0xC2, 0xC3};
    unsigned char buf[4];
    unsigned char *out = buf;
    const unsigned char *in = b.data();
    EXPECT_EQ(rje_expand(&in, &out, 0, &b.back(), &ctx, 0, buf), EOR_MORE);
    EXPECT_EQ(out, buf);
}

TEST(Expand, MalformedBlocks)
{
    // SCB 0x00 inside a block is an empty string; compaction skips the rest of the block.
    EXPECT_EQ(expand({0x02, 0xC1, 0x15, 0x00, 0x00, 0x02, 0xC2, 0x15}),
              (std::vector<Step>{{{0xC1, 0x15}, EOR_MORE}, {{0xC2, 0x15}, EOR_EOB}}));
    EXPECT_EQ(expand({0x01, 0xC1, 0x45, 0xC2, 0x15}), (std::vector<Step>{{{0xC1}, EOB_SPANNED}}));
    EXPECT_EQ(expand({0x02, 0xC1, 0x15, 0x00, 0x00}), (std::vector<Step>{{{0xC1, 0x15}, EOR_EOB}}));
}

TEST(Expand, RawMode)
{
    EXPECT_EQ(expand({0xC1, 0xC2, 0x15, 0xC3}, true),
              (std::vector<Step>{{{0xC1, 0xC2, 0x15}, EOR_MORE}, {{0xC3}, EOB_SPANNED}}));
    EXPECT_EQ(expand({0xC1, 0xC2, 0xC3}, true, 2),
              (std::vector<Step>{{{0xC1, 0xC2}, EOR_MORE}, {{0xC3}, EOB_SPANNED}}));
}

TEST(Expand, TraceGoesToUtiltracefd)
{
    char *text = nullptr;
    size_t size = 0;
    FILE *f = open_memstream(&text, &size);
    ASSERT_NE(f, nullptr);
    utiltracefd = f;
    rje_expand_ctx ctx;
    ctx.scb = 0x04;
    const Bytes b{0x35, 0x01, 0xC1, 0x1E};
    unsigned char buf[8];
    unsigned char *out = buf;
    const unsigned char *in = b.data();
    EXPECT_EQ(rje_expand(&in, &out, 8, &b.back(), &ctx, 1, buf), EOR_EOB);
    utiltracefd = nullptr;
    std::fclose(f);
    const std::string t(text, size);
    std::free(text);
    EXPECT_NE(t.find("rje_expand: EOR_EOB scb=0x00 trn_cnt=0"), std::string::npos) << t;
    EXPECT_NE(t.find("000000   3501c11e"), std::string::npos) << t;
    EXPECT_NE(t.find("000000   c115  "), std::string::npos) << t;
}

} // namespace
