// Option recognition and IBM names of the front end.
#include <gtest/gtest.h>

#include "frontend/jobpush.h"

namespace {

TEST(Match, AbbreviationsDownToTheShortForm)
{
    EXPECT_EQ(match("-gateway", "-g", "-g"), 1);
    EXPECT_EQ(match("-gateway", "-g", "-ga"), 1);
    EXPECT_EQ(match("-gateway", "-g", "-gateway"), 1);
    EXPECT_EQ(match("-gateway", "-g", "-gatewayx"), 0);  // longer than the long form
    EXPECT_EQ(match("-spool", "-sp", "-s"), 0);
    EXPECT_EQ(match("-tab", "-tab", "-ta"), 0);
    EXPECT_EQ(match("-bu", "-bu", "-b"), 0);
    EXPECT_EQ(match("-binary", "-b", "-bi"), 1);
    EXPECT_EQ(match("-", "-", "--"), 0);
    EXPECT_EQ(match("-text", "-t", ""), 0);
    EXPECT_EQ(match("", "", ""), 1);
}

std::string up(const char* src, int n)
{
    char dst[64];
    char* end = uppercase(dst, src, n);
    EXPECT_EQ(*end, '\0');
    return dst;
}

TEST(Uppercase, LettersDigitsUnderscoreOthersDollar)
{
    EXPECT_EQ(up("a.b-c_1", 8), "A$B$C_1");
    EXPECT_EQ(up("john.doe", 8), "JOHN$DOE");
    EXPECT_EQ(up("verylongnode", 8), "VERYLONG");
    EXPECT_EQ(up("\xe9t\xe9", 8), "$T$");  // bytes above 127 in the C locale
    EXPECT_EQ(up("", 8), "");
}

std::pair<std::string, std::string> ibm(const char* path)
{
    char name[16] = "garbage", type[16] = "garbage";
    ibm_filename(path, name, type);
    return {name, type};
}

TEST(IbmFilename, NameAndTypeFromThePath)
{
    using p = std::pair<std::string, std::string>;
    EXPECT_EQ(ibm("/tmp/report.txt"), p("REPORT", "TXT"));
    EXPECT_EQ(ibm("archive.tar.gz"), p("ARCHIVE$", "GZ"));
    EXPECT_EQ(ibm(".profile"), p("$PROFILE", ""));
    EXPECT_EQ(ibm("dir/"), p("", ""));
    EXPECT_EQ(ibm("a.dir/Makefile"), p("MAKEFILE", ""));
    EXPECT_EQ(ibm("averyverylongname.extension1"), p("AVERYVER", "EXTENSIO"));
    EXPECT_EQ(ibm("trailing."), p("TRAILING", ""));
}

}  // namespace
