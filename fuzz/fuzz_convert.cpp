// Conversion of arbitrary input in every data format, in the C or C.UTF-8 locale, into a data file
// that is read back and expanded: every text line (or cut part) comes back as one record of at most
// lrecl bytes, binary and transparent chunks come back whole; both text paths write the same file.
// Input: 6 bytes of settings (format, lrecl, tabs, flags, maxdata), then the file.
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "convert/rje_convert.h"
#include "convert/rje_expand.h"
#include "spool/rje_data.h"
#include "support/byteorder.h"

namespace
{

constexpr std::size_t SETTINGS = 6;
constexpr int FORMATS[] = {NJE_FORMAT_TEXT, NJE_FORMAT_BINARY, NJE_FORMAT_RECORD, NJE_FORMAT_TRANSPARENT};

void check(bool ok)
{
    if (!ok) {
        __builtin_trap();
    }
}

// Expands every block of the data file; returns the records, or the data-file records themselves
// for format 2.
std::vector<std::vector<unsigned char>> read_back(char *file, std::size_t size, bool blocks)
{
    std::vector<std::vector<unsigned char>> recs;
    std::FILE *f = fmemopen(file, size, "rb");
    check(f != nullptr);
    std::vector<unsigned char> block(65536);
    rje_expand_ctx ctx;
    unsigned char rec[600];
    for (;;) {
        int control = 0, count = 0;
        const int n = nje_data_read_next(f, block.data(), block.size(), &control, &count);
        check(n >= 0);
        if (n == 0) {
            break;
        }
        if (!blocks) {
            recs.emplace_back(block.begin(), block.begin() + n);
            continue;
        }
        std::size_t length = 0;
        const unsigned rc = rje_expand_block(&ctx, block.data(), static_cast<std::size_t>(n), rec, sizeof rec,
                                             length, [&](const unsigned char *r, std::size_t k) {
                                                 check(r[k - 1] == RJE_NL);
                                                 recs.emplace_back(r, r + k - 1);
                                             });
        check(rc == EOR_EOB); // no record spans two blocks
    }
    std::fclose(f);
    return recs;
}

// Converts the content on one text path into a data file held in `out`. @return the result.
std::int64_t convert(const unsigned char *content, std::size_t length, int lrecl, int maxdata, int format,
                     int tabs, int fixed, bool wide, std::string &out)
{
    convert_force_wide_path(wide);
    std::vector<unsigned char> copy(content, content + length);
    copy.push_back(0); // fmemopen needs a non-empty buffer; the stream is cut to `length`
    std::FILE *in = fmemopen(copy.data(), length == 0 ? 1 : length, "rb");
    if (length == 0 && in != nullptr) {
        std::fgetc(in); // an empty input
    }
    char *file = nullptr;
    std::size_t file_size = 0;
    std::FILE *df = open_memstream(&file, &file_size);
    unsigned char *buffer = nje_data_allocate_buffer(8192);
    check(in != nullptr && df != nullptr && buffer != nullptr);
    const std::int64_t result = nje_convert_toibm(in, df, buffer, lrecl, maxdata, format, 0, tabs, fixed);
    nje_data_write_eod(df);
    std::fclose(df);
    std::fclose(in);
    nje_data_free_buffer(buffer);
    convert_force_wide_path(false);
    out.assign(file, file_size);
    std::free(file);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < SETTINGS) {
        return 0;
    }
    const int format = FORMATS[data[0] % 4];
    const int lrecl = data[1] == 0 ? 80 : data[1];
    const int tabs = data[2] % 12;
    const int fixed = data[3] & 1;
    const bool wide = (data[3] & 2) != 0;
    const bool utf8 = (data[3] & 4) != 0;
    const int maxdata = 16 + be::get16(data + 4) % 4000;
    const unsigned char *content = data + SETTINGS;
    const std::size_t length = size - SETTINGS;

    std::setlocale(LC_ALL, utf8 ? "C.UTF-8" : "C");
    std::string file;
    const std::int64_t result = convert(content, length, lrecl, maxdata, format, tabs, fixed, wide, file);
    if (format == NJE_FORMAT_TEXT) {
        // The other text path must write the same data file.
        std::string other;
        check(convert(content, length, lrecl, maxdata, format, tabs, fixed, !wide, other) == result);
        check(other == file);
    }
    check(result >= 0 || result == NJE_CONVERT_COMPRESS_FAILED ||
          (result == NJE_CONVERT_DBCS_NO_ROOM && format == NJE_FORMAT_TEXT && lrecl < 4) ||
          (result == NJE_CONVERT_SHORT_RECORD && format == NJE_FORMAT_RECORD));

    if (result >= 0) {
        const auto recs = read_back(file.data(), file.size(), format != NJE_FORMAT_RECORD);
        if (format == NJE_FORMAT_TEXT) {
            check(recs.size() == static_cast<std::size_t>(result));
            for (const auto &r : recs) {
                check(r.size() <= static_cast<std::size_t>(lrecl) &&
                      (!fixed || r.size() == static_cast<std::size_t>(lrecl)));
            }
        } else if (format == NJE_FORMAT_RECORD) {
            check(recs.size() <= static_cast<std::size_t>(result));
        } else {
            check(recs.size() == static_cast<std::size_t>(result));
            std::vector<unsigned char> back;
            for (const auto &r : recs) {
                back.insert(back.end(), r.begin(), r.end());
            }
            check(back == std::vector<unsigned char>(content, content + length));
        }
    }
    return 0;
}
