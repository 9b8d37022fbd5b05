// Conversion of files into IBM records: text lines, binary chunks, length-prefixed records and
// transparent chunks, checked by reading the data file back and expanding its blocks.
#include "test_convert_util.h"

#include <clocale>
#include <cstring>
#include <unistd.h>

#include "convert/translate.h"

using namespace convert_test;

namespace
{

// convert_read_line over a whole file: every record the reader gives, IRS included.
std::vector<Bytes> read_lines(const Bytes &input, int lrecl, int tabs, int fixed)
{
    InputFile in(input);
    std::vector<Bytes> out;
    unsigned char buf[300];
    for (int len; (len = convert_read_line(in.f, buf, lrecl, tabs, fixed)) >= 0;) {
        out.emplace_back(buf, buf + len);
    }
    return out;
}

// Records written as hex digits, "|" between records.
std::vector<Bytes> hex_records(const std::string &hex)
{
    std::vector<Bytes> recs;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        if (i == 0 || hex[i] == '|') {
            recs.emplace_back();
            i += hex[i] == '|' ? 1 : 0;
        }
        recs.back().push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return recs;
}

} // namespace

TEST(ConvertReadLine, RecordsOfLines)
{
    const struct {
        std::string in;
        int lrecl, tabs, fixed;
        const char *want; // IRS included
    } cases[] = {
        {"AB\n", 80, 8, 0, "C1C21E"},
        {"\n", 80, 8, 0, "4040401E"},
        {"AB\n", 5, 8, 1, "C1C24040401E"},
        {"\n", 4, 8, 1, "404040401E"},
        {"A\nB", 80, 8, 0, "C11E|C21E"}, // a last line without newline; a final newline adds none
        {"A\n", 80, 8, 0, "C11E"},
        {"", 80, 8, 0, ""},
        {"\n", 2, 8, 0, "40401E"},          // no record is longer than lrecl, also the empty line
        {"AB  \n", 80, 8, 0, "C1C240401E"}, // spaces become EBCDIC blanks, which stay
        {"A\tB\n", 80, 8, 0, "C140404040404040C21E"},
        {"A\tB\n", 80, 0, 0, "C105C21E"},
        {"ABCD\tE\n", 4, 8, 0, "C1C2C3C41E"}, // a tab in a full record writes nothing
        {"ABC\tE\n", 6, 4, 0, "C1C2C340C51E"},
        {"ABCD\tE\n", 6, 8, 0, "C1C2C3C440401E"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(read_lines(bytes(c.in), c.lrecl, c.tabs, c.fixed), hex_records(c.want)) << c.in;
    }
    // 100 characters with lrecl 80: the first 80 stay, the next line is read from its start.
    auto recs = read_lines(bytes(std::string(80, 'a') + std::string(20, 'b') + "\nC\n"), 80, 8, 0);
    ASSERT_EQ(recs.size(), 2u);
    Bytes first(80, 0x81);
    first.push_back(0x1E);
    EXPECT_EQ(recs[0], first);
    EXPECT_EQ(recs[1], (Bytes{0xC3, 0x1E}));
}

TEST(ConvertReadLine, OnlyTrailingAscii20IsTrimmed)
{
    // A replacement table that yields 0x20: trailing 0x20 bytes go, unless the record is only 0x20.
    unsigned char table[256];
    std::memcpy(table, nje_AtoE, sizeof table);
    table['x'] = 0x20;
    unsigned char *saved = nje_usr_AtoE;
    nje_usr_AtoE = table;
    EXPECT_EQ(read_lines(bytes("AxBxx\nxx\n"), 80, 8, 0), hex_records("C120C21E|20201E"));
    // Fixed records keep their length.
    EXPECT_EQ(read_lines(bytes("Axx\n"), 3, 8, 1), hex_records("C120201E"));
    nje_usr_AtoE = saved;
}

TEST(ConvertReadLine, UndecodableBytesAreKeptAsSingleBytes)
{
    // C locale: bytes above 0x7F are not characters; each is translated and reading goes on.
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(read_lines(bytes("A\xE9"
                               "B\nC\n"),
                         80, 8, 0),
              (std::vector<Bytes>{{0xC1, 0x89, 0xC2, 0x1E}, {0xC3, 0x1E}}));
    // C.UTF-8: Latin-1 bytes and a broken sequence are single bytes, a valid character takes the
    // table entry of its low 8 bits, and the byte that broke a sequence begins the next character.
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    EXPECT_EQ(read_lines(bytes("\xE9"
                               "A\xE2\x82"
                               "B\xC3\xA9\n\xE2\nZ"),
                         80, 8, 0),
              (std::vector<Bytes>{{0x89, 0xC1, 0x82, 0x02, 0xC2, 0x89, 0x1E}, {0x82, 0x1E}, {0xE9, 0x1E}}));
    std::setlocale(LC_ALL, "C");
}

TEST(ConvertText, CountsLinesAcrossBlocks)
{
    Conversion empty = convert(Bytes{}, 80, 3820, NJE_FORMAT_TEXT);
    EXPECT_EQ(empty.result, 0);
    EXPECT_EQ(empty.file, (Bytes{0, 0, 0, 0}));

    Conversion three = convert(bytes("one\ntwo\nthree\n"), 80, 3820, NJE_FORMAT_TEXT);
    EXPECT_EQ(three.result, 3);
    EXPECT_EQ(data_records(three.file).size(), 1u);
    EXPECT_EQ(records(three.file),
              (std::vector<Bytes>{{0x96, 0x95, 0x85}, {0xA3, 0xA6, 0x96}, {0xA3, 0x88, 0x99, 0x85, 0x85}}));

    // A 16-byte block holds two of them: the third record begins the next block.
    Conversion split = convert(bytes("one\ntwo\nthree\n"), 80, 16, NJE_FORMAT_TEXT);
    EXPECT_EQ(split.result, 3);
    auto blocks = data_records(split.file);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], (Bytes{0x05, 0x35, 0x03, 0x96, 0x95, 0x85, 0x06, 0x1E, 0x35, 0x03, 0xA3, 0xA6, 0x96,
                                0x01, 0x1E}));
    EXPECT_EQ(records(split.file), records(three.file));

    // Blocks larger than the conversion's own write batching still go out whole.
    std::string text;
    for (int i = 0; i < 1500; ++i) {
        for (int k = 0; k < 200; ++k) {
            text += static_cast<char>('a' + (i * 7 + k * k) % 26); // few repeats: stays about 200 bytes
        }
        text += "\n";
    }
    Conversion big = convert(bytes(text), 255, 400000, NJE_FORMAT_TEXT);
    EXPECT_EQ(big.result, 1500);
    EXPECT_EQ(records(big.file).size(), 1500u);
}

