// Bulk input of the conversion (internal to convert/): the input stream made available a large piece
// at a time. A regular file is mapped in bounded windows; every other stream, and the last bytes of a
// file, are read into a buffer. Either way the stream ends up where reading it would leave it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <sys/types.h>

#include "convert/vector_scan.h"

struct ConvertInput {
    // Readable bytes that always follow the available ones (their values carry no meaning).
    static constexpr std::size_t PAD = vector_scan::PAD;

    // Reads `file` from its current position (a byte pushed back with ungetc included); buffer_size
    // is the size of the read buffer. ok() is false when the buffer could not be allocated.
    ConvertInput(std::FILE *file, std::size_t buffer_size);
    ~ConvertInput();
    ConvertInput(const ConvertInput &) = delete;
    ConvertInput &operator=(const ConvertInput &) = delete;

    bool ok() const { return buf != nullptr; }
    // The next unused bytes: data()[0 .. avail()), followed by PAD readable bytes.
    const unsigned char *data() const { return base + pos; }
    std::size_t avail() const { return end - pos; }
    void advance(std::size_t k) { pos += k; }
    // True when no bytes beyond the available ones will come.
    bool at_end() const { return eof; }
    // Makes more bytes available behind the unused ones. @return false when none came.
    bool refill();
    // One byte at a time: the next byte or EOF; unget() gives back the byte just taken.
    int get() { return pos == end && !refill() ? EOF : base[pos++]; }
    void unget() { --pos; }

  private:
    bool refill_mapped();
    bool map_at(off_t fpos);
    void unmap();
    bool read_from(off_t fpos);

    std::FILE *f;
    unsigned char *buf;
    std::size_t cap;
    const unsigned char *base;
    std::size_t pos = 0;
    std::size_t end = 0;
    bool eof = false;
    // The mapped window of a regular file, while mapping.
    bool mapping = false;
    void *map = nullptr;
    std::size_t map_len = 0;
    off_t map_off = 0;
    off_t file_size = 0;
};
