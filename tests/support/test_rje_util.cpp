// IBM time words and the hex dump.
#include "support/rje_util.h"

#include <gtest/gtest.h>

#include "tests/test_util.h"

TEST(IbmTime, WorkedValuesAndWrap)
{
    EXPECT_EQ(nje_toibmtime(1000000000), 0xB668EED8u);
    EXPECT_EQ(nje_toibmtime(2085978495), 0xFFFFFFFFu * 15625ull / 16384);
    EXPECT_EQ(nje_toibmtime(2085978496), 0u) << "2036-02-07 06:28:16 wraps";
    EXPECT_EQ(nje_fromibmtime(0xB668EED8), 999999999);
    EXPECT_EQ(nje_fromibmtime(nje_toibmtime(0)), -1);
}

TEST(IbmTime, RoundTripLosesAtMostTwoSeconds)
{
    for (uint32_t t = 0; t < 2085978496u - 7919u * 65536u; t += 7919u * 65536u + 13) {
        int64_t back = nje_fromibmtime(nje_toibmtime(t));
        EXPECT_LE(back, t);
        EXPECT_GE(back, int64_t{t} - 2) << t;
        // Full-precision reference: H is floor(seconds since 1900 * 15625 / 16384).
        uint64_t s = uint64_t{t} + 2208988800u;
        EXPECT_EQ(nje_toibmtime(t), s * 15625 / 16384) << t;
    }
}

TEST(DumpHex, ExactLayout)
{
    const Bytes b = hex("C1C2C3C4 F1F2F3F4 40404040 00000000 C1C2054F");
    const auto dump = [&b](int len) {
        MemOut out;
        nje_dumphex(b.data(), len, out.f);
        return out.str();
    };
    const std::string first = "000000   c1c2c3c4 f1f2f3f4 40404040 00000000   *ABCD1234    ....*\n";
    EXPECT_EQ(dump(16), first);
    EXPECT_EQ(dump(20), first + "000010   c1c2054f" + std::string(27, ' ') + "   *AB.|            *\n");
    EXPECT_EQ(dump(0), "");
    EXPECT_EQ(dump(-5), "");
}
