// Fuzz target: arbitrary bytes cut into records, compressed into blocks and expanded again; every
// record must come back, in order, ended by NL. Input: two bytes choose the block size (300..3811),
// then records, each a length byte and up to that many data bytes.
#include "convert/rje_compress.h"
#include "convert/rje_expand.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

using Bytes = std::vector<unsigned char>;

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// Expands one block and checks its records against want[*next...].
void expand_block(const Bytes &block, const std::vector<Bytes> &want, std::size_t *next)
{
    check(block.size() >= 6 && block[block.size() - 2] == 0x01 && block.back() == RJE_IRS);
    rje_expand_ctx ctx;
    ctx.scb = block[0];
    const unsigned char *in = block.data() + 1;
    unsigned char buf[RJE_MAX_RECORD_DATA + 1];
    for (unsigned rc = EOR_MORE; rc == EOR_MORE;) {
        unsigned char *out = buf;
        rc = rje_expand(&in, &out, sizeof buf, &block.back(), &ctx, 0, buf);
        check(rc != EOB_SPANNED && *next < want.size());
        const Bytes &w = want[(*next)++];
        const std::size_t n = w.empty() ? 1 : w.size();
        check(static_cast<std::size_t>(out - buf) == n + 1 && buf[n] == RJE_NL);
        check(w.empty() ? buf[0] == EBCDIC_BLANK : std::memcmp(buf, w.data(), n) == 0);
    }
    check(in == block.data() + block.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const unsigned block_size = 300 + ((data[0] << 8 | data[1]) % 3512);
    std::vector<Bytes> records;
    for (std::size_t i = 2; i < size;) {
        std::size_t n = data[i++];
        if (n > size - i)
            n = size - i;
        records.emplace_back(data + i, data + i + n);
        i += n;
    }

    Bytes block(block_size), in;
    unsigned char *out = block.data();
    std::size_t next = 0;
    for (const Bytes &rec : records) {
        in = rec;
        in.push_back(RJE_IRS);
        for (;;) {
            const unsigned char *p = in.data();
            unsigned char *before = out;
            int rc = rje_compress(&p, &out, in.data() + in.size(), block.data() + block_size, block_size,
                                  RJE_MODE_RECORD);
            if (rc == 1) {
                check(before != block.data() ||
                      static_cast<std::size_t>(out - before) <= RJE_MAX_COMPRESSED_RECORD);
                break;
            }
            // 0: block full; -1: initial string too long behind another record. Both fit a fresh block.
            check((rc == 0 || rc == -1) && before != block.data());
            expand_block(Bytes(block.data(), out), records, &next);
            out = block.data();
        }
    }
    if (out != block.data())
        expand_block(Bytes(block.data(), out), records, &next);
    check(next == records.size());
    return 0;
}
