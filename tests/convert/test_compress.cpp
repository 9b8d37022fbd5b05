// The record compressor's answers beyond its golden blocks: the mode, and result 0 (no room), which
// leaves the positions and the block before them unchanged.
#include "convert/rje_compress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

namespace
{

using Bytes = std::vector<unsigned char>;

int compress(const Bytes &r, Bytes &block, unsigned char *&out, unsigned mode = RJE_MODE_RECORD)
{
    const unsigned char *in = r.data();
    const auto size = static_cast<unsigned>(block.size());
    return rje_compress(&in, &out, r.data() + r.size(), block.data() + size, size, mode);
}

} // namespace

TEST(Compress, OnlyTheLowBitsOfRecordModeCount)
{
    Bytes block(300);
    unsigned char *out = block.data();
    EXPECT_EQ(compress({0xC1, RJE_IRS}, block, out, 3), -1);
    EXPECT_EQ(compress({0xC1, RJE_IRS}, block, out, 0x102), 1);
}

TEST(Compress, RecordThatDoesNotFit)
{
    // 50 distinct bytes, then 10 blanks and 40 distinct bytes, in blocks of every size around the
    // point where the second record stops fitting.
    Bytes first, second(10, EBCDIC_BLANK);
    for (int k = 0; k < 50; ++k)
        first.push_back(static_cast<unsigned char>(0x81 + k));
    for (int k = 0; k < 40; ++k)
        second.push_back(static_cast<unsigned char>(0x81 + k));
    first.push_back(RJE_IRS);
    second.push_back(RJE_IRS);
    Bytes head(300);
    unsigned char *end_of_first = head.data();
    ASSERT_EQ(compress(first, head, end_of_first), 1);
    head.resize(static_cast<std::size_t>(end_of_first - head.data()));
    std::set<int> results;
    for (std::size_t size = 60; size < 120; ++size) {
        Bytes block = head;
        block.resize(size, 0xEE);
        unsigned char *out = block.data() + head.size();
        const int rc = compress(second, block, out);
        results.insert(rc);
        EXPECT_TRUE(rc == 1 || (out == block.data() + head.size() && std::equal(head.begin(), head.end(), block.begin())))
            << size;
    }
    EXPECT_EQ(results, (std::set<int>{0, 1}));
    // The worst case at block start fits the smallest block that must always take it.
    Bytes worst;
    for (int i = 0; i < 85; ++i)
        worst.insert(worst.end(), {0xC1, 0x40, 0xC2});
    worst.push_back(RJE_IRS);
    Bytes block(RJE_MIN_BLOCK_SIZE);
    unsigned char *out = block.data();
    EXPECT_EQ(compress(worst, block, out), 1);
    EXPECT_LE(static_cast<std::size_t>(out - block.data()), RJE_MAX_COMPRESSED_RECORD);
}
