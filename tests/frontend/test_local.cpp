// DEBUG_LOCAL runs of the real jobpush binary: the job is built in a private spool tree and read back
// with the library's reading side.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "jobpush_run.h"

using namespace jobpush_test;

namespace
{

struct LocalRun : ::testing::Test {
    std::string dir, spool, indir;
    std::string njh, njd;
    void SetUp() override
    {
        dir = fresh_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        spool = dir + "/spool";
        indir = spool + "/MYNODE/rje/input";
        std::filesystem::create_directories(indir);
        njh = indir + "/NJH78";
        njd = indir + "/NJD78";
    }
    std::vector<std::string> args(std::vector<std::string> tail) const
    {
        std::vector<std::string> a = {"john.doe", "verylongnode", "-g",     "gw", "-sp",
                                      spool,      "-n",           "mynode", "-d", "2"};
        a.insert(a.end(), tail.begin(), tail.end());
        return a;
    }
    std::string file(const std::string &name, const std::string &data)
    {
        write_file(dir + "/" + name, data);
        return dir + "/" + name;
    }
};

TEST_F(LocalRun, OneFileBuildsJobHeaderAndDatasetHeaderUnsent)
{
    time_t before = std::time(nullptr);
    run_result r = run(args({file("report.txt", "hello\n\nworld  \n")}));
    EXPECT_EQ(r.err, "jobpush: DEBUG_LOCAL turned on\n");
    EXPECT_EQ(r.out, "");
    ASSERT_EQ(r.status, 0);

    header_file h = read_header_file(njh);
    ASSERT_TRUE(h.opened);
    EXPECT_EQ(h.mark, 0);
    EXPECT_TRUE(h.clean_end);
    ASSERT_EQ(h.records.size(), 2u); // no trailer
    const header_record &job = h.records[0];
    EXPECT_EQ(job.type, 192u);
    EXPECT_EQ(job.offset, 0u);
    std::map<std::string, std::string> want_job = {
        {"NJHGJID", "78"},        {"NJHGJCLS", "B"},        {"NJHGMCLS", "A"},
        {"NJHGPRIO", "7"},        {"NJHGORGQ", "1"},        {"NJHGJCPY", "1"},
        {"NJHGJNAM", "ZAK0078"},  {"NJHGUSID", "LOCUSR"},   {"NJHGORGN", "MYNODE"},
        {"NJHGORGR", "LOCUSR"},   {"NJHGXEQN", "MYNODE"},   {"NJHGXEQU", "LOCUSR"},
        {"NJHGPRTN", "VERYLONG"}, {"NJHGPRTR", "JOHN$DOE"}, {"NJHGPUNN", "VERYLONG"},
        {"NJHGPUNR", "JOHN$DOE"}, {"NJHGPRGN", "LOCUSR"},   {"NJHGFLG1", "0"},
        {"NJHGACCT", ""},         {"NJHGNREC", "0"},        {"sections", "0:200 "}};
    for (const auto &[name, value] : want_job)
        EXPECT_EQ(job.fields.at(name), value) << name;
    long ets = std::stol(job.fields.at("NJHGETS"));
    EXPECT_GE(ets, before - 3);
    EXPECT_LE(ets, std::time(nullptr));

    const header_record &ds = h.records[1];
    EXPECT_EQ(ds.type, 224u);
    EXPECT_EQ(ds.offset, 0u);
    std::map<std::string, std::string> want_ds = {{"NDHGNODE", "VERYLONG"},
                                                  {"NDHGRMT", "JOHN$DOE"},
                                                  {"NDHGPROC", "REPORT"},
                                                  {"NDHGSTEP", "TXT"},
                                                  {"NDHGDSNO", "1"},
                                                  {"NDHGCLAS", "B"},
                                                  {"NDHGNREC", "3"},
                                                  {"NDHGRCFM", "128"},
                                                  {"NDHGLREC", "80"},
                                                  {"NDHGDSCT", "1"},
                                                  {"NDHGXWTR", "JOHN$DOE"},
                                                  {"NDHGFLG2", "64"},
                                                  {"NDHGFLG1", "0"},
                                                  {"NDHVCLAS", "A"},
                                                  {"NDHVIDEV", "130"},
                                                  {"NDHVDIST", "LOCUSR"},
                                                  {"NDHVFNAM", "REPORT"},
                                                  {"NDHVFTYP", "TXT"},
                                                  {"sections", "0:112 34560:45 "}};
    for (const auto &[name, value] : want_ds)
        EXPECT_EQ(ds.fields.at(name), value) << name;

    data_file d = read_data_file(njd);
    ASSERT_TRUE(d.opened);
    EXPECT_FALSE(d.eod); // no end-of-data mark in a local job
    EXPECT_EQ(records_from(d, 0),
              (std::vector<std::string>{ebcdic("hello"), "\x40\x40\x40", ebcdic("world  ")}));
}

TEST_F(LocalRun, BlockSizeStaysWithoutMaxAndFollowsMaxAfterDebug)
{
    std::string big;
    for (int i = 0; i < 400; ++i)
        big += "line " + std::to_string(i) +
               " ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 abcdefghijklmnopqrstuvwxyz\n";
    std::string path = file("big.txt", big);
    auto largest = [&] {
        size_t m = 0;
        for (const data_block &b : read_data_file(njd).blocks)
            m = std::max(m, b.data.size());
        return m;
    };

    run_result r = run(args({path}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_GT(largest(), 3811u); // 3820, nothing taken off
    EXPECT_LE(largest(), 3820u);
    EXPECT_EQ(records_from(read_data_file(njd), 0).size(), 400u);

    r = run(args({"-max", "2000", path}));
    EXPECT_EQ(r.err, "jobpush: DEBUG_LOCAL turned on\nmaxdata = 2000\n");
    EXPECT_LE(largest(), 2000u);
    EXPECT_GT(largest(), 1900u);

    // Before -debug 2 only the upper bound is set, which a local run does not use.
    std::vector<std::string> a = {"s",      "n",    "-g",   "gw", "-sp", spool, "-n",
                                  "mynode", "-max", "2000", "-d", "2",   path};
    r = run(a);
    EXPECT_EQ(r.err, "jobpush: DEBUG_LOCAL turned on\n");
    EXPECT_GT(largest(), 3811u);
}

TEST_F(LocalRun, JclWrapsEveryFileAndOffsetsFollowTheData)
{
    std::string b = file("b.jcl", "//JOB1 JOB\n//STEP EXEC\n");
    std::string e = file("e.jcl", "/*\n");
    run_result r = run(args({"-s", b, "-e", e, file("one.dat", "1\n2\n"), "-st", b, file("two", "3\n")}));
    ASSERT_EQ(r.status, 0) << r.err;
    header_file h = read_header_file(njh);
    ASSERT_EQ(h.records.size(), 3u);
    data_file d = read_data_file(njd);
    const header_record &first = h.records[1];
    const header_record &second = h.records[2];
    EXPECT_EQ(first.fields.at("NDHGNREC"), "3"); // the file's two records and the end JCL's one
    EXPECT_EQ(second.fields.at("NDHGNREC"), "2");
    EXPECT_EQ(first.fields.at("NDHGPROC"), "ONE");
    EXPECT_EQ(second.fields.at("NDHGPROC"), "TWO");
    EXPECT_EQ(second.fields.at("NDHGSTEP"), "");
    EXPECT_EQ(second.fields.at("NDHGDSNO"), "1");

    using v = std::vector<std::string>;
    const v jcl1 = {ebcdic("//JOB1 JOB"), ebcdic("//STEP EXEC")};
    v all = records_from(d, 0);
    v want = jcl1;
    for (const char *s : {"1", "2", "/*"})
        want.push_back(ebcdic(s));
    want.insert(want.end(), jcl1.begin(), jcl1.end());
    for (const char *s : {"3", "/*"})
        want.push_back(ebcdic(s));
    EXPECT_EQ(all, want);
    // Each dataset header points just past its begin JCL.
    v between = {ebcdic("1"), ebcdic("2"), ebcdic("/*")};
    between.insert(between.end(), jcl1.begin(), jcl1.end());
    EXPECT_EQ(records_from(d, first.offset, second.offset), between);
    EXPECT_EQ(records_from(d, second.offset), (v{ebcdic("3"), ebcdic("/*")}));
    EXPECT_GT(first.offset, 0u);
}

TEST_F(LocalRun, OverridesReachTheirRecordsByDescriptor)
{
    // A shorter value replaces the whole field: nothing of the fixed value stays behind it.
    run_result r =
        run(args({"-q", "NJHGJNAM", "MYJOB", "-q", "NJHGJCLS", "C", "-q", "NDHGCLAS", "Q", "-q", "NJH2USID",
                  "OTHER", "-q", "NJHGETS", "1", file("a.txt", "a\n"), file("b.txt", "b\n")}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "jobpush: DEBUG_LOCAL turned on\n"); // no report of unused fields locally
    header_file h = read_header_file(njh);
    ASSERT_EQ(h.records.size(), 3u);
    EXPECT_EQ(h.records[0].fields.at("NJHGJNAM"), "MYJOB");
    EXPECT_EQ(h.records[0].fields.at("NJHGJCLS"), "C");
    for (int i : {1, 2}) { // every dataset header of the job takes the dataset overrides
        EXPECT_EQ(h.records[i].fields.at("NDHGCLAS"), "Q");
        EXPECT_EQ(h.records[i].fields.at("NDHGRMT"), "OTHER");
    }
}

TEST_F(LocalRun, PipedStandardInputIsConvertedWhole)
{
    std::string lines;
    for (int i = 0; i < 5000; ++i)
        lines += "piped line " + std::to_string(i) + "\n";
    run_options o;
    o.stdin_kind = input::pipe;
    o.stdin_data = lines;
    run_result r = run(args({"-"}), o);
    ASSERT_EQ(r.status, 0) << r.err;
    header_file h = read_header_file(njh);
    ASSERT_EQ(h.records.size(), 2u);
    EXPECT_EQ(h.records[1].fields.at("NDHGNREC"), "5000");
    EXPECT_EQ(h.records[1].fields.at("NDHGPROC"), "STANDARD");
    EXPECT_EQ(h.records[1].fields.at("NDHGSTEP"), "INPUT");
    std::vector<std::string> recs = records_from(read_data_file(njd), 0);
    ASSERT_EQ(recs.size(), 5000u);
    EXPECT_EQ(recs[4999], ebcdic("piped line 4999"));

    // Five arguments ending in -t: standard input is the only file, and it starts the job, which
    // then misses its gateway.
    o.stdin_data = "x\n";
    r = run({"s", "n", "-sp", spool, "-t"}, o);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "jobpush: -g hostname not specified.\n" + usage_text());
}

// Every failure once the spool files exist removes both: empty inputs, later arguments that cannot
// be opened, unknown fields, a block size no record fits.
TEST_F(LocalRun, FailuresLeaveNoSpoolFile)
{
    std::string good = file("good.txt", "x\n"), empty = file("empty", ""), none = dir + "/none";
    const std::string zero = "jobpush FAILED! zero length: ";
    struct fault {
        std::vector<std::string> tail;
        std::string message;
        input in = input::devnull;
    } faults[] = {
        {{"-"}, zero + "data file\n"},
        {{"-"}, zero + "data file\n", input::pipe},
        {{empty}, zero + "data file\n"},
        {{"-s", empty, "-e", good, good}, zero + "begin jcl file\n"},
        {{"-s", good, "-e", empty, good}, zero + "end jcl; file\n"},
        {{good, none}, "jobpush: " + none + ": could not open\n"},
        {{good, dir}, "jobpush: " + dir + ": could not open\n"},
        {{good, "-s", none, "-e", good, good}, "jobpush: could not open '-s=" + none + "' filename\n"},
        {{good, "-s", good, "-e", none, good}, "jobpush: could not open '-e=" + none + "' filename\n"},
        {{good, "-s", good, good}, "jobpush: invalid '-s and '-e' combination\n" + usage_text()},
        {{good, "-bogus"}, usage_text()},
        {{"-q", "NOSUCH", "1", good}, "jobpush: unknown field NOSUCH\n"},
        {{"-q", "NJHGJNAM", "J", good, "-q", "NOSUCH", "1", good}, "jobpush: unknown field NOSUCH\n"},
        {{"-max", "5", good}, "maxdata = 5\njobpush: process_file: nje_convert_toibm: compression failed\n"},
    };
    for (const fault &f : faults) {
        run_options o;
        o.stdin_kind = f.in;
        run_result r = run(args(f.tail), o);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "jobpush: DEBUG_LOCAL turned on\n" + f.message);
        EXPECT_FALSE(exists(njh)) << f.message;
        EXPECT_FALSE(exists(njd)) << f.message;
    }
}

TEST_F(LocalRun, FullDeviceIsReportedAndNothingStays)
{
    std::filesystem::create_symlink("/dev/full", njd);
    run_result r = run(args({file("small.txt", "tiny\n")}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "jobpush: DEBUG_LOCAL turned on\njobpush: close_local_job: nje_data_close: "
                     "\n\tfile write ERROR: spool directory is full.\n");
    EXPECT_FALSE(exists(njh));
    EXPECT_FALSE(exists(njd));

    std::filesystem::create_symlink("/dev/full", njd);
    r = run(args({file("large.txt", std::string(40000, 'x') + "\n" + std::string(200000, '\n'))}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "jobpush: DEBUG_LOCAL turned on\njobpush: process_file: nje_convert_toibm: "
                     "\n\tfile write ERROR: spool directory is full.\n");
    EXPECT_FALSE(exists(njh));
    EXPECT_FALSE(exists(njd));
}

TEST_F(LocalRun, SpoolPathsThatDoNotFitAreRefused)
{
    std::string deep = spool + "/" + std::string(240, 'd');
    std::vector<std::string> a = {"s",  "n",      "-g", "gw", "-sp",           deep,
                                  "-n", "mynode", "-d", "2",  file("a", "a\n")};
    run_result r = run(a);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "jobpush: DEBUG_LOCAL turned on\njobpush: " + deep +
                         "/MYNODE/rje/input/NJH78: File name too long\n");

    a[5] = dir + "/nospool";
    r = run(a);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "jobpush: DEBUG_LOCAL turned on\njobpush: " + dir +
                         "/nospool/MYNODE/rje/input/NJH78: No such file or directory\n");
}

TEST_F(LocalRun, VariantsJobTypeOneAndSeparateJobs)
{
    std::string a = file("a.txt", "a\n"), b = file("b.txt", "b\nbb\n");
    run_options jt1;
    jt1.binary = JOBPUSH_JT1_BIN;
    run_result r = run(args({a, b}), jt1);
    ASSERT_EQ(r.status, 0) << r.err;
    header_file h = read_header_file(njh);
    ASSERT_EQ(h.records.size(), 1u); // no dataset headers in a type 1 job
    EXPECT_EQ(h.records[0].fields.at("NJHGXEQN"), "VERYLONG");
    EXPECT_EQ(h.records[0].fields.at("NJHGXEQU"), "JOHN$DOE");
    EXPECT_EQ(h.records[0].fields.at("NJHGPRTN"), "MYNODE");
    EXPECT_EQ(h.records[0].fields.at("NJHGPUNR"), "LOCUSR");
    EXPECT_EQ(records_from(read_data_file(njd), 0),
              (std::vector<std::string>{ebcdic("a"), ebcdic("b"), ebcdic("bb")}));

    run_options sep;
    sep.binary = JOBPUSH_SEPARATE_BIN;
    std::filesystem::remove(njh);
    std::filesystem::remove(njd);
    r = run(args({a, b}), sep);
    ASSERT_EQ(r.status, 0) << r.err;
    header_file first = read_header_file(njh);
    header_file second = read_header_file(indir + "/NJH79");
    ASSERT_EQ(first.records.size(), 2u);
    ASSERT_EQ(second.records.size(), 2u);
    EXPECT_EQ(first.records[0].fields.at("NJHGJNAM"), "ZAK0078");
    EXPECT_EQ(second.records[0].fields.at("NJHGJNAM"), "ZAK0079");
    EXPECT_EQ(second.records[1].fields.at("NDHGPROC"), "B");
    EXPECT_EQ(records_from(read_data_file(indir + "/NJD79"), 0),
              (std::vector<std::string>{ebcdic("b"), ebcdic("bb")}));
}

} // namespace
