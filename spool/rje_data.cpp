// Data file NJD<id>: writing and reading its length-prefixed records and the end-of-data mark.
// Record: 4-byte length (data + 4), control byte 0x80 | (control & 0x30), "SNA", data.
#include "spool/rje_data.h"

#include "support/byteorder.h"
#include "support/rje_file.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

unsigned char *nje_data_allocate_buffer(size_t size)
{
    if (size > SIZE_MAX - NJE_DATA_HEADROOM)
        return nullptr;
    auto *block = static_cast<unsigned char *>(std::malloc(size + NJE_DATA_HEADROOM));
    return block ? block + NJE_DATA_HEADROOM : nullptr;
}

void nje_data_free_buffer(unsigned char *buffer)
{
    if (buffer)
        std::free(buffer - NJE_DATA_HEADROOM);
}

FILE *nje_data_create(const char *path)
{
    FILE *stream = rje_create_regular(path, false);
    if (!stream)
        return nullptr;
    // A null buffer lets the stream library allocate the 8192 bytes itself.
    std::setvbuf(stream, nullptr, _IOFBF, NJE_DATA_STREAM_BUFFER);
    return stream;
}

FILE *nje_data_open(const char *path)
{
    return rje_open_regular(path);
}

int nje_data_close(FILE *stream)
{
    return std::fclose(stream);
}

void nje_data_put_record_head(unsigned char *head, size_t length, int control)
{
    be::put32(head, static_cast<uint32_t>(length + NJE_DATA_CONTROL_SIZE + NJE_DATA_MARKER_SIZE));
    head[NJE_DATA_LENGTH_SIZE] =
        static_cast<unsigned char>(NJE_DATA_CONTROL_SNA | (control & NJE_DATA_CONTROL_BITS));
    std::memcpy(head + NJE_DATA_LENGTH_SIZE + NJE_DATA_CONTROL_SIZE, NJE_DATA_MARKER, NJE_DATA_MARKER_SIZE);
}

int nje_data_write_next(FILE *stream, unsigned char *buffer, size_t length, int control,
                        size_t /*buffer_size*/, int format)
{
    if ((format & 0xFF) != NJE_DATA_FORMAT_SNA || !stream || !buffer)
        return -1;
    if (length > UINT32_MAX - (NJE_DATA_CONTROL_SIZE + NJE_DATA_MARKER_SIZE))
        return -1;

    unsigned char head[NJE_DATA_RECORD_OVERHEAD];
    nje_data_put_record_head(head, length, control);
    // The marker goes into the buffer's headroom so that marker and data leave in one write.
    unsigned char *marked = buffer - NJE_DATA_MARKER_SIZE;
    std::memcpy(marked, NJE_DATA_MARKER, NJE_DATA_MARKER_SIZE);

    if (std::fwrite(head, 1, NJE_DATA_LENGTH_SIZE + NJE_DATA_CONTROL_SIZE, stream) !=
        NJE_DATA_LENGTH_SIZE + NJE_DATA_CONTROL_SIZE)
        return -1;
    if (std::fwrite(marked, 1, length + NJE_DATA_MARKER_SIZE, stream) != length + NJE_DATA_MARKER_SIZE)
        return -1;
    return 0;
}

int nje_data_write_eod(FILE *stream)
{
    static constexpr unsigned char eod[NJE_DATA_EOD_SIZE] = {0, 0, 0, 0};
    if (!stream || std::fwrite(eod, 1, sizeof eod, stream) != sizeof eod)
        return -1;
    return 0;
}

namespace
{

// Reads and drops `n` bytes. Reading (not seeking) works on pipes and stops at end of file.
bool skip_bytes(FILE *stream, uint64_t n)
{
    unsigned char scratch[512];
    while (n > 0) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(n, sizeof scratch));
        if (std::fread(scratch, 1, want, stream) != want)
            return false;
        n -= want;
    }
    return true;
}

// Where a record's data lies and what it tells, from its first (at most 4) bytes.
struct record_form {
    int64_t count;  // data bytes, may be negative for a malformed record
    uint32_t start; // offset of the first data byte in the record
    int control;    // control value handed back
};

record_form classify(const unsigned char *head, size_t head_len, uint32_t length)
{
    // Written form: control byte (0x80 plus bits 0x30 only), then "SNA"; an SNA record reads as 0x80.
    if (head_len == 4 && (head[0] & ~NJE_DATA_CONTROL_BITS) == NJE_DATA_CONTROL_SNA &&
        std::memcmp(head + 1, NJE_DATA_MARKER, NJE_DATA_MARKER_SIZE) == 0)
        return {static_cast<int64_t>(length) - 4, 4, NJE_DATA_CONTROL_SNA};
    // Marker first.
    if (std::memcmp(head, NJE_DATA_MARKER, NJE_DATA_MARKER_SIZE) == 0)
        return {static_cast<int64_t>(length) - 5, 3, NJE_DATA_CONTROL_SNA};
    // Control byte and a 16-bit count (data bytes + 1).
    return {static_cast<int64_t>(be::get16(head + 1)) - 1, 3, head[0] & NJE_DATA_CONTROL_BITS};
}

} // namespace

int nje_data_read_next(FILE *stream, unsigned char *out, size_t out_size, int *control_out, int *count_out)
{
    if (control_out)
        *control_out = 0;
    if (count_out)
        *count_out = 0;
    if (!stream)
        return -1;

    for (;;) {
        unsigned char word[NJE_DATA_LENGTH_SIZE];
        if (std::fread(word, 1, sizeof word, stream) != sizeof word)
            return -1;
        const uint32_t length = be::get32(word);
        if (length == 0)
            return 0; // end-of-data mark
        if (length < 3)
            return -1; // too short for any record form

        unsigned char head[4];
        const size_t head_len = std::min<size_t>(length, sizeof head);
        if (std::fread(head, 1, head_len, stream) != head_len)
            return -1;
        const record_form form = classify(head, head_len, length);
        const uint64_t available = length - form.start;
        if (form.count < 0 || static_cast<uint64_t>(form.count) > available)
            return -1;

        const auto count = static_cast<uint64_t>(form.count);
        if (count == 0) {
            // Nothing to return; an empty record must not read as the end-of-data mark, or the records
            // behind it would be lost.
            if (!skip_bytes(stream, length - head_len))
                return -1;
            continue;
        }
        if (count > out_size || count > INT_MAX || !out)
            return -1;

        // Data bytes already read with the head (at most one), then the rest straight into out.
        const size_t early = head_len > form.start ? std::min<size_t>(head_len - form.start, count) : 0;
        std::memcpy(out, head + form.start, early);
        const size_t rest = static_cast<size_t>(count) - early;
        if (std::fread(out + early, 1, rest, stream) != rest)
            return -1;
        const uint64_t consumed = std::max<uint64_t>(head_len, form.start + count);
        if (!skip_bytes(stream, length - consumed))
            return -1;

        if (control_out)
            *control_out = form.control;
        if (count_out)
            *count_out = static_cast<int>(count);
        return static_cast<int>(count);
    }
}
