// The block writer: SNA compression or format-4 framing into blocks, blocks into data-file records.
#include "convert/convert_blocks.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "convert/rje_compress.h"
#include "convert/rje_convert.h"
#include "spool/rje_data.h"

namespace
{

constexpr std::size_t BATCH_SIZE = 256 * 1024; // data-file records collected before one write

// Format-4 framing: TRN and its count, the string control bytes around the data.
constexpr int FORMAT4_OVERHEAD = 10;     // a chunk of n bytes takes at most n + 10 bytes of a block
constexpr int FORMAT4_FIRST_DIRECT = 59; // data bytes behind the count in a block's first record
constexpr int FORMAT4_LATER_DIRECT = 60; // ... in a later record (the rewritten 0x01 covers IRS too)
constexpr int FORMAT4_PIECE = 63;        // longest further piece of data under one SCB
constexpr unsigned char FORMAT4_LONG_FIRST_SCB = 0x3D; // TRN, count and 59 bytes
constexpr unsigned char FORMAT4_LONG_LATER_SCB = 0x3F; // IRS, TRN, count and 60 bytes

} // namespace

BlockWriter::BlockWriter(std::FILE *data_file, int control_value, int block_size)
    : df(data_file), control(control_value), maxdata(block_size)
{
    block = nje_data_allocate_buffer(static_cast<std::size_t>(maxdata));
    if (block != nullptr)
        std::memset(block, 0, static_cast<std::size_t>(maxdata));
    w = block;
    // A block larger than the batch goes straight to the data file; so does everything when no
    // memory is left for the batch.
    if (static_cast<std::size_t>(maxdata) + NJE_DATA_RECORD_OVERHEAD <= BATCH_SIZE) {
        batch = static_cast<unsigned char *>(std::malloc(BATCH_SIZE));
        mem = batch != nullptr ? fmemopen(batch, BATCH_SIZE, "w") : nullptr;
        if (mem != nullptr)
            std::setvbuf(mem, nullptr, _IONBF, 0);
    }
}

BlockWriter::~BlockWriter()
{
    if (mem != nullptr)
        std::fclose(mem);
    std::free(batch);
    nje_data_free_buffer(block);
}

// Moves the collected records into the data file. @return false when the write failed.
bool BlockWriter::drain()
{
    if (mem == nullptr)
        return true;
    const long pos = std::ftell(mem);
    if (pos < 0)
        return false;
    const auto n = static_cast<std::size_t>(pos);
    const bool written = n == 0 || std::fwrite(batch, 1, n, df) == n;
    std::fseek(mem, 0, SEEK_SET);
    return written;
}

// Writes the block when it holds anything. @return false when the write failed.
bool BlockWriter::flush()
{
    if (w == block)
        return true;
    std::FILE *to = df;
    if (mem != nullptr) {
        const long pos = std::ftell(mem);
        if (pos < 0 ||
            static_cast<std::size_t>(pos) + static_cast<std::size_t>(maxdata) + NJE_DATA_RECORD_OVERHEAD >
                BATCH_SIZE) {
            if (!drain()) {
                w = block;
                return false;
            }
        }
        to = mem;
    }
    const int rc = nje_data_write_next(to, block, static_cast<std::size_t>(w - block), control,
                                       static_cast<std::size_t>(maxdata), NJE_DATA_FORMAT_SNA);
    w = block;
    return rc == 0;
}

std::int64_t BlockWriter::finish(std::int64_t status)
{
    const bool wrote = status < 0 || flush();
    const bool drained = drain();
    return wrote && drained ? status : NJE_CONVERT_WRITE_FAILED;
}

int BlockWriter::add(const unsigned char *rec, std::size_t len)
{
    for (;;) {
        const bool at_start = w == block;
        if (rje_compress_padded(rec, rec + len, &w, block, block + maxdata) > 0)
            return 0;
        if (at_start)
            return NJE_CONVERT_COMPRESS_FAILED;
        if (!flush())
            return NJE_CONVERT_WRITE_FAILED;
    }
}

int BlockWriter::add_transparent(const unsigned char *data, int n)
{
    if ((w - block) + n + FORMAT4_OVERHEAD >= maxdata && !flush())
        return NJE_CONVERT_WRITE_FAILED;
    if (n + FORMAT4_OVERHEAD >= maxdata)
        return NJE_CONVERT_COMPRESS_FAILED; // not even an empty block takes it
    unsigned char *p = w;
    const bool first = w == block;
    if (first) {
        *p++ = n <= FORMAT4_FIRST_DIRECT ? static_cast<unsigned char>(n + 2) : FORMAT4_LONG_FIRST_SCB;
    } else {
        // The previous record's final 0x01 now covers its IRS, this record's TRN, count and data.
        w[-2] = n <= FORMAT4_FIRST_DIRECT ? static_cast<unsigned char>(n + 3) : FORMAT4_LONG_LATER_SCB;
    }
    const int direct = std::min(n, first ? FORMAT4_FIRST_DIRECT : FORMAT4_LATER_DIRECT);
    *p++ = RJE_TRN;
    *p++ = static_cast<unsigned char>(n);
    std::memcpy(p, data, static_cast<std::size_t>(direct));
    p += direct;
    for (int done = direct; done < n;) {
        const int piece = std::min(FORMAT4_PIECE, n - done);
        *p++ = static_cast<unsigned char>(piece);
        std::memcpy(p, data + done, static_cast<std::size_t>(piece));
        p += piece;
        done += piece;
    }
    *p++ = RJE_SCB_END_RECORD;
    *p++ = RJE_IRS;
    w = p;
    return 0;
}
