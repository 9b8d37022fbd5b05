// The DBCS conversion library's own choices (tests/data/dbcs/library): width partners for characters
// the host has only as single bytes, the substitution code for characters it lacks and for malformed
// ones, names it does not serve, a bare locale name that takes the process locale's code set; the
// conversion pair of a locale.
#include "convert/dbcs/dbcs_iconv.h"
#include "dbcs_test_util.h"
#include "tests/golden.h"

using namespace dbcs_test;

namespace
{

// The vectors of tests/data/dbcs/library (format at the top of its file).
TEST(DbcsLibrary, GoldenVectors)
{
    for (const Vector &v : load_golden("dbcs/library")) {
        const std::string dir = fresh_dir();
        for (const auto &[key, value] : v.lines) {
            const std::vector<std::string> w = words(value);
            if (key == "locale") {
                ASSERT_NE(std::setlocale(LC_CTYPE, value.c_str()), nullptr)
                    << "locale missing (scripts/setup.sh)";
            } else if (key == "lib") {
                ASSERT_EQ(link_library(value), 1) << value;
            } else if (key == "link") {
                ASSERT_EQ(
                    symlink(JOBPUSH_BUILD_RUNDIR "/jobpush_dbcs.so", (dir + "/" + value + "lib").c_str()), 0);
                ASSERT_EQ(link_with_lang(value.c_str(), dir.c_str()), 1) << value;
            } else if (key == "len") {
                EXPECT_EQ(rje_euclen(hex(w[0])[0]), std::stoi(w[1])) << v.file << ": " << value;
            } else if (key == "host") {
                const Bytes ws = hex(w[0]);
                EXPECT_EQ(euctoibm(euc(std::string(ws.begin(), ws.end()))), std::stoi(w[1], nullptr, 16))
                    << v.file << ": " << value;
            } else if (key == "ws") {
                const Bytes want = hex(w[1]);
                EXPECT_EQ(
                    bytes_of(ibmtoeuc(static_cast<uint16_t>(std::stoi(w[0], nullptr, 16))), want.size()),
                    std::string(want.begin(), want.end()))
                    << v.file << ": " << value;
            }
        }
        unload_dbcs_stub();
        std::setlocale(LC_CTYPE, "C");
    }
}

TEST(DbcsLibrary, PairForLocale)
{
    EXPECT_EQ(dbcs_pair_for_locale("zh_TW", "UTF-8").ws, dbcs_workstation::utf8);
    EXPECT_EQ(dbcs_pair_for_locale("zh_TW", "BIG5").ws, dbcs_workstation::none);
    EXPECT_EQ(dbcs_pair_for_locale("ko_KR", "ISO-8859-1").ws, dbcs_workstation::euc_kr);
    EXPECT_EQ(dbcs_pair_for_locale("ja_JP.UTF-8@cjknarrow", "").ws, dbcs_workstation::utf8);
}

} // namespace
