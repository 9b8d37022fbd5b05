// Records back to workstation files: carriage control of the text form, the raw, length-prefixed and
// user-routine forms, read failures and output errors; the dataset reader's record forms, bounds,
// spanned strings and failures (its round trips run end to end, through jobpush and jobshow).
#include "convert/rje_fromibm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <sstream>

#include "convert/rje_convert.h"
#include "convert/translate.h"
#include "convert/vector_scan.h"
#include "spool/rje_data.h"
#include "test_convert_util.h"

using namespace convert_test;

namespace
{

Bytes hex(const std::string &s)
{
    Bytes r;
    std::istringstream words(s);
    for (std::string w; words >> w;)
        r.push_back(static_cast<unsigned char>(std::stoul(w, nullptr, 16)));
    return r;
}

// Everything written to a memory stream.
struct Capture {
    char *text = nullptr;
    std::size_t size = 0;
    FILE *f = open_memstream(&text, &size);
    std::string str()
    {
        std::fflush(f);
        return std::string(text, size);
    }
    ~Capture()
    {
        std::fclose(f);
        std::free(text);
    }
};

// A data file of records with a control byte and a 16-bit count, closed by the end-of-data mark
// unless `eod` is false.
Bytes count_file(const std::vector<std::pair<int, Bytes>> &records, bool eod = true)
{
    Bytes f;
    for (const auto &[control, data] : records) {
        const auto n = static_cast<uint32_t>(data.size());
        const Bytes head = {
            static_cast<unsigned char>((n + 3) >> 24), static_cast<unsigned char>((n + 3) >> 16),
            static_cast<unsigned char>((n + 3) >> 8),  static_cast<unsigned char>(n + 3),
            static_cast<unsigned char>(control),       static_cast<unsigned char>((n + 1) >> 8),
            static_cast<unsigned char>(n + 1)};
        f.insert(f.end(), head.begin(), head.end());
        f.insert(f.end(), data.begin(), data.end());
    }
    if (eod)
        f.insert(f.end(), 4, 0);
    return f;
}

struct FromIbm {
    int result;
    std::string out;
};

FromIbm from_ibm(const Bytes &file, int format, int size = 512)
{
    InputFile in(file);
    Capture out;
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size));
    const int rc = nje_convert_fromibm(in.f, out.f, buffer.data(), size, format, 0, 0);
    return {rc, out.str()};
}

// Text output of records given as "control: hex" lines.
std::string text_of(std::initializer_list<std::pair<int, const char *>> records)
{
    std::vector<std::pair<int, Bytes>> recs;
    for (const auto &[control, h] : records)
        recs.emplace_back(control, hex(h));
    FromIbm r = from_ibm(count_file(recs), NJE_OUTPUT_TEXT);
    EXPECT_EQ(r.result, NJE_FROMIBM_DONE);
    return r.out;
}

constexpr int NONE = 0x00, MACHINE = 0x10, ASA = 0x20, DROP = 0x30;

} // namespace

