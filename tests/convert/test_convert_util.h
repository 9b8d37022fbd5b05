// Helpers for the conversion tests: run nje_convert_toibm over bytes held in memory, read the data
// file back with nje_data_read_next and expand its blocks with rje_expand.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "convert/rje_convert.h"
#include "convert/rje_expand.h"
#include "spool/rje_data.h"

namespace convert_test
{

using Bytes = std::vector<unsigned char>;

inline Bytes bytes(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

// An input file holding `data`, positioned at its start; closed at scope exit.
struct InputFile {
    std::FILE *f = std::tmpfile();
    explicit InputFile(const Bytes &data)
    {
        // data() of an empty vector may be null, which fwrite must not get.
        if (f != nullptr && (data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size()))
            std::rewind(f);
    }
    ~InputFile() { std::fclose(f); }
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;
};

struct Conversion {
    std::int64_t result = 0;
    Bytes file; // the whole data file, end-of-data mark included
};

// Converts `input` into a fresh data file (closed with its end-of-data mark).
inline Conversion convert(const Bytes &input, int lrecl, int maxdata, int format, int tabs = 8, int fixed = 0)
{
    Conversion c;
    InputFile in(input);
    char *text = nullptr;
    std::size_t size = 0;
    std::FILE *df = open_memstream(&text, &size);
    unsigned char *buffer = nje_data_allocate_buffer(8192);
    EXPECT_TRUE(in.f != nullptr && df != nullptr && buffer != nullptr);
    c.result = nje_convert_toibm(in.f, df, buffer, lrecl, maxdata, format, 0, tabs, fixed);
    nje_data_write_eod(df);
    std::fclose(df);
    nje_data_free_buffer(buffer);
    c.file.assign(text, text + size);
    std::free(text);
    return c;
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
