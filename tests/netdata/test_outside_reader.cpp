// The stream of jobpush-netdata read by an outside reader: dasdload (hercules package) loads the XMIT file
// into a disk image as a sequential dataset, taking the record format and length from INMR02; the records
// read back from the image (dasdseq for fixed records; the plain CKD image that dasdload writes for
// variable ones: a 512-byte device header, per track a 5-byte track header, then count-key-data records,
// each with an 8-byte count: cylinder, head, record, key length, data length) must be the file's records.
// dasdload missing is a failure, not a skip.
#include <gtest/gtest.h>

#include <regex>

#include "jobpush_run.h"
#include "support/byteorder.h"

using namespace jobpush_test;

namespace
{

constexpr std::size_t kDeviceHeader = 512;
constexpr std::size_t kTrackHeader = 5;
constexpr std::size_t kCount = 8;

uint32_t le32(const unsigned char *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

Bytes ebcdic_record(const std::string &s, std::size_t pad_to = 0)
{
    Bytes b = bytes(ebcdic(s));
    b.resize(std::max(pad_to, b.size()), EBCDIC_BLANK);
    return b;
}

struct outside : LocalJob {
    std::string log; // what dasdload said

    // Runs a shell command in dir. @return its exit status; log gets its standard output and error.
    int shell(const std::string &cmd)
    {
        const run_result r = run({"-C", dir, "sh", "-c", cmd}, {.binary = "/usr/bin/env", .argv0 = "env"});
        log = r.out + r.err;
        return r.status;
    }

    // Sends `input` as report.txt with jobpush-netdata (a local job) and loads its stream with dasdload
    // as the dataset JOBPUSH.NETDATA into a new image dir/vol.3390; checks what dasdload says of it.
    void load(const std::string &input, int lrecl, int format, bool fixed)
    {
        std::filesystem::remove(njd);
        std::filesystem::remove(dir + "/vol.3390");
        const run_result r = run(local({"-l", std::to_string(lrecl), format == 1 ? "-b" : "-t",
                                        fixed ? "-f" : "-v", file("report.txt", input)}),
                                 {.binary = JOBPUSH_NETDATA_BIN});
        EXPECT_EQ(r.status, 0) << r.err;
        Bytes xmit;
        for (const data_block &b : read_data_file(njd).blocks) {
            EXPECT_EQ(b.data.size(), 80u);
            xmit = cat(xmit, b.data);
        }
        file("in.xmi", std::string(xmit.begin(), xmit.end()));
        file("load.ctl", "VOL001 3390 2\nJOBPUSH.NETDATA xmseq in.xmi\n");
        EXPECT_EQ(shell("dasdload load.ctl vol.3390 3"), 0) << log;
        EXPECT_NE(log.find("DSNAME=REPORT.TXT"), std::string::npos) << log;
        const std::string dcb = fixed ? "DSORG=PS RECFM=FB LRECL=" + std::to_string(lrecl)
                                      : "DSORG=PS RECFM=V LRECL=" + std::to_string(lrecl + 4);
        EXPECT_NE(log.find(dcb), std::string::npos) << log;
    }

    // The variable records of the loaded dataset, read from the image by their block and record
    // descriptors.
    std::vector<Bytes> records_in_image()
    {
        std::vector<Bytes> recs;
        std::smatch m;
        const Bytes img = bytes(slurp(dir + "/vol.3390"));
        if (!std::regex_search(log, m,
                               std::regex("Creating dataset JOBPUSH.NETDATA at cyl (\\d+) head (\\d+)")) ||
            img.size() < kDeviceHeader) {
            ADD_FAILURE() << "no extent or no image; dasdload said\n" << log;
            return recs;
        }
        const uint32_t heads = le32(&img[8]), trksize = le32(&img[12]);
        for (std::size_t track = std::stoul(m[1]) * heads + std::stoul(m[2]);; ++track) {
            for (std::size_t p = kDeviceHeader + track * trksize + kTrackHeader;;) {
                if (p + kCount > img.size())
                    return recs;
                const unsigned char *c = &img[p];
                if (be::get32(c) == 0xFFFFFFFF)
                    break; // end of track
                const unsigned key = c[5], dl = be::get16(c + 6), r = c[4];
                const unsigned char *data = c + kCount + key;
                p += kCount + key + dl;
                if (r == 0)
                    continue; // the track's record 0
                if (dl == 0 || data + dl > img.data() + img.size())
                    return recs; // end of file
                const unsigned bdw = be::get16(data);
                for (unsigned i = 4, rdw;
                     i + 4 <= bdw && bdw <= dl && (rdw = be::get16(data + i)) >= 4 && i + rdw <= bdw;
                     i += rdw)
                    recs.emplace_back(data + i + 4, data + i + rdw);
            }
        }
    }

    // dasdseq's copy of a fixed-format dataset (it reads no other format).
    Bytes dasdseq()
    {
        std::filesystem::remove(dir + "/seq.out");
        EXPECT_EQ(shell("dasdseq vol.3390 JOBPUSH.NETDATA && mv JOBPUSH.NETDATA seq.out"), 0) << log;
        return bytes(slurp(dir + "/seq.out"));
    }
};

} // namespace

TEST_F(outside, TextFixedAndVariable)
{
    // Fixed: every line a record of lrecl blanks-filled bytes; dasdseq reads the dataset.
    load("HELLO WORLD\nsecond line\n\nlast", 80, 0, true);
    Bytes want;
    for (const char *line : {"HELLO WORLD", "second line", "", "last"})
        want = cat(want, ebcdic_record(line, 80));
    EXPECT_EQ(dasdseq(), want);

    // Variable, records up to 255 bytes (two segments): each record exactly as long as its text,
    // no separator behind it; an empty line is three blanks; a longer line is cut at lrecl.
    const std::string lines[] = {"", "short", std::string(254, 'x'), std::string(300, 'y'), "end"};
    load(lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n" + lines[3] + "\n" + lines[4] + "\n", 255, 0,
         false);
    EXPECT_EQ(records_in_image(),
              (std::vector<Bytes>{ebcdic_record("   "), ebcdic_record("short"), ebcdic_record(lines[2]),
                                  ebcdic_record(std::string(255, 'y')), ebcdic_record("end")}));
}

TEST_F(outside, BinaryFixedAndVariable)
{
    std::mt19937 rng(7);
    std::string data(1030, '\0');
    for (char &b : data)
        b = static_cast<char>(rng());
    // Fixed: chunks of 100, the last one filled with blanks.
    load(data, 100, 1, true);
    EXPECT_EQ(dasdseq(), bytes(data + std::string(70, '\x40')));

    // Variable: chunks of 200 and the rest.
    load(data.substr(0, 450), 200, 1, false);
    EXPECT_EQ(records_in_image(),
              (std::vector<Bytes>{bytes(data.substr(0, 200)), bytes(data.substr(200, 200)),
                                  bytes(data.substr(400, 50))}));
}
