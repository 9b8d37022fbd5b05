// Nodal message records from console lines: the record layout, the user chosen for a line, the
// blocks that end inside a line, and lines longer than a record takes.
#include "support/rje_nmr.h"

#include <gtest/gtest.h>

#include <cstring>

#include "convert/rje_compress.h"
#include "tests/test_util.h"

namespace
{

// One block holding the given lines as records (SNA-compressed, as jobpush writes them).
Bytes block_of(const std::vector<std::string> &lines)
{
    Bytes block(4096);
    unsigned char *out = block.data();
    for (const std::string &line : lines) {
        const Bytes rec = bytes(ebcdic(line) + "\x1E");
        const unsigned char *in = rec.data();
        EXPECT_EQ(rje_compress(&in, &out, rec.data() + rec.size(), block.data() + block.size(),
                               static_cast<unsigned>(block.size()), RJE_MODE_RECORD),
                  1);
    }
    block.resize(static_cast<std::size_t>(out - block.data()));
    return block;
}

std::string field(const unsigned char *p, std::size_t n)
{
    char text[64];
    nje_EtoA_str(p, text, static_cast<int>(n));
    return text;
}

struct Nmr {
    int result;
    std::string user;
    unsigned length;
    Bytes record;
};

// The records made from every line of a compressed block, on one console.
std::vector<Nmr> from_block(const Bytes &block, int console, const char *conuids)
{
    std::vector<Nmr> out;
    rje_expand_ctx ctx;
    ctx.scb = block[0];
    const unsigned char *in = block.data() + 1;
    const unsigned char *last = block.data() + block.size() - 1;
    for (int guard = 0; in <= last && guard < 100; ++guard) {
        unsigned char record[NMR_RECORD_SIZE + 8];
        std::memset(record, 0xEE, sizeof record);
        unsigned char *o = record;
        const int rc = rje_make_nmr(&in, &o, last, "NODE1", &ctx, console, 1, conuids, 0);
        EXPECT_EQ(record[NMR_RECORD_SIZE], 0xEE); // nothing past the record
        if (rc == 0)
            break;
        EXPECT_EQ(o - record, static_cast<long>(NMR_RECORD_SIZE));
        out.push_back(
            {rc, field(record + NMR_USER, 8), record[NMR_ML], Bytes(record, record + NMR_RECORD_SIZE)});
    }
    return out;
}

} // namespace

TEST(NodalMessage, PlainLineGoldenRecord)
{
    const Bytes line = {0xC1, 0xC2, 0xC3};
    const unsigned char *in = line.data();
    unsigned char record[NMR_RECORD_SIZE];
    unsigned char *out = record;
    rje_expand_ctx ctx;
    ASSERT_EQ(rje_make_nmr(&in, &out, line.data() + line.size(), "NODE1", &ctx, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(in, line.data() + line.size());
    EXPECT_EQ(out, record + NMR_RECORD_SIZE);
    // flag ... NMRTONOD, NMRTOQUL, "System", NMRFMNOD, NMRFMQUL, the text
    EXPECT_EQ(Bytes(record, record + NMR_RECORD_SIZE),
              hex("01770403 D5D6C4C5F1000000 00 E2A8A2A3859400 00 D5D6C4C5F1000000 01 C1C2C3 00*129"));

    // An empty line builds nothing; the output position stays.
    const unsigned char nul[2] = {0, 0};
    in = nul;
    out = record;
    EXPECT_EQ(rje_make_nmr(&in, &out, nul + 2, "NODE1", &ctx, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(out, record);
}

TEST(NodalMessage, UserOfTheLine)
{
    // (The $HASP100 job, the console user pattern and the remembered user also run end to end.)
    std::memset(con_userid, 0, sizeof con_userid);
    const std::vector<Nmr> on3 = from_block(block_of({"X $UXJOE", "PLAIN", "JOB 77 $HASP100 B"}), 3, "$UX");
    ASSERT_EQ(on3.size(), 3u);
    EXPECT_STREQ(con_userid[3], "JOE"); // without the line's new line
    EXPECT_EQ(on3[1].user, "JOE");
    EXPECT_EQ(on3[2].user, "B");
    EXPECT_EQ(on3[2].result, 2); // the block's last record
    EXPECT_EQ(from_block(block_of({"PLAIN"}), 4, "").at(0).user, "System");
    // A console index past the table remembers nothing.
    const std::vector<Nmr> far = from_block(block_of({"X $UXAL", "PLAIN"}), 200, "$UX<rest");
    EXPECT_EQ(far.at(0).user, "AL");
    EXPECT_EQ(far.at(1).user, "System");
}

TEST(NodalMessage, LongLinesAndSpannedBlocks)
{
    const std::string long_line(200, 'Q');
    std::vector<Nmr> recs = from_block(block_of({long_line}), 0, nullptr);
    ASSERT_EQ(recs.size(), 2u); // nothing of the line is lost
    EXPECT_EQ(recs[0].length, NMR_MSG_MAX);
    EXPECT_EQ(recs[1].length, 200 - NMR_MSG_MAX + 1);

    const Bytes plain(200, 0xD8);
    const unsigned char *in = plain.data();
    unsigned char record[NMR_RECORD_SIZE];
    unsigned char *out = record;
    rje_expand_ctx ctx;
    EXPECT_EQ(rje_make_nmr(&in, &out, plain.data() + plain.size(), "N", &ctx, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(in, plain.data() + NMR_MSG_MAX);
    EXPECT_EQ(record[NMR_ML], NMR_MSG_MAX);

    // A block that ends inside a line builds nothing.
    const Bytes cut = {0x05, 0x35, 0x04, 0xC1, 0xC2, 0xC3};
    EXPECT_TRUE(from_block(cut, 0, nullptr).empty());
}
