// The site's translate map file (ebcdictoiso): pairs applied to both tables, faulty lines reported and
// skipped, long lines, comments, no file; the vectors are golden files.
#include "support/loadmaps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "convert/translate.h"
#include "support/rundir.h"
#include "tests/golden.h"

namespace
{

// A run directory of its own, and the translate tables put back afterwards.
struct LoadMaps : ::testing::Test {
    std::string dir = fresh_dir();
    unsigned char etoa[256], atoe[256];
    char *saved_rundir = rundir;

    void SetUp() override
    {
        std::memcpy(etoa, nje_EtoA, 256);
        std::memcpy(atoe, nje_AtoE, 256);
        rundir = static_cast<char *>(std::calloc(RJE_PATH_BUF, 1));
        std::strcpy(rundir, dir.c_str());
    }
    void TearDown() override
    {
        std::memcpy(nje_EtoA, etoa, 256);
        std::memcpy(nje_AtoE, atoe, 256);
        std::free(rundir);
        rundir = saved_rundir;
    }
};

} // namespace

// The golden vectors of tests/data/support/loadmaps (format at the top of its file).
TEST_F(LoadMaps, GoldenVectors)
{
    for (const Vector &v : load_golden("support/loadmaps")) {
        std::memcpy(nje_EtoA, etoa, 256);
        std::memcpy(nje_AtoE, atoe, 256);
        std::filesystem::remove(dir + "/ebcdictoiso");
        if (v.has("map"))
            write_file(dir + "/ebcdictoiso", v.str("map"));
        internationalization = v.num("internationalization", 0);
        changed[7] = 1;
        testing::internal::CaptureStderr();
        EXPECT_EQ(loadmaps(), v.num("result", 1)) << v.file;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), v.str("err")) << v.file;
        EXPECT_EQ(internationalization, v.num("after", 0)) << v.file;
        Bytes want_etoa(etoa, etoa + 256), want_atoe(atoe, atoe + 256), want_changed(256),
            got_changed(changed, changed + 256);
        for (const std::string &pair : v.all("etoa"))
            want_etoa[hex(pair)[0]] = hex(pair)[1];
        for (const std::string &pair : v.all("atoe"))
            want_atoe[hex(pair)[0]] = hex(pair)[1];
        for (unsigned char c : hex(v.get("changed")))
            want_changed[c] = 1;
        EXPECT_EQ(Bytes(nje_EtoA, nje_EtoA + 256), want_etoa) << v.file;
        EXPECT_EQ(Bytes(nje_AtoE, nje_AtoE + 256), want_atoe) << v.file;
        EXPECT_EQ(got_changed, want_changed) << v.file;
    }
}
