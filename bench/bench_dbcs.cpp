// The DBCS conversion library as the program uses it: linked through link_kiolib from the run
// directory under a locale name. Load: linking and dropping the library (its tables are built while
// it loads), per locale. Calls: the three wrappers over every host code, over every workstation
// character the host set has, and over their first bytes. The run directory is $DBCS_RUNDIR, else
// ../frontend next to this program.
#include "convert/kiolink.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

const char *const locales[] = {"ja_JP.eucJP", "ja_JP.UTF-8", "ko_KR.eucKR", "ko_KR.UTF-8",
                               "zh_CN",       "zh_CN.UTF-8", "zh_TW.eucTW", "zh_TW.UTF-8"};

std::string rundir()
{
    if (const char *dir = std::getenv("DBCS_RUNDIR"))
        return dir;
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string path(exe, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(0, path.rfind('/')) + "/../frontend";
}

bool link_as(const char *locale)
{
    setenv("LANG", locale, 1);
    return link_kiolib(rundir().c_str()) == 1;
}

void BM_Load(benchmark::State &state)
{
    const char *locale = locales[state.range(0)];
    state.SetLabel(locale);
    for (auto _ : state) {
        if (!link_as(locale)) {
            state.SkipWithError("library not found");
            break;
        }
        link_kiolib(nullptr); // drop it again: the next link builds the tables anew
    }
}
BENCHMARK(BM_Load)->DenseRange(0, 7)->Unit(benchmark::kMillisecond)->MinTime(2);

// The workstation characters of every host code that has one.
std::vector<euc_char> characters()
{
    std::vector<euc_char> chars;
    for (unsigned code = 0; code < 0x10000; code++) {
        euc_char ch = ibmtoeuc(static_cast<uint16_t>(code));
        if (ch.c[0] != '-')
            chars.push_back(ch);
    }
    return chars;
}

void BM_ibmtoeuc(benchmark::State &state)
{
    const char *locale = locales[state.range(0)];
    state.SetLabel(locale);
    if (!link_as(locale)) {
        state.SkipWithError("library not found");
        return;
    }
    for (auto _ : state)
        for (unsigned code = 0; code < 0x10000; code++)
            benchmark::DoNotOptimize(ibmtoeuc(static_cast<uint16_t>(code)));
    state.SetItemsProcessed(state.iterations() * 0x10000);
    link_kiolib(nullptr);
}
BENCHMARK(BM_ibmtoeuc)->DenseRange(0, 7);

// `call` over every workstation character of the state's locale.
template <class Call> void over_characters(benchmark::State &state, Call call)
{
    const char *locale = locales[state.range(0)];
    state.SetLabel(locale);
    if (!link_as(locale)) {
        state.SkipWithError("library not found");
        return;
    }
    std::vector<euc_char> chars = characters();
    for (auto _ : state)
        for (const euc_char &ch : chars)
            benchmark::DoNotOptimize(call(ch));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(chars.size()));
    link_kiolib(nullptr);
}

void BM_euctoibm(benchmark::State &state)
{
    over_characters(state, [](const euc_char &ch) { return euctoibm(ch); });
}
BENCHMARK(BM_euctoibm)->DenseRange(0, 7);

void BM_euclen(benchmark::State &state)
{
    over_characters(state, [](const euc_char &ch) { return rje_euclen(ch.c[0]); });
}
BENCHMARK(BM_euclen)->DenseRange(0, 7);

} // namespace
