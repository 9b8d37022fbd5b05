// Header file and section walk: record layouts built from the section templates, a whole job written
// and read back, and the reads and walks of damaged records.
#include "spool/rje_defaults.h"
#include "spool/rje_fields.h"
#include "spool/rje_header.h"

#include "spool_test_util.h"
#include "support/byteorder.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Body bytes that are not 0, as (offset, value) pairs.
using nonzero = std::vector<std::pair<size_t, unsigned char>>;

nonzero nonzero_bytes(const unsigned char *p, size_t n)
{
    nonzero r;
    for (size_t i = 0; i < n; ++i)
        if (p[i])
            r.emplace_back(i, p[i]);
    return r;
}

bytes record(uint32_t type, uint32_t offset, const bytes &body)
{
    bytes r(12);
    nje_header_set_offset(r.data(), offset);
    nje_header_set_type(r.data(), type);
    be::put32(r.data() + 8, static_cast<uint32_t>(body.size()));
    r.insert(r.end(), body.begin(), body.end());
    return r;
}

bytes cat(std::initializer_list<bytes> parts)
{
    bytes r;
    for (const auto &p : parts)
        r.insert(r.end(), p.begin(), p.end());
    return r;
}

} // namespace

TEST(HeaderFile, TemplateRecordLayouts)
{
    nje_section_defaults();
    unsigned char buf[512];
    temp_path p;
    FILE *f = nje_header_create(p.c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(read_file(p.path), bytes{0});

    nje_header_initialize(buf);
    nje_header_set_type(buf, NJE_JOB_HEADER);
    unsigned char *s = nje_header_add_section(buf, sizeof buf, njhg_default);
    ASSERT_EQ(s, buf + 12);
    EXPECT_EQ(nje_header_body_length(buf), 200u);
    EXPECT_EQ(nonzero_bytes(s, 200), (nonzero{{1, 0xC8}, {6, 0xC1}, {7, 0xC1}, {11, 0x01}}));
    EXPECT_EQ(nje_header_write(f, buf), 200);

    nje_header_initialize(buf);
    nje_header_set_type(buf, NJE_DATASET_HEADER);
    nje_header_set_offset(buf, 0x01020304);
    s = nje_header_add_section(buf, sizeof buf, ndhg_default);
    ASSERT_EQ(nje_section_update_fields(s, {{NDHGCLAS, "B"}, {NDHGLREC, 80}}), 0);
    unsigned char *v = nje_header_add_section(buf, sizeof buf, ndhv_default);
    EXPECT_EQ(v, buf + 12 + 112);
    EXPECT_EQ(nje_header_body_length(buf), 157u);
    EXPECT_EQ(nonzero_bytes(buf + 12, 157), (nonzero{{1, 0x70}, {47, 0xC2}, {55, 80}, {112 + 1, 0x2D}, {112 + 2, 0x87}}));
    // The copy was changed, the template was not.
    EXPECT_EQ(nonzero_bytes(ndhg_default, 112), (nonzero{{1, 0x70}, {47, 0xC1}}));
    EXPECT_EQ(nonzero_bytes(ndhv_default, 45), (nonzero{{1, 0x2D}, {2, 0x87}}));
    EXPECT_EQ(nje_header_write(f, buf), 157);

    nje_header_initialize(buf);
    nje_header_set_type(buf, NJE_JOB_TRAILER);
    nje_header_add_section(buf, sizeof buf, njtg_default);
    EXPECT_EQ(nje_header_write(f, buf), 44);
    EXPECT_EQ(nje_header_mark_as_valid(f, 0x102), 0);
    EXPECT_EQ(nje_header_close(f), 0);

    const bytes file = read_file(p.path);
    ASSERT_EQ(file.size(), 1 + 212 + 169 + 56u);
    EXPECT_EQ(file[0], 0x02);
    EXPECT_EQ(bytes(file.begin() + 1, file.begin() + 13), (bytes{0, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0xC8}));
    EXPECT_EQ(bytes(file.begin() + 213, file.begin() + 225),
              (bytes{1, 2, 3, 4, 0, 0, 0, 0xE0, 0, 0, 0, 0x9D}));
    const bytes trailer(file.end() - 56, file.end());
    bytes want = {0, 0, 0, 0, 0, 0, 0, 0xD0, 0, 0, 0, 0x2C, 0, 0x2C, 0, 0};
    want.resize(56, 0);
    EXPECT_EQ(trailer, want);
}

TEST(HeaderFile, ReadBackWithTypeFiltersAndWalkSections)
{
    nje_section_defaults();
    temp_path p;
    FILE *f = nje_header_create(p.c_str());
    unsigned char buf[300];
    const uint32_t types[] = {NJE_JOB_HEADER, NJE_DATASET_HEADER, NJE_DATASET_HEADER, NJE_JOB_TRAILER};
    for (uint32_t i = 0; i < 4; ++i) {
        nje_header_initialize(buf);
        nje_header_set_type(buf, types[i]);
        nje_header_set_offset(buf, i * 1000);
        unsigned char *g = nje_header_add_section(buf, sizeof buf, types[i] == NJE_JOB_HEADER ? njhg_default
                                                                  : types[i] == NJE_JOB_TRAILER ? njtg_default
                                                                                                : ndhg_default);
        ASSERT_NE(g, nullptr);
        if (types[i] == NJE_DATASET_HEADER) {
            nje_section_update_fields(g, {{NDHGNREC, static_cast<int>(i)}});
            ASSERT_NE(nje_header_add_section(buf, sizeof buf, ndhv_default), nullptr);
        }
        ASSERT_GT(nje_header_write(f, buf), 0);
    }
    nje_header_mark_as_valid(f, 2);
    nje_header_close(f);

    unsigned char mark = 0;
    f = nje_header_open(p.c_str(), &mark);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(mark, 2);
    for (uint32_t i = 0; i < 4; ++i) {
        const int rc = i == 0 ? nje_header_read_first(f, buf, sizeof buf) : nje_header_read_next(f, buf, sizeof buf);
        EXPECT_EQ(rc, types[i] == NJE_JOB_HEADER ? 200 : types[i] == NJE_JOB_TRAILER ? 44 : 157);
        EXPECT_EQ(nje_header_type(buf), types[i]);
        EXPECT_EQ(nje_header_offset(buf), i * 1000);
    }
    EXPECT_EQ(nje_header_read_next(f, buf, sizeof buf), 0);

    // Filtered: only the dataset headers, then nothing of a type the file does not hold.
    ASSERT_EQ(nje_header_read_first(f, buf, sizeof buf), 200);
    for (uint32_t i = 1; i <= 2; ++i) {
        ASSERT_EQ(nje_header_read(f, buf, sizeof buf, NJE_DATASET_HEADER), 157);
        uint32_t nrec = 99;
        ASSERT_EQ(nje_section_extract_fields(nje_section_read(buf, NJE_SECTION_GENERAL), {{NDHGNREC, &nrec}}), 0);
        EXPECT_EQ(nrec, i);
        // Walk: general section, RSCS section, end.
        unsigned char *first = nje_section_read_next(buf, nullptr);
        ASSERT_EQ(first, buf + 12);
        EXPECT_EQ(nje_section_read_first(buf), first);
        unsigned char *second = nje_section_read_next(buf, first);
        ASSERT_EQ(second, buf + 12 + 112);
        EXPECT_EQ(nje_section_id(second), NJE_SECTION_RSCS);
        EXPECT_EQ(nje_section_read(buf, NJE_SECTION_RSCS), second);
        EXPECT_EQ(nje_section_read_next(buf, second), nullptr);
        EXPECT_EQ(nje_section_read(buf, NJE_SECTION_USER), nullptr);
    }
    EXPECT_EQ(nje_header_read(f, buf, sizeof buf, NJE_DATASET_HEADER), 0);
    nje_header_read_first(f, buf, sizeof buf);
    EXPECT_EQ(nje_header_read(f, buf, sizeof buf, 0xC1), 0);
    // A record larger than the buffer is an error even when it would be skipped.
    nje_header_read_first(f, buf, sizeof buf);
    EXPECT_EQ(nje_header_read(f, buf, 100, NJE_JOB_TRAILER), -1);
    EXPECT_EQ(nje_header_read_first(f, buf, 11), -1);
    nje_header_close(f);
    EXPECT_EQ(nje_header_open((p.path + ".missing").c_str(), &mark), nullptr);
}

TEST(HeaderFile, DamagedRecords)
{
    unsigned char buf[64];
    auto read_all = [&](const bytes &content, uint32_t type) {
        FILE *f = stream_of(content);
        std::vector<int> r;
        int rc;
        while ((rc = nje_header_read(f, buf, sizeof buf, type)) > 0)
            r.push_back(rc);
        r.push_back(rc);
        std::fclose(f);
        return r;
    };
    const bytes section = {0, 6, 0, 0, 0xAA, 0xBB};
    // Body length near 2^32 must fail the size check instead of wrapping around it.
    bytes huge = record(NJE_JOB_HEADER, 0, {});
    huge[8] = huge[9] = huge[10] = 0xFF, huge[11] = 0xF8;
    EXPECT_EQ(read_all(huge, NJE_ANY), std::vector<int>{-1});
    EXPECT_EQ(read_all(huge, NJE_JOB_TRAILER), std::vector<int>{-1});
    // An empty matching body is an error; an empty non-matching record is skipped.
    EXPECT_EQ(read_all(record(NJE_JOB_HEADER, 0, {}), NJE_ANY), std::vector<int>{-1});
    EXPECT_EQ(read_all(cat({record(NJE_JOB_HEADER, 0, {}), record(NJE_JOB_TRAILER, 0, section)}), NJE_JOB_TRAILER),
              (std::vector<int>{6, 0}));
    // A truncated prefix is the end of the file; a truncated body is an error.
    EXPECT_EQ(read_all(cat({record(NJE_JOB_HEADER, 0, section), bytes{0, 0, 0}}), NJE_ANY), (std::vector<int>{6, 0}));
    bytes cut = record(NJE_JOB_HEADER, 0, section);
    cut.pop_back();
    EXPECT_EQ(read_all(cut, NJE_ANY), std::vector<int>{-1});
}

TEST(HeaderFile, SectionWalkEndsOnBadLengths)
{
    unsigned char buf[64];
    auto load = [&](const bytes &body) {
        std::memset(buf, 0, sizeof buf);
        const bytes r = record(NJE_JOB_HEADER, 0, body);
        std::memcpy(buf, r.data(), r.size());
    };
    auto walk = [&]() {
        std::vector<ptrdiff_t> at;
        for (unsigned char *s = nje_section_read_next(buf, nullptr); s && at.size() < 10;
             s = nje_section_read_next(buf, s))
            at.push_back(s - (buf + 12));
        return at;
    };
    load({0, 4, 0x87, 0, 0, 5, 0, 0, 1});
    EXPECT_EQ(walk(), (std::vector<ptrdiff_t>{0, 4}));
    // Length 0 and lengths below the head end the walk; so does a head cut by the end of the body.
    load({0, 4, 0, 0, 0, 0, 0xC0, 0});
    EXPECT_EQ(walk(), (std::vector<ptrdiff_t>{0}));
    EXPECT_EQ(nje_section_read(buf, NJE_SECTION_USER), nullptr);
    load({0, 2, 0, 0});
    EXPECT_EQ(walk(), std::vector<ptrdiff_t>{});
    load({0, 4, 0, 0, 0, 4});
    EXPECT_EQ(walk(), (std::vector<ptrdiff_t>{0}));
    // The last section claims more than the body holds.
    load({0, 4, 0x87, 0, 0, 9, 0xC0, 0, 1});
    EXPECT_EQ(nje_section_read(buf, NJE_SECTION_USER), nullptr);
    EXPECT_NE(nje_section_read(buf, NJE_SECTION_RSCS), nullptr);
    load({});
    EXPECT_EQ(nje_section_read_first(buf), nullptr);
    // A pointer that is not inside the body gives nothing.
    unsigned char elsewhere[8] = {0, 4, 0, 0};
    load({0, 4, 0, 0});
    EXPECT_EQ(nje_section_read_next(buf, elsewhere), nullptr);
}

TEST(HeaderFile, CheckedAddSectionRefusesToOverflow)
{
    nje_section_defaults();
    unsigned char buf[12 + 200 + 44 + 1];
    std::memset(buf, 0x77, sizeof buf);
    nje_header_initialize(buf);
    const size_t size = sizeof buf - 1; // last byte is a guard
    ASSERT_NE(nje_header_add_section(buf, size, njhg_default), nullptr);
    ASSERT_NE(nje_header_add_section(buf, size, njtg_default), nullptr); // fills the buffer exactly
    EXPECT_EQ(nje_header_add_section(buf, size, njtg_default), nullptr);
    EXPECT_EQ(nje_header_body_length(buf), 244u);
    EXPECT_EQ(buf[size], 0x77);
    const unsigned char tiny[4] = {0, 2, 0, 0};
    nje_header_initialize(buf);
    EXPECT_EQ(nje_header_add_section(buf, size, tiny), nullptr);
    EXPECT_EQ(nje_header_add_section(buf, 11, njtg_default), nullptr);
    nje_header_set_type(buf, 0);
    buf[8] = buf[9] = buf[10] = buf[11] = 0xFF; // body length at its limit: no wrap
    EXPECT_EQ(nje_header_add_section(buf, SIZE_MAX, njtg_default), nullptr);
}

TEST(HeaderFile, PrintedNames)
{
    testing::internal::CaptureStdout();
    nje_header_printtype(192);
    nje_header_printtype(208);
    nje_header_printtype(224);
    nje_header_printtype(0xC1);
    nje_section_printtype(0x8900);
    nje_section_printtype(0x0040);
    nje_section_printtype(0xC100);
    nje_section_printtype(0x5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Job Header: Job trailer: Dataset Header: c1 header: Output Processsing/Accounting Section: "
              "Record Char. Change Section: c100 Section: 05 Section: ");
}
