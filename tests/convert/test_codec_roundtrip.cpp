// The central property of the codec: records compressed one after another into blocks of any size
// from 300 to 3811 bytes expand back to the same records, in order, each ended by NL. Records are
// random but biased towards runs and control bytes. The seed is printed; set JOBPUSH_CODEC_SEED to
// replay a failure.
#include "convert/rje_compress.h"
#include "convert/rje_expand.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace
{

using Bytes = std::vector<unsigned char>;

// One record of 0..255 data bytes built from pieces: blank runs, runs of another byte, controls
// (IRS, NL, LF, CR, FF, TRN, 0) alone or in runs, and prose-like literal bytes.
Bytes random_record(std::mt19937_64 &rng)
{
    static constexpr unsigned char controls[] = {0x1E, 0x15, 0x25, 0x0D, 0x0C, 0x35, 0x00};
    auto pick = [&](std::uint64_t n) { return static_cast<unsigned>(rng() % n); };
    const std::size_t len = pick(8) == 0 ? pick(4) : pick(256);
    Bytes r;
    while (r.size() < len) {
        const unsigned kind = pick(6);
        const unsigned char b = kind == 0 ? 0x40 : kind == 1 ? pick(256) : controls[pick(7)];
        unsigned n = 1 + pick(pick(4) == 0 ? 130 : 12);
        if (kind == 2 && pick(3) != 0)
            n = 1; // a control alone, else a run of it
        for (unsigned i = 0; i < n && r.size() < len; ++i)
            r.push_back(kind < 3 ? b : static_cast<unsigned char>(pick(3) == 0 ? 0x40 : 0x81 + pick(60)));
    }
    return r;
}

// Compresses records into blocks of `size` bytes as the converter does: on 0 (block full) or -1 (the
// initial string would pass 63 bytes behind another record) the block is closed and the record goes
// again into a fresh one, which must take it.
std::vector<Bytes> compress_all(const std::vector<Bytes> &records, unsigned size)
{
    std::vector<Bytes> blocks;
    Bytes block(size);
    unsigned char *out = block.data();
    for (Bytes in : records) {
        in.push_back(RJE_IRS);
        for (;;) {
            const unsigned char *p = in.data(), *before = out;
            const int rc =
                rje_compress(&p, &out, in.data() + in.size(), block.data() + size, size, RJE_MODE_RECORD);
            if (rc == 1) {
                EXPECT_TRUE(before != block.data() || out - before <= long{RJE_MAX_COMPRESSED_RECORD});
                break;
            }
            if ((rc != 0 && rc != -1) || before == block.data()) {
                ADD_FAILURE() << "record of " << in.size() - 1 << " bytes refused with " << rc;
                return blocks;
            }
            blocks.emplace_back(block.data(), out);
            out = block.data();
        }
    }
    if (out != block.data())
        blocks.emplace_back(block.data(), out);
    return blocks;
}

// Expands every block with a fresh context primed from its first byte.
std::vector<Bytes> expand_all(const std::vector<Bytes> &blocks)
{
    std::vector<Bytes> records;
    unsigned char buf[RJE_MAX_RECORD_DATA + 1];
    for (const Bytes &block : blocks) {
        EXPECT_TRUE(block.size() >= 6 && block[block.size() - 2] == 0x01 && block.back() == RJE_IRS);
        rje_expand_ctx ctx;
        ctx.scb = block[0];
        const unsigned char *in = block.data() + 1;
        for (unsigned rc = EOR_MORE; rc == EOR_MORE;) {
            unsigned char *out = buf;
            rc = rje_expand(&in, &out, sizeof buf, &block.back(), &ctx, 0, buf);
            EXPECT_NE(rc, EOB_SPANNED) << "block ends inside a record";
            records.emplace_back(buf, out);
        }
        EXPECT_EQ(in, block.data() + block.size());
    }
    return records;
}

TEST(CodecRoundTrip, RecordsComeBackFromBlocksOfEverySize)
{
    const char *env = std::getenv("JOBPUSH_CODEC_SEED");
    const std::uint64_t seed = env != nullptr ? std::strtoull(env, nullptr, 0) : std::random_device{}();
    std::printf("codec round trip seed: JOBPUSH_CODEC_SEED=%llu\n", static_cast<unsigned long long>(seed));
    std::mt19937_64 rng(seed);
    std::vector<unsigned> sizes{300, 301, 302, 317, 400, 512, 1024, 3811};
    for (int i = 0; i < 8; ++i)
        sizes.push_back(300 + static_cast<unsigned>(rng() % 3512));
    for (unsigned size : sizes) {
        std::vector<Bytes> records(1500);
        for (Bytes &r : records)
            r = random_record(rng);
        const std::vector<Bytes> got = expand_all(compress_all(records, size));
        ASSERT_EQ(got.size(), records.size()) << "block size " << size << ", seed " << seed;
        for (std::size_t i = 0; i < records.size(); ++i) {
            Bytes want = records[i].empty() ? Bytes{EBCDIC_BLANK} : records[i];
            want.push_back(RJE_NL);
            ASSERT_EQ(got[i], want) << "record " << i << ", block size " << size << ", seed " << seed;
        }
    }
}

} // namespace
