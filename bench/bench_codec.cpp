// Throughput of the SNA codec over a realistic record mix: report lines with blank runs and numeric
// columns, prose, JCL-like lines and empty lines, translated to EBCDIC. Rates are bytes of record
// data (IRS and NL not counted) per second, into and out of blocks of 3820 bytes.
#include "convert/rje_compress.h"
#include "convert/rje_expand.h"
#include "convert/translate.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<unsigned char>;
constexpr unsigned BLOCK_SIZE = 3820;

const char *const words[] = {"the",  "record", "job",   "output", "dataset", "printed", "system", "remote",
                             "node", "member", "total", "of",     "and",     "in",      "volume", "report"};

std::string report_line(std::mt19937 &rng)
{
    char line[160];
    std::snprintf(line, sizeof line, " %-8s %06u %10u.%02u %10u.%02u      %-20s %3u%%        %8u",
                  words[rng() % 16], static_cast<unsigned>(rng() % 1000000),
                  static_cast<unsigned>(rng() % 99999), static_cast<unsigned>(rng() % 100),
                  static_cast<unsigned>(rng() % 99999), static_cast<unsigned>(rng() % 100), words[rng() % 16],
                  static_cast<unsigned>(rng() % 100), static_cast<unsigned>(rng()));
    return line;
}

std::string prose_line(std::mt19937 &rng)
{
    std::string s;
    const std::size_t len = 40 + rng() % 90;
    while (s.size() < len) {
        s += words[rng() % 16];
        s += rng() % 8 == 0 ? ", " : " ";
    }
    s.resize(len);
    return s;
}

// Records as the converter hands them over: EBCDIC, padded to 80 for card images, IRS at the end.
std::vector<Bytes> record_mix(std::size_t *data_bytes)
{
    std::mt19937 rng(42);
    std::vector<Bytes> records;
    *data_bytes = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string s;
        switch (i % 10) {
        case 0:
            s = "";
            break;
        case 1:
        case 2:
            s = prose_line(rng);
            break;
        case 3:
            s = "//STEP" + std::to_string(i) + " EXEC PGM=IEBGENER";
            s.resize(80, ' ');
            break;
        case 4:
            s = std::string(30, '-') + "  PAGE " + std::to_string(i / 60);
            break;
        default:
            s = report_line(rng);
            break;
        }
        Bytes r;
        for (unsigned char ch : s)
            r.push_back(nje_AtoE[ch]);
        *data_bytes += r.size();
        r.push_back(RJE_IRS);
        records.push_back(std::move(r));
    }
    return records;
}

// Compresses the records into blocks as the converter does (padded: with the compressor the
// conversion uses, which reads past the record); `full` sees every block that is written.
template <bool Padded = false, typename Full>
void compress_all(const std::vector<Bytes> &records, Bytes &block, Full full)
{
    unsigned char *out = block.data();
    for (const Bytes &r : records) {
        for (;;) {
            const unsigned char *in = r.data();
            int rc = Padded ? rje_compress_padded(in, in + r.size() - RJE_COMPRESS_READ_PAD, &out,
                                                  block.data(), block.data() + BLOCK_SIZE)
                            : rje_compress(&in, &out, r.data() + r.size(), block.data() + BLOCK_SIZE,
                                           BLOCK_SIZE, RJE_MODE_RECORD);
            if (rc == 1 || out == block.data())
                break;
            full(block.data(), out);
            out = block.data();
        }
    }
    full(block.data(), out);
}

void BM_Compress(benchmark::State &state)
{
    std::size_t data_bytes;
    const std::vector<Bytes> records = record_mix(&data_bytes);
    Bytes block(BLOCK_SIZE);
    for (auto _ : state) {
        compress_all(records, block, [](const unsigned char *, const unsigned char *) {});
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data_bytes));
}

void BM_CompressPadded(benchmark::State &state)
{
    std::size_t data_bytes;
    std::vector<Bytes> records = record_mix(&data_bytes);
    for (Bytes &r : records)
        r.resize(r.size() + RJE_COMPRESS_READ_PAD, 0);
    Bytes block(BLOCK_SIZE);
    for (auto _ : state) {
        compress_all<true>(records, block, [](const unsigned char *, const unsigned char *) {});
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data_bytes));
}

void BM_Expand(benchmark::State &state)
{
    std::size_t data_bytes;
    const std::vector<Bytes> records = record_mix(&data_bytes);
    Bytes block(BLOCK_SIZE);
    std::vector<Bytes> blocks;
    compress_all(records, block,
                 [&](const unsigned char *b, const unsigned char *e) { blocks.emplace_back(b, e); });
    std::size_t compressed = 0;
    for (const Bytes &b : blocks)
        compressed += b.size();
    unsigned char buf[RJE_MAX_RECORD_DATA + 1];
    for (auto _ : state) {
        rje_expand_ctx ctx;
        for (const Bytes &b : blocks) {
            std::size_t length = 0;
            rje_expand_block(&ctx, b.data(), b.size(), buf, sizeof buf, length,
                             [](const unsigned char *r, std::size_t n) { benchmark::DoNotOptimize(r + n); });
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data_bytes));
    state.counters["block_bytes_per_data_byte"] =
        static_cast<double>(compressed) / static_cast<double>(data_bytes);
}

} // namespace

BENCHMARK(BM_Compress);
BENCHMARK(BM_CompressPadded);
BENCHMARK(BM_Expand);
