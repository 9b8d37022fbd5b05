// Test helpers for the programs: runs the real binary with a chosen argument vector, environment and
// standard input, and decodes the spool files of the job it leaves behind with the record library's
// reading side.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/golden.h"

namespace jobpush_test
{

using v = std::vector<std::string>;

struct run_result {
    int status = -1; // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

struct run_options {
    std::string binary = {}; // JOBPUSH_BIN when empty
    std::string argv0 = "jobpush";
    bool pipe = false; // standard input a pipe fed with stdin_data, else /dev/null
    std::string stdin_data = {};
    std::map<std::string, std::string> env = {};
    int file_limit_kb = 0;     // a file size limit (ulimit -f) for the run, 0 for none
    bool close_stderr = false; // run with standard error closed
};

// "status: standard error" of a run, to compare both at once.
inline std::string outcome(const run_result &r)
{
    return std::to_string(r.status) + ": " + r.err;
}

// Runs `binary` with argv[0] `argv0`, the given arguments and a bare environment.
run_result run(const v &args, const run_options &options = {});

// Runs the program as a vector of tests/data/frontend asks ("args", "env", "stdin", "limit"; format at the
// top of failures/command_line), each $NAME of `vars` replaced by its value in args, env and err; then
// checks the status (1), that standard output stays empty and standard error is err (or begins
// with it with "part").
using vars_t = std::vector<std::pair<std::string, std::string>>;
std::string expand(std::string s, const vars_t &vars);
run_result run_failure(const Vector &f, const vars_t &vars, run_options o = {});

// A run in the background whose standard input is a pipe the test holds (unless `piped` is false): it
// reads until the test writes to `input` and closes it, so it can be caught in the middle of a job. Its
// output goes to files in a directory of its own, named after `name`.
struct background_run {
    pid_t pid = -1;
    int input = -1;
    std::string io;
};
background_run spawn(const v &args, const run_options &options = {}, bool piped = true,
                     const std::string &name = "bg");
// Closes the input and waits for the run; *signal (when given) is the signal that ended it, or 0.
run_result finish(background_run &run, int *signal = nullptr);

#ifdef JOBSHOW_BIN
// Runs the real jobshow (argv[0] "jobshow").
inline run_result show(const v &args, run_options options = {})
{
    options.binary = JOBSHOW_BIN;
    options.argv0 = "jobshow";
    return run(args, options);
}
#endif

bool exists(const std::string &path); // also for dangling symbolic links

// A test with a fresh directory of its own holding a spool tree; local() gives the arguments of a
// DEBUG_LOCAL run that builds job 78 as njh and njd.
struct LocalJob : ::testing::Test {
    std::string dir, spool, indir, njh, njd;
    void SetUp() override;
    std::string file(const std::string &name, const std::string &data) const;
    v local(const v &tail, const std::string &user = "sys", const std::string &node = "nodea") const;
};

// One header record: prefix values, and the fields of its sections by dictionary name (general
// section, and the RSCS section of a dataset header); integers and times as decimal strings. The
// entry "sections" lists "id:length " of each section.
struct header_record {
    uint32_t offset = 0;
    uint32_t type = 0;
    std::map<std::string, std::string> fields;
};

struct header_file {
    unsigned char mark = 0xFF;
    std::vector<header_record> records;
    bool clean_end = false; // reading stopped at the end of the file, not at an error
};
header_file read_header_file(const std::string &path);
// Each field named in `want` has the value given there.
void expect_fields(const header_record &record, const std::map<std::string, std::string> &want);

struct data_block {
    long offset = 0; // position of the data-file record in the file
    Bytes data;
};

struct data_file {
    std::string path;
    std::vector<data_block> blocks;
    bool eod = false;      // the end-of-data mark was found
    bool trailing = false; // bytes follow the end-of-data mark
};
data_file read_data_file(const std::string &path);
std::size_t largest_block(const data_file &file); // the size of its largest data-file record

// The records of the dataset at data-file offsets [from, to) ("<unreadable>" after the last one read when
// the data cannot be read).
v records_from(const data_file &file, long from = 0, long to = 1L << 40);

} // namespace jobpush_test
