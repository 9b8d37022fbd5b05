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
    // Room for two records at first, so that a small dataset takes little memory; a block larger than
    // the batch is written on its own.
    const std::size_t record = static_cast<std::size_t>(maxdata) + NJE_DATA_RECORD_OVERHEAD;
    batch_size = std::min(2 * record, std::max(record, BATCH_SIZE));
    batch = static_cast<unsigned char *>(std::malloc(batch_size));
    block = batch != nullptr ? batch + NJE_DATA_RECORD_OVERHEAD : nullptr;
    w = block;
}

BlockWriter::~BlockWriter()
{
    std::free(batch);
}

// Writes the complete records of the batch to the data file. @return false when the write failed.
bool BlockWriter::drain()
{
    const bool written = used == 0 || std::fwrite(batch, 1, used, df) == used;
    used = 0;
    block = batch + NJE_DATA_RECORD_OVERHEAD;
    w = block;
    return written;
}

// Ends the block, when it holds anything, as a data-file record as nje_data_write_next writes it
// (length, control byte, "SNA", the block) and starts the next one behind it, writing the batch out
// first when the next block might not fit. @return false when a write failed.
bool BlockWriter::flush()
{
    if (w == block)
        return true;
    const auto length = static_cast<std::size_t>(w - block);
    nje_data_put_record_head(block - NJE_DATA_RECORD_OVERHEAD, length, control);
    used += NJE_DATA_RECORD_OVERHEAD + length;
    const std::size_t next = used + NJE_DATA_RECORD_OVERHEAD + static_cast<std::size_t>(maxdata);
    if (next > batch_size && batch_size < BATCH_SIZE) {
        // Doubled while the dataset goes on filling it (when there is no memory for it, it stays).
        const std::size_t bigger = std::max(next, std::min(2 * batch_size, BATCH_SIZE));
        auto *grown = static_cast<unsigned char *>(std::realloc(batch, bigger));
        if (grown != nullptr) {
            batch = grown;
            batch_size = bigger;
        }
    }
    block = batch + used + NJE_DATA_RECORD_OVERHEAD;
    w = block;
    if (next > batch_size)
        return drain();
    return true;
}

std::int64_t BlockWriter::finish(std::int64_t status)
{
    const bool wrote = status < 0 || flush();
    const bool drained = drain();
    return wrote && drained ? status : NJE_CONVERT_WRITE_FAILED;
}

// The record did not fit behind the records in the block: it goes into a fresh one.
int BlockWriter::add_to_fresh_block(const unsigned char *rec, std::size_t len, const RjeRecordMasks *masks)
{
    if (!flush())
        return NJE_CONVERT_WRITE_FAILED;
    return append(rec, len, masks) > 0 ? 0 : NJE_CONVERT_COMPRESS_FAILED;
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
