// Translate table files and the field converters' pointer results and checked forms; the DBCS link
// (segment validation, the library linked by LANG and run directory, its entry points and fallbacks).
#include "convert/translate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>

#include "convert/kiolink.h"

#include <gtest/gtest.h>

#include "tests/dbcs_stub/dbcs_stub_loader.h"
#include "tests/golden.h"

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
    const std::string dir = fresh_dir();
    std::string table;
    for (int i = 0; i < 300; ++i)
        table += static_cast<char>(255 - (i & 0xFF));
    write_file(dir + "/toebcdic.bin", table);
    ASSERT_EQ(nje_load_ebcdic_tbl(dir.c_str()), 1);
    EXPECT_EQ(nje_usr_AtoE[0], 255);
    EXPECT_EQ(nje_usr_AtoE[255], 0);
    unsigned char *loaded = nje_usr_AtoE, *before = nje_usr_EtoA;
    write_file(dir + "/toascii.bin", table.substr(0, 255));
    testing::internal::CaptureStderr();
    EXPECT_EQ(nje_load_ascii_tbl(dir.c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "RJE Load Translate tables: short file: " + (dir + "/toascii.bin") + "\n");
    EXPECT_EQ(nje_usr_EtoA, before);

    // Missing, and in a 300-character directory that exists: the path does not fit and counts as missing.
    std::string deep = dir;
    while (deep.size() < 300)
        deep += "/" + std::string(40, 'd');
    deep.resize(300);
    fs::create_directories(deep);
    write_file(deep + "/toebcdic.bin", table);
    fs::remove(dir + "/toebcdic.bin");
    for (const std::string &d : {dir, deep}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(nje_load_ebcdic_tbl(d.c_str()), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "RJE Load Translate tables: unable to open: " + d + "/toebcdic.bin\n");
    }
    EXPECT_EQ(nje_usr_AtoE, loaded) << "a failed load keeps the table in use";

    write_file(dir + "/toascii.bin", table);
    const fs::path old = fs::current_path();
    fs::current_path(dir);
    EXPECT_EQ(nje_load_ascii_tbl(nullptr), 1);
    fs::current_path(old);
    EXPECT_EQ(nje_usr_EtoA[1], 254);
}

namespace
{

euc_char chars(const char *s)
{
    euc_char ch{};
    std::memcpy(ch.c, s, std::min<std::size_t>(std::strlen(s), 4));
    return ch;
}

} // namespace

// The golden vectors of tests/data/convert/validate.
TEST(KioLink, ValidateSegments)
{
    for (const Vector &v : load_golden("convert/validate"))
        for (const std::string &c : v.all("case")) {
            const std::vector<std::string> w = words(c); // segment, length, result
            EXPECT_EQ(dbcs_validate(hex(w[0]).data(), std::stoi(w[1])), std::stoi(w[2]))
                << v.file << ": " << c;
        }
}

TEST(KioLink, LinksStubAndConvertsThroughIt)
{
    ASSERT_EQ(load_dbcs_stub(), 1);
    euc_char ch = ibmtoeuc(0x8342);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(ch.c), 3), "\xE3\x82\xA2");
    // (A code the library does not map comes back as "--": the library's own tests.)
    EXPECT_EQ(euctoibm(chars("\xE4\xBA\xBA")), 0x4E4C) << "only the low 16 bits";
    EXPECT_EQ(euctoibm(chars("xy")), 0xFEFE);
    EXPECT_EQ(rje_euclen(0xA1), 2);
    EXPECT_EQ(rje_euclen(0x1A1), 2) << "only the low 8 bits";
    EXPECT_EQ(rje_euclen(0x41), 1);
    unload_dbcs_stub();
    EXPECT_EQ(rje_euclen(0xA1), 1);
}

TEST(KioLink, LibraryPathFromLangAndDirectory)
{
    const std::filesystem::path dir = fresh_dir();
    std::filesystem::create_symlink(dbcs_stub_path(), dir / "Clib");
    EXPECT_EQ(link_with_lang("C", dir.c_str()), 1);
    EXPECT_EQ(rje_euclen(0xFF), 2);
    EXPECT_EQ(link_with_lang("C", nullptr), -1);
    EXPECT_EQ(rje_euclen(0xFF), 1) << "a failed link drops the earlier one";
    EXPECT_EQ(link_with_lang("C", (dir / "missing").c_str()), -1);
    EXPECT_EQ(link_with_lang("C", (dir.string() + "/" + std::string(250, 'x')).c_str()), -1);
    EXPECT_EQ(link_with_lang("", dir.c_str()), -1);
    EXPECT_EQ(link_with_lang(nullptr, dir.c_str()), -1);
}

TEST(KioLink, MissingEntryPointIsReportedAndNotLinked)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(load_dbcs_stub(true), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("xeuclen: ", 0), 0u) << err;
    EXPECT_EQ(err.back(), '\n');
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    EXPECT_EQ(rje_euclen(0xA1), 1);
    EXPECT_EQ(euctoibm(chars("\xC3\xA9")), 0);
}
