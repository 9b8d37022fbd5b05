// jobpush against the link daemon simulator over rpcbind: jobs sent, refused and the link failures,
// each with its exact messages and exit status; the sent jobs read back from the simulator's spool.
#include <gtest/gtest.h>

#include <filesystem>

#include "jobpush_run.h"
#include "link/sim_process.h"

using namespace jobpush_test;
namespace fs = std::filesystem;

namespace
{

struct SimRun : LocalJob {
    std::string input, sent;
    std::unique_ptr<sim_process> sim;
    void SetUp() override
    {
        hold_rpcbind_lock();
        LocalJob::SetUp();
        input = spool + "/SIMNODE/LINKA/input";
        sent = spool + "/SIMNODE/LINKA/sent";
    }
    void start(const std::string &extra = "")
    {
        sim = std::make_unique<sim_process>(
            words("--spool " + spool + " --link NODEA=LINKA --time-limit 120 " + extra));
        ASSERT_TRUE(sim->start()) << sim->error();
    }
    run_result push(v tail, const run_options &o = {})
    {
        tail.insert(tail.begin(), {"bob", "nodea", "-g", "localhost", "-sp", spool});
        return run(tail, o);
    }
    static bool spool_empty(const std::string &d) { return !fs::exists(d) || fs::is_empty(d); }
};

// The job number is the link daemon's identifier modulo 9999.
TEST_F(SimRun, OneFileIsSentWholeAndReadsBack)
{
    start("--first-id 10005");
    std::string big;
    for (int i = 0; i < 300; ++i)
        big += "record " + std::to_string(i) + std::string(60, '*') + "\n";
    run_result r = push({file("report.txt", big)});
    EXPECT_EQ(r.err, "Job ZAK0006 sent to BOB@NODEA.\n");
    EXPECT_EQ(r.out, "");
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(sim->output().find("sent job 10005 type 2"), std::string::npos) << sim->output();
    EXPECT_TRUE(spool_empty(input));

    header_file h = read_header_file(sent + "/NJH10005");
    EXPECT_TRUE(h.clean_end);
    ASSERT_EQ(h.records.size(), 3u);
    expect_fields(h.records[0], {{"NJHGJNAM", "ZAK0006"}, {"NJHGJID", "6"}, {"NJHGUSID", "SIMUSER"}});
    EXPECT_EQ(h.records[1].offset, 0u);
    EXPECT_EQ(h.records[1].fields.at("NDHGNREC"), "300");
    const header_record &trailer = h.records[2];
    EXPECT_EQ(trailer.offset, 0u);
    expect_fields(
        trailer,
        {{"NJTGIXPR", "7"}, {"NJTGAXPR", "7"}, {"NJTGIOPR", "7"}, {"NJTGAOPR", "7"}, {"sections", "0:44 "}});
    long start_time = std::stol(trailer.fields.at("NJTGSTRT"));
    EXPECT_LE(start_time, std::stol(trailer.fields.at("NJTGSTOP")));
    EXPECT_GE(start_time + 2, std::stol(h.records[0].fields.at("NJHGETS")));

    data_file d = read_data_file(sent + "/NJD10005");
    EXPECT_TRUE(d.eod);
    EXPECT_FALSE(d.trailing);
    EXPECT_LE(largest_block(d), 3811u); // 4096 from the link, bounded by 3820, less 9
    EXPECT_GT(largest_block(d), 3700u);
    v recs = records_from(d);
    ASSERT_EQ(recs.size(), 300u);
    EXPECT_EQ(recs[299], ebcdic("record 299" + std::string(60, '*')));
}

// Two files with JCL in one job, with header overrides: a shorter job name replaces the whole field,
// NJH2USID lands on NDHGRMT (the same field layout), every dataset header takes the dataset overrides,
// the fields no record takes are reported.
TEST_F(SimRun, TwoFilesWithJclAndOverridesMakeOneJob)
{
    start("--block-size 1000");
    std::string b = file("b.jcl", "//J JOB\n"), e = file("e.jcl", "/*\n");
    // -debug 2 after the first file no longer makes the link daemon's job a local one.
    run_result r =
        push(words("-q NJHGJNAM PAY -q NJHGJCLS X -q NDHGCLAS Q -q NJH2USID CARL -q NJHGETS 5 "
                   "-q NJTGXCLS C -max 2000 -s " +
                   b + " -e " + e + " " + file("one", "1\n") + " -d 2 -max 5000 " + file("two.x", "2\n3\n")));
    EXPECT_EQ(outcome(r), "0: jobpush: DEBUG_LOCAL turned on\nJob ZAK0001 sent to BOB@NODEA.\n"
                          "jobpush: can't change field NJHGETS\njobpush: can't change field NJTGXCLS\n");
    header_file h = read_header_file(sent + "/NJH1");
    ASSERT_EQ(h.records.size(), 4u);
    data_file d = read_data_file(sent + "/NJD1");
    EXPECT_EQ(records_from(d), (v{ebcdic("//J JOB"), ebcdic("1"), ebcdic("/*"), ebcdic("//J JOB"),
                                  ebcdic("2"), ebcdic("3"), ebcdic("/*")}));
    // Each dataset begins just past its begin JCL; its count takes in the end JCL.
    EXPECT_EQ(records_from(d, h.records[1].offset, h.records[2].offset),
              (v{ebcdic("1"), ebcdic("/*"), ebcdic("//J JOB")}));
    EXPECT_EQ(records_from(d, h.records[2].offset), (v{ebcdic("2"), ebcdic("3"), ebcdic("/*")}));
    expect_fields(h.records[0], {{"NJHGJNAM", "PAY"}, {"NJHGJCLS", "X"}});
    expect_fields(h.records[1], {{"NDHGDSNO", "1"}, {"NDHGCLAS", "Q"}, {"NDHGRMT", "CARL"}});
    expect_fields(
        h.records[2],
        {{"NDHGNREC", "3"}, {"NDHGSTEP", "X"}, {"NDHGDSNO", "1"}, {"NDHGCLAS", "Q"}, {"NDHGRMT", "CARL"}});
    expect_fields(h.records[3], {{"NJTGXCLS", "B"}});

    // jobshow reads the complete job from the simulator's spool; a cut data file fails only the dataset
    // whose block was cut, after the records before the cut, and says where.
    const std::string header = sent + "/NJH1", datafile = sent + "/NJD1";
    r = show({header});
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), header + ": complete (valid mark 2)\n");
    EXPECT_EQ(show({"-dataset", "2", header}).out, "2\n3\n/*\n");
    r = show({"-json", header});
    EXPECT_EQ(r.out.substr(0, 11), "{\"valid\":2,");
    EXPECT_NE(r.out.find("\"trailer\":{\"NJTGFLG1\":"), std::string::npos) << r.out;
    write_file(datafile, slurp(datafile).substr(0, fs::file_size(datafile) - 6));
    EXPECT_EQ(show({"-dataset", "1", header}).out, "1\n/*\n"); // as many records as its header counts
    r = show({"-dataset", "2", header});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "2\n3\n");
    EXPECT_EQ(r.err.substr(0, r.err.find('(')), "jobshow: " + header +
                                                    ": dataset 2 cannot be read to its end: a "
                                                    "data-file record is cut short or malformed ");
}

