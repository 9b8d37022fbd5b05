// Reads an arbitrary data file record by record until the end-of-data mark or an error; every
// returned count must fit the output buffer and the record loop must end.
#include "spool/rje_data.h"

#include "fuzz/fuzz_stream.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = fuzz_stream(data, size);
    if (!f)
        return 0;
    // Sizes of the real callers: a NETDATA record and a block of the largest link buffer.
    static unsigned char out[3811];
    const size_t out_size = size % 2 ? 80 : sizeof out;
    for (;;) {
        int control = -1, count = -1;
        const int rc = nje_data_read_next(f, out, out_size, &control, &count);
        if (rc < 0)
            break;
        if (rc == 0) {
            if (count != 0)
                std::abort();
            break;
        }
        // An SNA record reads as 0x80, any other as the bits 0x30 of its control byte.
        if (count != rc || static_cast<size_t>(rc) > out_size || (control != 0x80 && (control & ~0x30) != 0))
            std::abort();
    }
    std::fclose(f);
    return 0;
}
