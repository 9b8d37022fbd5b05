// Bulk input of the conversion: large reads into one buffer. (Mapping regular files instead was
// measured slower on the machines we run on: page mapping costs more there than the kernel's copy.)
#include "convert/convert_input.h"

#include <cstdlib>
#include <cstring>

namespace
{

constexpr std::size_t READ_ALIGN = 4096;

} // namespace

ConvertInput::ConvertInput(std::FILE *file, std::size_t buffer_size)
    : f(file), buf(static_cast<unsigned char *>(std::calloc(buffer_size + PAD, 1))), cap(buffer_size)
{
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
    // Whole pages where the room allows: the stream library reads those straight into the buffer
    // in one system call, and only an odd rest through its own buffer.
    std::size_t want = cap - end;
    if (want > READ_ALIGN)
        want -= want % READ_ALIGN;
    const std::size_t got = std::fread(buf + end, 1, want, f);
    end += got;
    if (got < want)
        eof = true;
    return got > 0;
}
