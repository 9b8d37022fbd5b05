// Fuzz target: the pattern matcher with an arbitrary pattern and text. Input: one byte, the number of
// capture buffers (low 4 bits, at most 10), one size byte per buffer, then the pattern up to the first
// NUL, then the text (its length is the rest of the input). Buffers and text are heap copies of exactly
// their sizes, so a write or read past them is caught; a buffer that was written must be terminated.
#include "support/jobcard.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{
constexpr char UNTOUCHED = 0x7F; // a buffer written by a capture always holds its NUL as well
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t buffers = std::min<std::size_t>(data[0] & 0x0F, MATCH_MAX_BUFFERS);
    std::size_t pos = 1;
    if (size < pos + buffers)
        return 0;
    std::vector<std::unique_ptr<char[]>> storage;
    std::vector<match_capture> caps;
    for (std::size_t i = 0; i < buffers; ++i) {
        const int n = data[pos++];
        storage.emplace_back(new char[n > 0 ? n : 1]);
        std::memset(storage.back().get(), UNTOUCHED, n > 0 ? n : 1);
        caps.push_back({storage.back().get(), n});
    }
    const void *nul = std::memchr(data + pos, 0, size - pos);
    const std::size_t pattern_end =
        nul ? static_cast<std::size_t>(static_cast<const uint8_t *>(nul) - data) : size;
    const std::string pattern(reinterpret_cast<const char *>(data + pos), pattern_end - pos);
    pos = nul ? pattern_end + 1 : size;
    const std::size_t text_length = size - pos;
    std::unique_ptr<char[]> text(new char[text_length > 0 ? text_length : 1]);
    std::memcpy(text.get(), data + pos, text_length);

    const int rc = match_pattern(pattern.c_str(), text.get(), static_cast<int>(text_length), caps);
    // At most one capture per "$" of the pattern.
    if (rc < -1 || rc > static_cast<int>(std::count(pattern.begin(), pattern.end(), '$')))
        std::abort();
    // A buffer that was written holds a NUL inside its size.
    for (const match_capture &c : caps) {
        const auto n = static_cast<std::size_t>(c.size);
        bool touched = false;
        for (std::size_t i = 0; i < n; ++i)
            touched = touched || c.buffer[i] != UNTOUCHED;
        if (touched && std::memchr(c.buffer, 0, n) == nullptr)
            std::abort();
    }
    return 0;
}
