// Header file and section walk: a job built from the templates, written and read back with and
// without type filters, and reads and walks of damaged records. The data file: record layout,
// write/read round trip, and reads of other record forms and damaged files.
#include "spool/rje_data.h"
#include "spool/rje_defaults.h"
#include "spool/rje_fields.h"
#include "spool/rje_header.h"

#include "support/byteorder.h"
#include "tests/golden.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

Bytes record(uint32_t type, const Bytes &body)
{
    Bytes r(12);
    nje_header_set_type(r.data(), type);
    be::put32(r.data() + 8, static_cast<uint32_t>(body.size()));
    r.insert(r.end(), body.begin(), body.end());
    return r;
}

// Builds and writes one record of the job from the templates; returns its body length.
int write_record(FILE *f, uint32_t type, uint32_t offset, uint32_t nrec)
{
    unsigned char buf[300];
    nje_header_initialize(buf);
    nje_header_set_type(buf, type);
    nje_header_set_offset(buf, offset);
    const unsigned char *tmpl = type == NJE_JOB_HEADER    ? njhg_default
                                : type == NJE_JOB_TRAILER ? njtg_default
                                                          : ndhg_default;
    unsigned char *g = nje_header_add_section(buf, sizeof buf, tmpl);
    if (type == NJE_DATASET_HEADER) {
        nje_section_update_fields(g, {{NDHGCLAS, "B"}, {NDHGNREC, nrec}});
        nje_header_add_section(buf, sizeof buf, ndhv_default);
    }
    return nje_header_write(f, buf);
}

} // namespace

TEST(HeaderFile, JobWrittenAndReadBack)
{
    nje_section_defaults();
    const std::string dir = fresh_dir();
    const std::string p = dir + "/NJH1";
    FILE *f = nje_header_create(p.c_str());
    ASSERT_NE(f, nullptr);
    const uint32_t types[] = {NJE_JOB_HEADER, NJE_DATASET_HEADER, NJE_DATASET_HEADER, NJE_JOB_TRAILER};
    const uint32_t offsets[] = {0, 0x01020304, 0x02040608, 0};
    const int lengths[] = {200, 157, 157, 44};
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ(write_record(f, types[i], offsets[i], i), lengths[i]);
    EXPECT_EQ(nje_header_mark_as_valid(f, 0x102), 0);
    EXPECT_EQ(nje_header_close(f), 0);

    // Byte for byte as tests/data/spool/job_from_templates; the template as it was.
    EXPECT_EQ(bytes(slurp(p)),
              hex(parse_golden(JOBPUSH_TEST_DATA "/spool/job_from_templates")[0].get("file")));
    EXPECT_EQ(Bytes(ndhg_default, ndhg_default + 112), hex("00 70 00*45 C1 00*64"));

    unsigned char mark = 0, buf[300];
    f = nje_header_open(p.c_str(), &mark);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(mark, 2);
    ASSERT_EQ(nje_header_read_first(f, buf, sizeof buf), 200);
    for (uint32_t i = 1; i <= 2; ++i) {
        ASSERT_EQ(nje_header_read(f, buf, sizeof buf, NJE_DATASET_HEADER), 157);
        uint32_t nrec = 99;
        ASSERT_EQ(nje_section_extract_fields(nje_section_read(buf, NJE_SECTION_GENERAL), {{NDHGNREC, &nrec}}),
                  0);
        EXPECT_EQ(nrec, i);
        EXPECT_EQ(nje_section_read_first(buf), buf + 12);
        EXPECT_EQ(nje_section_read(buf, NJE_SECTION_RSCS), buf + 12 + 112);
    }
    EXPECT_EQ(nje_header_read(f, buf, sizeof buf, NJE_DATASET_HEADER), 0);
    nje_header_read_first(f, buf, sizeof buf);
    EXPECT_EQ(nje_header_read(f, buf, sizeof buf, 0xC1), 0);
    nje_header_read_first(f, buf, sizeof buf);
    EXPECT_EQ(nje_header_read(f, buf, 100, NJE_JOB_TRAILER), -1); // too large even though skipped
    EXPECT_EQ(nje_header_read_first(f, buf, 11), -1);
    nje_header_close(f);
}

// Reads and walks of damaged records: the golden vectors of tests/data/spool/header.
TEST(HeaderFile, DamagedRecordsAndSections)
{
    for (const Vector &v : load_golden("spool/header")) {
        std::vector<int> got, want;
        if (v.has("file")) {
            InputFile in(hex(v.get("file")));
            unsigned char buf[64];
            do
                got.push_back(
                    nje_header_read(in.f, buf, sizeof buf, static_cast<uint32_t>(v.num("type", 0))));
            while (got.back() > 0);
        } else {
            Bytes rec = record(NJE_JOB_HEADER, hex(v.get("walk")));
            rec.shrink_to_fit(); // exactly the record's size: the sanitizer build sees reads past the body
            for (unsigned char *s = nje_section_read_next(rec.data(), nullptr); s && got.size() < 10;
                 s = nje_section_read_next(rec.data(), s))
                got.push_back(static_cast<int>(s - (rec.data() + 12)));
            const unsigned char elsewhere[4] = {0, 4, 0, 0};
            EXPECT_EQ(nje_section_read(rec.data(), NJE_SECTION_USER), nullptr);
            EXPECT_EQ(nje_section_read_next(rec.data(), elsewhere), nullptr);
        }
        for (const std::string &w : words(v.get(v.has("file") ? "results" : "at")))
            want.push_back(std::stoi(w));
        EXPECT_EQ(got, want) << v.file << ": " << v.get("file") << v.get("walk");
    }
}

