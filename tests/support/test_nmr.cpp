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

// The records made from every line of a compressed block, on one console: "result user length" each.
std::vector<std::string> from_block(const Bytes &block, int console, const char *conuids)
{
    std::vector<std::string> out;
    rje_expand_ctx ctx;
    ctx.scb = block[0];
    const unsigned char *in = block.data() + 1, *last = block.data() + block.size() - 1;
    for (int guard = 0; in <= last && guard < 100; ++guard) {
        unsigned char record[NMR_RECORD_SIZE + 8];
        std::memset(record, 0xEE, sizeof record);
        unsigned char *o = record;
        const int rc = rje_make_nmr(&in, &o, last, "NODE1", &ctx, console, 1, conuids, 0);
        EXPECT_EQ(record[NMR_RECORD_SIZE], 0xEE); // nothing past the record
        if (rc == 0)
            break;
        EXPECT_EQ(o - record, static_cast<long>(NMR_RECORD_SIZE));
        char user[16];
        nje_EtoA_str(record + NMR_USER, user, 8);
        out.push_back(std::to_string(rc) + " " + user + " " + std::to_string(record[NMR_ML]));
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

// The user of a line: the console user pattern's, remembered for the console; the $HASP100 job's; else
// "System". A console index past the table remembers nothing. (These also run end to end.)
TEST(NodalMessage, UserOfTheLine)
{
    std::memset(con_userid, 0, sizeof con_userid);
    EXPECT_EQ(from_block(block_of({"X $UXJOE", "PLAIN", "JOB 77 $HASP100 B"}), 3, "$UX"),
              (std::vector<std::string>{"1 JOE 9", "1 JOE 6", "2 B 18"})); // JOE without the new line
    EXPECT_EQ(from_block(block_of({"PLAIN"}), 4, ""), std::vector<std::string>{"2 System 6"});
    EXPECT_EQ(from_block(block_of({"X $UXAL", "PLAIN"}), 200, "$UX<rest"),
              (std::vector<std::string>{"1 AL 8", "2 System 6"}));
}

TEST(NodalMessage, LongLinesAndSpannedBlocks)
{
    const std::string long_line(200, 'Q');
    EXPECT_EQ(from_block(block_of({long_line}), 0, nullptr), // nothing of the line is lost
              (std::vector<std::string>{"1 System " + std::to_string(NMR_MSG_MAX),
                                        "2 System " + std::to_string(200 - NMR_MSG_MAX + 1)}));

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
