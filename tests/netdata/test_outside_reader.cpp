// The stream of jobpush-netdata read by an outside reader: dasdload (hercules package) loads the XMIT file into
// a disk image as a sequential dataset, taking the record format and length from INMR02; the records
// read back from the image must be the file's records. dasdload missing is a failure, not a skip.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "convert/translate.h"
#include "jobpush_run.h"
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

struct outside : ::testing::Test {
    std::string dir;
    void SetUp() override { dir = fresh(::testing::UnitTest::GetInstance()->current_test_info()->name()); }
    // Sends `input` as report.txt with jobpush-netdata (a local job) and loads its stream; checks what
    // dasdload says of it.
    loaded load(const Bytes &input, int lrecl, int format, bool fixed)
    {
        const std::string spool = dir + "/spool", in = spool + "/LOCALNOD/rje/input";
        std::filesystem::remove_all(spool);
        std::filesystem::create_directories(in);
        jobpush_test::write_file(dir + "/report.txt", std::string(input.begin(), input.end()));
        jobpush_test::run_options o;
        o.binary = JOBPUSH_NETDATA_BIN;
        jobpush_test::run_result r =
            jobpush_test::run({"bob", "nodea", "-g", "none", "-sp", spool, "-d", "2", "-l", std::to_string(lrecl),
                               format == 1 ? "-b" : "-t", fixed ? "-f" : "-v", dir + "/report.txt"},
                              o);
        EXPECT_EQ(r.status, 0) << r.err;
        loaded l = dasdload(dir, xmit_of_data_file(in + "/NJD78"));
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
