// Fuzz helper: the input bytes as a read stream over a real temporary file, so that seeking and end
// of file behave as they do on disk.
#pragma once

#include <cstdint>
#include <cstdio>

// @return the stream positioned at its first byte, or null when no temporary file can be made.
inline FILE *fuzz_stream(const uint8_t *data, size_t size)
{
    FILE *f = std::tmpfile();
    if (f == nullptr)
        return nullptr;
    if (size > 0)
        std::fwrite(data, 1, size, f);
    std::rewind(f);
    return f;
}