// A send the link daemon refuses is reported by its status; the job stays in the spool.
TEST_F(SimRun, RefusedSendIsReportedAndTheJobStays)
{
    for (const auto &[status, text] : {std::pair{"21", "Job not found"}, std::pair{"22", "Permission denied"},
                                       std::pair{"23", "unknown error 23"}}) {
        start(std::string("--send-status ") + status);
        run_result r = push({file("a", "a\n")});
        EXPECT_EQ(r.err, std::string("jobpush: send job: ") + text + "\n");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(read_header_file(input + "/NJH1").mark, 2);
        EXPECT_TRUE(read_data_file(input + "/NJD1").eod);
        sim->stop();
        fs::remove_all(spool);
    }
}

// Every way the link daemon or the link process can fail the run (tests/data/frontend/link_failures); a
// spool that fills before the send. No spool file stays.
TEST_F(SimRun, LinkFailures)
{
    std::string unrepeated; // written only when the data file closes, past the limit of 1 KiB
    for (unsigned i = 0, x = 7; i < 3000; ++i, x = x * 1103515245 + 12345)
        unrepeated += i % 70 == 69 ? '\n' : static_cast<char>('a' + (x >> 16) % 26);
    file("u", unrepeated + "\n");
    const vars_t vars = {{"$PUSH", "bob nodea -g localhost -sp " + spool},
                         {"$A", file("a", "a\n")},
                         {"$SPOOL", spool},
                         {"$DIR", dir}};
    for (const Vector &f : parse_golden(JOBPUSH_TEST_DATA "/frontend/link_failures")) {
        if (f.has("sim"))
            start(f.get("sim"));
        run_failure(f, vars);
        EXPECT_TRUE(spool_empty(input)) << f.get("sim");
        if (sim)
            sim->stop();
    }
}

TEST_F(SimRun, VariantsSeparateJobsJobTypeOneAndNetdata)
{
    start();
    run_result r = push({file("a", "a\n"), file("b", "b\n")}, {.binary = JOBPUSH_SEPARATE_BIN});
    EXPECT_EQ(r.err, "Job ZAK0001 sent to BOB@NODEA.\nJob ZAK0002 sent to BOB@NODEA.\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(records_from(read_data_file(sent + "/NJD2")), v{ebcdic("b")});
    EXPECT_EQ(read_header_file(sent + "/NJH2").records.size(), 3u);

    r = push({file("c", "c\n")}, {.binary = JOBPUSH_JT1_BIN});
    EXPECT_EQ(r.err, "Job ZAK0003 sent to BOB@NODEA.\n");
    header_file h = read_header_file(sent + "/NJH3");
    EXPECT_EQ(h.mark, 1);
    ASSERT_EQ(h.records.size(), 2u); // job header and trailer
    expect_fields(h.records[0], {{"NJHGXEQN", "NODEA"},
                                 {"NJHGXEQU", "BOB"}, // addressed for execution there
                                 {"NJHGPRTN", "SIMNODE"},
                                 {"NJHGPUNR", "SIMUSER"}});
    EXPECT_NE(sim->output().find("sent job 3 type 1"), std::string::npos) << sim->output();

    // jobpush-netdata: each file a job of its own, its data file the NETDATA stream in 88-byte records.
    r = push({file("d.txt", "first\n"), file("e", std::string(500, 'e') + "\n")},
             {.binary = JOBPUSH_NETDATA_BIN});
    EXPECT_EQ(r.err, "Job ZAK0004 sent to BOB@NODEA.\nJob ZAK0005 sent to BOB@NODEA.\n");
    for (const auto &[id, text] :
         {std::pair{"4", std::string("first\n")}, {"5", std::string(80, 'e') + "\n"}}) {
        const std::string header = sent + "/NJH" + id, datafile = sent + "/NJD" + id;
        h = read_header_file(header);
        ASSERT_EQ(h.records.size(), 3u);
        EXPECT_EQ(fs::file_size(datafile) % 88, 4u);
        r = show({"-d", "1", header});
        EXPECT_EQ(r.out, text);
        EXPECT_EQ(r.status, 0) << r.err;
    }
}

} // namespace
