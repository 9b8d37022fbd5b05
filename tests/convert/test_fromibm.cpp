// Records back to workstation files: the golden vectors of the text, raw and length-prefixed forms
// and of the dataset reader (tests/data/convert/fromibm, dataset: a data file of "count C HEX",
// "sna HEX", "raw HEX" and "eod" lines); the text path without SO against the field
// converter, the user routine and output errors. (The round trips run end to end, through jobpush and
// jobshow.)
#include "convert/rje_fromibm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "convert/translate.h"
#include "convert/vector_scan.h"
#include "support/byteorder.h"
#include "tests/golden.h"

namespace
{

// The data file of a vector's lines, in order.
Bytes data_file(const Vector &v)
{
    Bytes f;
    for (const auto &[key, value] : v.lines) {
        if (key != "sna" && key != "count" && key != "raw" && key != "eod")
            continue;
        Bytes data = key == "eod" ? Bytes(4, 0) : hex(value.substr(key == "count" ? 2 : 0)), head;
        if (key == "sna") {
            head = hex("00000000 80534E41");
            be::put32(head.data(), static_cast<uint32_t>(data.size() + 4));
        } else if (key == "count") {
            head = hex("00000000" + value.substr(0, 2) + "0000");
            be::put32(head.data(), static_cast<uint32_t>(data.size() + 3));
            be::put16(head.data() + 5, static_cast<uint16_t>(data.size() + 1));
        }
        f.insert(f.end(), head.begin(), head.end());
        f.insert(f.end(), data.begin(), data.end());
    }
    return f;
}

struct FromIbm {
    int result;
    std::string out;
};

FromIbm from_ibm(const Bytes &file, int format, int size = 512)
{
    InputFile in(file);
    MemOut out;
    Bytes buffer(static_cast<std::size_t>(size));
    const int rc = nje_convert_fromibm(in.f, out.f, buffer.data(), size, format, 0, 0);
    return {rc, out.str()};
}

} // namespace

TEST(FromIbm, GoldenVectors)
{
    for (const Vector &v : load_golden("convert/fromibm")) {
        const FromIbm r = from_ibm(data_file(v), v.num("format", NJE_OUTPUT_TEXT), v.num("size", 512));
        EXPECT_EQ(r.result, v.num("result", NJE_FROMIBM_DONE)) << v.file;
        EXPECT_EQ(r.out, v.str("out")) << v.file;
    }
    MemOut empty; // no control character at all: spaced like any other
    EXPECT_EQ(convert_print_record(empty.f, nullptr, 0, NJE_CC_ASA, 0), 0);
    EXPECT_EQ(empty.str(), "\n");
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
        MemOut c;
        convert_print_record(c.f, rec.data(), static_cast<int>(rec.size()), NJE_CC_NONE, 0);
        ASSERT_EQ(c.str(), line + "\n") << "round " << round;
    }
    vector_scan::isa_cap() = vector_scan::Isa::avx512;
    nje_EtoA[0xFF] = saved;
}

TEST(FromIbmFormats, UserRoutineAndOutputErrors)
{
    const Bytes file =
        data_file({"", {{"count", "00 C1C215"}, {"count", "00 C315"}, {"count", "20 F1C4"}, {"eod", ""}}});
    static std::string seen;
    seen.clear();
    nje_convert_set_user_output_routine([](FILE *out, const unsigned char *rec, int n, int control) {
        seen += std::to_string(n) + "/" + std::to_string(control) + " ";
        return std::fputc(rec[0], out);
    });
    EXPECT_EQ(from_ibm(file, NJE_OUTPUT_USER).out, "\xC1\xC3\xF1");
    EXPECT_EQ(seen, "3/0 2/0 2/32 ");
    nje_convert_set_user_output_routine(nullptr);
    EXPECT_EQ(from_ibm(file, NJE_OUTPUT_USER).out, "");

    const std::string out = fresh_dir() + "/out";
    write_file(out, "");
    FILE *readonly = std::fopen(out.c_str(), "r"); // every write fails and sets the error indicator
    InputFile in(file);
    unsigned char buffer[64];
    for (int format : {NJE_OUTPUT_TEXT, NJE_OUTPUT_RAW, NJE_OUTPUT_RECORDS}) {
        std::rewind(in.f);
        EXPECT_EQ(nje_convert_fromibm(in.f, readonly, buffer, sizeof buffer, format, 0, 0),
                  NJE_FROMIBM_WRITE_FAILED);
        std::clearerr(readonly);
    }
    std::fclose(readonly);
}

TEST(DatasetReader, GoldenVectors)
{
    for (const Vector &v : load_golden("convert/dataset")) {
        InputFile in(data_file(v));
        nje_dataset_reader reader;
        int rc = nje_dataset_open(&reader, in.f, static_cast<uint64_t>(v.num("begin", 0)),
                                  v.has("end") ? static_cast<uint64_t>(v.num("end", 0)) : NJE_DATASET_TO_EOD,
                                  v.num("eofends", 0) != 0);
        std::vector<Bytes> got, want; // each record behind its control byte
        const unsigned char *rec = nullptr;
        for (int n = 0, control = 0; rc == 0 && (rc = nje_dataset_next(&reader, &rec, &n, &control)) == 1;
             rc = 0) {
            got.push_back({static_cast<unsigned char>(control)});
            got.back().insert(got.back().end(), rec, rec + n);
        }
        for (const std::string &r : v.all("record"))
            want.push_back(hex(r));
        EXPECT_EQ(rc, v.num("result", 0)) << v.file;
        EXPECT_EQ(reader.failure, v.num("failure", 0)) << v.file;
        EXPECT_EQ(got, want) << v.file;
    }
}
