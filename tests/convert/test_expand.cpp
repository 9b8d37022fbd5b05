// Expansion of SNA blocks one record at a time: the documented examples, transparent data, runs cut
// by max, strings and TRN counts that go on in the next block, malformed blocks, raw mode, traces.
#include "convert/rje_expand.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<unsigned char>;

Bytes hex(const std::string &s)
{
    Bytes r;
    std::istringstream words(s);
    for (std::string w; words >> w;)
        r.push_back(static_cast<unsigned char>(std::stoul(w, nullptr, 16)));
    return r;
}

// Expands blocks in turn with one context (each begun with rje_expand_begin, unless raw), one record
// per call; each record as hex, then its result: "C1 15 /1".
std::string expand(std::initializer_list<const char *> blocks, bool raw = false, unsigned max = 256)
{
    rje_expand_ctx ctx;
    std::string log;
    unsigned char buf[300];
    unsigned char *out = buf;
    for (const char *text : blocks) {
        const Bytes block = hex(text);
        const unsigned char *in = raw ? block.data() : rje_expand_begin(&ctx, block.data(), block.size());
        for (unsigned rc = EOR_MORE; rc == EOR_MORE;) {
            rc = rje_expand(&in, &out, max, &block.back(), &ctx, 0, buf);
            EXPECT_LE(out - buf, static_cast<long>(max));
            for (const unsigned char *p = buf; p < out; ++p) {
                log += "0123456789ABCDEF"[*p >> 4];
                log += "0123456789ABCDEF"[*p & 15];
                log += ' ';
            }
            log += "/" + std::to_string(rc) + (rc == EOB_SPANNED ? " | " : " ");
            if (rc != EOB_SPANNED)
                out = buf;
            if (max == 0 || log.size() > 4000)
                break;
        }
    }
    return log;
}

TEST(Expand, DocumentedExamples)
{
    EXPECT_EQ(expand({"05 35 03 C1 C2 C3 03 1E 35 04 83 01 C1 03 1E 35 06 C5 C4 01 C5 01 1E"}),
              "C1 C2 C3 15 /1 40 40 40 C1 15 /1 C4 C4 C4 C4 C4 C5 15 /2 ");
    // Transparent data keeps controls and TRN as data, also at the start of a record.
    EXPECT_EQ(expand({"07 35 05 C1 15 C2 1E C3 03 1E 35 04 C3 35 01 C1 01 1E"}),
              "C1 15 C2 1E C3 15 /1 35 35 35 C1 15 /2 ");
    EXPECT_EQ(expand({"06 C1 C2 15 C3 C4 25 02 C5 0C"}), "C1 C2 15 /1 C3 C4 15 /1 C5 0C /2 ");
    xlate_to_nls = 1;
    EXPECT_EQ(expand({"06 C1 C2 15 C3 C4 25 02 C5 0C", "03 C1 0D C2"}),
              "C1 C2 15 /1 C3 C4 15 /1 C5 15 /2 C1 15 /1 C2 /0 | ");
    xlate_to_nls = 0;
    EXPECT_EQ(expand({"05 35 03 C1 C2"}), "C1 C2 /0 | ");
    EXPECT_EQ(expand({"C1 C2 15 C3"}, true), "C1 C2 15 /1 C3 /0 | ");
    EXPECT_EQ(expand({"C1 C2 C3"}, true, 2), "C1 C2 /1 C3 /0 | ");
    // A run of a control: one ends the record, the rest stay for the next calls.
    EXPECT_EQ(expand({"C3 15"}), "15 /1 15 /1 15 /2 ");
}

// The context carries a string, a transparent count or a TRN whose count is still to come into the
// next block; a block begins with an SCB only where the previous block's string was used up.
TEST(Expand, RecordsGoOnInTheNextBlock)
{
    EXPECT_EQ(expand({"07 35 05 C1", "C2 15 C3 C4 01 1E"}), "C1 /0 | C1 C2 15 C3 C4 15 /2 ");
    EXPECT_EQ(expand({"03 C1 15 35", "03 02 15 25 01 1E"}), "C1 15 /1 /0 | 15 25 15 /2 ");
    // TRN ends a string: its count is the repeated byte, or the first blank of a blank run.
    EXPECT_EQ(expand({"01 35 C3 03 02 15 25 01 1E"}), "03 03 15 15 /1 15 /2 ");
    std::string blanks;
    for (int i = 0; i < 31; ++i)
        blanks += "40 ";
    EXPECT_EQ(expand({"01 35 A0 01 1E"}), blanks + "1E /0 | ");
}

TEST(Expand, MaxCutsRecordsAndRuns)
{
    EXPECT_EQ(expand({"02 35 0F 8A C5 C1 01 1E"}, false, 4),
              "40 40 40 40 /1 40 40 40 40 /1 40 40 C1 C1 /1 C1 C1 C1 15 /2 ");
    EXPECT_EQ(expand({"03 C1 C2 C3"}, false, 0), "/1 ");
}

TEST(Expand, MalformedBlocks)
{
    // SCB 0x00 is an empty string; compaction skips the rest of the block.
    EXPECT_EQ(expand({"02 C1 15 00 00 02 C2 15"}), "C1 15 /1 C2 15 /2 ");
    EXPECT_EQ(expand({"02 C1 15 00 00"}), "C1 15 /2 ");
    EXPECT_EQ(expand({"01 C1 45 C2 15"}), "C1 /0 | ");
}

TEST(Expand, TraceGoesToUtiltracefd)
{
    utiltracefd = std::tmpfile();
    rje_expand_ctx ctx;
    ctx.scb = 0x04;
    const Bytes b = hex("35 01 C1 1E");
    unsigned char buf[8], *out = buf;
    const unsigned char *in = b.data();
    EXPECT_EQ(rje_expand(&in, &out, 8, &b.back(), &ctx, 1, buf), EOR_EOB);
    std::string t(4096, '\0');
    std::rewind(utiltracefd);
    t.resize(std::fread(t.data(), 1, t.size(), utiltracefd));
    std::fclose(utiltracefd);
    utiltracefd = stderr;
    EXPECT_NE(t.find("rje_expand: EOR_EOB scb=0x00 trn_cnt=0"), std::string::npos) << t;
    EXPECT_NE(t.find("000000   3501c11e"), std::string::npos) << t;
    EXPECT_NE(t.find("000000   c115  "), std::string::npos) << t;
}

} // namespace