TEST(FromIbmText, CarriageControl)
{
    const struct {
        std::initializer_list<std::pair<int, const char *>> records;
        const char *want;
    } cases[] = {
        // ASA spacing comes before the text; the last line is closed at the end of the data.
        {{{ASA, "40 C1"}, {ASA, "F0 C2"}, {ASA, "F1 C3"}}, "\nA\n\nB\fC\n"},
        {{{ASA, "60 C1"}, {ASA, "4E C2"}, {ASA, "C1 C3"}}, "\n\n\nA\rB\nC\n"},
        {{{ASA, "F0 40 40"}}, "\n\n"}, // blanks only: no text, the spacing is done
        // Machine: write and space after; immediate commands space before.
        {{{MACHINE, "09 C1"}}, "A\n"},
        {{{MACHINE, "11 C1"}, {MACHINE, "19 C2"}, {MACHINE, "89 C3"}}, "A\n\nB\n\n\nC\f"},
        {{{MACHINE, "01 C1"}, {MACHINE, "01 C2"}}, "A\rB\n"}, // write without spacing: overprint
        {{{MACHINE, "01 40"}}, ""},
        {{{MACHINE, "03 C1"}, {MACHINE, "13 C2"}, {MACHINE, "1B C3"}, {MACHINE, "8B C4"}, {MACHINE, "0B C5"}},
         "A\n\nB\n\n\nC\fD\nE\n"},
        // No carriage control: one record, one line; blanks give an empty line.
        {{{NONE, "C1 C2 40 40"}, {NONE, "40 40"}, {NONE, "00 C3 00 40"}}, "AB\n\n C\n"},
        {{{MACHINE, "01 C1"}, {NONE, "C2"}, {MACHINE, "01 C3"}, {NONE, "40"}}, "A\rB\nC\n"},
        // 0x30: the first byte is dropped, no spacing; an open line stays open over a blank record.
        {{{DROP, "F1 C1"}, {DROP, "F1 40"}}, "A\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(text_of(c.records), c.want);
    Capture empty; // no control character at all: spaced like any other
    EXPECT_EQ(convert_print_record(empty.f, nullptr, 0, ASA, 0), 0);
    EXPECT_EQ(empty.str(), "\n");
}

TEST(FromIbmText, LongRecordsAreWrittenWhole)
{
    // 1500 letters, and a double-byte segment of 1500 bytes that does not validate (bytes below 0x40):
    // each translates to more than 1023 bytes.
    Bytes letters(1500, 0xC1);
    Bytes segment = {0x0E};
    segment.insert(segment.end(), 1498, 0x05);
    segment.push_back(0x0F);
    FromIbm r =
        from_ibm(count_file({{NONE, letters}, {ASA, Bytes{0x40}}, {NONE, segment}}), NJE_OUTPUT_TEXT, 4096);
    ASSERT_EQ(r.result, NJE_FROMIBM_DONE);
    std::string seg_text = "\x0E" + std::string(1498, '\x09') + "\x0F";
    EXPECT_EQ(r.out, std::string(1500, 'A') + "\n\n" + seg_text + "\n");
}

TEST(FromIbmText, SameTranslationAsTheFieldConverter)
{
    // Records without SO take a path of their own; it must give the bytes of nje_EtoA_str, blanks and
    // NULs inside as spaces and at the end dropped, a table entry of 0 ending the text. Every other
    // round translates without the vectors (records up to 700 bytes: several vector steps).
    std::mt19937 rng(99);
    const unsigned char alphabet[] = {0x00, 0x40, 0x40, 0xC1, 0x15, 0x05, 0x4A, 0xFF, 0x0F};
    const unsigned char saved = nje_EtoA[0xFF];
    for (int round = 0; round < 400; ++round) {
        nje_EtoA[0xFF] = round % 2 ? 0x00 : saved;
        vector_scan::isa_cap() = round % 4 < 2 ? vector_scan::Isa::avx512 : vector_scan::Isa::base;
        Bytes rec(rng() % 700);
        for (auto &b : rec)
            b = rng() % 3 ? alphabet[rng() % sizeof alphabet] : static_cast<unsigned char>(rng());
        std::replace(rec.begin(), rec.end(), static_cast<unsigned char>(0x0E),
                     static_cast<unsigned char>(0x0D));
        std::vector<char> want(2 * rec.size() + 1);
        nje_EtoA_str(rec, want);
        std::string line(want.data());
        if (line.find_first_not_of(' ') == std::string::npos)
            line.clear();
        Capture c;
        convert_print_record(c.f, rec.data(), static_cast<int>(rec.size()), NONE, 0);
        ASSERT_EQ(c.str(), line + "\n") << "round " << round;
    }
    vector_scan::isa_cap() = vector_scan::Isa::avx512;
    nje_EtoA[0xFF] = saved;
}

TEST(FromIbmFormats, RawRecordsUserAndOther)
{
    const Bytes file =
        count_file({{NONE, hex("C1 C2 15")}, {NONE, hex("C3 15")}, {NONE, hex("15")}, {ASA, hex("F1 C4")}});
    EXPECT_EQ(from_ibm(file, NJE_OUTPUT_RAW).out, "\xC1\xC2\xC3\x15\xF1\xC4");
    EXPECT_EQ(from_ibm(count_file({{NONE, hex("C1 C2 C3")}}), NJE_OUTPUT_RECORDS).out,
              std::string("\0\0\0\3\xC1\xC2\xC3", 7));
    FromIbm other = from_ibm(file, 7);
    EXPECT_EQ(other.result, NJE_FROMIBM_DONE);
    EXPECT_EQ(other.out, "");

    static std::string seen;
    seen.clear();
    nje_convert_set_user_output_routine([](FILE *out, const unsigned char *rec, int n, int control) {
        seen += std::to_string(n) + "/" + std::to_string(control) + " ";
        return std::fputc(rec[0], out);
    });
    EXPECT_EQ(from_ibm(file, NJE_OUTPUT_USER).out, "\xC1\xC3\x15\xF1");
    EXPECT_EQ(seen, "3/0 2/0 1/0 2/32 ");
    nje_convert_set_user_output_routine(nullptr);
    EXPECT_EQ(from_ibm(file, NJE_OUTPUT_USER).out, "");
}

TEST(FromIbmFormats, ReadFailuresKeepWhatWasWritten)
{
    const Bytes good = count_file({{NONE, hex("C1 15")}, {NONE, hex("C2 15")}}, false);
    // End of file without the end-of-data mark, after two records.
    FromIbm r = from_ibm(good, NJE_OUTPUT_RAW);
    EXPECT_EQ(r.result, NJE_FROMIBM_READ_FAILED);
    EXPECT_EQ(r.out, "\xC1\xC2");
    // A text line still open at the failure is closed.
    r = from_ibm(count_file({{ASA, hex("40 C1")}}, false), NJE_OUTPUT_TEXT);
    EXPECT_EQ(r.result, NJE_FROMIBM_READ_FAILED);
    EXPECT_EQ(r.out, "\nA\n");
    // A record longer than the buffer is a read failure, never an overrun.
    r = from_ibm(count_file({{NONE, hex("C1")}, {NONE, Bytes(100, 0xC2)}}), NJE_OUTPUT_RAW, 99);
    EXPECT_EQ(r.result, NJE_FROMIBM_READ_FAILED);
    EXPECT_EQ(r.out, "\xC1");
}

TEST(FromIbmFormats, OutputErrorIsResultFive)
{
    char path[] = "/tmp/fromibm_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    FILE *readonly = fdopen(fd, "r"); // every write fails and sets the error indicator
    InputFile in(count_file({{NONE, hex("C1")}, {NONE, hex("C2")}}));
    unsigned char buffer[64];
    for (int format : {NJE_OUTPUT_TEXT, NJE_OUTPUT_RAW, NJE_OUTPUT_RECORDS}) {
        std::rewind(in.f);
        EXPECT_EQ(nje_convert_fromibm(in.f, readonly, buffer, sizeof buffer, format, 0, 0),
                  NJE_FROMIBM_WRITE_FAILED);
        std::clearerr(readonly);
    }
    std::fclose(readonly);
    unlink(path);
}

// ---- Dataset reader ------------------------------------------------------------------------------

namespace
{

struct Read {
    int result = 0; // last result of nje_dataset_next
    int failure = 0;
    std::vector<Bytes> records;
    std::vector<int> controls;
};

Read read_dataset(const Bytes &file, uint64_t begin = 0, uint64_t end = NJE_DATASET_TO_EOD,
                  bool eof_ends = false)
{
    InputFile in(file);
    nje_dataset_reader reader;
    Read r;
    r.result = nje_dataset_open(&reader, in.f, begin, end, eof_ends);
    while (r.result == 0) {
        const unsigned char *rec = nullptr;
        int n = 0, control = 0;
        const int rc = nje_dataset_next(&reader, &rec, &n, &control);
        if (rc != 1) {
            r.result = rc;
            break;
        }
        r.records.emplace_back(rec, rec + n);
        r.controls.push_back(control);
    }
    r.failure = reader.failure;
    return r;
}

// A data file of "SNA" records holding the given bytes.
Bytes sna_file(const std::vector<Bytes> &records, bool eod = true)
{
    char *text = nullptr;
    std::size_t size = 0;
    FILE *f = open_memstream(&text, &size);
    for (const Bytes &r : records) {
        unsigned char *b = nje_data_allocate_buffer(r.size() + 1);
        std::copy(r.begin(), r.end(), b);
        nje_data_write_next(f, b, r.size(), 0, 0, NJE_DATA_FORMAT_SNA);
        nje_data_free_buffer(b);
    }
    if (eod)
        nje_data_write_eod(f);
    std::fclose(f);
    Bytes out(text, text + size);
    std::free(text);
    return out;
}

} // namespace

TEST(DatasetReader, RecordFormsBoundsAndSpannedStrings)
{
    // Pass-through records (not shaped like a block) are records as they stand; a count record keeps its
    // carriage control.
    const Bytes block = hex("05 35 03 C1 C2 C3 04 1E 35 01 C4 01 1E");
    Bytes file = sna_file({hex("05 35 99"), block});
    const Bytes counted = count_file({{ASA, hex("F1 C5")}}, false);
    file.insert(file.end() - 4, counted.begin(), counted.end());
    Read r = read_dataset(file);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.records, (std::vector<Bytes>{hex("05 35 99"), hex("C1 C2 C3"), hex("C4"), hex("F1 C5")}));
    EXPECT_EQ(r.controls, (std::vector<int>{0, 0, 0, ASA}));

    // The dataset ends where the next one begins (the offset of the block's data-file record).
    r = read_dataset(file, 0, 11);
    EXPECT_EQ(r.records, (std::vector<Bytes>{hex("05 35 99")}));
    r = read_dataset(file, 11);
    EXPECT_EQ(r.records.size(), 3u);

    // A string and a transparent count that go on in the next block.
    r = read_dataset(sna_file({hex("0C 35 03 C1 C2 C3 1E 35 05 01 1E"), hex("C3 C4 01 C5 01 1E")}));
    EXPECT_EQ(r.records, (std::vector<Bytes>{hex("C1 C2 C3"), hex("01 1E C3 C4 C5")}));
    // A record cut short by a record of the other form comes first, as it stands.
    file = sna_file({hex("06 35 04 C1 C2 01 1E")}, false);
    file.insert(file.end(), counted.begin(), counted.end());
    file.insert(file.end(), 4, 0);
    r = read_dataset(file);
    EXPECT_EQ(r.records, (std::vector<Bytes>{hex("C1 C2 01 1E"), hex("F1 C5")}));
}

TEST(DatasetReader, FailuresSayWhy)
{
    const Bytes block = hex("05 35 03 C1 C2 C3 01 1E");
    const Bytes whole = sna_file({block});
    const struct {
        Bytes file;
        uint64_t begin;
        bool eof_ends;
        int result, failure;
        std::size_t records;
    } cases[] = {
        {sna_file({block}, false), 0, false, -1, NJE_DATASET_NO_EOD, 1},
        {sna_file({block}, false), 0, true, 0, NJE_DATASET_OK, 1}, // an incomplete job ends at end of file
        {Bytes(whole.begin(), whole.end() - 7), 0, true, -1, NJE_DATASET_TRUNCATED, 0},
        {hex("7F FF FF FF 80 53 4E 41"), 0, false, -1, NJE_DATASET_BLOCK_TOO_LONG, 0},
    };
    for (const auto &c : cases) {
        const Read r = read_dataset(c.file, c.begin, NJE_DATASET_TO_EOD, c.eof_ends);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.failure, c.failure);
        EXPECT_EQ(r.records.size(), c.records);
    }

    // An expanded record longer than the reader takes: runs of 63 blanks that nothing ends (TRN count 0).
    Bytes runs = {0x02, 0x35, 0x00};
    runs.insert(runs.end(), 1100, 0xBF);
    runs.insert(runs.end(), {0x01, 0x1E});
    const Read r = read_dataset(sna_file({runs}));
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.failure, NJE_DATASET_RECORD_TOO_LONG);
}
