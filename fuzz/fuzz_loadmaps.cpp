// Fuzzes the translate map loader with arbitrary map-file text in a scratch run directory; the
// translate tables are put back after every input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "convert/translate.h"
#include "support/loadmaps.h"
#include "support/rundir.h"

namespace
{

std::string scratch;

void cleanup()
{
    unlink((scratch + "/" + LOADMAPS_FILE).c_str());
    rmdir(scratch.c_str());
}

bool setup()
{
    char tmpl[] = "/tmp/jobpush_fuzz_map_XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        std::abort();
    }
    scratch = tmpl;
    rundir = static_cast<char *>(std::calloc(RJE_PATH_BUF, 1));
    std::strcpy(rundir, tmpl);
    std::atexit(cleanup);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = setup();
    (void)ready;
    static unsigned char etoa[256], atoe[256];
    static bool saved = (std::memcpy(etoa, nje_EtoA, 256), std::memcpy(atoe, nje_AtoE, 256), true);
    (void)saved;

    FILE *f = std::fopen((scratch + "/" + LOADMAPS_FILE).c_str(), "wb");
    if (f == nullptr) {
        std::abort();
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    // Diagnostics are expected; keep them off the fuzzer's output.
    std::fflush(stderr);
    int saved_err = dup(2);
    FILE *null = std::fopen("/dev/null", "w");
    dup2(fileno(null), 2);
    int rc = loadmaps();
    std::fflush(stderr);
    dup2(saved_err, 2);
    close(saved_err);
    std::fclose(null);

    if (rc != 1) {
        std::abort();
    }
    for (int i = 0; i < 256; i++) {
        // Only ISO codes a line assigned may differ in the ISO-to-EBCDIC table.
        if (changed[i] > 1 || (changed[i] && internationalization != 1) ||
            (!changed[i] && nje_AtoE[i] != atoe[i])) {
            std::abort();
        }
    }
    std::memcpy(nje_EtoA, etoa, 256);
    std::memcpy(nje_AtoE, atoe, 256);
    return 0;
}
