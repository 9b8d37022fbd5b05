// Reads an arbitrary header file record by record (any type, then one type at a time) and walks the
// sections of every record, extracting the general section's fields through the checked form.
#include "spool/rje_fields.h"
#include "spool/rje_header.h"

#include "fuzz/fuzz_stream.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{

void walk(unsigned char *buffer, size_t size)
{
    const uint32_t body = nje_header_body_length(buffer);
    unsigned char *end = buffer + 12 + body;
    if (12 + static_cast<uint64_t>(body) > size)
        std::abort();
    int steps = 0;
    for (unsigned char *s = nje_section_read_next(buffer, nullptr); s; s = nje_section_read_next(buffer, s)) {
        const uint32_t length = nje_section_length(s);
        if (s < buffer + 12 || length < 4 || s + length > end || ++steps > 1 + static_cast<int>(body / 4))
            std::abort();
        uint32_t number;
        char text[64];
        nje_section_extract_fields(
            std::span<const unsigned char>(s, length),
            {{NJHGJID, &number}, {NJHGJNAM, text}, {NJHGETS, &number}, {NDHVFNAM, text}});
    }
    for (uint32_t id : {NJE_SECTION_GENERAL, NJE_SECTION_RSCS, NJE_ANY}) {
        const unsigned char *s = nje_section_read(buffer, id);
        if (s && (s < buffer + 12 || s + nje_section_length(s) > end))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = fuzz_stream(data, size);
    if (!f)
        return 0;
    std::vector<unsigned char> buffer(size % 3 == 0 ? 8192 : 256);
    for (uint32_t type : {NJE_ANY, NJE_JOB_HEADER, NJE_DATASET_HEADER}) {
        int rc = nje_header_read_first(f, buffer.data(), buffer.size());
        // read_first takes any type; the filtered passes go on from there.
        while (rc > 0) {
            walk(buffer.data(), buffer.size());
            rc = nje_header_read(f, buffer.data(), buffer.size(), type);
        }
    }
    std::fclose(f);
    return 0;
}
