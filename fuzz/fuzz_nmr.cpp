// Fuzz target: nodal message records from arbitrary blocks. Input: one byte of options (bit 0 the block
// is compressed, bits 1-7 the console index times 2, so indexes past the table are tried too), the
// console user pattern up to the first NUL, then the block. Every line of the block is made into
// records until the block is used up; block and record are heap copies of exactly their sizes.
#include "support/rje_nmr.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const bool compressed = (data[0] & 1) != 0;
    const int console = (data[0] >> 1) * 2;
    const void *nul = std::memchr(data + 1, 0, size - 1);
    if (nul == nullptr)
        return 0;
    const std::string conuids(reinterpret_cast<const char *>(data + 1),
                              static_cast<const uint8_t *>(nul) - (data + 1));
    const uint8_t *start = static_cast<const uint8_t *>(nul) + 1;
    const std::size_t len = static_cast<std::size_t>(data + size - start);
    if (len == 0)
        return 0;
    std::unique_ptr<unsigned char[]> block(new unsigned char[len]);
    std::memcpy(block.get(), start, len);
    std::unique_ptr<unsigned char[]> record(new unsigned char[NMR_RECORD_SIZE]);

    rje_expand_ctx ctx;
    const unsigned char *in = block.get();
    const unsigned char *end = block.get() + len;
    if (compressed)
        ctx.scb = *in++;
    // Each call takes a line or a piece of a run; a run gives at most 63 lines per SCB byte.
    for (std::size_t calls = 0; in < end; ++calls) {
        if (calls > 64 * len + 4)
            std::abort();
        unsigned char *out = record.get();
        const unsigned char *before = in;
        const int rc = rje_make_nmr(&in, &out, compressed ? end - 1 : end, "NODE", &ctx, console, compressed,
                                    conuids.c_str(), 0);
        if (in < before || in > end || (out != record.get() && out != record.get() + NMR_RECORD_SIZE))
            std::abort();
        if (rc != 0 && record[NMR_ML] > NMR_MSG_MAX)
            std::abort();
        if (rc == 0 && in == before)
            break; // nothing more in this block
    }
    return 0;
}
