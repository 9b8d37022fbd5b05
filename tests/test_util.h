// Helpers shared by the test suites: bytes written as hex, whole files, scratch directories, memory
// streams, EBCDIC of ASCII text, the seeds of randomised tests; conversions into data files held in
// memory, read back with nje_data_read_next and expanded with rje_expand_block; NETDATA streams read
// back record by record.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "convert/netdata_read.h"
#include "convert/rje_convert.h"
#include "convert/rje_expand.h"
#include "convert/translate.h"
#include "spool/rje_data.h"

using Bytes = std::vector<unsigned char>;

// Blank-separated tokens: "C1" or "4E4F4445" (bytes in order), "40*63" (a token repeated), "x59" (59
// distinct bytes from 0x81 on), "n20" (the bytes 0 to 19).
inline Bytes hex(const std::string &s)
{
    Bytes r;
    std::istringstream words(s);
    for (std::string w; words >> w;) {
        if (w[0] == 'x' || w[0] == 'n') {
            for (unsigned long k = 0, n = std::stoul(w.substr(1)); k < n; ++k)
                r.push_back(static_cast<unsigned char>(w[0] == 'x' ? 0x81 + k : k));
            continue;
        }
        const std::size_t star = w.find('*');
        Bytes one;
        for (std::size_t i = 0; i + 1 < std::min(star, w.size()); i += 2)
            one.push_back(static_cast<unsigned char>(std::stoul(w.substr(i, 2), nullptr, 16)));
        for (unsigned long n = star == std::string::npos ? 1 : std::stoul(w.substr(star + 1)); n > 0; --n)
            r.insert(r.end(), one.begin(), one.end());
    }
    return r;
}

// The bytes as hex() reads them, each followed by a blank.
inline std::string hex_of(const unsigned char *p, const unsigned char *end)
{
    std::string h;
    for (; p < end; ++p)
        h += {"0123456789ABCDEF"[*p >> 4], "0123456789ABCDEF"[*p & 15], ' '};
    return h;
}

// The blank-separated words of s.
inline std::vector<std::string> words(const std::string &s)
{
    std::vector<std::string> w;
    std::istringstream in(s);
    for (std::string word; in >> word;)
        w.push_back(word);
    return w;
}

inline Bytes bytes(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

inline Bytes cat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// EBCDIC of ASCII text with the built-in table.
inline std::string ebcdic(const std::string &ascii)
{
    std::string out;
    for (unsigned char c : ascii)
        out += static_cast<char>(nje_AtoE[c]);
    return out;
}

inline std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void write_file(const std::string &path, const std::string &data)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

// A fresh, empty directory under the build tree (left there for inspection), named `name` or else
// after the running test.
inline std::string fresh_dir(std::string name = "")
{
    const ::testing::TestInfo *t = ::testing::UnitTest::GetInstance()->current_test_info();
    if (name.empty() && t != nullptr)
        name = std::string(t->test_suite_name()) + "-" + t->name();
    const std::filesystem::path dir = std::filesystem::path(JOBPUSH_BINARY_DIR) / "test-scratch" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

// A read stream over `data` (a real file, so that seeking and the end of file behave as on disk),
// positioned at its start; closed at scope exit.
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

// A stream that writes into memory; str() is what was written so far.
struct MemOut {
    char *text = nullptr;
    std::size_t size = 0;
    std::FILE *f = open_memstream(&text, &size);
    std::string str()
    {
        std::fflush(f);
        return std::string(text, size);
    }
    ~MemOut()
    {
        std::fclose(f);
        std::free(text);
    }
    MemOut() = default;
    MemOut(const MemOut &) = delete;
    MemOut &operator=(const MemOut &) = delete;
};

// The seed of a randomised test: the environment variable `name` when set, else a random one; printed
// so that a failure can be replayed.
inline std::uint64_t test_seed(const char *name)
{
    const char *env = std::getenv(name);
    const std::uint64_t v = env != nullptr ? std::strtoull(env, nullptr, 0) : std::random_device{}();
    std::printf("%s=%llu\n", name, static_cast<unsigned long long>(v));
    return v;
}

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
    c.file = bytes(df.str());
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

struct netdata_record {
    unsigned flags; // of the record's first segment
    Bytes data;
};

// The logical records of the NETDATA stream in a data file, read into `room` bytes until -1.
inline std::vector<netdata_record> netdata_records(const Bytes &file, std::size_t room = 8192)
{
    InputFile in(file);
    netdata_reader r;
    nje_netdata_read_init(in.f, &r);
    std::vector<netdata_record> out;
    Bytes buf(room);
    unsigned flags = 0;
    for (int n; (n = nje_netdata_get_record(&r, buf.data(), buf.size(), &flags)) >= 0;)
        out.push_back({flags, Bytes(buf.begin(), buf.begin() + n)});
    return out;
}
