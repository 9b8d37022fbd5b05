// Data file: record layout, write/read round trip, and reads of other record forms and damaged files.
#include "spool/rje_data.h"

#include "spool_test_util.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{

// Writes `content` through a buffer from nje_data_allocate_buffer, as every caller must.
int write_record(FILE *f, const bytes &content, int control, int format = 134)
{
    std::unique_ptr<unsigned char, decltype(&nje_data_free_buffer)> b(
        nje_data_allocate_buffer(content.size() + 1), &nje_data_free_buffer);
    std::copy(content.begin(), content.end(), b.get());
    return nje_data_write_next(f, b.get(), content.size(), control, content.size(), format);
}

struct read_result {
    int rc, control, count;
    bytes data;
};

// Reads one record into a buffer with guard bytes behind out_size.
read_result read_one(FILE *f, size_t out_size = 4096)
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

// The written layout, and everything written read back byte for byte as SNA records (control 0x80);
// empty records are passed over instead of reading as the end-of-data mark.
TEST(DataFile, LayoutAndRoundTrip)
{
    const bytes netdata(80, 0xC1), sna = {'S', 'N', 'A', 0x80, 0, 0}, big(3811, 0x1E);
    const bytes head[] = {{}, {0x80, 'S', 'N', 'A'}, sna, {0xB0}, big};
    temp_path p;
    FILE *f = nje_data_create(p.c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(write_record(f, netdata, 0), 0);
    EXPECT_EQ(write_record(f, {}, 0xFF, 134 + 256), 0); // only the low 8 bits of the format count
    EXPECT_EQ(write_record(f, netdata, 0, 133), -1);
    for (const bytes &rec : head)
        EXPECT_EQ(write_record(f, rec, 0x30), 0);
    EXPECT_EQ(nje_data_write_eod(f), 0);
    EXPECT_EQ(nje_data_close(f), 0);

    const bytes file = read_file(p.path);
    bytes want = {0x00, 0x00, 0x00, 0x54, 0x80, 0x53, 0x4E, 0x41}; // 88-byte NETDATA-sized record
    want.insert(want.end(), netdata.begin(), netdata.end());
    const bytes empty = {0, 0, 0, 4, 0xB0, 'S', 'N', 'A'}; // control 0xFF and 0x30 give 0xB0
    want.insert(want.end(), empty.begin(), empty.end());
    want.insert(want.end(), empty.begin(), empty.end());
    ASSERT_GT(file.size(), want.size());
    EXPECT_EQ(bytes(file.begin(), file.begin() + want.size()), want);
    EXPECT_EQ(bytes(file.end() - 4, file.end()), bytes(4, 0));

    f = nje_data_open(p.c_str());
    ASSERT_NE(f, nullptr);
    for (const bytes *rec : {&netdata, &head[1], &head[2], &head[3], &head[4]}) {
        const read_result r = read_one(f);
        EXPECT_EQ(r.rc, static_cast<int>(rec->size()));
        EXPECT_EQ(r.count, r.rc);
        EXPECT_EQ(r.control, 0x80);
        EXPECT_EQ(r.data, *rec);
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
