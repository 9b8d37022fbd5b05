// jobpush against a hostile or careless environment: links and other files planted in the spool, odd
// environment values, closed standard descriptors, inputs that are the job's own files, a second run
// building the same job, signals and a file size limit in the middle of a job.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "jobpush_run.h"

using namespace jobpush_test;
namespace fs = std::filesystem;

namespace
{

const std::string kLocal = "jobpush: DEBUG_LOCAL turned on\n";

struct Hardening : LocalJob {
    // Waits until `path` exists (a background run got that far).
    static bool appears(const std::string &path)
    {
        for (int i = 0; i < 1000 && !exists(path); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return exists(path);
    }
    // The job in the spool is whole: both header records read back and the records of `text`.
    void expect_whole_job(const std::string &text)
    {
        header_file h = read_header_file(njh);
        EXPECT_TRUE(h.clean_end);
        EXPECT_EQ(h.records.size(), 2u);
        EXPECT_EQ(records_from(read_data_file(njd)), v{ebcdic(text)});
    }
};

// Whatever stands at a spool path that is not a regular file is refused and left as it is; nothing is
// written through it or created outside the spool.
TEST_F(Hardening, SpoolFilesAreNeverWrittenThroughALink)
{
    const std::string victim = file("victim", "keep"), outside = dir + "/outside", a = file("a", "a\n");
    struct planted {
        std::string path, target; // a symbolic link, or a FIFO when target is empty
        std::string message;
    } cases[] = {
        {njh, victim, njh + ": Too many levels of symbolic links"},
        {njd, outside, njd + ": Too many levels of symbolic links"}, // dangling
        {njh, "", njh + ": File exists"},
    };
    for (const planted &c : cases) {
        SCOPED_TRACE(c.message);
        if (c.target.empty())
            ASSERT_EQ(mkfifo(c.path.c_str(), 0600), 0);
        else
            fs::create_symlink(c.target, c.path);
        run_result r = run(local({a}));
        EXPECT_EQ(outcome(r), "1: " + kLocal + "jobpush: " + c.message + "\n");
        EXPECT_EQ(slurp(victim), "keep");
        EXPECT_FALSE(exists(outside));
        EXPECT_TRUE(exists(c.path)); // not this run's to remove
        EXPECT_FALSE(exists(c.path == njh ? njd : njh));
        fs::remove(c.path);
    }
    // A spool directory that is itself a link is the site's choice.
    fs::create_directory_symlink(spool, dir + "/linked");
    v linked = local({a});
    linked[5] = dir + "/linked";
    run_result r = run(linked);
    EXPECT_EQ(r.status, 0) << r.err;
    expect_whole_job("a");
}

TEST_F(Hardening, EnvironmentAndDescriptorsCannotMisleadTheRun)
{
    // A LANG that steps out of the run directory links no library (here one that would complain of a
    // missing entry point when opened).
    fs::copy_file(JOBPUSH_BINARY_DIR "/tests/dbcs_stub/libjobpush_dbcs_stub_partial.so", dir + "/xlib");
    const std::string a = file("a", "a\n");
    for (const std::string &lang : {"../" + fs::path(dir).filename().string() + "/x", dir + "/x"}) {
        run_result r = run(local({a}), {.env = {{"LANG", lang}}});
        EXPECT_EQ(r.err, kLocal) << lang;
        EXPECT_EQ(r.status, 0);
    }
    // Traces with standard error closed go nowhere; they never land in a spool file.
    EXPECT_EQ(run(local({"-d", "3", a}), {.close_stderr = true}).status, 0);
    expect_whole_job("a");
    // The job's own files as input would grow without end.
    const std::string big = file("big", std::string(100000, 'x') + "\n");
    for (const v &tail : {v{big, "-b", njd}, v{njh}}) {
        ASSERT_EQ(run(local({a})).status, 0); // the files of an earlier run
        run_result r = run(local(tail));
        EXPECT_EQ(outcome(r), "1: " + kLocal + "jobpush: " + tail.back() + ": is a spool file of this job\n");
        EXPECT_FALSE(exists(njh) || exists(njd));
    }
}

// A second run that would build the same job stops before it writes anything; the first one ends well,
// with all of its piped input (more than a pipe holds) as the dataset STANDARD.INPUT.
TEST_F(Hardening, TwoRunsNeverBuildOneJobTogether)
{
    background_run first = spawn(local({"-"}));
    ASSERT_TRUE(appears(njd));
    run_result second = run(local({file("a", "other\n")}));
    EXPECT_EQ(outcome(second),
              "1: " + kLocal + "jobpush: " + njh + ": the job is being built by another run\n");
    std::string lines;
    for (int i = 0; i < 5000; ++i)
        lines += "piped line " + std::to_string(i) + "\n";
    ASSERT_EQ(write(first.input, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
    run_result r = finish(first);
    EXPECT_EQ(r.status, 0) << r.err;
    header_file h = read_header_file(njh);
    ASSERT_EQ(h.records.size(), 2u);
    expect_fields(h.records[1], {{"NDHGNREC", "5000"}, {"NDHGPROC", "STANDARD"}, {"NDHGSTEP", "INPUT"}});
    v recs = records_from(read_data_file(njd));
    ASSERT_EQ(recs.size(), 5000u);
    EXPECT_EQ(recs[4999], ebcdic("piped line 4999"));
}

// A signal in the middle of a job removes both spool files and ends the run as the signal would.
TEST_F(Hardening, SignalsRemoveTheUnfinishedJob)
{
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        background_run run = spawn(local({"-"}));
        ASSERT_TRUE(appears(njd));
        std::string lines;
        for (int i = 0; i < 10000; ++i)
            lines += "line " + std::to_string(i) + "\n";
        ASSERT_EQ(write(run.input, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
        ASSERT_EQ(kill(run.pid, sig), 0);
        int ended_by = 0;
        finish(run, &ended_by);
        EXPECT_EQ(ended_by, sig);
        EXPECT_FALSE(exists(njh) || exists(njd));
    }
}

// Map files that are no regular files count as missing: the run neither blocks nor spins on them.
TEST_F(Hardening, MapFilesThatAreNoRegularFilesAreMissing)
{
    const std::string home = dir + "/home", a = file("a", "a\n");
    fs::create_directories(home);
    ASSERT_EQ(mkfifo((home + "/ebcdictoiso").c_str(), 0600), 0);
    EXPECT_EQ(run(local({a}), {.env = {{"SNARJEHOME", home}}}).status, 0);
    fs::remove(home + "/ebcdictoiso");
    fs::create_symlink("/dev/zero", home + "/ebcdictoiso");
    EXPECT_EQ(run(local({a}), {.env = {{"SNARJEHOME", home}}}).status, 0);
    expect_whole_job("a");
}

} // namespace
