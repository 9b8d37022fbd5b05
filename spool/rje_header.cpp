// Header file NJH<id>: creating, writing, marking valid and reading its records, and walking the NJE
// sections of a record in a header buffer (12-byte prefix, then the body of sections).
#include "spool/rje_header.h"

#include "support/byteorder.h"
#include "support/rje_file.h"

#include <climits>
#include <cstring>
#include <unistd.h>

// ---- prefix and section head accessors ----

void nje_header_set_type(unsigned char *buffer, uint32_t type)
{
    be::put32(buffer + NJE_PREFIX_TYPE, type);
}
void nje_header_set_offset(unsigned char *buffer, uint32_t data_offset)
{
    be::put32(buffer + NJE_PREFIX_OFFSET, data_offset);
}
uint32_t nje_header_type(const unsigned char *buffer)
{
    return be::get32(buffer + NJE_PREFIX_TYPE);
}
uint32_t nje_header_offset(const unsigned char *buffer)
{
    return be::get32(buffer + NJE_PREFIX_OFFSET);
}
uint32_t nje_header_body_length(const unsigned char *buffer)
{
    return be::get32(buffer + NJE_PREFIX_LENGTH);
}

uint32_t nje_section_length(const unsigned char *section)
{
    return be::get16(section + NJE_SECTION_LENGTH);
}
uint32_t nje_section_id(const unsigned char *section)
{
    return (static_cast<uint32_t>(section[NJE_SECTION_TYPE]) << 8) | section[NJE_SECTION_MODIFIER];
}

// ---- writing side ----

FILE *nje_header_create(const char *path)
{
    FILE *stream = rje_create_regular(path, true);
    if (!stream)
        return nullptr;
    const unsigned char mark = 0;
    if (std::fwrite(&mark, 1, 1, stream) != 1 || std::fflush(stream) != 0) {
        std::fclose(stream);
        unlink(path);
        return nullptr;
    }
    return stream;
}

int nje_header_initialize(unsigned char *buffer)
{
    std::memset(buffer, 0, NJE_PREFIX_SIZE);
    return 0;
}

unsigned char *nje_header_add_section(unsigned char *buffer, const unsigned char *section)
{
    const uint32_t body = nje_header_body_length(buffer);
    const uint32_t length = nje_section_length(section);
    unsigned char *copy = buffer + NJE_PREFIX_SIZE + body;
    std::memmove(copy, section, length);
    be::put32(buffer + NJE_PREFIX_LENGTH, body + length);
    return copy;
}

unsigned char *nje_header_add_section(unsigned char *buffer, size_t buffer_size, const unsigned char *section)
{
    if (!buffer || !section || buffer_size < NJE_PREFIX_SIZE)
        return nullptr;
    const uint64_t body = nje_header_body_length(buffer);
    const uint64_t length = nje_section_length(section);
    if (length < NJE_SECTION_HEAD_SIZE || body + length > UINT32_MAX)
        return nullptr;
    if (NJE_PREFIX_SIZE + body + length > buffer_size)
        return nullptr;
    return nje_header_add_section(buffer, section);
}

int nje_header_write(FILE *stream, const unsigned char *buffer)
{
    const uint32_t body = nje_header_body_length(buffer);
    if (body > static_cast<uint32_t>(INT_MAX) - NJE_PREFIX_SIZE)
        return -1;
    const size_t total = NJE_PREFIX_SIZE + body;
    if (std::fwrite(buffer, 1, total, stream) != total)
        return -1;
    return static_cast<int>(body);
}

int nje_header_mark_as_valid(FILE *stream, int mark)
{
    if (std::fseek(stream, 0, SEEK_SET) != 0)
        return -1;
    const auto byte = static_cast<unsigned char>(mark);
    // Flushed here so that a full disk shows before the job is handed over.
    if (std::fwrite(&byte, 1, 1, stream) != 1 || std::fflush(stream) != 0)
        return -1;
    return 0;
}

int nje_header_close(FILE *stream)
{
    return std::fclose(stream);
}

// ---- reading side ----

FILE *nje_header_open(const char *path, unsigned char *mark_out)
{
    FILE *stream = rje_open_regular(path);
    if (!stream)
        return nullptr;
    unsigned char mark;
    if (std::fread(&mark, 1, 1, stream) != 1) {
        std::fclose(stream);
        return nullptr;
    }
    if (mark_out)
        *mark_out = mark;
    return stream;
}

int nje_header_read(FILE *stream, unsigned char *buffer, size_t size, uint32_t type)
{
    if (size < NJE_PREFIX_SIZE || !buffer || !stream)
        return -1;
    for (;;) {
        if (std::fread(buffer, 1, NJE_PREFIX_SIZE, stream) != NJE_PREFIX_SIZE)
            return std::feof(stream) ? 0 : -1;
        // 64-bit sum: a body length near 2^32 must not wrap past the size check.
        const uint64_t body = nje_header_body_length(buffer);
        if (NJE_PREFIX_SIZE + body > size)
            return -1;
        if (type == NJE_ANY || nje_header_type(buffer) == type) {
            if (body == 0 || body > INT_MAX)
                return -1;
            if (std::fread(buffer + NJE_PREFIX_SIZE, static_cast<size_t>(body), 1, stream) != 1)
                return -1;
            return static_cast<int>(body);
        }
        if (std::fseek(stream, static_cast<long>(body), SEEK_CUR) != 0)
            return -1;
    }
}

