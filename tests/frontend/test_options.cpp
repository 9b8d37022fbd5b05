// The command line of jobpush: the option table, every message byte for byte with its exit status,
// and no spool file left behind by any failure.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "jobpush_run.h"

using namespace jobpush_test;

namespace
{

struct Options : LocalJob {
    std::string good;
    void SetUp() override
    {
        LocalJob::SetUp();
        good = file("in.txt", "a\tb\n");
    }
};

TEST_F(Options, FailuresPrintTheirMessageExitOneAndLeaveNoSpoolFile)
{
    const std::string usage = usage_text(), loc = "jobpush: DEBUG_LOCAL turned on\n",
                      zero = "jobpush FAILED! zero length: ", empty = file("empty", ""), none = dir + "/none";
    std::filesystem::create_directories(dir + "/tbl");
    std::filesystem::create_directories(dir + "/fifo");
    mkfifo((dir + "/fifo/toebcdic.bin").c_str(), 0600); // would block a plain open for ever
    const std::string cut_record("\0\0\0\x05"
                                 "ab",
                                 6),
        conv = "jobpush: process_file: nje_convert_toibm: ";
    run_options japanese = with_env("LANG", "ja_JP.UTF-8"), cut_pipe = piped(cut_record);
    japanese.env["SNARJEHOME"] = JOBPUSH_BINARY_DIR "/frontend"; // the DBCS library of the build
    const std::string full = "\n\tfile write ERROR: spool directory is full.\n",
                      deep = spool + "/" + std::string(240, 'd');
    std::string unrepeated; // compresses to about its own size, written only when the data file closes
    for (unsigned i = 0, x = 1; i < 3000; ++i, x = x * 1103515245 + 12345)
        unrepeated += i % 70 == 69 ? '\n' : static_cast<char>('a' + (x >> 16) % 26);
    v twenty_one;
    for (int i = 0; i < 21; ++i)
        twenty_one.insert(twenty_one.end(), {"-q", "NDHGCLAS", "Z"});
    twenty_one.push_back(good);
    struct fault {
        v args;
        std::string err;
        run_options options = {};
    } faults[] = {
        {{"s", "n", "-g", "gw"}, usage},
        {{"s", "n", "x", "y"}, usage, with_env("RJEGATEWAY", "gw")},
        {{"s", "n", "-g", "gw", "--"}, usage},
        {{"s", "n", "-g", "gw", "-ta", "4"}, usage},
        {{"s", "n", "-g", "gw", "-d"}, usage},
        {{"s", "n", "-g", "gw", "-q", "NJHGJNAM"}, usage},
        {local({"-lrecl", "256", good}), loc + "jobpush: lrecl must be less than 256\n" + usage},
        {local({"-l", "0", good}), loc + usage},
        {local({"-l", "x", good}), loc + usage},
        {local({"-l", "-5", good}), loc + usage},
        // Numbers read strictly: what is not a number, or does not fit, is out of range.
        {local({"-l", "4294967297", good}), loc + "jobpush: lrecl must be less than 256\n" + usage},
        {local({"-l", "12x", good}), loc + usage},
        {local({"-max", "2147483647", good}), loc + "jobpush: -max: invalid value '2147483647'\n" + usage},
        {local({"-m", "65536", good}), loc + "jobpush: -m: invalid value '65536'\n" + usage},
        {local({"-tab", "4x", good}), loc + "jobpush: -tab: invalid value '4x'\n" + usage},
        {local({"-tab", "-1", good}), loc + "jobpush: -tab: invalid value '-1'\n" + usage},
        {{"s", "n", "-g", "gw", "-d", "two", good}, "jobpush: -d: invalid value 'two'\n" + usage},
        {local({"-x", dir + "/fifo", good}),
         loc + "RJE Load Translate tables: unable to open: " + dir + "/fifo/toebcdic.bin\n"},
        {local(twenty_one), loc + usage},
        {{"s", "n", "-d", "2", good}, loc + "jobpush: -g hostname not specified.\n" + usage},
        {{"s", "n", "-sp", spool, "-t"}, "jobpush: -g hostname not specified.\n" + usage, piped("x\n")},
        {local({"-x", none, good}),
         loc + "RJE Load Translate tables: unable to open: " + none + "/toebcdic.bin\n"},
        {{"s", "n", "-g", "gw", good},
         "RJE Load Translate tables: unable to open: " + dir + "/tbl/toebcdic.bin\n",
         with_env("RJEXLATEDIR", dir + "/tbl")},
        {local({"-s", good, "-sp", dir, good}), loc + "jobpush: invalid '-s and '-e' combination\n" + usage},
        {local({"-s", none, "-e", good}), loc + "jobpush: could not open '-s=" + none + " filename\n"},
        {local({"-s", good, "-e", none}), loc + "jobpush: could not open '-e=" + none + " filename\n"},
        // Once the job's spool files exist.
        {local({"-"}), loc + zero + "data file\n"},
        {local({"-"}), loc + zero + "data file\n", piped()},
        {local({empty}), loc + zero + "data file\n"},
        {local({"-s", empty, "-e", good, good}), loc + zero + "begin jcl file\n"},
        {local({"-s", good, "-e", empty, good}), loc + zero + "end jcl; file\n"},
        {local({good, none}), loc + "jobpush: " + none + ": could not open\n"},
        {local({good, dir}), loc + "jobpush: " + dir + ": could not open\n"},
        {local({good, "-s", none, "-e", good, good}),
         loc + "jobpush: could not open '-s=" + none + "' filename\n"},
        {local({good, "-s", good, "-e", none, good}),
         loc + "jobpush: could not open '-e=" + none + "' filename\n"},
        {local({good, "-s", good, good}), loc + "jobpush: invalid '-s and '-e' combination\n" + usage},
        {local({good, "-bogus"}), loc + usage},
        {local({"-q", "NOSUCH", "1", good}), loc + "jobpush: unknown field NOSUCH\n"},
        {local({"-q", "NJHGJNAM", "J", good, "-q", "NOSUCH", "1", good}),
         loc + "jobpush: unknown field NOSUCH\n"},
        {local({"-l", "3", file("jp", "\xe3\x81\x82\n")}),
         loc + conv + "a double-byte character does not fit a record of 3 bytes (at least 4 are needed)\n",
         japanese},
        {local({"-r", file("cut", cut_record)}),
         loc + conv + "the last record runs past the end of the input\n"},
        {local({"-r", "-"}), loc + conv + "the last record runs past the end of the input\n", cut_pipe},
        {local({"-max", "5", good}),
         loc + "maxdata = 5\njobpush: process_file: nje_convert_toibm: compression failed\n"},
        {local({"-sp", deep, good}),
         loc + "jobpush: " + deep + "/MYNODE/rje/input/NJH78: File name too long\n"},
        {local({"-sp", none, good}),
         loc + "jobpush: " + none + "/MYNODE/rje/input/NJH78: No such file or directory\n"},
        // A full spool (a file size limit of 1 KiB; the header file stays below it) removes both files.
        {local({file("u", unrepeated + "\n")}), loc + "jobpush: close_local_job: nje_data_close: " + full,
         file_limit(1)},
        {local({file("x", std::string(40000, 'x') + "\n" + std::string(200000, '\n'))}),
         loc + "jobpush: process_file: nje_convert_toibm: " + full, file_limit(1)},
    };
    for (const fault &f : faults) {
        run_result r = run(f.args, f.options);
        EXPECT_EQ(r.status, 1) << f.err;
        EXPECT_EQ(r.err, f.err);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(exists(njh) || exists(njd)) << f.err;
    }
}

TEST_F(Options, SettingsReachTheRecords)
{
    std::string jcl = file("j", "//J\n"), table(256, '\0');
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<char>(255 - i);
    std::filesystem::create_directories(dir + "/tbl");
    write_file(dir + "/tbl/toebcdic.bin", table);
    struct setting {
        v options;
        v records;
        run_options run = {};
    } settings[] = {
        {{"-tab", "4"}, {ebcdic("a   b")}},
        {{"-tab", "0", "-t"}, {"\x81\x05\x82"}},
        {{"-b", "-l", "2"}, {"a\t", "b\n"}}, // binary: chunks, no translation
        {{"-binary", "-job", "-fixed", "-l", "5"}, {ebcdic("a") + "\x40\x40\x40\x40"}},
        {{"-l", "255", "-f", "-tab", "1"}, {ebcdic("a b") + std::string(252, '\x40')}},
        {{"-st", jcl, "-e", jcl, "-tab", "4"}, {ebcdic("//J"), ebcdic("a   b"), ebcdic("//J")}},
        {{"-tab", "0"}, {"\x9e\xf6\x9d"}, with_env("RJEXLATEDIR", dir + "/tbl")},
    };
    for (const setting &s : settings) {
        v a = local(s.options);
        a.push_back(good);
        run_result r = run(a, s.run);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(records_from(read_data_file(njd)), s.records) << s.options[0];
    }
}

TEST_F(Options, DebugNoticesAndTracesInOrder)
{
    run_result r = run({"s", "n", "-g", "gw", "-sp", spool, "-n", "mynode", "-d", "3", good});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.substr(0, r.err.find("create_ds_header: buf=\n")),
              "jobpush: DEBUG_LOCAL turned on\njobpush: TRACE turned on\n"
              "initialize: temp_name=LOCUSR temp_node=LOCALNOD\n"
              "new_job: my_node=MYNODE my_name=LOCUSR linkname=rje remote_node=N id=78\n"
              "new_job: call 'nje_header_create()': NJH_filename=" +
                  njh +
                  "\nnew_job: call 'create_job_header()': jobno=78 jobname=ZAK0078\n"
                  "process_file: CALL 'nje_convert_toibm()'\n"
                  "process_file: GOOD ret from 'nje_convert_toibm()'\n"
                  "process_file: CALL 'create_ds_header()'\n"
                  "create_ds_header: call 'nje_header_write()': lrecl=80\n");
    EXPECT_NE(r.err.find("create_ds_header: buf=\n 0  0  0  0  0  0  0 e0  0  0  0 9d  0 70  0  0 \n"),
              std::string::npos);
    std::string dump = r.err.substr(r.err.find("buf=\n") + 5); // 157 body bytes, 16 a line
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 10);
    EXPECT_EQ(dump.size(), 157u * 3 + 10);
}

} // namespace
