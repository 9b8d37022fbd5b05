// Bulk input of the conversion: large reads into one buffer. (Mapping regular files instead was
// measured slower on the machines we run on: page mapping costs more there than the kernel's copy.)
#include "convert/convert_input.h"

#include <cstdlib>
#include <cstring>

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
    const std::size_t want = cap - end;
    const std::size_t got = std::fread(buf + end, 1, want, f);
    end += got;
    if (got < want)
        eof = true;
    return got > 0;
}
