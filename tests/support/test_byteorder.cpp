#include "support/byteorder.h"

#include <gtest/gtest.h>

TEST(ByteOrder, BigEndianRoundTrip)
{
    unsigned char b[4];
    be::put32(b, 0x0102A3F4u);
    EXPECT_EQ(b[0], 0x01);
    EXPECT_EQ(b[3], 0xF4);
    EXPECT_EQ(be::get32(b), 0x0102A3F4u);
    be::put16(b, 0xBEEF);
    EXPECT_EQ(b[0], 0xBE);
    EXPECT_EQ(be::get16(b), 0xBEEF);
}
