#include "convert/translate.h"

#include <array>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/kiolink.h"
#include "tests/dbcs_stub/dbcs_stub_loader.h"

namespace
{

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

Bytes hex(const std::string &s)
{
    Bytes out;
    for (size_t i = 0; i < s.size(); i += 3) {
        out.push_back(static_cast<unsigned char>(std::stoul(s.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::string etoa(const Bytes &field, int n = -1)
{
    std::vector<char> dst(nje_etoa_str_bound(n < 0 ? static_cast<int>(field.size()) : n), 'Z');
    nje_EtoA_str(field.data(), dst.data(), n < 0 ? static_cast<int>(field.size()) : n);
    return dst.data();
}

// Converts into a field of n bytes prefilled with 0xEE; returns the whole field and the count consumed.
std::pair<Bytes, size_t> atoe(const char *s, int n)
{
    Bytes field(static_cast<size_t>(n), 0xEE);
    const char *end = nje_AtoE_str(s, field.data(), n);
    return {field, static_cast<size_t>(end - s)};
}

// The two built-in tables, row by row as published for the host link.
const char *const etoa_rows[16] = {
    "00 01 02 03 9C 09 86 7F 97 8D 8E 0B 0C 0D 0E 0F", "10 11 12 13 9D 0A 08 87 18 19 92 8F 1C 1D 1E 1F",
    "80 81 82 83 84 0A 17 1B 88 89 8A 8B 8C 05 06 07", "90 91 16 93 94 95 96 04 98 99 9A 9B 14 15 9E 1A",
    "20 A0 A1 A2 A3 A4 A5 A6 A7 A8 D5 2E 3C 28 2B 7C", "26 A9 AA AB AC AD AE AF B0 B1 21 24 2A 29 3B 5E",
    "2D 2F B2 B3 B4 B5 B6 B7 B8 B9 7C 2C 25 5F 3E 3F", "BA BB BC BD BE BF C0 C1 C2 60 3A 23 40 27 3D 22",
    "C3 61 62 63 64 65 66 67 68 69 C4 C5 C6 C7 C8 C9", "CA 6A 6B 6C 6D 6E 6F 70 71 72 7E 7E CD CE CF D0",
    "D1 7E 73 74 75 76 77 78 79 7A D2 D3 D4 5B D6 D7", "D8 D9 DA DB DC DD DE DF E0 E1 E2 E3 E4 5D E6 E7",
    "7B 41 42 43 44 45 46 47 48 49 E8 E9 EA EB EC ED", "7D 4A 4B 4C 4D 4E 4F 50 51 52 EE EF F0 F1 F2 F3",
    "5C 9F 53 54 55 56 57 58 59 5A F4 F5 F6 F7 F8 F9", "30 31 32 33 34 35 36 37 38 39 FA FB FC FD FE FF",
};
const char *const atoe_rows[8] = {
    "00 01 02 03 37 2D 2E 2F 16 05 25 0B 0C 0D 0E 0F", "10 11 12 13 3C 3D 32 26 18 19 3F 27 1C 1D 1E 1F",
    "40 5A 7F 7B 5B 6C 50 7D 4D 5D 5C 4E 6B 60 4B 61", "F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 7A 5E 4C 7E 6E 6F",
    "7C C1 C2 C3 C4 C5 C6 C7 C8 C9 D1 D2 D3 D4 D5 D6", "D7 D8 D9 E2 E3 E4 E5 E6 E7 E8 E9 AD E0 BD 5F 6D",
    "79 81 82 83 84 85 86 87 88 89 91 92 93 94 95 96", "97 98 99 A2 A3 A4 A5 A6 A7 A8 A9 C0 4F D0 A1 07",
};

} // namespace

TEST(TranslateTables, EveryEntryAsPublished)
{
    for (int row = 0; row < 16; row++) {
        Bytes expect = hex(etoa_rows[row]);
        for (int col = 0; col < 16; col++) {
            EXPECT_EQ(nje_EtoA[row * 16 + col], expect[col]) << "EtoA " << row * 16 + col;
        }
    }
    for (int row = 0; row < 8; row++) {
        Bytes expect = hex(atoe_rows[row]);
        for (int col = 0; col < 16; col++) {
            EXPECT_EQ(nje_AtoE[row * 16 + col], expect[col]) << "AtoE " << row * 16 + col;
            EXPECT_EQ(nje_AtoE[128 + row * 16 + col], expect[col]) << "AtoE " << 128 + row * 16 + col;
        }
    }
}

TEST(EtoAStr, BlanksTrimmedAtEndKeptInside)
{
    EXPECT_EQ(etoa(hex("C1 40 40 C2 40 40")), "A  B");
    EXPECT_EQ(etoa(hex("C1 00 C2")), "A B");
    EXPECT_EQ(etoa(hex("40 C1")), " A");
    EXPECT_EQ(etoa(hex("40 40 40 40 40 40")), "");
    EXPECT_EQ(etoa(hex("C1 C2"), 0), "");
    EXPECT_EQ(etoa(hex("C1 C2 C3"), 2), "AB");
    Bytes f = hex("C1");
    char out[4];
    EXPECT_EQ(nje_EtoA_str(f.data(), out, -3), f.data());
    EXPECT_EQ(nje_EtoA_str(f.data(), out, 1), f.data() + 1);
}

TEST(EtoAStr, DoubleByteSegmentsWithoutLibrary)
{
    unload_dbcs_stub();
    // ibmtoeuc falls back to 0x40 0x40, of which one byte is a whole character.
    EXPECT_EQ(etoa(hex("0E 42 C1 0F")), " @ ");
    // Odd length between SO and SI, no SI in the field: byte by byte through the table.
    EXPECT_EQ(etoa(hex("0E C1 C2 C3 0F")), "\x0E"
                                           "ABC\x0F");
    EXPECT_EQ(etoa(hex("0E C1 C2")), "\x0E"
                                     "AB");
    EXPECT_EQ(etoa(hex("C1 40 0E 0F 40")), "A   ");
}

TEST(EtoAStr, DoubleByteSegmentsThroughLibrary)
{
    DbcsStubScope stub;
    ASSERT_EQ(stub.linked, 1);
    EXPECT_EQ(etoa(hex("C1 0E 42 81 83 42 0F C2")), "A \xC3\xA9\xE3\x82\xA2 B");
    // A code without character gives "-"; trailing blanks after the SI are still trimmed.
    EXPECT_EQ(etoa(hex("0E 4F 41 0F 40 40")), " - ");
    // Worst case: every pair becomes a 3-byte character; the result fills the bound exactly.
    Bytes field = hex("0E 83 42 83 42 83 42 0F");
    std::vector<char> dst(nje_etoa_str_bound(static_cast<int>(field.size())));
    nje_EtoA_str(field.data(), dst.data(), static_cast<int>(field.size()));
    EXPECT_STREQ(dst.data(), " \xE3\x82\xA2\xE3\x82\xA2\xE3\x82\xA2 ");
    // The checked form cuts at a character boundary.
    std::array<char, 6> small;
    EXPECT_EQ(nje_EtoA_str(field, small), field.data() + field.size());
    EXPECT_STREQ(small.data(), " \xE3\x82\xA2");
    // In a single-byte locale the library's characters are not characters: "-".
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(etoa(hex("0E 42 81 0F")), " - ");
}

TEST(AtoEStr, SingleByteText)
{
    auto [field, used] = atoe("AB", 8);
    EXPECT_EQ(field, hex("C1 C2 EE EE EE EE EE EE"));
    EXPECT_EQ(used, 2u);
    EXPECT_EQ(atoe("\xE1", 1).first, hex("81"));
    EXPECT_EQ(atoe("ABCDEF", 3), std::make_pair(hex("C1 C2 C3"), size_t{3}));
    EXPECT_EQ(atoe("A", 0).second, 0u);
    unsigned char span_field[2] = {0, 0};
    nje_AtoE_str("[]|", span_field);
    EXPECT_EQ(Bytes(span_field, span_field + 2), hex("AD BD"));
}

TEST(AtoEStr, InvalidTextFallsBackToBytes)
{
    std::setlocale(LC_ALL, "C.UTF-8");
    EXPECT_EQ(atoe("A\xFF"
                   "B",
                   4)
                  .first,
              hex("C1 07 C2 EE"));
    EXPECT_EQ(atoe("\xE1", 1).first, hex("81"));
    // Without a library a valid multibyte character is one single-byte character: its first byte.
    unload_dbcs_stub();
    EXPECT_EQ(atoe("\xC3\xA9"
                   "A",
                   2),
              std::make_pair(hex("C3 C1"), size_t{3}));
    std::setlocale(LC_ALL, "C");
}

TEST(AtoEStr, DoubleByteRunsStayInsideField)
{
    DbcsStubScope stub;
    ASSERT_EQ(stub.linked, 1);
    const char *e_acute = "\xC3\xA9", *u_uml = "\xC3\xBC";
    EXPECT_EQ(atoe((std::string(e_acute) + "A").c_str(), 8).first, hex("0E 42 81 0F C1 EE EE EE"));
    EXPECT_EQ(atoe((std::string("A") + e_acute + u_uml).c_str(), 8).first, hex("C1 0E 42 81 42 82 0F EE"));
    // The library is asked about the first byte of the character's bytes, not the low 8 bits of its
    // code point (U+3042 would be taken for 0x42, "B").
    EXPECT_EQ(atoe("\xE3\x81\x82\xE3\x81\x84" "A", 8).first, hex("0E 44 81 44 83 0F C1 EE"));
    // Unknown characters get the library's answer.
    EXPECT_EQ(atoe("\xC3\x9F", 4).first, hex("0E FE FE 0F"));
    // A character that does not fit with its SI is left out and the run is closed.
    std::string s = std::string(e_acute) + u_uml;
    auto [field, used] = atoe(s.c_str(), 5);
    EXPECT_EQ(field, hex("0E 42 81 0F EE"));
    EXPECT_EQ(used, 2u);
    EXPECT_EQ(atoe((std::string("AA") + e_acute).c_str(), 4), std::make_pair(hex("C1 C1 EE EE"), size_t{2}));
    // A single-byte character after a run needs room for the SI as well.
    EXPECT_EQ(atoe((std::string(e_acute) + "AB").c_str(), 5),
              std::make_pair(hex("0E 42 81 0F C1"), size_t{3}));
}

TEST(AEncmp, ComparesUpToStringEnd)
{
    EXPECT_EQ(nje_AEncmp("ABC", hex("C1 C2 C3 40 C4").data(), 5), 0);
    EXPECT_EQ(nje_AEncmp("ABC", hex("C1 C2 C3 00").data(), 4), 0);
    EXPECT_EQ(nje_AEncmp("ABC", hex("C1 C2 C3 C4").data(), 4), 1);
    EXPECT_EQ(nje_AEncmp("ABCD", hex("C1 C2 C3").data(), 3), 0);
    EXPECT_EQ(nje_AEncmp("ABD", hex("C1 C2 C3").data(), 3), 1);
    EXPECT_EQ(nje_AEncmp("x", hex("C1").data(), 0), 0);
}

class TableFiles : public ::testing::Test
{
  protected:
    fs::path dir;
    void SetUp() override
    {
        char tmpl[] = "/tmp/jobpush_tbl_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }
    void write(const fs::path &p, size_t size)
    {
        std::ofstream out(p, std::ios::binary);
        for (size_t i = 0; i < size; i++) {
            out.put(static_cast<char>(255 - (i & 0xFF)));
        }
    }
};

TEST_F(TableFiles, LoadsFirst256BytesAndRefusesShortOrMissing)
{
    write(dir / "toebcdic.bin", 300);
    ASSERT_EQ(nje_load_ebcdic_tbl(dir.c_str()), 1);
    ASSERT_NE(nje_usr_AtoE, nullptr);
    EXPECT_EQ(nje_usr_AtoE[0], 255);
    EXPECT_EQ(nje_usr_AtoE[255], 0);
    unsigned char *loaded = nje_usr_AtoE;

    write(dir / "toascii.bin", 255);
    unsigned char *before = nje_usr_EtoA;
    testing::internal::CaptureStderr();
    EXPECT_EQ(nje_load_ascii_tbl(dir.c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "RJE Load Translate tables: short file: " + (dir / "toascii.bin").string() + "\n");
    EXPECT_EQ(nje_usr_EtoA, before);

    fs::remove(dir / "toebcdic.bin");
    testing::internal::CaptureStderr();
    EXPECT_EQ(nje_load_ebcdic_tbl(dir.c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "RJE Load Translate tables: unable to open: " + (dir / "toebcdic.bin").string() + "\n");
    EXPECT_EQ(nje_usr_AtoE, loaded) << "a failed load keeps the table in use";
}

TEST_F(TableFiles, CurrentDirectoryAndOverlongPath)
{
    write(dir / "toascii.bin", 256);
    fs::path old = fs::current_path();
    fs::current_path(dir);
    EXPECT_EQ(nje_load_ascii_tbl(nullptr), 1);
    fs::current_path(old);
    EXPECT_EQ(nje_usr_EtoA[1], 254);

    // A 300-character directory that exists: the path does not fit and counts as missing.
    fs::path deep = dir;
    while (deep.string().size() < 300) {
        deep /= std::string(40, 'd');
    }
    deep = deep.string().substr(0, 300);
    fs::create_directories(deep);
    write(deep / "toebcdic.bin", 256);
    testing::internal::CaptureStderr();
    EXPECT_EQ(nje_load_ebcdic_tbl(deep.c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "RJE Load Translate tables: unable to open: " + (deep / "toebcdic.bin").string() + "\n");
}
