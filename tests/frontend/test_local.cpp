// DEBUG_LOCAL runs of the real jobpush binary: the job is built in a private spool tree and read back
// with the library's reading side.
#include <gtest/gtest.h>

#include <ctime>

#include "jobpush_run.h"
#include "tests/golden.h"

using namespace jobpush_test;

namespace
{

const std::string kLocal = "jobpush: DEBUG_LOCAL turned on\n";

struct LocalRun : LocalJob {
    v args(v tail) const { return local(tail, "john.doe", "verylongnode"); }
};

TEST_F(LocalRun, OneFileBuildsJobHeaderAndDatasetHeaderUnsent)
{
    time_t before = std::time(nullptr);
    // A later -debug 0 does not turn the local job into one to send.
    run_result r = run(args({file("report.txt", "hello\n\nworld  \n"), "-d", "0"}));
    EXPECT_EQ(r.err, kLocal);
    EXPECT_EQ(r.out, "");
    ASSERT_EQ(r.status, 0);

    header_file h = read_header_file(njh);
    EXPECT_TRUE(h.clean_end);
    ASSERT_EQ(h.records.size(), 2u); // no trailer
    EXPECT_EQ(h.records[0].offset, 0u);
    const Vector want = parse_golden(JOBPUSH_TEST_DATA "/frontend/local_job_headers")[0];
    for (const auto &[record, line] : want.lines) {
        const std::string name = line.substr(0, line.find(' ')), value = text(line.substr(name.size() + 1));
        expect_fields(h.records[record == "job" ? 0 : 1], {{name, value}});
    }
    long ets = std::stol(h.records[0].fields.at("NJHGETS"));
    EXPECT_GE(ets, before - 3);
    EXPECT_LE(ets, std::time(nullptr));

    data_file d = read_data_file(njd);
    EXPECT_FALSE(d.eod); // no end-of-data mark in a local job
    EXPECT_EQ(records_from(d), (v{ebcdic("hello"), "\x40\x40\x40", ebcdic("world  ")}));
}

TEST_F(LocalRun, BlockSizeStaysWithoutMaxAndFollowsMaxAfterDebug)
{
    std::string big;
    for (int i = 0; i < 400; ++i)
        big += "line " + std::to_string(i) +
               " ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 abcdefghijklmnopqrstuvwxyz\n";
    std::string path = file("big.txt", big);
    const auto largest = [&] { return largest_block(read_data_file(njd)); };
    ASSERT_EQ(run(args({path})).status, 0);
    EXPECT_GT(largest(), 3811u); // 3820, nothing taken off
    EXPECT_LE(largest(), 3820u);
    EXPECT_EQ(records_from(read_data_file(njd)).size(), 400u);

    EXPECT_EQ(run(args({"-max", "2000", path})).err, kLocal + "maxdata = 2000\n");
    EXPECT_LE(largest(), 2000u);
    EXPECT_GT(largest(), 1900u);

    // Before -debug 2 only the upper bound is set, which a local run does not use.
    EXPECT_EQ(run({"s", "n", "-sp", spool, "-n", "mynode", "-max", "2000", "-d", "2", "-g", "gw", path}).err,
              kLocal);
    EXPECT_GT(largest(), 3811u);
}

} // namespace
