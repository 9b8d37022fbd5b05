// Golden blocks of the record compressor: each input record (data bytes and IRS) against the exact
// block bytes it must give, plus the results 0 and -1.
#include "convert/rje_compress.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes rep(unsigned char b, std::size_t n) { return Bytes(n, b); }
Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes r;
    for (const Bytes &p : parts)
        r.insert(r.end(), p.begin(), p.end());
    return r;
}
// n different non-blank bytes that never form a run.
Bytes distinct(std::size_t n)
{
    Bytes r;
    for (std::size_t i = 0; i < n; ++i)
        r.push_back(static_cast<unsigned char>(0x81 + i));
    return r;
}
const Bytes IRS{0x1E};

// Compresses each record in turn into one block of `size` bytes; returns the used block bytes and
// the result of the last call.
struct Result {
    Bytes block;
    int rc;
};
Result compress(std::initializer_list<Bytes> records, unsigned size = 3811)
{
    Bytes block(size, 0xEE);
    unsigned char *out = block.data();
    int rc = 1;
    for (const Bytes &r : records) {
        const unsigned char *in = r.data();
        rc = rje_compress(&in, &out, r.data() + r.size(), block.data() + size, size, RJE_MODE_RECORD);
        if (rc != 1)
            break;
        EXPECT_EQ(in, r.data() + r.size());
    }
    block.resize(static_cast<std::size_t>(out - block.data()));
    return {block, rc};
}

Bytes one(const Bytes &record)
{
    Result r = compress({record});
    EXPECT_EQ(r.rc, 1);
    return r.block;
}

TEST(Compress, ShortRecordsAndLiteralStrings)
{
    EXPECT_EQ(one({0x1E}), (Bytes{0x03, 0x35, 0x01, 0x40, 0x01, 0x1E}));
    EXPECT_EQ(one({0xC1, 0x1E}), (Bytes{0x03, 0x35, 0x01, 0xC1, 0x01, 0x1E}));
    EXPECT_EQ(one({0xC1, 0xC2, 0xC3, 0x1E}), (Bytes{0x05, 0x35, 0x03, 0xC1, 0xC2, 0xC3, 0x01, 0x1E}));
    EXPECT_EQ(one(cat({distinct(59), IRS})), cat({{0x3D, 0x35, 0x3B}, distinct(59), {0x01, 0x1E}}));
    EXPECT_EQ(one(cat({distinct(60), IRS})), cat({{0x02, 0x35, 0x3C, 0x3C}, distinct(60), {0x01, 0x1E}}));
    Bytes d61 = distinct(61);
    EXPECT_EQ(one(cat({d61, IRS})),
              cat({{0x02, 0x35, 0x3D, 0x3C}, distinct(60), {0x01, d61[60], 0x01, 0x1E}}));
}

TEST(Compress, Runs)
{
    EXPECT_EQ(one({0xC1, 0x40, 0x40, 0xC2, 0x1E}),
              (Bytes{0x03, 0x35, 0x04, 0xC1, 0x82, 0x01, 0xC2, 0x01, 0x1E}));
    EXPECT_EQ(one({0xC1, 0xC1, 0xC2, 0x1E}), (Bytes{0x05, 0x35, 0x03, 0xC1, 0xC1, 0xC2, 0x01, 0x1E}));
    EXPECT_EQ(one({0xC1, 0xC1, 0xC1, 0xC2, 0x1E}),
              (Bytes{0x02, 0x35, 0x04, 0xC3, 0xC1, 0x01, 0xC2, 0x01, 0x1E}));
    EXPECT_EQ(one({0x40, 0x40, 0x40, 0xC1, 0xC1, 0xC1, 0xC1, 0x40, 0x40, 0x1E}),
              (Bytes{0x02, 0x35, 0x09, 0x83, 0xC4, 0xC1, 0x82, 0x01, 0x1E}));
    EXPECT_EQ(one({0xC1, 0x00, 0x00, 0x00, 0x00, 0xC2, 0x1E}),
              (Bytes{0x03, 0x35, 0x06, 0xC1, 0xC4, 0x00, 0x01, 0xC2, 0x01, 0x1E}));
}

TEST(Compress, RunsAreCutAt63)
{
    EXPECT_EQ(one(cat({rep(0x40, 63), IRS})), (Bytes{0x02, 0x35, 0x3F, 0xBF, 0x01, 0x1E}));
    EXPECT_EQ(one(cat({rep(0x40, 64), IRS})), (Bytes{0x02, 0x35, 0x40, 0xBF, 0x01, 0x40, 0x01, 0x1E}));
    EXPECT_EQ(one(cat({rep(0x40, 65), IRS})), (Bytes{0x02, 0x35, 0x41, 0xBF, 0x82, 0x01, 0x1E}));
    EXPECT_EQ(one(cat({rep(0xC1, 65), IRS})),
              (Bytes{0x02, 0x35, 0x41, 0xFF, 0xC1, 0x02, 0xC1, 0xC1, 0x01, 0x1E}));
    EXPECT_EQ(one(cat({rep(0xC1, 66), IRS})), (Bytes{0x02, 0x35, 0x42, 0xFF, 0xC1, 0xC3, 0xC1, 0x01, 0x1E}));
    // 255 blanks: four full runs and a run of three.
    EXPECT_EQ(one(cat({rep(0x40, 255), IRS})),
              (Bytes{0x02, 0x35, 0xFF, 0xBF, 0xBF, 0xBF, 0xBF, 0x83, 0x01, 0x1E}));
}