TEST(ConvertText, LongInitialStringStartsAFreshBlock)
{
    // "**" and 59 distinct characters fit a block only at its start.
    std::string hard = "**";
    const char *pool = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    hard.append(pool, 59);
    Conversion c = convert(bytes("x\n" + hard + "\n"), 80, 3820, NJE_FORMAT_TEXT);
    EXPECT_EQ(c.result, 2);
    EXPECT_EQ(data_records(c.file).size(), 2u);
    auto recs = records(c.file);
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[1].size(), 61u);
    EXPECT_EQ(recs[1][0], 0x5C);
}

TEST(ConvertText, RefusedSettingsWriteNothing)
{
    // A record that fits no empty block, an unknown format, a format-4 lrecl too large for maxdata.
    std::string line(80, 'a');
    for (std::size_t i = 0; i < line.size(); i += 2) {
        line[i] = 'b';
    }
    EXPECT_EQ(convert(bytes(line + "\n"), 80, 40, NJE_FORMAT_TEXT).result, NJE_CONVERT_COMPRESS_FAILED);
    Conversion bad = convert(bytes("A\n"), 80, 3820, 3);
    EXPECT_EQ(bad.result, NJE_CONVERT_COMPRESS_FAILED);
    EXPECT_EQ(bad.file.size(), 4u);
    Conversion f4 = convert(bytes("A\n"), 80, 90, NJE_FORMAT_TRANSPARENT);
    EXPECT_EQ(f4.result, NJE_CONVERT_COMPRESS_FAILED);
    EXPECT_EQ(f4.file.size(), 4u);
    EXPECT_EQ(convert(bytes("A\n"), 80, 91, NJE_FORMAT_TRANSPARENT).result, 1);
}

TEST(ConvertBinary, ChunksKeepEveryByte)
{
    Bytes data(200);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<unsigned char>(i * 7);
    }
    data[79] = 0x1E; // a chunk that ends in 0x1E
    data[100] = 0x1E;
    data[101] = 0x1E;
    Conversion c = convert(data, 80, 3820, NJE_FORMAT_BINARY);
    EXPECT_EQ(c.result, 3);
    auto recs = records(c.file);
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[0], Bytes(data.begin(), data.begin() + 80));
    EXPECT_EQ(recs[1], Bytes(data.begin() + 80, data.begin() + 160));
    EXPECT_EQ(recs[2], Bytes(data.begin() + 160, data.end()));
}

