// The expansion's traces; its records are checked by the golden vectors (tests/data/convert/expand).
#include "convert/rje_expand.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

TEST(Expand, TraceGoesToUtiltracefd)
{
    utiltracefd = std::tmpfile();
    rje_expand_ctx ctx;
    ctx.scb = 0x04;
    const unsigned char b[] = {0x35, 0x01, 0xC1, 0x1E};
    unsigned char buf[8], *out = buf;
    const unsigned char *in = b;
    EXPECT_EQ(rje_expand(&in, &out, 8, &b[3], &ctx, 1, buf), EOR_EOB);
    std::string t(4096, '\0');
    std::rewind(utiltracefd);
    t.resize(std::fread(t.data(), 1, t.size(), utiltracefd));
    std::fclose(utiltracefd);
    utiltracefd = stderr;
    EXPECT_NE(t.find("rje_expand: EOR_EOB scb=0x00 trn_cnt=0"), std::string::npos) << t;
    EXPECT_NE(t.find("000000   3501c11e"), std::string::npos) << t;
    EXPECT_NE(t.find("000000   c115  "), std::string::npos) << t;
}
