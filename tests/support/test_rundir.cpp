#include "support/rundir.h"

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <libintl.h>
#include <string>

#include <gtest/gtest.h>

#include "convert/kiolink.h"
#include "convert/translate.h"
#include "tests/dbcs_stub/dbcs_stub_loader.h"

namespace
{

namespace fs = std::filesystem;

// A scratch tree; the current directory and the environment variables touched are put back.
class RunDir : public ::testing::Test
{
  protected:
    fs::path tmp;
    fs::path old_cwd;
    char cwd[RJE_PATH_BUF];
    char result[RJE_PATH_BUF];

    void SetUp() override
    {
        char tmpl[] = "/tmp/jobpush_run_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        tmp = fs::canonical(tmpl);
        old_cwd = fs::current_path();
        std::strcpy(cwd, ".");
    }
    void TearDown() override
    {
        fs::current_path(old_cwd);
        fs::remove_all(tmp);
        for (const char *v : {"JOBPUSH_TEST_HOME", "LC_ALL"}) {
            unsetenv(v);
        }
    }
    fs::path file(const fs::path &rel, bool exec = true)
    {
        fs::path p = tmp / rel;
        fs::create_directories(p.parent_path());
        std::ofstream(p) << "#!/bin/sh\n";
        fs::permissions(p, exec ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
        return p;
    }
    int find(const char *program, const char *path, const char **name_out = nullptr)
    {
        std::strcpy(cwd, ".");
        return find_program(program, cwd, result, nullptr, name_out, path);
    }
};

} // namespace

TEST_F(RunDir, PathSearchInOrderSkippingWhatCannotRun)
{
    file("a/prog", false);
    fs::create_directories(tmp / "b/prog");
    file("c/prog");
    file("d/prog");
    std::string path = (tmp / "none").string() + ":" + (tmp / "a").string() + ":" + (tmp / "b").string() +
                       ":" + (tmp / "c").string() + ":" + (tmp / "d").string();
    const char *base = nullptr;
    const char *name = nullptr;
    std::strcpy(cwd, "relative");
    ASSERT_EQ(find_program("prog", cwd, result, &base, &name, path.c_str()), 0);
    EXPECT_EQ(std::string(result), (tmp / "c").string());
    EXPECT_STREQ(base, "prog");
    EXPECT_STREQ(name, "prog");
    EXPECT_EQ(std::string(cwd), old_cwd.string()) << "a relative cwd is replaced by the current directory";

    // Relative elements are taken from the current directory.
    fs::current_path(tmp);
    ASSERT_EQ(find("prog", "a:b:d"), 0);
    EXPECT_EQ(std::string(result), (tmp / "d").string());

    EXPECT_EQ(find("prog", "a:b"), -1) << "not executable, a directory";
    errno = 0;
    EXPECT_EQ(find("nothing", "c:d"), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(find("", "c"), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(find_program("prog", nullptr, result, nullptr, nullptr, "c"), -1);
}

TEST_F(RunDir, CurrentDirectoryElement)
{
    file("here/prog");
    fs::current_path(tmp / "here");
    const std::string here = (tmp / "here").string();
    for (const char *path : {".", "", static_cast<const char *>(nullptr), "/nonexistent::"}) {
        ASSERT_EQ(find("prog", path), 0) << (path ? path : "(unset)");
        EXPECT_EQ(std::string(result), here) << (path ? path : "(unset)");
    }
    fs::current_path(tmp);
    ASSERT_EQ(find("here/prog", "/nonexistent"), 0);
    EXPECT_TRUE(fs::equivalent(result, tmp / "here"));
}

TEST_F(RunDir, SymbolicLinkChains)
{
    file("real/prog");
    fs::create_directories(tmp / "links");
    fs::create_directories(tmp / "bin");
    fs::create_symlink("../real/prog", tmp / "links/rel");  // relative target
    fs::create_symlink(tmp / "links/rel", tmp / "bin/abs"); // absolute target
    fs::create_symlink("abs", tmp / "bin/jobpush");         // relative, same directory
    const char *name = nullptr;
    ASSERT_EQ(find("jobpush", (tmp / "bin").c_str(), &name), 0);
    EXPECT_TRUE(fs::equivalent(result, tmp / "real")) << result;
    EXPECT_STREQ(name, "prog");
    ASSERT_EQ(find((tmp / "bin/jobpush").c_str(), nullptr), 0);
    EXPECT_TRUE(fs::equivalent(result, tmp / "real")) << result;

    fs::create_symlink("loop2", tmp / "bin/loop1");
    fs::create_symlink("loop1", tmp / "bin/loop2");
    EXPECT_EQ(find("loop1", (tmp / "bin").c_str()), -1);
    EXPECT_EQ(find((tmp / "bin/loop2").c_str(), nullptr), -1);
}

TEST_F(RunDir, OverlongPathsFailWithoutOverrun)
{
    std::string dir(RJE_PATH_BUF - 4, 'd');
    errno = 0;
    EXPECT_EQ(resolve_link(dir.c_str(), "abc", result, nullptr), -1);
    EXPECT_EQ(errno, ENAMETOOLONG);
    std::string long_path = "/" + dir + ":" + tmp.string();
    file("prog");
    ASSERT_EQ(find("prog", long_path.c_str()), 0) << "the overlong element is passed over";
    EXPECT_EQ(std::string(result), tmp.string());
}

TEST_F(RunDir, GetRunDirOrderOfSources)
{
    file("inst/bin/prog");
    const std::string prog = (tmp / "inst/bin/prog").string();

    setenv("JOBPUSH_TEST_HOME", "/from/env", 1);
    ASSERT_EQ(getrundir("JOBPUSH_TEST_HOME", prog.c_str(), "/default"), 0);
    EXPECT_STREQ(rundir, "/from/env");

    setenv("JOBPUSH_TEST_HOME", "", 1);
    errno = EIO;
    ASSERT_EQ(getrundir("JOBPUSH_TEST_HOME", prog.c_str(), "/default"), 0);
    EXPECT_EQ(std::string(rundir), (tmp / "inst/bin").string());
    EXPECT_EQ(errno, 0);

    setenv("JOBPUSH_TEST_HOME", std::string(RJE_PATH_BUF + 50, 'e').c_str(), 1);
    ASSERT_EQ(getrundir("JOBPUSH_TEST_HOME", (tmp / "missing").c_str(), "/default"), 0);
    EXPECT_STREQ(rundir, "/default");
    EXPECT_EQ(errno, 0);

    EXPECT_EQ(getrundir(nullptr, "", ""), -1);
    EXPECT_EQ(rundir, nullptr) << "no stale directory is left behind";
}

TEST_F(RunDir, InitBindsCatalogueLinksLibraryAndLoadsMap)
{
    const fs::path run = tmp / "run";
    const fs::path msgs = run / "locale/C.UTF-8/LC_MESSAGES";
    fs::create_directories(msgs);
    std::ofstream(tmp / "m.po") << "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                                   "msgid \"Two values required, \"\nmsgstr \"ZWEI WERTE, \"\n";
    std::string cmd =
        "msgfmt -o '" + (msgs / "rjecmd.messages.mo").string() + "' '" + (tmp / "m.po").string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    fs::create_symlink(dbcs_stub_path(), run / (std::string(DBCS_STUB_LANG) + "lib"));
    std::ofstream(run / "ebcdictoiso") << "4A\nC1 5A\n";
    unsigned char saved_etoa = nje_EtoA[0xC1], saved_atoe = nje_AtoE[0x5A];

    setenv("JOBPUSH_TEST_HOME", run.c_str(), 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    int rc;
    std::string err;
    {
        LangScope lang(DBCS_STUB_LANG);
        testing::internal::CaptureStderr();
        rc = Init_I18N("rjecmd.messages", "JOBPUSH_TEST_HOME", "prog", "/default");
        err = testing::internal::GetCapturedStderr();
    }

    EXPECT_EQ(rc, 1);
    EXPECT_EQ(std::string(bindtextdomain("rjecmd.messages", nullptr)), (run / "locale").string());
    EXPECT_EQ(err, "loadmaps:  ZWEI WERTE, line number 1\n");
    EXPECT_EQ(nje_EtoA[0xC1], 0x5A);
    EXPECT_EQ(rje_euclen(0xA1), 2);

    unload_dbcs_stub();
    std::setlocale(LC_ALL, "C");
    nje_EtoA[0xC1] = saved_etoa;
    nje_AtoE[0x5A] = saved_atoe;
}

TEST_F(RunDir, InitWithoutRunDirectory)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(Init_I18N("jobpush.test", nullptr, "", ""), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to find internationalization files\n");
    EXPECT_EQ(rje_euclen(0xA1), 1);
    std::setlocale(LC_ALL, "C");
}
