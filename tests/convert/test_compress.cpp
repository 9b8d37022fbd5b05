// Golden blocks of the record compressor, and its results 0 and -1.
#include "convert/rje_compress.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<unsigned char>;

// Tokens: "C1" one byte, "40*63" 63 blanks, "x59" 59 different bytes from 0x81 on (no runs).
Bytes hex(const std::string &s)
{
    Bytes r;
    std::istringstream words(s);
    for (std::string w; words >> w;) {
        if (w[0] == 'x') {
            for (unsigned long k = 0, n = std::stoul(w.substr(1)); k < n; ++k)
                r.push_back(static_cast<unsigned char>(0x81 + k));
            continue;
        }
        const std::size_t star = w.find('*');
        const unsigned long n = star == std::string::npos ? 1 : std::stoul(w.substr(star + 1));
        r.insert(r.end(), n, static_cast<unsigned char>(std::stoul(w.substr(0, star), nullptr, 16)));
    }
    return r;
}

// Compresses the records one after another into one block; the used bytes and the last result.
std::pair<Bytes, int> compress(std::initializer_list<const char *> records, unsigned size = 3811)
{
    Bytes block(size, 0xEE);
    unsigned char *out = block.data();
    int rc = 1;
    for (const char *text : records) {
        const Bytes r = hex(text);
        const unsigned char *in = r.data();
        rc = rje_compress(&in, &out, r.data() + r.size(), block.data() + size, size, RJE_MODE_RECORD);
        if (rc != 1)
            break;
        EXPECT_EQ(in, r.data() + r.size());
    }
    block.resize(static_cast<std::size_t>(out - block.data()));
    return {block, rc};
}

TEST(Compress, GoldenBlocks)
{
    const std::pair<const char *, const char *> golden[] = {
        {"1E", "03 35 01 40 01 1E"},
        {"C1 1E", "03 35 01 C1 01 1E"},
        {"C1 C2 C3 1E", "05 35 03 C1 C2 C3 01 1E"},
        {"C1 40 40 C2 1E", "03 35 04 C1 82 01 C2 01 1E"},
        {"C1 C1 C2 1E", "05 35 03 C1 C1 C2 01 1E"},
        {"C1 C1 C1 C2 1E", "02 35 04 C3 C1 01 C2 01 1E"},
        {"40 40 40 C1 C1 C1 C1 40 40 1E", "02 35 09 83 C4 C1 82 01 1E"},
        {"40*63 1E", "02 35 3F BF 01 1E"},
        {"40*64 1E", "02 35 40 BF 01 40 01 1E"},
        {"40*65 1E", "02 35 41 BF 82 01 1E"},
        {"40*255 1E", "02 35 FF BF BF BF BF 83 01 1E"},
        {"C1*65 1E", "02 35 41 FF C1 02 C1 C1 01 1E"},
        {"C1*66 1E", "02 35 42 FF C1 C3 C1 01 1E"},
        {"x59 1E", "3D 35 3B x59 01 1E"},
        {"x60 1E", "02 35 3C 3C x60 01 1E"},
        {"x61 1E", "02 35 3D 3C x60 01 BD 01 1E"},
        {"C1 C1 x59 1E", "3F 35 3D C1 C1 x59 01 1E"},
        {"C1 00 00 00 00 C2 1E", "03 35 06 C1 C4 00 01 C2 01 1E"},
        // Data bytes equal to the IRS are data: only the last byte ends the record.
        {"C1 1E C2 1E", "05 35 03 C1 1E C2 01 1E"},
        {"1E 1E 1E", "04 35 02 1E 1E 01 1E"},
        {"C1 1E 1E 1E 1E", "03 35 04 C1 C3 1E 01 1E"},
        {"C1 C2 1E 1E 1E", "06 35 04 C1 C2 1E 1E 01 1E"},
    };
    for (const auto &[in, want] : golden) {
        auto [block, rc] = compress({in});
        EXPECT_EQ(rc, 1) << in;
        EXPECT_EQ(block, hex(want)) << in;
    }
    EXPECT_EQ(compress({"C1 1E", "C1 C2 1E", "1E"}).first,
              hex("03 35 01 C1 05 1E 35 02 C1 C2 04 1E 35 01 40 01 1E"));
}

TEST(Compress, RejectedRecords)
{
    for (const char *in : {"C1 C2 C3", "1E C1", "", "C1*256 1E"})
        EXPECT_EQ(compress({in}).second, -1) << in;
    Bytes block(300);
    unsigned char *out = block.data();
    const Bytes r = hex("C1 1E");
    const unsigned char *in = r.data();
    EXPECT_EQ(rje_compress(&in, &out, r.data() + 2, block.data() + 300, 300, 3), -1);
    EXPECT_EQ(rje_compress(&in, &out, r.data() + 2, block.data() + 300, 300, 0x102), 1);
}

// A record that does not fit gives 0 and leaves the positions and the block before them unchanged.
// One whose initial string would pass 63 bytes behind another record gives -1 (the converter then
// starts a fresh block, where the same record always fits).
TEST(Compress, RecordThatDoesNotFit)
{
    const Bytes first = compress({"x50 1E"}).first, second = hex("40*10 x40 1E");
    std::set<int> results;
    for (unsigned size = 60; size < 120; ++size) {
        Bytes block = first;
        block.resize(size, 0xEE);
        unsigned char *out = block.data() + first.size();
        const unsigned char *in = second.data();
        const int rc = rje_compress(&in, &out, second.data() + second.size(), block.data() + size, size, 2);
        results.insert(rc);
        EXPECT_TRUE(rc == 1 || (out == block.data() + first.size() && in == second.data() &&
                                std::equal(first.begin(), first.end(), block.begin())))
            << size;
    }
    EXPECT_EQ(results, (std::set<int>{0, 1}));
    EXPECT_EQ(compress({"C1 1E", "C1 C1 x59 1E"}, 400), std::make_pair(hex("03 35 01 C1 01 1E"), -1));
    // The worst case at block start fits the smallest block that must always take it.
    std::string worst;
    for (int i = 0; i < 85; ++i)
        worst += "C1 40 C2 ";
    auto [block, rc] = compress({(worst + "1E").c_str()}, RJE_MIN_BLOCK_SIZE);
    EXPECT_EQ(rc, 1);
    EXPECT_LE(block.size(), RJE_MAX_COMPRESSED_RECORD);
}

} // namespace
