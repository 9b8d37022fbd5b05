// Fuzz target: jobshow's reading of a job from arbitrary spool files. Input: a 4-byte big-endian length
// H, the H bytes of the header file, then the data file (H = 0xFFFFFFFF: a data file alone). The job
// is scanned, every header record's fields are extracted, and every dataset is read to its end both
// record by record (written as text) and block by block. Reading must end, and never pass a buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "convert/rje_fromibm.h"
#include "fuzz/fuzz_stream.h"
#include "support/byteorder.h"
#include "support/spool_job.h"

namespace
{

constexpr uint32_t DATA_ALONE = 0xFFFFFFFF;
constexpr std::size_t MAX_DATASETS = 16; // enough to reach every path, small enough to stay fast

void touch(const spool_field &field, void *context)
{
    auto *sum = static_cast<std::size_t *>(context);
    *sum += field.number + (field.text != nullptr ? std::strlen(field.text) : 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    const uint32_t h = be::get32(data);
    const bool alone = h == DATA_ALONE;
    const std::size_t header_size = alone ? 0 : std::min<std::size_t>(h, size - 4);
    FILE *header = alone ? nullptr : fuzz_stream(data + 4, header_size);
    FILE *df = fuzz_stream(data + 4 + header_size, size - 4 - header_size);
    FILE *sink = std::fopen("/dev/null", "w");
    if ((!alone && header == nullptr) || df == nullptr || sink == nullptr)
        std::abort();

    spool_job job;
    if (spool_job_scan(&job, header, df) == SPOOL_SCAN_OK) {
        std::size_t sum = 0;
        std::vector<unsigned char> record;
        for (int64_t pos : {job.job_pos, job.trailer_pos}) {
            if (pos >= 0 && spool_job_record(&job, static_cast<uint64_t>(pos), record) > 0)
                spool_record_fields(record, touch, &sum);
        }
        for (std::size_t i = 0; i < job.datasets.size() && i < MAX_DATASETS; ++i) {
            const spool_dataset &d = job.datasets[i];
            if (d.end != NJE_DATASET_TO_EOD && d.end <= d.offset)
                std::abort(); // a dataset ends after it begins
            if (spool_job_record(&job, d.header_pos, record) > 0)
                spool_record_fields(record, touch, &sum);
            nje_dataset_reader reader;
            if (nje_dataset_open(&reader, df, d.offset, d.end, spool_job_incomplete(&job)) == 0) {
                reader.max_records = d.records;
                nje_dataset_fromibm(&reader, sink, NJE_OUTPUT_TEXT);
            }
            if (nje_dataset_open(&reader, df, d.offset, d.end, spool_job_incomplete(&job)) == 0) {
                const unsigned char *block = nullptr;
                int length = 0;
                int control = 0;
                while (nje_dataset_next_block(&reader, &block, &length, &control) == 1) {
                    if (length < 0 || static_cast<std::size_t>(length) > NJE_DATASET_BLOCK_MAX)
                        std::abort();
                }
            }
        }
    }
    std::fclose(sink);
    std::fclose(df);
    if (header != nullptr)
        std::fclose(header);
    return 0;
}
