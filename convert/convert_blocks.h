// The block writer of the conversion (internal to convert/): one block of maxdata bytes filled with
// SNA-compressed records (formats 0 and 1) or transparently framed chunks (format 4), which becomes one
// data-file record when full. The blocks are built in place, each behind room for its data-file record
// head, in a batch of records that reaches the data file in one large write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "convert/rje_compress.h"
#include "convert/rje_convert.h"

class BlockWriter
{
  public:
    // Blocks of maxdata bytes for data_file; control is the record control value of every record.
    // ok() is false when the block could not be allocated.
    BlockWriter(std::FILE *data_file, int control, int maxdata);
    ~BlockWriter();
    BlockWriter(const BlockWriter &) = delete;
    BlockWriter &operator=(const BlockWriter &) = delete;

    bool ok() const { return batch != nullptr; }

    // Appends one record: rec[0..len) is the data followed by the IRS, and RJE_COMPRESS_READ_PAD
    // readable bytes follow it; masks, when not null, are its pairs and blanks (rje_compress_masked).
    // A record that does not fit, or whose initial string would be too long behind the records
    // already there, starts a fresh block.
    // @return 0, NJE_CONVERT_WRITE_FAILED, or NJE_CONVERT_COMPRESS_FAILED when not even an empty
    //         block takes the record.
    int add(const unsigned char *rec, std::size_t len, const RjeRecordMasks *masks = nullptr)
    {
        const bool at_start = w == block;
        if (append(rec, len, masks) > 0)
            return 0;
        return at_start ? NJE_CONVERT_COMPRESS_FAILED : add_to_fresh_block(rec, len, masks);
    }

    // Appends a chunk of n bytes (1..255) in format-4 framing: TRN, count and the bytes in strings of
    // at most 63, no compression. A chunk goes into a block only while its used length + n + 10 stays
    // below maxdata.
    // @return 0, NJE_CONVERT_WRITE_FAILED, or NJE_CONVERT_COMPRESS_FAILED when n + 10 >= maxdata.
    int add_transparent(const unsigned char *data, int n);

    // Ends the dataset: writes the last block and everything collected; records already complete
    // reach the data file also when the conversion stops with an error.
    // @return status (a record count or an error result), or NJE_CONVERT_WRITE_FAILED.
    std::int64_t finish(std::int64_t status);

  private:
    int append(const unsigned char *rec, std::size_t len, const RjeRecordMasks *masks)
    {
        return masks != nullptr ? rje_compress_masked(rec, rec + len, *masks, &w, block, block + maxdata)
                                : rje_compress_padded(rec, rec + len, &w, block, block + maxdata);
    }
    int add_to_fresh_block(const unsigned char *rec, std::size_t len, const RjeRecordMasks *masks);
    bool flush();
    bool drain();

    std::FILE *df;
    int control;
    int maxdata;
    unsigned char *batch = nullptr; // data-file records, then the block being filled
    std::size_t batch_size = 0;     // room for two records at first, doubled while a dataset fills it
    std::size_t used = 0;           // bytes of complete records in the batch
    unsigned char *block = nullptr; // behind them and their head
    unsigned char *w = nullptr;     // write position in the block
};
