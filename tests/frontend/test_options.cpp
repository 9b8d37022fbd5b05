// The command line of jobpush: the option table, every message byte for byte with its exit status,
// and no spool file left behind by any failure; option recognition and IBM names.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

#include "frontend/names.h"
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

// The vectors of tests/data/frontend/failures (format at the top of command_line).
TEST_F(Options, FailuresPrintTheirMessageExitOneAndLeaveNoSpoolFile)
{
    fs::create_directories(dir + "/tbl");
    fs::create_directories(dir + "/fifo");
    mkfifo((dir + "/fifo/toebcdic.bin").c_str(), 0600);
    file("empty", "");
    file("jp", "\xe3\x81\x82\n");
    file("cut", std::string("\0\0\0\x05", 4) + "ab");
    std::string unrepeated; // compresses to about its own size, written only when the data file closes
    for (unsigned i = 0, x = 1; i < 3000; ++i, x = x * 1103515245 + 12345)
        unrepeated += i % 70 == 69 ? '\n' : static_cast<char>('a' + (x >> 16) % 26);
    file("u", unrepeated + "\n");
    file("x", std::string(40000, 'x') + "\n" + std::string(200000, '\n'));
    std::string run_args;
    for (const std::string &a : local({}))
        run_args += a + " ";
    const vars_t vars = {{"$RUN", run_args},
                         {"$NOTICE", "jobpush: DEBUG_LOCAL turned on\n"},
                         {"$USAGE", slurp(JOBPUSH_TEST_DATA "/frontend/usage")},
                         {"$GOOD", good},
                         {"$EMPTY", dir + "/empty"},
                         {"$NONE", dir + "/none"},
                         {"$SPOOL", spool},
                         {"$DIR", dir},
                         {"$BUILD", JOBPUSH_BINARY_DIR}};
    for (const Vector &f : load_golden("frontend/failures")) {
        run_failure(f, vars);
        EXPECT_FALSE(exists(njh) || exists(njd)) << f.get("args");
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
        {{"-tab", "0"}, {"\x9e\xf6\x9d"}, {.env = {{"RJEXLATEDIR", dir + "/tbl"}}}},
    };
    for (const setting &s : settings) {
        v a = local(s.options);
        a.push_back(good);
        run_result r = run(a, s.run);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(records_from(read_data_file(njd)), s.records) << s.options[0];
    }
}

// -debug 3: the notices, the traces in order and the dump of the dataset header record
// (tests/data/frontend/trace_of_a_local_run).
TEST_F(Options, DebugNoticesAndTracesInOrder)
{
    const run_result r = run({"s", "n", "-g", "gw", "-sp", spool, "-n", "mynode", "-d", "3", good});
    EXPECT_EQ(outcome(r),
              "0: " + expand(slurp(JOBPUSH_TEST_DATA "/frontend/trace_of_a_local_run"), {{"$NJH", njh}}));
}

TEST(Names, MatchUppercaseAndDatasetNamesFromPaths)
{
    EXPECT_EQ(match("-gateway", "-g", "-ga"), 1);
    EXPECT_EQ(match("-gateway", "-g", "-gatewayx"), 0);
    EXPECT_EQ(match("-text", "-t", ""), 0);
    EXPECT_EQ(match("", "", ""), 1);

    char dst[16];
    EXPECT_EQ(uppercase(dst, "a.b-c_1", 8), dst + 7);
    EXPECT_STREQ(dst, "A$B$C_1");
    uppercase(dst, "\xe9t\xe9", 8); // bytes above 127 are no letters in the C locale
    EXPECT_STREQ(dst, "$T$");

    struct {
        const char *path, *name, *type;
    } cases[] = {
        {"/tmp/report.txt", "REPORT", "TXT"}, {"archive.tar.gz", "ARCHIVE$", "GZ"},
        {".profile", "$PROFILE", ""},         {"dir/", "", ""},
        {"a.dir/Makefile", "MAKEFILE", ""},   {"averyverylongname.extension1", "AVERYVER", "EXTENSIO"},
    };
    for (const auto &c : cases) {
        char name[16] = "junk", type[16] = "junk";
        ibm_filename(c.path, name, type);
        EXPECT_STREQ(name, c.name) << c.path;
        EXPECT_STREQ(type, c.type) << c.path;
    }
}

} // namespace
