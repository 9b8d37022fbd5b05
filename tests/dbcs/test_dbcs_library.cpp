// The DBCS conversion library's own choices: width partners for characters the host has only as
// single bytes, the substitution code for characters it lacks and for malformed ones, names it does not
// serve, and a bare locale name that takes the process locale's code set.
#include "convert/dbcs/dbcs_iconv.h"
#include "dbcs_test_util.h"

using namespace dbcs_test;

namespace
{

TEST(DbcsLibrary, SingleByteOnHostGoesAsFullWidthDoubleByte)
{
    // Half-width katakana A (EUC-JP SS2 B1) goes as full-width katakana A (IBM-939 4381), the
    // half-width voiced sound mark as the spacing mark (43BE), the cent sign, a single byte in IBM-939,
    // as the full-width cent 434A, which comes back as EUC-JP's cent sign; UTF-8 has both cents.
    ASSERT_EQ(link_library("ja_JP.eucJP"), 1);
    EXPECT_EQ(rje_euclen(0x8E), 2);
    EXPECT_EQ(euctoibm(euc("\x8E\xB1")), 0x4381);
    EXPECT_EQ(euctoibm(euc("\x8E\xDE")), 0x43BE);
    EXPECT_EQ(euctoibm(euc("\xA1\xF1")), 0x434A);
    EXPECT_EQ(bytes_of(ibmtoeuc(0x434A), 2), "\xA1\xF1");
    ASSERT_EQ(link_library("ja_JP.UTF-8"), 1);
    EXPECT_EQ(euctoibm(euc("\xEF\xBD\xB1")), 0x4381);
    EXPECT_EQ(euctoibm(euc("\xC2\xA2")), 0x434A);
    EXPECT_EQ(bytes_of(ibmtoeuc(0x434A), 3), "\xEF\xBF\xA0");
    unload_dbcs_stub();
}

TEST(DbcsLibrary, MissingAndMalformedCharactersGetTheSubstitutionCode)
{
    ASSERT_EQ(link_library("ja_JP.UTF-8"), 1);
    // Hangul (not in IBM-939), beyond the BMP, cut short, no continuation byte, surrogate, overlong.
    for (const char *bad : {"\xEA\xB0\x80", "\xF0\x9F\x98\x80", "\xE3\x82", "\xE3\x41\xA2", "\xED\xA0\x80",
                            "\xE0\x80\xAF", "\xC0\xAF", "\x80"})
        EXPECT_EQ(euctoibm(euc(bad)), DBCS_SUBSTITUTE) << bad;
    EXPECT_EQ(rje_euclen(0xF5), 1);
    ASSERT_EQ(link_library("zh_TW.EUC-TW"), 1);
    EXPECT_EQ(rje_euclen(0x8E), 4);
    EXPECT_EQ(euctoibm(euc("\x8E\xA1\xC4\xA1")), euctoibm(euc("\xC4\xA1"))) << "plane 1 spelt with SS2";
    EXPECT_NE(euctoibm(euc("\xC4\xA1")), DBCS_SUBSTITUTE);
    EXPECT_EQ(euctoibm(euc("\x8E\xB1\xA1\xA1")), DBCS_SUBSTITUTE) << "plane 17";
    EXPECT_EQ(euctoibm(euc("\xC4\x41")), DBCS_SUBSTITUTE);
    unload_dbcs_stub();
}

TEST(DbcsLibrary, NamesNotServedConvertNothing)
{
    temp_dir dir;
    for (std::string name : {"zh_TW", "ja_JP.SJIS", "ko_KR.eucJP", "en_US.UTF-8"}) {
        ASSERT_EQ(symlink(JOBPUSH_BUILD_RUNDIR "/jobpush_dbcs.so", (dir / (name + "lib")).c_str()), 0);
        ASSERT_EQ(link_with_lang(name.c_str(), dir.path().c_str()), 1);
        EXPECT_EQ(rje_euclen(0xA4) + rje_euclen(0xE3), 2) << name;
        EXPECT_EQ(bytes_of(ibmtoeuc(0x4381), 2), "--") << name;
        EXPECT_EQ(euctoibm(euc("\xA5\xA2")), DBCS_SUBSTITUTE) << name;
        unload_dbcs_stub();
    }
}

TEST(DbcsLibrary, BareNameTakesTheProcessCodeSet)
{
    ASSERT_NE(std::setlocale(LC_CTYPE, "ja_JP.UTF-8"), nullptr) << "locale missing (scripts/setup.sh)";
    ASSERT_EQ(link_library("ja_JP"), 1);
    EXPECT_EQ(euctoibm(euc("\xE3\x82\xA2")), 0x4381);
    std::setlocale(LC_CTYPE, "C");
    ASSERT_EQ(link_library("ja_JP"), 1);
    EXPECT_EQ(euctoibm(euc("\xA5\xA2")), 0x4381);
    unload_dbcs_stub();
    EXPECT_EQ(dbcs_pair_for_locale("zh_TW", "UTF-8").ws, dbcs_workstation::utf8);
    EXPECT_EQ(dbcs_pair_for_locale("zh_TW", "BIG5").ws, dbcs_workstation::none);
    EXPECT_EQ(dbcs_pair_for_locale("ko_KR", "ISO-8859-1").ws, dbcs_workstation::euc_kr);
    EXPECT_EQ(dbcs_pair_for_locale("ja_JP.UTF-8@cjknarrow", "").ws, dbcs_workstation::utf8);
}

} // namespace
