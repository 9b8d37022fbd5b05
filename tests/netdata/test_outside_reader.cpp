// The stream of jobpush-netdata read by an outside reader: dasdload (hercules package) loads the XMIT file
// into a disk image as a sequential dataset, taking the record format and length from INMR02; the records
// read back from the image must be the file's records. dasdload missing is a failure, not a skip.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "jobpush_run.h"
#include "xmit_image.h"

using namespace netdata_test;

namespace
{

Bytes ebcdic_record(const std::string &s, std::size_t pad_to = 0)
{
    Bytes b = bytes(ebcdic(s));
    b.resize(std::max(pad_to, b.size()), EBCDIC_BLANK);
    return b;
}

struct outside : jobpush_test::LocalJob {
    // Sends `input` as report.txt with jobpush-netdata (a local job) and loads its stream; checks what
    // dasdload says of it.
    loaded load(const std::string &input, int lrecl, int format, bool fixed)
    {
        std::filesystem::remove(njd);
        const jobpush_test::run_result r =
            jobpush_test::run(local({"-l", std::to_string(lrecl), format == 1 ? "-b" : "-t",
                                     fixed ? "-f" : "-v", file("report.txt", input)}),
                              jobpush_test::variant(JOBPUSH_NETDATA_BIN));
        EXPECT_EQ(r.status, 0) << r.err;
        loaded l = dasdload(dir, xmit_of_data_file(njd));
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
    loaded l = load("HELLO WORLD\nsecond line\n\nlast", 80, 0, true);
    Bytes want;
    for (const char *line : {"HELLO WORLD", "second line", "", "last"}) {
        const Bytes r = ebcdic_record(line, 80);
        want.insert(want.end(), r.begin(), r.end());
    }
    EXPECT_EQ(dasdseq(l), want);

    // Variable, records up to 255 bytes (two segments): each record exactly as long as its text,
    // no separator behind it; an empty line is three blanks; a longer line is cut at lrecl.
    const std::string lines[] = {"", "short", std::string(254, 'x'), std::string(300, 'y'), "end"};
    l = load(lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n" + lines[3] + "\n" + lines[4] + "\n", 255, 0,
             false);
    const std::vector<Bytes> recs = {ebcdic_record("   "), ebcdic_record("short"), ebcdic_record(lines[2]),
                                     ebcdic_record(std::string(255, 'y')), ebcdic_record("end")};
    EXPECT_EQ(records_in_image(l), recs);
}

TEST_F(outside, BinaryFixedAndVariable)
{
    std::mt19937 rng(7);
    std::string data(1030, '\0');
    for (char &b : data)
        b = static_cast<char>(rng());
    // Fixed: chunks of 100, the last one filled with blanks.
    loaded l = load(data, 100, 1, true);
    EXPECT_EQ(dasdseq(l), bytes(data + std::string(70, '\x40')));

    // Variable: chunks of 200 and the rest.
    l = load(data.substr(0, 450), 200, 1, false);
    EXPECT_EQ(records_in_image(l),
              (std::vector<Bytes>{bytes(data.substr(0, 200)), bytes(data.substr(200, 200)),
                                  bytes(data.substr(400, 50))}));
}
