// The command line of jobpush: option table, usage text, messages and exit statuses.
#include <gtest/gtest.h>

#include <filesystem>

#include "jobpush_run.h"

using namespace jobpush_test;

namespace
{

struct Options : ::testing::Test {
    std::string dir, spool, njd, file;
    void SetUp() override
    {
        dir =
            fresh_dir(std::string("opt-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        spool = dir + "/spool";
        std::filesystem::create_directories(spool + "/MYNODE/rje/input");
        njd = spool + "/MYNODE/rje/input/NJD78";
        file = dir + "/in.txt";
        write_file(file, "a\tb\n");
    }
    // A local run with the given options before the file.
    run_result local(std::vector<std::string> opts, const std::string &path = "")
    {
        std::vector<std::string> a = {"s", "n", "-g", "gw", "-sp", spool, "-n", "mynode", "-d", "2"};
        a.insert(a.end(), opts.begin(), opts.end());
        a.push_back(path.empty() ? file : path);
        return run(a);
    }
    std::vector<std::string> records() { return records_from(read_data_file(njd), 0); }
};

const std::string kLocal = "jobpush: DEBUG_LOCAL turned on\n";

TEST_F(Options, TooFewArgumentsAndUnknownOptionsPrintUsage)
{
    for (std::vector<std::string> a : std::vector<std::vector<std::string>>{
             {"s", "n", "-g", "gw"},
             {"s", "n", "-g", "gw", "--"},
             {"s", "n", "-g", "gw", "-ta", "4"},
             {"s", "n", "-g", "gw", "-d"},             // value missing
             {"s", "n", "-g", "gw", "-q", "NJHGJNAM"}, // -q takes two
         }) {
        run_result r = run(a);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, usage_text());
        EXPECT_EQ(r.out, "");
    }
    run_options env;
    env.env["RJEGATEWAY"] = "gw"; // the count does not change with the variable set
    EXPECT_EQ(run({"s", "n", "x", "y"}, env).err, usage_text());
}

TEST_F(Options, DebugNoticesInOrder)
{
    run_result r = run({"s", "n", "-g", "gw", "-sp", spool, "-n", "mynode", "-d", "3", file});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.rfind("jobpush: DEBUG_LOCAL turned on\njobpush: TRACE turned on\n", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("new_job: my_node=MYNODE my_name=LOCUSR linkname=rje remote_node=N id=78\n"
                         "new_job: call 'nje_header_create()': NJH_filename=" +
                         spool + "/MYNODE/rje/input/NJH78\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("process_file: CALL 'create_ds_header()'\n"
                         "create_ds_header: call 'nje_header_write()': lrecl=80\n"
                         "create_ds_header: buf=\n 0  0  0  0  0  0  0 e0  0  0  0 9d  0 70  0  0 \n"),
              std::string::npos)
        << r.err;
}

TEST_F(Options, LrecLimits)
{
    run_result r = local({"-l", "255", "-f"});
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(records().size(), 1u);
    EXPECT_EQ(records()[0].size(), 255u);
    r = local({"-lrecl", "256"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, kLocal + "jobpush: lrecl must be less than 256\n" + usage_text());
    for (const char *bad : {"0", "x", "-5"}) {
        r = local({"-l", bad});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, kLocal + usage_text()) << bad;
    }
}

TEST_F(Options, TabTextAndFormats)
{
    ASSERT_EQ(local({"-tab", "4"}).status, 0);
    EXPECT_EQ(records(), std::vector<std::string>{ebcdic("a   b")});
    ASSERT_EQ(local({"-tab", "0", "-t"}).status, 0);
    EXPECT_EQ(records(), std::vector<std::string>{std::string("\x81\x05\x82")});
    ASSERT_EQ(local({"-b", "-l", "2"}).status, 0); // binary: chunks, no translation
    EXPECT_EQ(records(), (std::vector<std::string>{"a\t", "b\n"}));
    ASSERT_EQ(local({"-binary", "-job", "-fixed", "-l", "5"}).status, 0); // -job selects text
    EXPECT_EQ(records(), std::vector<std::string>{ebcdic("a") + std::string(7, '\x40').substr(0, 4)});
}

TEST_F(Options, ShortFormsOfStartAndSpool)
{
    std::string jcl = dir + "/j";
    write_file(jcl, "//J\n");
    ASSERT_EQ(local({"-st", jcl, "-e", jcl, "-tab", "4"}).status, 0);
    EXPECT_EQ(records(), (std::vector<std::string>{ebcdic("//J"), ebcdic("a   b"), ebcdic("//J")}));
    run_result r = local({"-s", jcl, "-sp", dir + "/elsewhere"}); // -sp, not -start
    EXPECT_EQ(r.err, kLocal + "jobpush: invalid '-s and '-e' combination\n" + usage_text());
}

TEST_F(Options, OverrideListHasRoomForTwenty)
{
    std::vector<std::string> opts;
    for (int i = 0; i < 20; ++i)
        opts.insert(opts.end(), {"-q", "NDHGCLAS", "Z"});
    EXPECT_EQ(local(opts).status, 0);
    opts.insert(opts.end(), {"-q", "NDHGCLAS", "Z"});
    run_result r = local(opts);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, kLocal + usage_text());
}

TEST_F(Options, MissingGatewayAndTranslateTables)
{
    run_result r = run({"s", "n", "-d", "2", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, kLocal + "jobpush: -g hostname not specified.\n" + usage_text());

    r = local({"-x", dir + "/none"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, kLocal + "RJE Load Translate tables: unable to open: " + dir + "/none/toebcdic.bin\n");

    std::string table(256, '\0');
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<char>(255 - i);
    std::filesystem::create_directories(dir + "/tbl");
    write_file(dir + "/tbl/toebcdic.bin", table);
    run_options env;
    env.env["RJEXLATEDIR"] = dir + "/tbl";
    r = run({"s", "n", "-g", "gw", "-sp", spool, "-n", "mynode", "-d", "2", "-tab", "0", file}, env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(records(), std::vector<std::string>{std::string("\x9e\xf6\x9d")});
    env.env["RJEXLATEDIR"] = dir;
    r = run({"s", "n", "-g", "gw", file}, env);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "RJE Load Translate tables: unable to open: " + dir + "/toebcdic.bin\n");
}

} // namespace
