// Test helpers for the jobpush program: runs the real binary with a chosen argument vector,
// environment and standard input, and decodes the spool files of the job it leaves behind with the
// record library's reading side.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace jobpush_test
{

struct run_result {
    int status = -1; // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

struct run_options {
    std::string binary; // JOBPUSH_BIN when empty
    bool pipe = false;  // standard input a pipe fed with stdin_data, else /dev/null
    std::string stdin_data;
    std::map<std::string, std::string> env;
    int file_limit_kb = 0; // a file size limit (ulimit -f) for the run, 0 for none
};

inline run_options piped(std::string data = "")
{
    run_options o;
    o.pipe = true;
    o.stdin_data = std::move(data);
    return o;
}
inline run_options with_env(const std::string &name, const std::string &value)
{
    run_options o;
    o.env[name] = value;
    return o;
}
inline run_options file_limit(int kb)
{
    run_options o;
    o.file_limit_kb = kb;
    return o;
}
inline run_options variant(const std::string &binary)
{
    run_options o;
    o.binary = binary;
    return o;
}

// Runs `binary` with argv[0] "jobpush", the given arguments and a bare environment.
run_result run(const std::vector<std::string> &args, const run_options &options = {});

// The usage text as the program prints it.
std::string usage_text();

// A fresh directory under the build tree, removed and recreated.
std::string fresh_dir(const std::string &name);
void write_file(const std::string &path, const std::string &data);
bool exists(const std::string &path); // also for dangling symbolic links

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

struct data_block {
    long offset = 0; // position of the data-file record in the file
    std::vector<unsigned char> data;
};

struct data_file {
    std::vector<data_block> blocks;
    bool eod = false;      // the end-of-data mark was found
    bool trailing = false; // bytes follow the end-of-data mark
};
data_file read_data_file(const std::string &path);

// The records of the blocks at data-file offsets [from, to), expanded, without their separators.
std::vector<std::string> records_from(const data_file &file, long from, long to = 1L << 40);

// EBCDIC of an ASCII string with the built-in table.
std::string ebcdic(const std::string &ascii);

} // namespace jobpush_test
