// Translate table files and the field converters' pointer results and checked forms.
#include "convert/translate.h"

#include <array>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/dbcs_stub/dbcs_stub_loader.h"
#include "tests/test_util.h"

namespace fs = std::filesystem;

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

TEST(TableFiles, LoadsFirst256BytesAndRefusesShortMissingOrOverlong)
{
    temp_dir dir;
    std::string table;
    for (int i = 0; i < 300; ++i)
        table += static_cast<char>(255 - (i & 0xFF));
    write_file(dir / "toebcdic.bin", table);
    ASSERT_EQ(nje_load_ebcdic_tbl(dir.path().c_str()), 1);
    EXPECT_EQ(nje_usr_AtoE[0], 255);
    EXPECT_EQ(nje_usr_AtoE[255], 0);
    unsigned char *loaded = nje_usr_AtoE, *before = nje_usr_EtoA;
    write_file(dir / "toascii.bin", table.substr(0, 255));
    testing::internal::CaptureStderr();
    EXPECT_EQ(nje_load_ascii_tbl(dir.path().c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "RJE Load Translate tables: short file: " + (dir / "toascii.bin") + "\n");
    EXPECT_EQ(nje_usr_EtoA, before);

    // Missing, and in a 300-character directory that exists: the path does not fit and counts as missing.
    std::string deep = dir.path();
    while (deep.size() < 300)
        deep += "/" + std::string(40, 'd');
    deep.resize(300);
    fs::create_directories(deep);
    write_file(deep + "/toebcdic.bin", table);
    fs::remove(dir / "toebcdic.bin");
    for (const std::string &d : {dir.path(), deep}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(nje_load_ebcdic_tbl(d.c_str()), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "RJE Load Translate tables: unable to open: " + d + "/toebcdic.bin\n");
    }
    EXPECT_EQ(nje_usr_AtoE, loaded) << "a failed load keeps the table in use";

    write_file(dir / "toascii.bin", table);
    const fs::path old = fs::current_path();
    fs::current_path(dir.path());
    EXPECT_EQ(nje_load_ascii_tbl(nullptr), 1);
    fs::current_path(old);
    EXPECT_EQ(nje_usr_EtoA[1], 254);
}
