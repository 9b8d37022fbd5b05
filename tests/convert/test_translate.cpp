// Translate table files and the field converters' pointer results and checked forms.
#include "convert/translate.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

} // namespace

// The converters' vectors are golden files (tests/data/convert/etoa, atoe, aencmp); here the
// pointer results, the checked forms and the worst-case bound.
TEST(EtoAStr, ResultsCheckedFormAndBound)
{
    const Bytes f = hex("C1");
    char out[4];
    EXPECT_EQ(nje_EtoA_str(f.data(), out, -3), f.data());
    EXPECT_EQ(nje_EtoA_str(f.data(), out, 1), f.data() + 1);
    DbcsStubScope stub;
    ASSERT_EQ(stub.linked, 1);
    // The checked form cuts at a character boundary.
    const Bytes field = hex("0E 83 42 83 42 83 42 0F");
    std::array<char, 6> small;
    EXPECT_EQ(nje_EtoA_str(field, small), field.data() + field.size());
    EXPECT_STREQ(small.data(), " \xE3\x82\xA2");
    unsigned char span_field[2] = {0, 0};
    nje_AtoE_str("[]|", span_field);
    EXPECT_EQ(Bytes(span_field, span_field + 2), hex("AD BD"));
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
