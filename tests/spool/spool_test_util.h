// Helpers shared by the spool tests: temporary files and whole-file reads.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

using bytes = std::vector<unsigned char>;

// A unique path in the temporary directory, removed when the object goes away.
struct temp_path {
    inline static int serial = 0;
    std::string path = (std::filesystem::temp_directory_path() /
                        ("spooltest." + std::to_string(getpid()) + "." + std::to_string(serial++)))
                           .string();
    ~temp_path() { std::remove(path.c_str()); }
    const char *c_str() const { return path.c_str(); }
};

inline bytes read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), {});
}

// A read stream over `content` (a real file, so that seeking and end of file behave as on disk).
inline FILE *stream_of(const bytes &content)
{
    FILE *f = std::tmpfile();
    if (!content.empty())
        std::fwrite(content.data(), 1, content.size(), f);
    std::rewind(f);
    return f;
}
