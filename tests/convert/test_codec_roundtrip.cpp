// The central properties of the codec: the compressor places exactly the bytes of the plain
// reference transcription, and records compressed one after another into blocks of any size from 300
// to 3811 bytes expand back to the same records, in order, each ended by NL. Records are random but
// biased towards runs and control bytes. The seed is printed; set JOBPUSH_CODEC_SEED to replay.
#include "convert/rje_compress.h"
#include "convert/rje_expand.h"
#include "convert/vector_scan.h"
#include "tests/convert/reference_compress.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{

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

// Compresses records into blocks of `size` bytes as the converter does (on 0, block full, or -1, the
// initial string would pass 63 bytes behind another record, the block is closed and the record goes
// again into a fresh one, which must take it), then expands the blocks one after another; no record
// may span two blocks. @return the records as they come back.
std::vector<Bytes> round_trip(const std::vector<Bytes> &records, unsigned size)
{
    std::vector<Bytes> blocks, back;
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
                return back;
            }
            blocks.emplace_back(block.data(), out);
            out = block.data();
        }
    }
    blocks.emplace_back(block.data(), out);
    rje_expand_ctx ctx;
    unsigned char buf[RJE_MAX_RECORD_DATA + 1];
    for (const Bytes &b : blocks) {
        EXPECT_TRUE(b.size() >= 6 && b[b.size() - 2] == 0x01 && b.back() == RJE_IRS);
        std::size_t length = 0;
        EXPECT_EQ(
            rje_expand_block(&ctx, b.data(), b.size(), buf, sizeof buf, length,
                             [&](const unsigned char *r, std::size_t n) { back.emplace_back(r, r + n); }),
            EOR_EOB);
    }
    return back;
}

std::uint64_t seed()
{
    static const std::uint64_t s = test_seed("JOBPUSH_CODEC_SEED");
    return s;
}

// The compressor, its padded form and its form with known masks place the reference's bytes and
// give its results, for records at block start and behind another record, in blocks from 16 bytes up
// (room checks of every kind), with the widest vectors the processor has and without them, round by
// round. The masks are those of a longer prefix, with random bits past it.
TEST(CodecRoundTrip, CompressorPlacesTheReferenceBytes)
{
    std::mt19937_64 rng(seed() + 1);
    auto pick = [&](std::uint64_t n) { return static_cast<std::size_t>(rng() % n); };
    for (int round = 0; round < 20000; ++round) {
        vector_scan::isa_cap() = round % 2 ? vector_scan::Isa::avx512 : vector_scan::Isa::base;
        Bytes rec = random_record(rng);
        rec.push_back(RJE_IRS);
        Bytes padded = rec;
        for (std::size_t k = 0; k < RJE_COMPRESS_READ_PAD; ++k)
            padded.push_back(static_cast<unsigned char>(pick(2) == 0 ? rec.back() : pick(256)));
        const std::size_t size = 16 + pick(400);
        RjeRecordMasks masks{};
        for (std::size_t j = 0; j < 128; ++j) {
            const bool known = j < padded.size();
            const bool pair = known ? j > 0 && padded[j] == padded[j - 1] : pick(2) == 0;
            const bool blank = known ? padded[j] == EBCDIC_BLANK : pick(2) == 0;
            masks.pair[j / 64] |= std::uint64_t{pair} << (j % 64);
            masks.blank[j / 64] |= std::uint64_t{blank} << (j % 64);
        }
        Bytes blocks[4] = {Bytes(size), Bytes(size), Bytes(size), Bytes(size)};
        std::size_t at = 0;
        if (pick(2) == 0) { // behind a previous record that ends in 01 1E
            at = 6 + pick(size - 6);
            for (Bytes &b : blocks) {
                b[at - 2] = 0x01;
                b[at - 1] = RJE_IRS;
            }
        }
        unsigned char *out[4] = {blocks[0].data() + at, blocks[1].data() + at, blocks[2].data() + at,
                                 blocks[3].data() + at};
        const unsigned char *in[2] = {rec.data(), rec.data()};
        const int want = reference_compress(&in[0], &out[0], rec.data() + rec.size(), blocks[0].data() + size,
                                            static_cast<unsigned>(size));
        const int plain = rje_compress(&in[1], &out[1], rec.data() + rec.size(), blocks[1].data() + size,
                                       static_cast<unsigned>(size), RJE_MODE_RECORD);
        const int fast = rje_compress_padded(padded.data(), padded.data() + rec.size(), &out[2],
                                             blocks[2].data(), blocks[2].data() + size);
        const int masked = rje_compress_masked(padded.data(), padded.data() + rec.size(), masks, &out[3],
                                               blocks[3].data(), blocks[3].data() + size);
        ASSERT_TRUE(plain == want && fast == want && masked == want)
            << "round " << round << ": " << want << plain << fast << masked;
        ASSERT_EQ(in[1], in[0]) << "round " << round;
        for (int k = 1; k < 4; ++k) {
            ASSERT_EQ(out[k] - blocks[k].data(), out[0] - blocks[0].data()) << "round " << round;
            ASSERT_TRUE(std::equal(blocks[0].data(), out[0], blocks[k].data())) << "round " << round;
        }
    }
    vector_scan::isa_cap() = vector_scan::Isa::avx512;
}

TEST(CodecRoundTrip, RecordsComeBackFromBlocksOfEverySize)
{
    std::mt19937_64 rng(seed());
    std::vector<unsigned> sizes{300, 301, 302, 317, 400, 512, 1024, 3811};
    for (int i = 0; i < 8; ++i)
        sizes.push_back(300 + static_cast<unsigned>(rng() % 3512));
    for (unsigned size : sizes) {
        std::vector<Bytes> records(1500);
        for (Bytes &r : records)
            r = random_record(rng);
        // The worst case: literal strings cut at 60 and nothing to compress; it fits every fresh block.
        records[0].clear();
        for (int i = 0; i < 85; ++i)
            records[0].insert(records[0].end(), {0xC1, 0x40, 0xC2});
        const std::vector<Bytes> got = round_trip(records, size);
        ASSERT_EQ(got.size(), records.size()) << "block size " << size;
        for (std::size_t i = 0; i < records.size(); ++i) {
            Bytes want = records[i].empty() ? Bytes{EBCDIC_BLANK} : records[i];
            want.push_back(RJE_NL);
            ASSERT_EQ(got[i], want) << "record " << i << ", block size " << size;
        }
    }
}

} // namespace
