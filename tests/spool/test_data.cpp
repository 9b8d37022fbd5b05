// Data file: record layout, write/read round trip, and reads of other record forms and damaged files.
#include "spool/rje_data.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/test_util.h"

namespace
{

// Writes `content` through a buffer from nje_data_allocate_buffer, as every caller must.
int write_record(FILE *f, const Bytes &content, int control, int format = 134)
{
    std::unique_ptr<unsigned char, decltype(&nje_data_free_buffer)> b(
        nje_data_allocate_buffer(content.size() + 1), &nje_data_free_buffer);
    std::copy(content.begin(), content.end(), b.get());
    return nje_data_write_next(f, b.get(), content.size(), control, content.size(), format);
}

// Reads one record into a buffer with guard bytes behind out_size: "rc control count : hex".
std::string read_one(FILE *f, size_t out_size = 4096)
{
    Bytes out(out_size + 16, 0xEE);
    int control = 0, count = 0;
    const int rc = nje_data_read_next(f, out.data(), out_size, &control, &count);
    EXPECT_EQ(Bytes(out.begin() + out_size, out.end()), Bytes(16, 0xEE)) << "written past out_size";
    return std::to_string(rc) + " " + std::to_string(control) + " " + std::to_string(count) + " : " +
           hex_of(out.data(), out.data() + std::max(rc, 0));
}

} // namespace

// The written layout, and everything written read back byte for byte as SNA records (control 0x80);
// empty records are passed over instead of reading as the end-of-data mark.
TEST(DataFile, LayoutAndRoundTrip)
{
    const Bytes head[] = {Bytes(80, 0xC1),     {},     hex("80534E41"),
                          hex("534E41800000"), {0xB0}, Bytes(3811, 0x1E)};
    temp_dir dir;
    FILE *f = nje_data_create((dir / "NJD1").c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(write_record(f, head[0], 0), 0);
    EXPECT_EQ(write_record(f, {}, 0xFF, 134 + 256), 0); // only the low 8 bits of the format count
    EXPECT_EQ(write_record(f, head[0], 0, 133), -1);
    for (const Bytes &rec : head)
        EXPECT_TRUE(rec.size() == 80 || write_record(f, rec, 0x30) == 0);
    EXPECT_EQ(nje_data_write_eod(f), 0);
    EXPECT_EQ(nje_data_close(f), 0);

    // An 88-byte NETDATA-sized record; control 0xFF and 0x30 give 0xB0.
    const Bytes file = bytes(slurp(dir / "NJD1")),
                want = hex("00000054 80534E41 C1*80 00000004 B0534E41 00000004 B0534E41");
    ASSERT_GT(file.size(), want.size());
    EXPECT_EQ(Bytes(file.begin(), file.begin() + want.size()), want);
    EXPECT_EQ(Bytes(file.end() - 4, file.end()), Bytes(4, 0));

    f = nje_data_open((dir / "NJD1").c_str());
    ASSERT_NE(f, nullptr);
    for (const Bytes &rec : head) {
        const std::string n = std::to_string(rec.size());
        if (rec.empty())
            continue;
        EXPECT_EQ(read_one(f), n + " 128 " + n + " : " + hex_of(rec.data(), rec.data() + rec.size()));
    }
    EXPECT_EQ(read_one(f), "0 0 0 : ");
    nje_data_close(f);
}

TEST(DataFile, OtherFormsAndDamagedRecords)
{
    // Marker first: count 9 - 5; control and count 3 - 1.
    InputFile forms(hex("00000009 534E41 01020304 F0F1 00000006 A0 0003 070809 00000000"));
    EXPECT_EQ(read_one(forms.f), "4 128 4 : 01 02 03 04 ");
    EXPECT_EQ(read_one(forms.f), "2 32 2 : 07 08 ");
    EXPECT_EQ(read_one(forms.f), "0 0 0 : ");

    for (const char *refused : {
             "00000006 10 0009 070809", // count 8 in a record of 3 data bytes
             "00000004 534E41 01",      // marker first, count -1
             "00000002 8000",           // shorter than any form
             "FFFFFFFF 80534E41 0102",  // 4 GiB claimed, file ends
             "00000008 80534E",         // truncated record
             "0000",                    // truncated length
             "",                        // no end-of-data mark
         }) {
        InputFile in(hex(refused));
        EXPECT_EQ(read_one(in.f).substr(0, 3), "-1 ") << refused;
    }
    InputFile big(hex("0000000C 80534E41 0102030405060708")); // 8 bytes for out_size 7
    EXPECT_EQ(read_one(big.f, 7).substr(0, 3), "-1 ");
}