TEST(ConvertRecord, CutFilledAndPassedThrough)
{
    // Records of 5, 0 and 2 bytes with lrecl 3: cut, empty, short.
    Bytes in = {0, 0, 0, 5, 1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 0, 2, 7, 8};
    Conversion c = convert(in, 3, 3820, NJE_FORMAT_RECORD);
    EXPECT_EQ(c.result, 3);
    EXPECT_EQ(c.file, (Bytes{0,   0,   0, 7, 0x80, 'S', 'N',  'A', 1,   2,   3, 0, 0, 0, 4, 0x80, 'S',
                             'N', 'A', 0, 0, 0,    6,   0x80, 'S', 'N', 'A', 7, 8, 0, 0, 0, 0}));
    Conversion fixed = convert(in, 3, 3820, NJE_FORMAT_RECORD, 8, 1);
    EXPECT_EQ(fixed.result, 3);
    auto recs = data_records(fixed.file);
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[1], (Bytes{0x40, 0x40, 0x40}));
    EXPECT_EQ(recs[2], (Bytes{7, 8, 0x40}));

    // From a pipe the rest of a long record is read past, not sought.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], in.data(), in.size()), static_cast<ssize_t>(in.size()));
    close(fds[1]);
    std::FILE *p = fdopen(fds[0], "rb");
    unsigned char buf[8];
    EXPECT_EQ(convert_read_record(p, buf, 3), 3);
    EXPECT_EQ(convert_read_record(p, buf, 3), 0);
    EXPECT_EQ(convert_read_record(p, buf, 3), 2);
    EXPECT_EQ(buf[1], 8);
    EXPECT_EQ(convert_read_record(p, buf, 3), -1);
    std::fclose(p);
}

TEST(ConvertTransparent, FramingVectors)
{
    Conversion two = convert(Bytes{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}, 3, 3820, NJE_FORMAT_TRANSPARENT);
    EXPECT_EQ(two.result, 2);
    EXPECT_EQ(data_records(two.file), (std::vector<Bytes>{{0x05, 0x35, 0x03, 0xAA, 0xBB, 0xCC, 0x06, 0x1E,
                                                           0x35, 0x03, 0xDD, 0xEE, 0xFF, 0x01, 0x1E}}));

    Bytes chunk(80);
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        chunk[i] = static_cast<unsigned char>(i);
    }
    Conversion one = convert(chunk, 80, 3820, NJE_FORMAT_TRANSPARENT);
    Bytes want = {0x3D, 0x35, 0x50};
    want.insert(want.end(), chunk.begin(), chunk.begin() + 59);
    want.push_back(0x15);
    want.insert(want.end(), chunk.begin() + 59, chunk.end());
    want.insert(want.end(), {0x01, 0x1E});
    EXPECT_EQ(data_records(one.file), (std::vector<Bytes>{want}));

    // Long chunks in later records and across blocks come back whole through the expander.
    Bytes big(1000);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<unsigned char>(i * 13 + 1);
    }
    Conversion many = convert(big, 255, 600, NJE_FORMAT_TRANSPARENT);
    EXPECT_EQ(many.result, 4);
    EXPECT_EQ(data_records(many.file).size(), 2u);
    Bytes back;
    for (const Bytes &r : records(many.file)) {
        back.insert(back.end(), r.begin(), r.end());
    }
    EXPECT_EQ(back, big);
}

TEST(ConvertText, FailedWritesReturnMinusOne)
{
    // A full device takes the stream's buffer but refuses the writes behind it.
    std::FILE *full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IOFBF, 8192);
    Bytes text;
    for (int i = 0; i < 40000; ++i) {
        const std::string line = "line " + std::to_string(i * 7919) + " of a longer report\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    Bytes records_in;
    for (int i = 0; i < 400; ++i) {
        records_in.insert(records_in.end(), {0, 0, 0, 80});
        records_in.insert(records_in.end(), 80, static_cast<unsigned char>(i));
    }
    unsigned char *buffer = nje_data_allocate_buffer(8192);
    for (int format : {NJE_FORMAT_TEXT, NJE_FORMAT_BINARY, NJE_FORMAT_RECORD, NJE_FORMAT_TRANSPARENT}) {
        InputFile in(format == NJE_FORMAT_RECORD ? records_in : text);
        EXPECT_EQ(nje_convert_toibm(in.f, full, buffer, 80, 3820, format, 0, 8, 0), NJE_CONVERT_WRITE_FAILED)
            << "format " << format;
    }
    nje_data_free_buffer(buffer);
    std::fclose(full);
}
