// The NETDATA stream read by an outside reader: dasdload (hercules package) loads the XMIT file into
// a disk image as a sequential dataset, taking the record format and length from INMR02; the records
// read back from the image must be the file's records. dasdload missing is a failure, not a skip.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "convert/netdata_write.h"
#include "convert/translate.h"
#include "spool/rje_data.h"
#include "xmit_image.h"

using namespace netdata_test;

namespace
{

std::string fresh(const std::string &name)
{
    auto dir = std::filesystem::path(JOBPUSH_BINARY_DIR) / "netdata-tests" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

Bytes ebcdic(const std::string &s, std::size_t pad_to = 0)
{
    Bytes b;
    for (unsigned char c : s)
        b.push_back(nje_AtoE[c]);
    if (b.size() < pad_to)
        b.resize(pad_to, EBCDIC_BLANK);
    return b;
}

// Writes the stream of one file into the data file `path` with the library: INMR01, INMR02, INMR03,
// the data records, INMR06.
void library_stream(const std::string &path, const Bytes &input, int lrecl, int format, bool fixed)
{
    FILE *df = nje_data_create(path.c_str());
    FILE *in = std::tmpfile();
    ASSERT_TRUE(df != nullptr && in != nullptr);
    std::fwrite(input.data(), 1, input.size(), in);
    std::rewind(in);
    netdata_writer w;
    nje_netdata_create(df, &w);
    auto control = [&](const char *name, std::initializer_list<nje_tu> list) {
        unsigned char area[NETDATA_TU_AREA] = {};
        const int n = nje_netdata_put_tu(area, 0, list);
        ASSERT_GT(n, 0);
        ASSERT_EQ(nje_netdata_put_control(&w, name, area, static_cast<std::size_t>(n)), 0);
    };
    const auto size = static_cast<long>(input.size());
    control("INMR01", {{netdata_tu(2, 0, INMFNODE), "MYNODE"},
                       {netdata_tu(3, 0, INMFTIME), 1700000000L},
                       {netdata_tu(2, 0, INMFUID), "ME"},
                       {netdata_tu(1, 4, INMLRECL), 80},
                       {netdata_tu(2, 0, INMTNODE), "NODEA"},
                       {netdata_tu(2, 0, INMTUID), "BOB"},
                       {netdata_tu(1, 4, INMNUMF), 1}});
    const char *dsn[] = {"REPORT", "TXT"};
    control("INMR02", {{netdata_tu(5, 4, 0), 1},
                       {netdata_tu(1, 2, INMDSORG), NETDATA_DSORG_PS},
                       {netdata_tu(1, 4, INMLRECL), fixed ? lrecl : lrecl + NETDATA_RDW_SIZE},
                       {netdata_tu(1, 2, INMRECFM), fixed ? NETDATA_RECFM_FB : NETDATA_RECFM_V_NO_RDW},
                       {netdata_tu(1, 4, INMSIZE), size},
                       {netdata_tu(2, 0, INMUTILN), "INMCOPY"},
                       {netdata_tu(4, 0, INMDSNAM), std::span<const char *const>(dsn)}});
    control("INMR03", {{netdata_tu(1, 2, INMDSORG), NETDATA_DSORG_PS},
                       {netdata_tu(1, 4, INMLRECL), 80},
                       {netdata_tu(1, 2, INMRECFM), NETDATA_RECFM_SHORT_VBS},
                       {netdata_tu(1, 4, INMSIZE), size}});
    unsigned char *buffer = nje_data_allocate_buffer(lrecl + 8);
    EXPECT_GE(nje_netdata_toibm(in, &w, buffer, lrecl, format, 8, fixed), 0);
    nje_data_free_buffer(buffer);
    EXPECT_EQ(nje_netdata_put_control(&w, "INMR06", nullptr, 0), 0);
    EXPECT_EQ(nje_netdata_close(&w), 0);
    EXPECT_EQ(nje_data_write_eod(df), 0);
    std::fclose(df);
    std::fclose(in);
}

struct outside : ::testing::Test {
    std::string dir;
    void SetUp() override { dir = fresh(::testing::UnitTest::GetInstance()->current_test_info()->name()); }
    // Loads the stream of `input` and checks what dasdload says of it.
    loaded load(const Bytes &input, int lrecl, int format, bool fixed)
    {
        library_stream(dir + "/NJD", input, lrecl, format, fixed);
        loaded l = dasdload(dir, xmit_of_data_file(dir + "/NJD"));
        EXPECT_EQ(l.status, 0) << l.log;
        EXPECT_NE(l.log.find("DSNAME=REPORT.TXT"), std::string::npos) << l.log;
        const std::string dcb = fixed ? "DSORG=PS RECFM=FB LRECL=" + std::to_string(lrecl)
                                      : "DSORG=PS RECFM=V LRECL=" + std::to_string(lrecl + 4);
        EXPECT_NE(l.log.find(dcb), std::string::npos) << l.log;
        return l;
    }
};

} // namespace

TEST_F(outside, TextFixedAndVariable)
{
    // Fixed: every line a record of lrecl blanks-filled bytes; dasdseq reads the dataset.
    const std::string text = "HELLO WORLD\nsecond line\n\nlast";
    loaded l = load(Bytes(text.begin(), text.end()), 80, 0, true);
    Bytes want;
    for (const char *line : {"HELLO WORLD", "second line", "", "last"}) {
        Bytes r = ebcdic(line, 80);
        want.insert(want.end(), r.begin(), r.end());
    }
    EXPECT_EQ(dasdseq(l), want);

    // Variable, records up to 255 bytes (two segments): each record exactly as long as its text,
    // no separator behind it; an empty line is three blanks; a longer line is cut at lrecl.
    const std::string lines[] = {"", "short", std::string(254, 'x'), std::string(300, 'y'), "end"};
    std::string input;
    for (const std::string &line : lines)
        input += line + "\n";
    l = load(Bytes(input.begin(), input.end()), 255, 0, false);
    const std::vector<Bytes> recs = {ebcdic("   "), ebcdic("short"), ebcdic(lines[2]), ebcdic(std::string(255, 'y')),
                                     ebcdic("end")};
    EXPECT_EQ(records_in_image(l, false, 0), recs);
}

TEST_F(outside, BinaryFixedAndVariable)
{
    std::mt19937 rng(7);
    Bytes data(1030);
    for (unsigned char &b : data)
        b = static_cast<unsigned char>(rng());
    // Fixed: chunks of 100, the last one filled with blanks.
    loaded l = load(data, 100, 1, true);
    Bytes want = data;
    want.resize(1100, EBCDIC_BLANK);
    EXPECT_EQ(dasdseq(l), want);
    EXPECT_EQ(records_in_image(l, true, 100).size(), 11u);

    // Variable: chunks of 200 and the rest.
    l = load(Bytes(data.begin(), data.begin() + 450), 200, 1, false);
    const std::vector<Bytes> recs = {Bytes(data.begin(), data.begin() + 200),
                                     Bytes(data.begin() + 200, data.begin() + 400),
                                     Bytes(data.begin() + 400, data.begin() + 450)};
    EXPECT_EQ(records_in_image(l, false, 0), recs);
}
