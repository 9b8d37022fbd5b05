// The installed programs: the tree that cmake --install lays out under a temporary root and the
// Debian package unpacked under another. Each program runs through its bin/ link, by bare name along
// PATH, from another working directory, and must find its run directory there: the catalogues (a
// message byte for byte in German, Japanese UTF-8 and Japanese EUC-JP) and the translate map file.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "jobpush_run.h"

namespace fs = std::filesystem;
using namespace jobpush_test;

namespace
{

const std::string kNotOpenedDe = ": missing: nicht zu \xc3\xb6"
                                 "ffnen\n";

// Runs a tool found along PATH with `input` on its standard input; its standard output.
std::string tool(const v &args, const std::string &input = "")
{
    return run(args, {.binary = "/usr/bin/env", .argv0 = "env", .pipe = true, .stdin_data = input}).out;
}

// Runs `command` (a program name and its arguments, split at blanks) in `cwd`, in an environment of PATH
// (bin first) and LANG alone; out holds standard error followed by standard output.
run_result run_in(const std::string &cwd, const std::string &bin, const std::string &lang,
                  const std::string &command)
{
    v args = {"-i",
              "-C",
              cwd,
              "PATH=" + bin + ":/usr/bin:/bin",
              "LANG=" + lang,
              "LSAN_OPTIONS=print_suppressions=0"};
    for (const std::string &w : words(command))
        args.push_back(w);
    const run_result r = run(args, {.binary = "/usr/bin/env", .argv0 = "env"});
    return {r.status, r.err + r.out, ""};
}

std::vector<std::string> programs()
{
    std::vector<std::string> list;
    std::stringstream s(JOBPUSH_PROGRAMS);
    for (std::string p; std::getline(s, p, ',');)
        list.push_back(p);
    return list;
}

std::vector<std::string> roots()
{
    std::vector<std::string> list{JOBPUSH_STAGE "/tree"};
    if (JOBPUSH_PACKAGED)
        list.push_back(JOBPUSH_STAGE "/deb/root");
    return list;
}

class Installed : public ::testing::TestWithParam<std::string>
{
  protected:
    std::string usr = GetParam() + "/usr";
    std::string bin = usr + "/bin";
    std::string rundir = usr + "/" JOBPUSH_INSTALL_RUNDIR;
    // A working directory away from the tree, with a spool for local jobs.
    std::string cwd = [] {
        std::string dir = fresh_dir();
        fs::create_directories(dir + "/spool/MYNODE/rje/input");
        write_file(dir + "/a.txt", "a\n");
        return dir;
    }();

