// Option recognition and IBM names of the front end.
#include <gtest/gtest.h>

#include "frontend/names.h"

namespace
{

TEST(Names, MatchUppercaseAndDatasetNamesFromPaths)
{
    EXPECT_EQ(match("-gateway", "-g", "-ga"), 1);
    EXPECT_EQ(match("-gateway", "-g", "-gatewayx"), 0);
    EXPECT_EQ(match("-text", "-t", ""), 0);
    EXPECT_EQ(match("", "", ""), 1);

    char dst[16];
    EXPECT_EQ(uppercase(dst, "a.b-c_1", 8), dst + 7);
    EXPECT_STREQ(dst, "A$B$C_1");
    uppercase(dst, "\xe9t\xe9", 8); // bytes above 127 are no letters in the C locale
    EXPECT_STREQ(dst, "$T$");

    struct {
        const char *path, *name, *type;
    } cases[] = {
        {"/tmp/report.txt", "REPORT", "TXT"}, {"archive.tar.gz", "ARCHIVE$", "GZ"},
        {".profile", "$PROFILE", ""},         {"dir/", "", ""},
        {"a.dir/Makefile", "MAKEFILE", ""},   {"averyverylongname.extension1", "AVERYVER", "EXTENSIO"},
    };
    for (const auto &c : cases) {
        char name[16] = "junk", type[16] = "junk";
        ibm_filename(c.path, name, type);
        EXPECT_STREQ(name, c.name) << c.path;
        EXPECT_STREQ(type, c.type) << c.path;
    }
}

} // namespace
