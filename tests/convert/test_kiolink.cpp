#include "convert/kiolink.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <tuple>

#include <gtest/gtest.h>

#include "tests/dbcs_stub/dbcs_stub_loader.h"
#include "tests/test_util.h"

namespace
{

euc_char chars(const char *s)
{
    euc_char ch{};
    std::memcpy(ch.c, s, std::min<std::size_t>(std::strlen(s), 4));
    return ch;
}

} // namespace

TEST(KioLink, ValidateSegments)
{
    // Valid: SO, pairs of bytes from 0x40, SI within the length; only the first SI counts.
    for (const auto &[segment, n, valid] : {std::tuple{"0E0F", 2, 1},
                                            {"0E410F", 3, 0},
                                            {"0E41420F", 4, 1},
                                            {"0E41420F", 3, 0},
                                            {"0E410E42430F", 6, 0},
                                            {"0E410A420F", 5, 0},
                                            {"0E41420F0F", 5, 1},
                                            {"0F", 1, 0},
                                            {"0E", 0, 0}})
        EXPECT_EQ(dbcs_validate(hex(segment).data(), n), valid) << segment << " " << n;
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
    temp_dir tmp;
    const std::filesystem::path dir = tmp.path();
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
