// Bulk input of the conversion: large reads into one buffer. (Mapping regular files instead was
// measured slower on the machines we run on: page mapping costs more there than the kernel's copy.)
#include "convert/convert_input.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{

constexpr std::size_t READ_ALIGN = 4096;
constexpr std::size_t FIRST_SIZE = 16 * 1024; // the buffer's size before it grows

} // namespace

// The buffer is not cleared: only the PAD bytes behind the available ones are given values (they are
// read, their values not used).
ConvertInput::ConvertInput(std::FILE *file, std::size_t buffer_size)
    : f(file), cap(std::min(buffer_size, FIRST_SIZE)), max_cap(buffer_size)
{
    buf = static_cast<unsigned char *>(std::malloc(cap + PAD));
    if (buf != nullptr)
        std::memset(buf, 0, PAD);
}

ConvertInput::~ConvertInput()
{
    std::free(buf);
}

bool ConvertInput::refill()
{
    if (eof)
        return false;
    if (pos > 0) {
        std::memmove(buf, buf + pos, end - pos);
        end -= pos;
        pos = 0;
    }
    if (filled && cap < max_cap) {
        // Doubled while the input goes on filling it (when there is no memory for it, it stays).
        const std::size_t bigger = std::min(2 * cap, max_cap);
        auto *grown = static_cast<unsigned char *>(std::realloc(buf, bigger + PAD));
        if (grown != nullptr) {
            buf = grown;
            cap = bigger;
        }
    }
    // Whole pages where the room allows: the stream library reads those straight into the buffer
    // in one system call, and only an odd rest through its own buffer.
    std::size_t want = cap - end;
    if (want > READ_ALIGN)
        want -= want % READ_ALIGN;
    const std::size_t got = std::fread(buf + end, 1, want, f);
    end += got;
    std::memset(buf + end, 0, PAD);
    filled = got == want;
    if (got < want)
        eof = true;
    return got > 0;
}
