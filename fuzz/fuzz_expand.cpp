// Fuzz target: expansion of arbitrary blocks. Input: one byte of options (bit 0 raw mode, bit 1
// xlate_to_nls, bit 2 traces, bits 3-7 times 4: where the data is cut into two blocks, 0 for one block), one
// byte for max, then the data. The second block goes on with the context the first one left. Every call must
// stay inside its block, produce at most max bytes, and the calls must come to an end.
#include "convert/rje_expand.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace
{

// Expands one block until it is used up; a block copied to exactly its size, so that a read past
// its last byte is caught.
void expand_block(const uint8_t *data, std::size_t len, unsigned max, unsigned options, rje_expand_ctx *ctx)
{
    if (len == 0)
        return;
    std::unique_ptr<unsigned char[]> block(new unsigned char[len]);
    for (std::size_t i = 0; i < len; ++i)
        block[i] = data[i];
    std::unique_ptr<unsigned char[]> buf(new unsigned char[max == 0 ? 1 : max]);
    const unsigned char *in = (options & 1) != 0 ? block.get() : rje_expand_begin(ctx, block.get(), len);
    const unsigned char *last = block.get() + len - 1;
    // Each call that returns EOR_MORE produces at least one byte, and a run gives at most 63 per SCB.
    const std::size_t limit = 64 * len + 4;
    for (std::size_t calls = 0;; ++calls) {
        if (calls > limit)
            std::abort();
        unsigned char *out = buf.get();
        const unsigned char *before = in;
        unsigned rc = rje_expand(&in, &out, max, last, ctx, (options & 4) != 0, buf.get());
        if (out < buf.get() || out - buf.get() > static_cast<long>(max) || in < before || in > last + 1)
            std::abort();
        if (rc != EOR_MORE || max == 0)
            break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const unsigned options = data[0];
    const unsigned max = data[1];
    const std::size_t len = size - 2, split = (options >> 3) * 4;
    const std::size_t cut = split == 0 ? len : std::min(len, split); // 0: one block

    static FILE *devnull = std::fopen("/dev/null", "w");
    utiltracefd = devnull;
    xlate_to_nls = (options & 2) != 0;
    rje_expand_ctx ctx;
    expand_block(data + 2, cut, max, options, &ctx);
    expand_block(data + 2 + cut, len - cut, max, options, &ctx);
    xlate_to_nls = 0;
    return 0;
}
