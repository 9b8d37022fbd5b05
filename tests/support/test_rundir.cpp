// The run directory: the program found along a search path and through chains of links, the order of
// its sources, and Init_I18N without one.
#include "support/rundir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "convert/kiolink.h"
#include "tests/test_util.h"

namespace
{

namespace fs = std::filesystem;

// A scratch tree; the current directory and the environment variables touched are put back.
struct RunDir : ::testing::Test {
    fs::path tmp = fresh_dir(), old_cwd = fs::current_path();
    char cwd[RJE_PATH_BUF] = ".", result[RJE_PATH_BUF];

    void TearDown() override
    {
        fs::current_path(old_cwd);
        unsetenv("JOBPUSH_TEST_HOME");
    }
    // A script at tmp/rel, executable unless not.
    void file(const fs::path &rel, bool exec = true)
    {
        fs::create_directories((tmp / rel).parent_path());
        write_file(tmp / rel, "#!/bin/sh\n");
        fs::permissions(tmp / rel, exec ? fs::perms::owner_all : fs::perms::owner_read);
    }
    // The directory find_program finds the program in, or "-1".
    std::string find(const char *program, const char *path, const char **name_out = nullptr)
    {
        std::strcpy(cwd, ".");
        return find_program(program, cwd, result, nullptr, name_out, path) == 0 ? result : "-1";
    }
};

} // namespace

TEST_F(RunDir, PathSearchInOrderSkippingWhatCannotRun)
{
    file("a/prog", false);
    fs::create_directories(tmp / "b/prog");
    file("c/prog");
    file("d/prog");
    const std::string path = (tmp / "none").string() + ":" + (tmp / "a").string() + ":" +
                             (tmp / "b").string() + ":" + (tmp / "c").string() + ":" + (tmp / "d").string();
    const char *base = nullptr, *name = nullptr;
    std::strcpy(cwd, "relative");
    ASSERT_EQ(find_program("prog", cwd, result, &base, &name, path.c_str()), 0);
    EXPECT_EQ(result, (tmp / "c").string());
    EXPECT_STREQ(base, "prog");
    EXPECT_STREQ(name, "prog");
    EXPECT_EQ(cwd, old_cwd.string()) << "a relative cwd is replaced by the current directory";

    // Relative elements are taken from the current directory; an element that is empty, ".", or that
    // follows an overlong one is the current directory too.
    fs::current_path(tmp);
    EXPECT_EQ(find("prog", "a:b:d"), (tmp / "d").string());
    EXPECT_EQ(find("prog", "a:b"), "-1") << "not executable, a directory";
    errno = 0;
    EXPECT_EQ(find("nothing", "c:d"), "-1");
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(find("", "c"), "-1");
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(find_program("prog", nullptr, result, nullptr, nullptr, "c"), -1);
    EXPECT_EQ(find("c/prog", "/nonexistent"), (tmp / "c").string());

    fs::current_path(tmp / "c");
    for (const std::string &p : {std::string("."), std::string(), std::string("/nonexistent::"),
                                 "/" + std::string(RJE_PATH_BUF - 4, 'd') + ":."})
        EXPECT_EQ(find("prog", p.c_str()), (tmp / "c").string()) << p;
    EXPECT_EQ(find("prog", nullptr), (tmp / "c").string()) << "PATH unset";
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
    EXPECT_TRUE(fs::equivalent(find("jobpush", (tmp / "bin").c_str(), &name), tmp / "real")) << result;
    EXPECT_STREQ(name, "prog");
    EXPECT_TRUE(fs::equivalent(find((tmp / "bin/jobpush").c_str(), nullptr), tmp / "real")) << result;

    fs::create_symlink("loop2", tmp / "bin/loop1");
    fs::create_symlink("loop1", tmp / "bin/loop2");
    EXPECT_EQ(find("loop1", (tmp / "bin").c_str()), "-1");
    EXPECT_EQ(find((tmp / "bin/loop2").c_str(), nullptr), "-1");
    errno = 0;
    EXPECT_EQ(resolve_link(std::string(RJE_PATH_BUF - 4, 'd').c_str(), "abc", result, nullptr), -1);
    EXPECT_EQ(errno, ENAMETOOLONG);
}

TEST_F(RunDir, GetRunDirOrderOfSources)
{
    // (The variable, then the program's directory, are taken on the installed programs and in every
    // run of jobpush in the tests.)
    setenv("JOBPUSH_TEST_HOME", std::string(RJE_PATH_BUF + 50, 'e').c_str(), 1);
    ASSERT_EQ(getrundir("JOBPUSH_TEST_HOME", (tmp / "missing").c_str(), "/default"), 0);
    EXPECT_STREQ(rundir, "/default");
    EXPECT_EQ(errno, 0);

    EXPECT_EQ(getrundir(nullptr, "", ""), -1);
    EXPECT_EQ(rundir, nullptr) << "no stale directory is left behind";
}

// (The catalogue, the DBCS library and the map file of a found run directory are checked on the
// installed programs.) Without a run directory nothing is bound and the run is told why.
TEST_F(RunDir, InitWithoutRunDirectory)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(Init_I18N("jobpush.test", nullptr, "", ""), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to find internationalization files\n");
    EXPECT_EQ(rje_euclen(0xA1), 1);
}