TEST(HeaderFile, CheckedAddSectionRefusesToOverflow)
{
    nje_section_defaults();
    unsigned char buf[12 + 200 + 44 + 1];
    std::memset(buf, 0x77, sizeof buf);
    nje_header_initialize(buf);
    const size_t size = sizeof buf - 1; // the last byte is a guard
    ASSERT_NE(nje_header_add_section(buf, size, njhg_default), nullptr);
    ASSERT_NE(nje_header_add_section(buf, size, njtg_default), nullptr); // fills the buffer exactly
    EXPECT_EQ(nje_header_add_section(buf, size, njtg_default), nullptr);
    EXPECT_EQ(nje_header_body_length(buf), 244u);
    EXPECT_EQ(buf[size], 0x77);
    const unsigned char tiny[4] = {0, 2, 0, 0};
    nje_header_initialize(buf);
    EXPECT_EQ(nje_header_add_section(buf, size, tiny), nullptr);
    EXPECT_EQ(nje_header_add_section(buf, 11, njtg_default), nullptr);
    be::put32(buf + 8, 0xFFFFFFF0); // body length near its limit: no wrap
    EXPECT_EQ(nje_header_add_section(buf, SIZE_MAX, njtg_default), nullptr);
}

TEST(HeaderFile, PrintedNames)
{
    testing::internal::CaptureStdout();
    for (uint32_t type : {192, 208, 224, 0xC1})
        nje_header_printtype(type);
    for (uint32_t id : {0x8900, 0x0040, 0xC100, 0x5})
        nje_section_printtype(id);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Job Header: Job trailer: Dataset Header: c1 header: Output Processsing/Accounting Section: "
              "Record Char. Change Section: c100 Section: 05 Section: ");
}

namespace
{

// Writes `content` through a buffer from nje_data_allocate_buffer, as every caller must.
int write_data(FILE *f, const Bytes &content, int control, int format = 134)
{
    std::unique_ptr<unsigned char, decltype(&nje_data_free_buffer)> b(
        nje_data_allocate_buffer(content.size() + 1), &nje_data_free_buffer);
    std::copy(content.begin(), content.end(), b.get());
    return nje_data_write_next(f, b.get(), content.size(), control, content.size(), format);
}

// Reads one record into a buffer with guard bytes behind out_size: "rc control count : hex".
std::string read_one(FILE *f, size_t out_size = 4096)
{
    Bytes out(out_size + 16, 0xEE);
    int control = 0, count = 0;
    const int rc = nje_data_read_next(f, out.data(), out_size, &control, &count);
    EXPECT_EQ(Bytes(out.begin() + out_size, out.end()), Bytes(16, 0xEE)) << "written past out_size";
    return std::to_string(rc) + " " + std::to_string(control) + " " + std::to_string(count) + " : " +
           hex_of(out.data(), out.data() + std::max(rc, 0));
}

} // namespace

// The written layout, and everything written read back byte for byte as SNA records (control 0x80);
// empty records are passed over instead of reading as the end-of-data mark.
TEST(DataFile, LayoutAndRoundTrip)
{
    const Bytes head[] = {Bytes(80, 0xC1),     {},     hex("80534E41"),
                          hex("534E41800000"), {0xB0}, Bytes(3811, 0x1E)};
    const std::string dir = fresh_dir();
    FILE *f = nje_data_create((dir + "/NJD1").c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(write_data(f, head[0], 0), 0);
    EXPECT_EQ(write_data(f, {}, 0xFF, 134 + 256), 0); // only the low 8 bits of the format count
    EXPECT_EQ(write_data(f, head[0], 0, 133), -1);
    for (const Bytes &rec : head)
        EXPECT_TRUE(rec.size() == 80 || write_data(f, rec, 0x30) == 0);
    EXPECT_EQ(nje_data_write_eod(f), 0);
    EXPECT_EQ(nje_data_close(f), 0);

    // An 88-byte NETDATA-sized record; control 0xFF and 0x30 give 0xB0.
    const Bytes file = bytes(slurp(dir + "/NJD1")),
                want = hex("00000054 80534E41 C1*80 00000004 B0534E41 00000004 B0534E41");
    ASSERT_GT(file.size(), want.size());
    EXPECT_EQ(Bytes(file.begin(), file.begin() + want.size()), want);

    f = nje_data_open((dir + "/NJD1").c_str());
    ASSERT_NE(f, nullptr);
    for (const Bytes &rec : head) {
        const std::string n = std::to_string(rec.size());
        if (rec.empty())
            continue;
        EXPECT_EQ(read_one(f), n + " 128 " + n + " : " + hex_of(rec.data(), rec.data() + rec.size()));
    }
    EXPECT_EQ(read_one(f), "0 0 0 : ");
    nje_data_close(f);
}

// Other record forms and damaged files: the golden vectors of tests/data/spool/data.
TEST(DataFile, OtherFormsAndDamagedRecords)
{
    for (const Vector &v : load_golden("spool/data")) {
        InputFile in(hex(v.get("file")));
        for (const std::string &r : v.all("read")) {
            const std::string got = read_one(in.f, static_cast<size_t>(v.num("size", 4096))), want = text(r);
            EXPECT_EQ(got.substr(0, want.size()), want) << v.file << ": " << v.get("file");
        }
    }
}
