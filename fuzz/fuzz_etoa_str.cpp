// Fuzzes the field converters: arbitrary EBCDIC field bytes through nje_EtoA_str (plain and checked
// forms), and the same bytes as text through nje_AtoE_str, in a single-byte and a UTF-8 locale.
// Buffers are exactly as large as the contracts promise, so any overrun is caught.
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "convert/translate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    std::setlocale(LC_ALL, (data[0] & 1) ? "C.UTF-8" : "C");
    const size_t small = data[1] % 16 + 1;
    data += 2;
    size -= 2;

    std::vector<unsigned char> field(data, data + size);
    int n = static_cast<int>(field.size());
    std::vector<char> out(nje_etoa_str_bound(n));
    nje_EtoA_str(field.data(), out.data(), n);
    size_t len = std::strlen(out.data());
    if (len >= out.size()) {
        std::abort();
    }

    std::vector<char> cut(small);
    nje_EtoA_str(std::span<const unsigned char>(field), std::span<char>(cut));
    // The checked form gives a prefix of the full result.
    size_t cut_len = std::strlen(cut.data());
    if (cut_len >= small || std::memcmp(cut.data(), out.data(), cut_len) != 0) {
        std::abort();
    }

    std::vector<char> text(data, data + size);
    text.push_back('\0');
    std::vector<unsigned char> dst(small);
    const char *end = nje_AtoE_str(text.data(), dst.data(), static_cast<int>(small));
    if (end < text.data() || end > text.data() + std::strlen(text.data())) {
        std::abort();
    }
    std::setlocale(LC_ALL, "C");
    return 0;
}
