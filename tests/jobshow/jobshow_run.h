// Test helper: the real jobshow binary (argv[0] "jobshow"), started through the runner of jobpush's
// tests (bare environment, run directory without catalogues, output collected).
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "jobpush_run.h"

namespace jobshow_test
{

// `shell` runs first in the same shell (a file size limit).
inline jobpush_test::run_result show(const std::vector<std::string> &args, const std::string &shell = "")
{
    std::vector<std::string> a = {"-c", shell + "exec -a jobshow \"$0\" \"$@\"", JOBSHOW_BIN};
    a.insert(a.end(), args.begin(), args.end());
    return jobpush_test::run(a, jobpush_test::variant("/bin/bash"));
}

inline std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace jobshow_test
