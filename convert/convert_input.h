// Bulk input of the conversion (internal to convert/): the input stream read a large piece at a time
// into a buffer, with the bytes not yet used kept in front. Reading goes through the stream, so a
// byte pushed back with ungetc comes first and the stream ends up where reading leaves it.
#pragma once

#include <cstddef>
#include <cstdio>

#include "convert/vector_scan.h"

struct ConvertInput {
    // Readable bytes that always follow the available ones (their values carry no meaning).
    static constexpr std::size_t PAD = vector_scan::PAD;

    // buffer_size: the most bytes available at once (at least 4096). The buffer starts smaller and
    // grows while reads fill it, so that a small input takes little memory. ok() is false when it
    // could not be allocated.
    ConvertInput(std::FILE *file, std::size_t buffer_size);
    ~ConvertInput();
    ConvertInput(const ConvertInput &) = delete;
    ConvertInput &operator=(const ConvertInput &) = delete;

    bool ok() const { return buf != nullptr; }
    // The next unused bytes: data()[0 .. avail()), followed by PAD readable bytes.
    const unsigned char *data() const { return buf + pos; }
    std::size_t avail() const { return end - pos; }
    void advance(std::size_t k) { pos += k; }
    // True when no bytes beyond the available ones will come.
    bool at_end() const { return eof; }
    // Reads more bytes behind the unused ones. @return false when none came.
    bool refill();
    // One byte at a time: the next byte or EOF; unget() gives back the byte just taken.
    int get() { return pos == end && !refill() ? EOF : buf[pos++]; }
    void unget() { --pos; }

  private:
    std::FILE *f;
    unsigned char *buf;
    std::size_t cap;
    std::size_t max_cap;
    bool filled = false; // the last read filled the room it was given: the input is large
    std::size_t pos = 0;
    std::size_t end = 0;
    bool eof = false;
};
