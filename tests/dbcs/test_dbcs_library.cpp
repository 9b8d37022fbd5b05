// The DBCS conversion library's own choices: width partners for characters the host has only as single
// bytes, the substitution code for characters it lacks and for malformed ones, names it does not
// serve, and a bare locale name that takes the process locale's code set.
#include "convert/dbcs/dbcs_iconv.h"
#include "dbcs_test_util.h"

using namespace dbcs_test;

namespace
{

TEST(DbcsLibrary, SingleByteOnHostGoesAsFullWidthDoubleByte)
{
    // Half-width katakana A (EUC-JP SS2 B1) and the half-width voiced sound mark go as full-width
    // katakana A (IBM-939 4381) and the spacing mark (43BE); the cent sign, a single byte in IBM-939,
    // as the full-width cent 434A, which comes back as the workstation's own cent sign.
    ASSERT_EQ(link_library("ja_JP.eucJP"), 1);
    EXPECT_EQ(rje_euclen(0x8E), 2);
    EXPECT_EQ(euctoibm(euc("\x8E\xB1")), 0x4381);
    EXPECT_EQ(euctoibm(euc("\xA5\xA2")), 0x4381);
    EXPECT_EQ(euctoibm(euc("\x8E\xDE")), 0x43BE);
    EXPECT_EQ(euctoibm(euc("\xA1\xF1")), 0x434A);
    EXPECT_EQ(bytes_of(ibmtoeuc(0x434A), 2), "\xA1\xF1");

    ASSERT_EQ(link_library("ja_JP.UTF-8"), 1);
    EXPECT_EQ(euctoibm(euc("\xEF\xBD\xB1")), 0x4381);
    EXPECT_EQ(euctoibm(euc("\xC2\xA2")), 0x434A);
    EXPECT_EQ(bytes_of(ibmtoeuc(0x434A), 3), "\xEF\xBF\xA0") << "UTF-8 has the full-width cent itself";
    unload_dbcs_stub();
}

TEST(DbcsLibrary, MissingAndMalformedCharactersGetTheSubstitutionCode)
{
    ASSERT_EQ(link_library("ja_JP.UTF-8"), 1);
    for (const char *bad : {"\xEA\xB0\x80",     // Hangul GA: not in IBM-939
                            "\xF0\x9F\x98\x80", // beyond the BMP
                            "\xE3\x82",         // cut short (the next byte is 0)
                            "\xE3\x41\xA2",     // not a continuation byte
                            "\xED\xA0\x80",     // a surrogate
                            "\xE0\x80\xAF",     // overlong
                            "\xC0\xAF", "\x80", "\xFF"}) {
        EXPECT_EQ(euctoibm(euc(bad)), DBCS_SUBSTITUTE) << bad;
    }
    EXPECT_EQ(rje_euclen(0x80), 1);
    EXPECT_EQ(rje_euclen(0xF5), 1);

    ASSERT_EQ(link_library("zh_TW.EUC-TW"), 1);
    EXPECT_EQ(rje_euclen(0x8E), 4);
    std::string plane1 = *iconv_ref("EUC-TW", "UTF-8").convert("\xE4\xB8\xAD"); // a common hanzi
    ASSERT_EQ(plane1.size(), 2u);
    EXPECT_EQ(euctoibm(euc("\x8E\xA1" + plane1)), euctoibm(euc(plane1))) << "plane 1 spelt with SS2";
    EXPECT_NE(euctoibm(euc(plane1)), DBCS_SUBSTITUTE);
    EXPECT_EQ(euctoibm(euc("\x8E\xB1\xA1\xA1")), DBCS_SUBSTITUTE) << "plane beyond 16";
    EXPECT_EQ(euctoibm(euc("\xC4\x41")), DBCS_SUBSTITUTE);
    unload_dbcs_stub();
}

TEST(DbcsLibrary, NamesNotServedConvertNothing)
{
    char tmpl[] = "/tmp/jobpush_dbcs_names_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    for (const char *name : {"zh_TW", "ja_JP.SJIS", "ko_KR.eucJP", "en_US.UTF-8"}) {
        SCOPED_TRACE(name);
        std::string link = dir + "/" + name + "lib";
        ASSERT_EQ(symlink(JOBPUSH_BUILD_RUNDIR "/jobpush_dbcs.so", link.c_str()), 0);
        ASSERT_EQ(link_with_lang(name, dir.c_str()), 1);
        EXPECT_EQ(rje_euclen(0xA4), 1);
        EXPECT_EQ(rje_euclen(0xE3), 1);
        EXPECT_EQ(bytes_of(ibmtoeuc(0x4381), 2), "--");
        EXPECT_EQ(euctoibm(euc("\xA5\xA2")), DBCS_SUBSTITUTE);
        unload_dbcs_stub();
        unlink(link.c_str());
    }
    rmdir(dir.c_str());
}

TEST(DbcsLibrary, BareNameTakesTheProcessCodeSet)
{
    ASSERT_NE(std::setlocale(LC_CTYPE, "ja_JP.UTF-8"), nullptr)
        << "locale ja_JP.UTF-8 missing (scripts/setup.sh)";
    ASSERT_EQ(link_library("ja_JP"), 1);
    EXPECT_EQ(rje_euclen(0xE3), 3);
    EXPECT_EQ(euctoibm(euc("\xE3\x82\xA2")), 0x4381);
    std::setlocale(LC_CTYPE, "C");
    ASSERT_EQ(link_library("ja_JP"), 1);
    EXPECT_EQ(rje_euclen(0x8F), 3);
    EXPECT_EQ(euctoibm(euc("\xA5\xA2")), 0x4381);
    unload_dbcs_stub();

    EXPECT_EQ(dbcs_pair_for_locale("zh_TW", "UTF-8").ws, dbcs_workstation::utf8);
    EXPECT_EQ(dbcs_pair_for_locale("zh_TW", "BIG5").ws, dbcs_workstation::none);
    EXPECT_EQ(dbcs_pair_for_locale("ko_KR", "ISO-8859-1").ws, dbcs_workstation::euc_kr);
    EXPECT_EQ(dbcs_pair_for_locale("ja_JP.UTF-8@cjknarrow", "").ws, dbcs_workstation::utf8);
}

TEST(DbcsLibrary, TablesAnswerNoneOutsideTheirRange)
{
    dbcs_tables empty;
    EXPECT_EQ(dbcs_lookup_workstation(empty, 0x4381)[0], DBCS_NO_CHARACTER);
    EXPECT_EQ(dbcs_lookup_host(empty, {0xA5, 0xA2, 0, 0}), DBCS_SUBSTITUTE);
    EXPECT_EQ(dbcs_build_tables({}, empty), -1);

    dbcs_tables t;
    ASSERT_EQ(dbcs_build_tables({dbcs_host::ibm935, dbcs_workstation::euc_cn}, t), 0);
    EXPECT_NE(dbcs_lookup_workstation(t, 0x4040)[0], DBCS_NO_CHARACTER);
    EXPECT_EQ(dbcs_lookup_workstation(t, 0x14040)[0], DBCS_NO_CHARACTER);
    EXPECT_EQ(dbcs_lookup_workstation(t, 0x0E0F)[0], DBCS_NO_CHARACTER);
}

} // namespace
