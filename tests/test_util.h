// Helpers shared by the test suites: bytes written as hex, whole files, scratch directories, memory
// streams, EBCDIC of ASCII text and the seeds of randomised tests.
#pragma once

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

#include "convert/translate.h"

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

// A fresh directory under the system's temporary directory, removed with its contents.
class temp_dir
{
  public:
    temp_dir()
    {
        std::string templ = (std::filesystem::temp_directory_path() / "jobpush-XXXXXX").string();
        if (mkdtemp(templ.data()) != nullptr)
            path_ = std::filesystem::canonical(templ).string();
    }
    ~temp_dir()
    {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

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
    Bytes bytes() { return ::bytes(str()); }
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
