// jobpush-netdata end to end: each file a job of its own whose data file is the NETDATA stream in
// 88-byte data-file records, built locally (DEBUG_LOCAL; the jobs sent are checked in tests/frontend/sim);
// the options that cannot apply are refused before any job exists; a full spool removes the job.
#include <gtest/gtest.h>

#include <filesystem>

#include "jobpush_run.h"
#include "tests/golden.h"

using namespace jobpush_test;
namespace fs = std::filesystem;

namespace
{

const char kLocal[] = "jobpush: DEBUG_LOCAL turned on\n";

// Every record of the data file is 88 bytes: length 84, control byte 0x80, "SNA", 80 bytes.
// @return the number of 80-byte records.
std::size_t check_records(const Bytes &file)
{
    EXPECT_EQ(file.size() % 88, 0u);
    for (std::size_t p = 0; p + 88 <= file.size(); p += 88)
        EXPECT_EQ(Bytes(file.begin() + static_cast<long>(p), file.begin() + static_cast<long>(p + 8)),
                  hex("00000054 80534E41"))
            << p;
    return file.size() / 88;
}

struct NetdataJob : LocalJob {
    run_result push(const v &tail, run_options o = {})
    {
        o.binary = JOBPUSH_NETDATA_BIN;
        return run(local(tail, "bob"), o);
    }
};

} // namespace

TEST_F(NetdataJob, LocalJobsOneStreamPerFile)
{
    std::string fixed_text;
    for (int i = 0; i < 10; ++i)
        fixed_text += std::string(79, static_cast<char>('A' + i)) + "\n"; // 800 bytes
    run_result r =
        push({"-l", "100", "-f", file("report.txt", fixed_text), "-v", file("notes", "one\n\nthree\n")});
    EXPECT_EQ(r.err, kLocal);
    ASSERT_EQ(r.status, 0);

    // The first job: ids count up from 78; the dataset header describes the stream as 80-byte records
    // from offset 0 and counts them. Local jobs stay unsent: no trailer, no end-of-data mark.
    header_file h = read_header_file(njh);
    ASSERT_EQ(h.records.size(), 2u);
    EXPECT_EQ(h.records[0].fields.at("NJHGJNAM"), "ZAK0078");
    const header_record &ds = h.records[1];
    EXPECT_EQ(ds.offset, 0u);
    EXPECT_EQ(ds.fields.at("NDHGLREC"), "80");
    EXPECT_EQ(ds.fields.at("NDHGPROC"), "REPORT");
    EXPECT_EQ(ds.fields.at("NDHGNREC"), std::to_string(check_records(bytes(slurp(njd)))));

    // The control records against tests/data/netdata/local_job_records, the time of the run (20yy...)
    // taken out of INMR01.
    const Vector want = parse_golden(JOBPUSH_TEST_DATA "/netdata/local_job_records")[0];
    std::vector<netdata_record> s = netdata_records(bytes(slurp(njd)));
    ASSERT_EQ(s.size(), 14u);
    Bytes r01 = s[0].data;
    ASSERT_EQ(r01.size(), 90u);
    EXPECT_EQ(Bytes(r01.begin() + 24, r01.begin() + 26), hex("F2F0"));
    std::fill(r01.begin() + 24, r01.begin() + 38, 0xF0);
    EXPECT_EQ(r01, hex(want.get("INMR01")));
    EXPECT_EQ(s[1].data, hex(want.get("INMR02")));
    EXPECT_EQ(s[2].data, hex(want.get("INMR03")));
    EXPECT_EQ(s[3].data, bytes(ebcdic(std::string(79, 'A')) + std::string(21, '\x40')));
    EXPECT_EQ(s[13].data, bytes(ebcdic("INMR06")));
    EXPECT_EQ(s[13].flags & NETDATA_FLAG_CONTROL, NETDATA_FLAG_CONTROL);

    // The second job: no separator behind the variable records; a fresh line reader.
    s = netdata_records(bytes(slurp(indir + "/NJD79")));
    ASSERT_EQ(s.size(), 7u);
    EXPECT_EQ(s[1].data, hex(want.get("INMR02_variable")));
    EXPECT_EQ((std::vector<Bytes>{s[3].data, s[4].data, s[5].data}),
              (std::vector<Bytes>{bytes(ebcdic("one")), bytes(ebcdic("   ")), bytes(ebcdic("three"))}));
}

// The vectors of tests/data/frontend/netdata_failures: no job stays.
TEST_F(NetdataJob, FailuresLeaveNoJob)
{
    std::string big;
    for (int i = 0; i < 20000; ++i)
        big += "line " + std::to_string(i) + "\n";
    std::string run_args;
    for (const std::string &a : local({}, "bob"))
        run_args += a + " ";
    const vars_t vars = {{"$RUN", run_args}, {"$F", file("a.txt", "x\n")}, {"$BIG", file("big.txt", big)}};
    for (const Vector &f : parse_golden(JOBPUSH_TEST_DATA "/frontend/netdata_failures")) {
        run_failure(f, vars, {.binary = JOBPUSH_NETDATA_BIN});
        EXPECT_TRUE(fs::is_empty(indir)) << f.get("args");
    }
}