TEST(Compress, AppendedRecordRewritesThePreviousFinalScb)
{
    Result r = compress({{0xC1, 0x1E}, {0xC1, 0xC2, 0x1E}, {0x1E}});
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.block, (Bytes{0x03, 0x35, 0x01, 0xC1, 0x05, 0x1E, 0x35, 0x02, 0xC1, 0xC2, 0x04, 0x1E, 0x35,
                              0x01, 0x40, 0x01, 0x1E}));
}

// Data bytes equal to IRS (or any other control) are data: only the last byte ends the record.
TEST(Compress, IrsInsideTheDataIsKept)
{
    EXPECT_EQ(one({0xC1, 0x1E, 0xC2, 0x1E}), (Bytes{0x05, 0x35, 0x03, 0xC1, 0x1E, 0xC2, 0x01, 0x1E}));
    EXPECT_EQ(one({0x1E, 0x1E, 0x1E}), (Bytes{0x04, 0x35, 0x02, 0x1E, 0x1E, 0x01, 0x1E}));
    EXPECT_EQ(one({0xC1, 0x1E, 0x1E, 0x1E, 0x1E}),
              (Bytes{0x03, 0x35, 0x04, 0xC1, 0xC3, 0x1E, 0x01, 0x1E}));
    // A pair of equal bytes just before the record end stays literal, even when it equals the IRS.
    EXPECT_EQ(one({0xC1, 0xC2, 0x1E, 0x1E, 0x1E}),
              (Bytes{0x06, 0x35, 0x04, 0xC1, 0xC2, 0x1E, 0x1E, 0x01, 0x1E}));
}

TEST(Compress, LongInitialStringGoesToAFreshBlock)
{
    Bytes rec = cat({{0xC1, 0xC1}, distinct(59), IRS});
    Bytes at_start = one(rec);
    EXPECT_EQ(at_start[0], 0x3F);
    // Appended it would need a 64-byte initial string: the record asks for a fresh block.
    Bytes block(400, 0xEE);
    unsigned char *out = block.data();
    const unsigned char *in = rec.data();
    const Bytes first{0xC1, 0x1E};
    const unsigned char *fin = first.data();
    ASSERT_EQ(rje_compress(&fin, &out, first.data() + 2, block.data() + 400, 400, 2), 1);
    const Bytes before(block.begin(), block.begin() + 6);
    EXPECT_EQ(rje_compress(&in, &out, rec.data() + rec.size(), block.data() + 400, 400, 2), 0);
    EXPECT_EQ(out, block.data() + 6);
    EXPECT_EQ(in, rec.data());
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 6), before);
}

TEST(Compress, RejectedInputs)
{
    EXPECT_EQ(compress({{0xC1, 0xC2, 0xC3}}).rc, -1); // no IRS at the end
    EXPECT_EQ(compress({{0x1E, 0xC1}}).rc, -1);       // the IRS is not the last byte
    EXPECT_EQ(compress({{}}).rc, -1);
    EXPECT_EQ(compress({cat({rep(0xC1, 256), IRS})}).rc, -1); // more data than the count can say
    Bytes block(300);
    unsigned char *out = block.data();
    const Bytes rec{0xC1, 0x1E};
    const unsigned char *in = rec.data();
    EXPECT_EQ(rje_compress(&in, &out, rec.data() + 2, block.data() + 300, 300, 3), -1);
    EXPECT_EQ(rje_compress(&in, &out, rec.data() + 2, block.data() + 300, 300, 0x102), 1);
}

// A record that does not fit gives 0 and leaves positions and the block before them as they were.
TEST(Compress, FullBlock)
{
    const Bytes first = cat({distinct(50), IRS});
    const Bytes second = cat({rep(0x40, 10), distinct(40), IRS});
    Bytes ref = compress({first}, 300).block; // 55 bytes
    int zeros = 0, ones = 0;
    for (unsigned size = 50; size < 140; ++size) {
        Bytes block(size, 0xEE);
        unsigned char *out = block.data();
        const unsigned char *in = first.data();
        if (rje_compress(&in, &out, first.data() + first.size(), block.data() + size, size, 2) == 0) {
            EXPECT_LT(size, 60u);
            continue;
        }
        in = second.data();
        int rc = rje_compress(&in, &out, second.data() + second.size(), block.data() + size, size, 2);
        if (rc == 0) {
            ++zeros;
            EXPECT_EQ(out, block.data() + ref.size());
            EXPECT_EQ(in, second.data());
            EXPECT_EQ(Bytes(block.begin(), block.begin() + static_cast<long>(ref.size())), ref);
        } else {
            ++ones;
            ASSERT_EQ(rc, 1);
            EXPECT_LE(out, block.data() + size);
        }
    }
    EXPECT_GT(zeros, 0);
    EXPECT_GT(ones, 0);
    // At block start, the worst-case record always fits a block of the minimum size.
    Bytes worst;
    for (int i = 0; i < 85; ++i)
        worst.insert(worst.end(), {0xC1, 0x40, 0xC2});
    worst.push_back(0x1E);
    Result r = compress({worst}, RJE_MIN_BLOCK_SIZE);
    EXPECT_EQ(r.rc, 1);
    EXPECT_LE(r.block.size(), RJE_MAX_COMPRESSED_RECORD);
}

} // namespace
