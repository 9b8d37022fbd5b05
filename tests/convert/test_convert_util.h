// Helpers for the conversion tests: run nje_convert_toibm over bytes held in memory, read the data
// file back with nje_data_read_next and expand its blocks with rje_expand.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
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
    std::FILE *f = nullptr;
    explicit InputFile(const Bytes &data)
    {
        f = std::tmpfile();
        if (f != nullptr) {
            if (!data.empty()) {
                std::fwrite(data.data(), 1, data.size(), f);
            }
            std::rewind(f);
        }
    }
    ~InputFile()
    {
        if (f != nullptr) {
            std::fclose(f);
        }
    }
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;
};

inline std::string temp_path(const char *name)
{
    return ::testing::TempDir() + "convert_" + std::to_string(getpid()) + "_" + name;
}

inline Bytes read_file(const std::string &path)
{
    Bytes out;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return out;
    }
    unsigned char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        out.insert(out.end(), buf, buf + n);
    }
    std::fclose(f);
    return out;
}

struct Conversion {
    int result = 0;
    Bytes file; // the whole data file, end-of-data mark included
};

// Converts `input` into a fresh data file (closed with its end-of-data mark).
inline Conversion convert(const Bytes &input, int lrecl, int maxdata, int format, int tabs = 8, int fixed = 0)
{
    Conversion c;
    const std::string path = temp_path("data");
    InputFile in(input);
    std::FILE *df = nje_data_create(path.c_str());
    unsigned char *buffer = nje_data_allocate_buffer(8192);
    EXPECT_TRUE(in.f != nullptr && df != nullptr && buffer != nullptr);
    c.result = nje_convert_toibm(in.f, df, buffer, lrecl, maxdata, format, 0, tabs, fixed);
    nje_data_write_eod(df);
    nje_data_close(df);
    nje_data_free_buffer(buffer);
    c.file = read_file(path);
    std::remove(path.c_str());
    return c;
}

// The data records of a data file, in order.
inline std::vector<Bytes> data_records(const Bytes &file)
{
    std::vector<Bytes> recs;
    const std::string path = temp_path("read");
    std::FILE *f = std::fopen(path.c_str(), "wb");
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
    f = nje_data_open(path.c_str());
    Bytes out(1 << 20);
    for (;;) {
        int control = 0, count = 0;
        const int n = nje_data_read_next(f, out.data(), out.size(), &control, &count);
        if (n <= 0) {
            EXPECT_EQ(n, 0) << "data file not closed by its end-of-data mark";
            break;
        }
        EXPECT_EQ(control, 0x80);
        recs.emplace_back(out.begin(), out.begin() + n);
    }
    nje_data_close(f);
    std::remove(path.c_str());
    return recs;
}

// Expands one block into its records (the record end 0x15 taken off). Every record must end inside
// the block: a record never spans two blocks.
inline std::vector<Bytes> expand_block(const Bytes &block)
{
    std::vector<Bytes> recs;
    if (block.empty()) {
        return recs;
    }
    rje_expand_ctx ctx;
    ctx.scb = block[0];
    const unsigned char *in = block.data() + 1;
    const unsigned char *last = block.data() + block.size() - 1;
    for (;;) {
        unsigned char rec[1024];
        unsigned char *out = rec;
        const unsigned rc = rje_expand(&in, &out, sizeof rec, last, &ctx, 0, rec);
        if (rc == EOB_SPANNED) {
            EXPECT_EQ(out, rec) << "block ends inside a record";
            break;
        }
        EXPECT_TRUE(out > rec && out[-1] == 0x15);
        recs.emplace_back(rec, out - 1);
        if (rc == EOR_EOB) {
            break;
        }
    }
    return recs;
}

// Every record of every block, in order.
inline std::vector<Bytes> records(const Bytes &file)
{
    std::vector<Bytes> all;
    for (const Bytes &b : data_records(file)) {
        for (Bytes &r : expand_block(b)) {
            all.push_back(std::move(r));
        }
    }
    return all;
}

} // namespace convert_test