    run_result jobpush_local(const std::string &lang, const std::string &args)
    {
        return run_in(cwd, bin, lang, "jobpush SYS NODE -g none -sp spool -n MYNODE -d 2 " + args);
    }
    // The records that `jobpush -debug 2` makes of a one-line file under `lang`.
    v local_records(const std::string &line, const std::string &lang = "C")
    {
        write_file(cwd + "/line.txt", line + "\n");
        EXPECT_EQ(jobpush_local(lang, "line.txt").status, 0);
        return records_from(read_data_file(cwd + "/spool/MYNODE/rje/input/NJD78"));
    }
};

TEST_P(Installed, LayoutUnderThePrefix)
{
    for (const std::string &p : programs()) {
        // Relative links, so that the tree works wherever it is unpacked.
        EXPECT_EQ(fs::read_symlink(bin + "/" + p), fs::path("../lib/jobpush") / p);
        // Manual pages compressed; a page of its own carries the project's version.
        std::string page = tool({"zcat", usr + "/share/man/man1/" + p + ".1.gz"});
        EXPECT_TRUE(page.rfind(".so ", 0) == 0 ||
                    page.find("\"jobpush " JOBPUSH_VERSION "\"") != std::string::npos)
            << p << ": " << page.substr(0, 80);
    }
    EXPECT_TRUE(fs::is_regular_file(rundir + "/ja_JP.UTF-8lib"));
}

TEST_P(Installed, MessagesComeFromTheRunDirectoryCatalogue)
{
    for (const std::string &p : programs()) {
        run_result r =
            run_in(cwd, bin, "de_DE.UTF-8", p + (p == "jobshow" ? "" : " SYS NODE -g none") + " missing");
        EXPECT_EQ(r.out, p + kNotOpenedDe);
        EXPECT_EQ(r.status, 1);
    }
    // The same message in Japanese, as UTF-8 and converted by the catalogue into EUC-JP.
    EXPECT_EQ(run_in(cwd, bin, "ja_JP.UTF-8", "jobpush SYS NODE -g none missing").out,
              "jobpush: missing: \xe9\x96\x8b\xe3\x81\x91\xe3\x81\xbe\xe3\x81\x9b\xe3\x82\x93\n");
    EXPECT_EQ(run_in(cwd, bin, "ja_JP.EUC-JP", "jobpush SYS NODE -g none missing").out,
              "jobpush: missing: \xb3\xab\xa4\xb1\xa4\xde\xa4\xbb\xa4\xf3\n");
    // The usage text and the debug notices stay as they stand, next to translated messages.
    EXPECT_EQ(run_in(cwd, bin, "de_DE.UTF-8", "jobpush SYS NODE -g none -l 256 x").out,
              "jobpush: lrecl muss kleiner als 256 sein\n" + slurp(JOBPUSH_TEST_DATA "/frontend/usage"));
    EXPECT_EQ(jobpush_local("ja_JP.EUC-JP", "-q NOSUCH x a.txt").out,
              "jobpush: DEBUG_LOCAL turned on\njobpush: "
              "\xc9\xd4\xcc\xc0\xa4\xca\xa5\xd5\xa5\xa3\xa1\xbc\xa5\xeb\xa5\xc9 "
              "NOSUCH\n");
    // A job that jobpush built, summed up by jobshow in German.
    ASSERT_EQ(jobpush_local("de_DE.UTF-8", "a.txt").status, 0);
    const std::string summary = run_in(cwd, bin, "de_DE.UTF-8", "jobshow spool/MYNODE/rje/input/NJH78").out;
    EXPECT_EQ(summary.rfind("spool/MYNODE/rje/input/NJH78: unvollst\xc3\xa4ndig (G\xc3\xbcltigkeitsmarke 0)\n"
                            "  Job ZAK0078, Nummer 78, Klasse B\n",
                            0),
              0u)
        << summary;
    // In the C locale every message is the program's own.
    EXPECT_EQ(run_in(cwd, bin, "C", "jobpush SYS NODE -g none missing").out,
              "jobpush: missing: could not open\n");
}

TEST_P(Installed, MapFileInTheRunDirectoryTakesEffect)
{
    // On a copy of the tree: the other tests run the same tree at the same time.
    fs::copy(GetParam(), cwd + "/root", fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    bin = cwd + "/root/usr/bin";
    rundir = cwd + "/root/usr/" JOBPUSH_INSTALL_RUNDIR;
    const std::string map = rundir + "/ebcdictoiso";
    // Built-in tables: [ ] ^ at EBCDIC AD BD 5F; the example, once copied into place, moves them.
    EXPECT_EQ(local_records("[x]^"), v{"\xad\xa7\xbd\x5f"});
    fs::copy_file(rundir + "/ebcdictoiso.example", map);
    EXPECT_EQ(local_records("[x]^"), v{"\xba\xa7\xbb\xb0"});
    // A faulty line is reported in the operator's language and skipped.
    write_file(map, "BA 5B\n4A\n");
    EXPECT_EQ(run_in(cwd, bin, "de_DE.UTF-8", "jobpush SYS NODE -g none missing").out,
              "loadmaps:  Zwei Werte erforderlich, Zeile 2\njobpush" + kNotOpenedDe);
}

// Double-byte text through the installed run directory's DBCS library, under each language's EUC and
// UTF-8 locale: the record holds what iconv makes of the line in the host set, and jobshow under the
// same locale gives the line back with SO and SI shown as blanks.
TEST_P(Installed, DoubleByteTextThroughTheInstalledLibrary)
{
    const struct {
        const char *locale, *charset, *host, *text; // text in UTF-8
    } cases[] = {
        {"ja_JP.EUC-JP", "EUC-JP", "IBM939", "\xe6\x97\xa5\xe6\x9c\xac 1"},
        {"ja_JP.UTF-8", "UTF-8", "IBM939", "\xe6\x97\xa5\xe6\x9c\xac 1"},
        {"ko_KR.EUC-KR", "EUC-KR", "IBM933", "\xed\x95\x9c\xea\xb5\xad 2"},
        {"ko_KR.UTF-8", "UTF-8", "IBM933", "\xed\x95\x9c\xea\xb5\xad 2"},
        {"zh_CN", "GB2312", "IBM935", "\xe4\xb8\xad\xe6\x96\x87 3"},
        {"zh_CN.UTF-8", "UTF-8", "IBM935", "\xe4\xb8\xad\xe6\x96\x87 3"},
        {"zh_TW.EUC-TW", "EUC-TW", "IBM937", "\xe4\xb8\xad\xe6\x96\x87 4"},
        {"zh_TW.UTF-8", "UTF-8", "IBM937", "\xe4\xb8\xad\xe6\x96\x87 4"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.locale);
        const std::string line = tool({"iconv", "-f", "UTF-8", "-t", c.charset}, c.text);
        const std::string host = tool({"iconv", "-f", c.charset, "-t", c.host}, line);
        EXPECT_EQ(local_records(line, c.locale), v{host});
        const std::size_t blank = line.find(' ');
        EXPECT_EQ(run_in(cwd, bin, c.locale, "jobshow -dataset 1 spool/MYNODE/rje/input/NJH78").out,
                  " " + line.substr(0, blank) + "  " + line.substr(blank + 1) + "\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Trees, Installed, ::testing::ValuesIn(roots()),
                         [](const ::testing::TestParamInfo<std::string> &param) {
                             return param.index == 0 ? std::string("CmakeInstall")
                                                     : std::string("DebianPackage");
                         });

#if JOBPUSH_PACKAGED
TEST(DebianPackage, NamedByVersionWithDerivedDependencies)
{
    const std::string deb = JOBPUSH_STAGE "/deb/jobpush_" JOBPUSH_VERSION "_" JOBPUSH_DEB_ARCH ".deb";
    ASSERT_TRUE(fs::is_regular_file(deb));
    std::string depends = tool({"dpkg-deb", "-f", deb, "Depends"});
    EXPECT_NE(depends.find("libc6 (>="), std::string::npos) << depends;
    EXPECT_NE(depends.find("libtirpc3 (>="), std::string::npos) << depends;
}
#endif

} // namespace
