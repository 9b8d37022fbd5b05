// Test helper: runs the real jobshow binary with a bare environment, its standard output and error
// collected, optionally under shell settings (a file size limit).
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "jobpush_run.h"

namespace jobshow_test
{

inline std::string quote(const std::string &text)
{
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs jobshow (argv[0] "jobshow") with `args`; `shell` is run first in the same shell (ulimit ...).
inline jobpush_test::run_result show(const std::vector<std::string> &args, const std::string &shell = "")
{
    const std::string io = jobpush_test::fresh_dir("show-io-" + std::to_string(getpid()));
    std::string cmd = shell + "env -i PATH=/usr/bin:/bin SNARJEHOME=" + quote(io) +
                      " LSAN_OPTIONS=print_suppressions=0 bash -c 'exec -a jobshow \"$0\" \"$@\"' " +
                      quote(JOBSHOW_BIN);
    for (const std::string &arg : args)
        cmd += " " + quote(arg);
    cmd += " </dev/null >" + quote(io + "/out") + " 2>" + quote(io + "/err");
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(io + "/out"), slurp(io + "/err")};
}

} // namespace jobshow_test
