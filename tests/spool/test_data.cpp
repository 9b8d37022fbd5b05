// Data file: record layout, write/read round trip, and reads of other record forms and damaged files.
#include "spool/rje_data.h"

#include "spool_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

namespace
{

using data_buffer = std::unique_ptr<unsigned char, decltype(&nje_data_free_buffer)>;

data_buffer make_buffer(const bytes &content)
{
    data_buffer b(nje_data_allocate_buffer(std::max<size_t>(content.size(), 1)), &nje_data_free_buffer);
    std::copy(content.begin(), content.end(), b.get());
    return b;
}

struct read_result {
    int rc, control, count;
    bytes data;
};

// Reads one record into a buffer with guard bytes behind out_size.
read_result read_one(FILE *f, size_t out_size = 1024)
{
    bytes out(out_size + 16, 0xEE);
    read_result r{};
    r.rc = nje_data_read_next(f, out.data(), out_size, &r.control, &r.count);
    EXPECT_EQ(bytes(out.begin() + out_size, out.end()), bytes(16, 0xEE)) << "written past out_size";
    if (r.rc > 0)
        r.data.assign(out.begin(), out.begin() + r.rc);
    return r;
}

} // namespace

TEST(DataFile, RecordLayout)
{
    temp_path p;
    FILE *f = nje_data_create(p.c_str());
    ASSERT_NE(f, nullptr);
    bytes netdata(80, 0xC1);
    EXPECT_EQ(nje_data_write_next(f, make_buffer(netdata).get(), 80, 0, 80, 134), 0);
    EXPECT_EQ(nje_data_write_next(f, make_buffer({}).get(), 0, 0xFF, 1, 134 + 256), 0); // low 8 bits count
    EXPECT_EQ(nje_data_write_next(f, make_buffer(netdata).get(), 80, 0, 80, 133), -1);
    EXPECT_EQ(nje_data_write_eod(f), 0);
    EXPECT_EQ(nje_data_close(f), 0);

    bytes want = {0x00, 0x00, 0x00, 0x54, 0x80, 0x53, 0x4E, 0x41}; // 88-byte NETDATA-sized record
    want.insert(want.end(), netdata.begin(), netdata.end());
    const bytes rest = {0x00, 0x00, 0x00, 0x04, 0xB0, 'S', 'N', 'A', 0, 0, 0, 0};
    want.insert(want.end(), rest.begin(), rest.end());
    EXPECT_EQ(read_file(p.path), want);
}

// Whatever write_next writes, read_next gives back byte for byte with its control value; empty
// records are passed over instead of reading as the end-of-data mark.
TEST(DataFile, WriteReadRoundTrip)
{
    unsigned seed = std::random_device{}();
    if (const char *s = std::getenv("SPOOL_TEST_SEED"))
        seed = static_cast<unsigned>(std::strtoul(s, nullptr, 0));
    std::printf("SPOOL_TEST_SEED=%u\n", seed);
    SCOPED_TRACE("SPOOL_TEST_SEED=" + std::to_string(seed));
    std::mt19937 rng(seed);

    std::vector<std::pair<int, bytes>> written;
    temp_path p;
    FILE *f = nje_data_create(p.c_str());
    for (int i = 0; i < 300; ++i) {
        bytes rec(rng() % 5 == 0 ? 0 : rng() % 3811 + 1);
        for (auto &c : rec)
            c = static_cast<unsigned char>(rng() % 4 == 0 ? "SNA\x80"[rng() % 4] : rng());
        const int control = static_cast<int>(rng() % 256);
        ASSERT_EQ(nje_data_write_next(f, make_buffer(rec).get(), rec.size(), control, rec.size(), 134), 0);
        if (!rec.empty())
            written.emplace_back(0x80 | (control & 0x30), rec);
    }
    ASSERT_EQ(nje_data_write_eod(f), 0);
    ASSERT_EQ(nje_data_close(f), 0);

    f = nje_data_open(p.c_str());
    for (const auto &[control, rec] : written) {
        read_result r = read_one(f, 3811);
        ASSERT_EQ(r.rc, static_cast<int>(rec.size()));
        EXPECT_EQ(r.count, r.rc);
        EXPECT_EQ(r.control, control);
        ASSERT_EQ(r.data, rec);
    }
    EXPECT_EQ(read_one(f).rc, 0);
    nje_data_close(f);
}

TEST(DataFile, OtherFormsAndDamagedRecords)
{
    FILE *f = stream_of({0, 0, 0, 9, 'S',  'N',  'A',  1, 2, 3, 4, 0xF0, 0xF1, // marker first: count 9 - 5
                         0, 0, 0, 6, 0xA0, 0x00, 0x03, 7, 8, 9,                // control, count 3 - 1
                         0, 0, 0, 0});
    read_result r = read_one(f);
    EXPECT_EQ(r.control, 0x80);
    EXPECT_EQ(r.data, (bytes{1, 2, 3, 4}));
    r = read_one(f);
    EXPECT_EQ(r.control, 0x20);
    EXPECT_EQ(r.data, (bytes{7, 8}));
    EXPECT_EQ(read_one(f).rc, 0);
    std::fclose(f);

    const std::vector<bytes> refused = {
        {0, 0, 0, 6, 0x10, 0x00, 0x09, 7, 8, 9},             // count 8 in a record of 3 data bytes
        {0, 0, 0, 4, 'S', 'N', 'A', 1},                      // marker first, count -1
        {0, 0, 0, 6, 0x10, 0x00, 0x00, 7, 8, 9},             // count -1
        {0, 0, 0, 2, 0x80, 0x00},                            // shorter than any form
        {0xFF, 0xFF, 0xFF, 0xFF, 0x80, 'S', 'N', 'A', 1, 2}, // 4 GiB claimed, file ends
        {0, 0, 0, 8, 0x80, 'S', 'N'},                        // truncated record
        {0, 0},                                              // truncated length
        {},                                                  // no end-of-data mark
    };
    for (const auto &content : refused) {
        f = stream_of(content);
        EXPECT_EQ(read_one(f).rc, -1) << "record of " << content.size() << " bytes";
        std::fclose(f);
    }
    f = stream_of({0, 0, 0, 12, 0x80, 'S', 'N', 'A', 1, 2, 3, 4, 5, 6, 7, 8}); // 8 bytes for out_size 7
    EXPECT_EQ(read_one(f, 7).rc, -1);
    std::fclose(f);
}
