// Fuzz target: arbitrary bytes cut into records, compressed into blocks and expanded again. The
// compressor and its padded form (with and without the record's masks) must place the bytes of the
// plain reference transcription, and every record must come back, in order, ended by NL. Input: two
// bytes choose the block size (16..3811; records go into blocks of 300 bytes or more only once they
// fit) and, by the low bit of the second, whether the vectors are used; then records, each a length
// byte and up to that many data bytes.
#include "convert/rje_compress.h"
#include "convert/rje_expand.h"
#include "convert/vector_scan.h"
#include "tests/convert/reference_compress.h"

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

// The pairs and blanks of the record's first 128 bytes and of the padding behind it.
RjeRecordMasks masks_of(const Bytes &padded)
{
    RjeRecordMasks m{};
    for (std::size_t j = 0; j < 128 && j < padded.size(); ++j) {
        m.pair[j / 64] |= std::uint64_t{j > 0 && padded[j] == padded[j - 1]} << (j % 64);
        m.blank[j / 64] |= std::uint64_t{padded[j] == EBCDIC_BLANK} << (j % 64);
    }
    return m;
}

// Compresses `in` at out with all the compressors (the padded one with and without the record's
// masks) into copies of the block. @return the result.
int compress_three(const Bytes &in, Bytes &block, unsigned char *&out)
{
    Bytes padded = in;
    padded.resize(in.size() + RJE_COMPRESS_READ_PAD, 0x40);
    Bytes plain_block = block, ref_block = block, masked_block = block;
    const std::size_t at = static_cast<std::size_t>(out - block.data());
    const auto size = static_cast<unsigned>(block.size());
    unsigned char *o_fast = out, *o_plain = plain_block.data() + at, *o_ref = ref_block.data() + at;
    unsigned char *o_masked = masked_block.data() + at;
    const unsigned char *p_plain = in.data(), *p_ref = in.data();
    const int fast = rje_compress_padded(padded.data(), padded.data() + in.size(), &o_fast, block.data(),
                                         block.data() + size);
    const int plain = rje_compress(&p_plain, &o_plain, in.data() + in.size(), plain_block.data() + size, size,
                                   RJE_MODE_RECORD);
    const int ref = reference_compress(&p_ref, &o_ref, in.data() + in.size(), ref_block.data() + size, size);
    const int masked = rje_compress_masked(padded.data(), padded.data() + in.size(), masks_of(padded), &o_masked,
                                           masked_block.data(), masked_block.data() + size);
    check(fast == ref && plain == ref && masked == ref && p_plain == p_ref);
    check(o_masked - masked_block.data() == o_ref - ref_block.data());
    check(std::memcmp(masked_block.data(), ref_block.data(), static_cast<std::size_t>(o_ref - ref_block.data())) ==
          0);
    check(o_fast - block.data() == o_ref - ref_block.data() &&
          o_plain - plain_block.data() == o_ref - ref_block.data());
    check(std::memcmp(block.data(), ref_block.data(), static_cast<std::size_t>(o_ref - ref_block.data())) ==
          0);
    check(std::memcmp(plain_block.data(), ref_block.data(),
                      static_cast<std::size_t>(o_ref - ref_block.data())) == 0);
    out = o_fast;
    return ref;
}

// Expands one block and checks its records against want[*next...].
void expand_block(rje_expand_ctx &ctx, const Bytes &block, const std::vector<Bytes> &want, std::size_t *next)
{
    check(block.size() >= 6 && block[block.size() - 2] == 0x01 && block.back() == RJE_IRS);
    unsigned char buf[RJE_MAX_RECORD_DATA + 1];
    std::size_t length = 0;
    const unsigned rc =
        rje_expand_block(&ctx, block.data(), block.size(), buf, sizeof buf, length,
                         [&](const unsigned char *r, std::size_t n) {
                             check(*next < want.size());
                             const Bytes &w = want[(*next)++];
                             const std::size_t k = w.empty() ? 1 : w.size();
                             check(n == k + 1 && r[k] == RJE_NL);
                             check(w.empty() ? r[0] == EBCDIC_BLANK : std::memcmp(r, w.data(), k) == 0);
                         });
    check(rc == EOR_EOB);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const unsigned block_size = 16 + ((data[0] << 8 | data[1]) % 3796);
    // The compressor with the widest vectors the processor has, or without them (low bit of byte 1).
    vector_scan::isa_cap() = (data[1] & 1) != 0 ? vector_scan::Isa::base : vector_scan::Isa::avx512;
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
    rje_expand_ctx ctx;
    for (const Bytes &rec : records) {
        in = rec;
        in.push_back(RJE_IRS);
        for (;;) {
            unsigned char *before = out;
            const int rc = compress_three(in, block, out);
            if (rc == 1) {
                check(before != block.data() ||
                      static_cast<std::size_t>(out - before) <= RJE_MAX_COMPRESSED_RECORD);
                break;
            }
            // 0: block full; -1: initial string too long behind another record. Both fit a fresh
            // block of RJE_MIN_BLOCK_SIZE or more; a smaller block may refuse a record at its start.
            check(rc == 0 || rc == -1);
            if (before == block.data()) {
                check(block_size < RJE_MIN_BLOCK_SIZE);
                return 0;
            }
            expand_block(ctx, Bytes(block.data(), out), records, &next);
            out = block.data();
        }
    }
    if (out != block.data())
        expand_block(ctx, Bytes(block.data(), out), records, &next);
    check(next == records.size());
    return 0;
}