int nje_header_read_first(FILE *stream, unsigned char *buffer, size_t size)
{
    if (!stream || std::fseek(stream, NJE_HEADER_MARK_SIZE, SEEK_SET) != 0)
        return -1;
    return nje_header_read(stream, buffer, size, NJE_ANY);
}

int nje_header_read_next(FILE *stream, unsigned char *buffer, size_t size)
{
    return nje_header_read(stream, buffer, size, NJE_ANY);
}

// ---- section walk ----

namespace
{

// The first section from `start` whose id is `id` (or any), within `remaining` body bytes. Ends with
// null at a head that does not fit, a length below the head size, or a section longer than the rest.
const unsigned char *find_section(uint32_t id, const unsigned char *start, uint64_t remaining)
{
    while (remaining >= NJE_SECTION_HEAD_SIZE) {
        const uint32_t length = nje_section_length(start);
        if (length < NJE_SECTION_HEAD_SIZE || length > remaining)
            return nullptr;
        if (id == NJE_ANY || nje_section_id(start) == id)
            return start;
        start += length;
        remaining -= length;
    }
    return nullptr;
}

const unsigned char *next_section(const unsigned char *buffer, const unsigned char *current)
{
    const unsigned char *body = buffer + NJE_PREFIX_SIZE;
    const uint64_t body_length = nje_header_body_length(buffer);
    if (!current)
        return find_section(NJE_ANY, body, body_length);
    // Compared as addresses: `current` must be a section head inside this body.
    const auto pos = reinterpret_cast<uintptr_t>(current);
    const auto base = reinterpret_cast<uintptr_t>(body);
    if (pos < base || pos - base > body_length || body_length - (pos - base) < NJE_SECTION_HEAD_SIZE)
        return nullptr;
    const uint64_t length = nje_section_length(current);
    const uint64_t end = (pos - base) + length;
    if (length < NJE_SECTION_HEAD_SIZE || end > body_length)
        return nullptr;
    return find_section(NJE_ANY, body + end, body_length - end);
}

} // namespace

const unsigned char *nje_section_read(const unsigned char *buffer, uint32_t id)
{
    return find_section(id, buffer + NJE_PREFIX_SIZE, nje_header_body_length(buffer));
}
unsigned char *nje_section_read(unsigned char *buffer, uint32_t id)
{
    const unsigned char *found = nje_section_read(static_cast<const unsigned char *>(buffer), id);
    return found ? buffer + (found - buffer) : nullptr;
}

const unsigned char *nje_section_read_first(const unsigned char *buffer)
{
    return nje_section_read(buffer, NJE_ANY);
}
unsigned char *nje_section_read_first(unsigned char *buffer)
{
    return nje_section_read(buffer, NJE_ANY);
}

const unsigned char *nje_section_read_next(const unsigned char *buffer, const unsigned char *current)
{
    return next_section(buffer, current);
}
unsigned char *nje_section_read_next(unsigned char *buffer, const unsigned char *current)
{
    const unsigned char *found = next_section(buffer, current);
    return found ? buffer + (found - buffer) : nullptr;
}

// ---- printing ----

int nje_header_printtype(uint32_t type)
{
    switch (type) {
    case NJE_JOB_HEADER:
        return std::printf("Job Header: ");
    case NJE_JOB_TRAILER:
        return std::printf("Job trailer: ");
    case NJE_DATASET_HEADER:
        return std::printf("Dataset Header: ");
    default:
        return std::printf("%02x header: ", type);
    }
}

int nje_section_printtype(uint32_t id)
{
    switch (id) {
    case NJE_SECTION_GENERAL:
        return std::printf("General Section: ");
    case NJE_SECTION_RECCHAR:
        return std::printf("Record Char. Change Section: ");
    case NJE_SECTION_3800:
        return std::printf("3800 Section: ");
    case NJE_SECTION_JES2:
        return std::printf("JES2 Subsystem Section: ");
    case NJE_SECTION_POWER:
        return std::printf("VSE/POWER Subsystem Section: ");
    case NJE_SECTION_RSCS:
        return std::printf("RSCS Subsystem Section: ");
    case NJE_SECTION_OUTPUT:
        return std::printf("Output Processsing/Accounting Section: ");
    case NJE_SECTION_SCHEDULING:
        return std::printf("Job Scheduling Section: ");
    case NJE_SECTION_USER:
        return std::printf("User Section: ");
    default:
        return std::printf("%02x Section: ", id);
    }
}
