#include "convert/kiolink.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/dbcs_stub/dbcs_stub_loader.h"

namespace
{

euc_char chars(const char *s)
{
    euc_char ch{};
    for (int i = 0; s[i] && i < 4; i++) {
        ch.c[i] = static_cast<unsigned char>(s[i]);
    }
    return ch;
}

} // namespace

TEST(KioLink, FallbacksWithoutLibrary)
{
    unload_dbcs_stub();
    for (int b = 0; b < 256; b++) {
        EXPECT_EQ(rje_euclen(b), 1);
    }
    EXPECT_EQ(euctoibm(chars("\xC3\xA9")), 0);
    euc_char ch = ibmtoeuc(0x4281);
    EXPECT_EQ(ch.c[0], 0x40);
    EXPECT_EQ(ch.c[1], 0x40);
}

TEST(KioLink, ValidateSegments)
{
    auto v = [](std::initializer_list<unsigned char> b, int n = -1) {
        return dbcs_validate(b.begin(), n < 0 ? static_cast<int>(b.size()) : n);
    };
    EXPECT_EQ(v({0x0E, 0x0F}), 1);
    EXPECT_EQ(v({0x0E, 0x41, 0x0F}), 0);
    EXPECT_EQ(v({0x0E, 0x41, 0x42, 0x0F}), 1);
    EXPECT_EQ(v({0x0E, 0x41, 0x42, 0x0F}, 3), 0);
    EXPECT_EQ(v({0x0E, 0x41, 0x0E, 0x42, 0x43, 0x0F}), 0);
    EXPECT_EQ(v({0x0E, 0x41, 0x0A, 0x42, 0x0F}), 0);
    EXPECT_EQ(v({0x0E, 0x41, 0x42, 0x0F, 0x0F}), 1) << "only the first SI counts";
    EXPECT_EQ(v({0x0F}), 0);
    EXPECT_EQ(v({0x0E}, 0), 0);
}

TEST(KioLink, LinksStubAndConvertsThroughIt)
{
    ASSERT_EQ(load_dbcs_stub(), 1);
    euc_char ch = ibmtoeuc(0x8342);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(ch.c), 3), "\xE3\x82\xA2");
    ch = ibmtoeuc(0x1234);
    EXPECT_EQ(ch.c[0], '-');
    EXPECT_EQ(ch.c[1], '-');
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
    char tmpl[] = "/tmp/jobpush_kio_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::filesystem::path dir = tmpl;
    std::filesystem::create_symlink(dbcs_stub_path(), dir / "Clib");
    EXPECT_EQ(link_with_lang("C", dir.c_str()), 1);
    EXPECT_EQ(rje_euclen(0xFF), 2);
    EXPECT_EQ(link_with_lang("C", nullptr), -1);
    EXPECT_EQ(rje_euclen(0xFF), 1) << "a failed link drops the earlier one";
    EXPECT_EQ(link_with_lang("C", (dir / "missing").c_str()), -1);
    EXPECT_EQ(link_with_lang("C", (dir.string() + "/" + std::string(250, 'x')).c_str()), -1);
    EXPECT_EQ(link_with_lang("", dir.c_str()), -1);
    EXPECT_EQ(link_with_lang(nullptr, dir.c_str()), -1);
    std::filesystem::remove_all(dir);
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
