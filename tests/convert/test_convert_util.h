// Helpers for the conversion tests: run nje_convert_toibm over bytes held in memory, read the data
// file back with nje_data_read_next and expand its blocks with rje_expand_block.
#pragma once

#include <gtest/gtest.h>

#include "convert/rje_convert.h"
#include "convert/rje_expand.h"
#include "spool/rje_data.h"
#include "tests/test_util.h"

namespace convert_test
{

struct Conversion {
    std::int64_t result = 0;
    Bytes file; // the whole data file, end-of-data mark included
};

// Converts the stream `in` into a fresh data file (closed with its end-of-data mark).
inline Conversion convert(std::FILE *in, int lrecl, int maxdata, int format, int tabs = 8, int fixed = 0)
{
    MemOut df;
    unsigned char *buffer = nje_data_allocate_buffer(8192);
    EXPECT_TRUE(in != nullptr && df.f != nullptr && buffer != nullptr);
    Conversion c{nje_convert_toibm(in, df.f, buffer, lrecl, maxdata, format, 0, tabs, fixed), {}};
    nje_data_write_eod(df.f);
    nje_data_free_buffer(buffer);
    c.file = df.bytes();
    return c;
}

inline Conversion convert(const Bytes &input, int lrecl, int maxdata, int format, int tabs = 8, int fixed = 0)
{
    InputFile in(input);
    return convert(in.f, lrecl, maxdata, format, tabs, fixed);
}

// The data records of a data file, in order.
inline std::vector<Bytes> data_records(const Bytes &file)
{
    std::vector<Bytes> recs;
    InputFile f(file);
    Bytes out(1 << 20);
    for (;;) {
        int control = 0, count = 0;
        const int n = nje_data_read_next(f.f, out.data(), out.size(), &control, &count);
        EXPECT_GE(n, 0) << "data file not closed by its end-of-data mark";
        if (n <= 0)
            break;
        EXPECT_EQ(control, 0x80);
        recs.emplace_back(out.begin(), out.begin() + n);
    }
    return recs;
}

// Every record of every block, in order (the record end 0x15 taken off). Every record must end
// inside its block: a record never spans two blocks.
inline std::vector<Bytes> records(const Bytes &file)
{
    std::vector<Bytes> recs;
    rje_expand_ctx ctx;
    for (const Bytes &block : data_records(file)) {
        unsigned char rec[1024];
        std::size_t length = 0;
        const unsigned rc = rje_expand_block(&ctx, block.data(), block.size(), rec, sizeof rec, length,
                                             [&](const unsigned char *r, std::size_t n) {
                                                 EXPECT_EQ(r[n - 1], RJE_NL);
                                                 recs.emplace_back(r, r + n - 1);
                                             });
        EXPECT_EQ(rc, EOR_EOB) << "block ends inside a record";
    }
    return recs;
}

} // namespace convert_test
