// The site's translate map file (ebcdictoiso): pairs applied to both tables, faulty lines reported and
// skipped, long lines, comments, no file.
#include "support/loadmaps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "convert/translate.h"
#include "support/rundir.h"
#include "tests/test_util.h"

namespace
{

// A run directory of its own, and the translate tables put back afterwards.
struct LoadMaps : ::testing::Test {
    temp_dir dir;
    unsigned char etoa[256], atoe[256];
    char *saved_rundir = rundir;

    void SetUp() override
    {
        std::memcpy(etoa, nje_EtoA, 256);
        std::memcpy(atoe, nje_AtoE, 256);
        rundir = static_cast<char *>(std::calloc(RJE_PATH_BUF, 1));
        std::strcpy(rundir, dir.path().c_str());
    }
    void TearDown() override
    {
        std::memcpy(nje_EtoA, etoa, 256);
        std::memcpy(nje_AtoE, atoe, 256);
        std::free(rundir);
        rundir = saved_rundir;
    }
    // Loads the map text; returns what was printed on stderr.
    std::string load(const std::string &text, int expect_rc = 1)
    {
        write_file(dir / "ebcdictoiso", text);
        testing::internal::CaptureStderr();
        EXPECT_EQ(loadmaps(), expect_rc);
        return testing::internal::GetCapturedStderr();
    }
    bool tables_untouched() const
    {
        return std::memcmp(etoa, nje_EtoA, 256) == 0 && std::memcmp(atoe, nje_AtoE, 256) == 0;
    }
    int changed_count() const { return static_cast<int>(std::count(changed, changed + 256, 1)); }
};

} // namespace

TEST_F(LoadMaps, AppliesPairsToBothTables)
{
    internationalization = 0;
    EXPECT_EQ(load("C1 41\n"), "");
    EXPECT_EQ(nje_EtoA[0xC1], 0x41);
    EXPECT_EQ(nje_AtoE[0x41], 0xC1);
    EXPECT_EQ(changed[0x41], 1);
    EXPECT_EQ(changed_count(), 1);
    EXPECT_EQ(internationalization, 1);

    EXPECT_EQ(load("  4a\t5B #7A 7B\n# 11 22\n\n   \n5b 5B\n"), "");
    EXPECT_EQ(nje_EtoA[0x4A], 0x5B);
    EXPECT_EQ(nje_AtoE[0x5B], 0x5B) << "a later line overrides an earlier one";
    EXPECT_EQ(nje_EtoA[0x5B], 0x5B);
    EXPECT_EQ(changed[0x41], 0) << "every load starts with a clear set";
    EXPECT_EQ(changed[0x22], 0);
    EXPECT_EQ(changed_count(), 1);
}

TEST_F(LoadMaps, FaultyLinesReportedAndSkipped)
{
    internationalization = 0;
    EXPECT_EQ(load("4A\n4A 5B 6C\nZZ 41\n41 0x41\n1FF 41\nZZ\nZZ 41 42\n\n"),
              "loadmaps:  Two values required, line number 1\n"
              "loadmaps:  Too many translate values, line number 2\n"
              "loadmaps:  Illegal EBCDIC value ZZ, line number 3\n"
              "loadmaps:  Illegal ISO value 0x41, line number 4\n"
              "loadmaps:  Illegal EBCDIC value 1FF, line number 5\n"
              "loadmaps:  Illegal EBCDIC value ZZ, line number 6\n"
              "loadmaps:  Illegal EBCDIC value ZZ, line number 7\n");
    EXPECT_TRUE(tables_untouched());
    EXPECT_EQ(changed_count(), 0);
    EXPECT_EQ(internationalization, 0);
}

TEST_F(LoadMaps, LongLinesAreReadIn79CharacterPieces)
{
    // 101 characters: the first read ends inside the blanks, the rest is line 2.
    std::string line = "C1" + std::string(77, ' ') + "D2 42" + std::string(17, ' ');
    ASSERT_EQ(line.size(), 101u);
    EXPECT_EQ(load(line + "\nZZ 1\n"), "loadmaps:  Two values required, line number 1\n"
                                       "loadmaps:  Illegal EBCDIC value ZZ, line number 3\n");
    EXPECT_EQ(nje_EtoA[0xD2], 0x42);
    EXPECT_EQ(nje_EtoA[0xC1], 0x41) << "untouched";
}

TEST_F(LoadMaps, CommentsOnlyOrNoFile)
{
    internationalization = 1;
    changed[7] = 1;
    EXPECT_EQ(load("# site map\n  # 41 C1\n"), "");
    EXPECT_EQ(internationalization, 1);
    EXPECT_EQ(changed_count(), 0);

    std::filesystem::remove(dir / "ebcdictoiso");
    changed[7] = 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(loadmaps(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(internationalization, 0);
    EXPECT_EQ(changed_count(), 0);
    EXPECT_TRUE(tables_untouched());
}
