// Reads an arbitrary data file as a NETDATA stream: the dataset check; every logical record with a
// room that varies with the input, each record's text units looked up; the unloading in every format. Nothing may be
// read or written outside the buffers, and every loop must end.
#include "convert/netdata_read.h"

#include "fuzz/fuzz_stream.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = fuzz_stream(data, size);
    if (!f)
        return 0;
    char name[NETDATA_DSNAME_MAX + 1];
    const size_t name_size = size % NETDATA_DSNAME_MAX;
    if (nje_isnetdata(f, name, name_size) == 1 && std::strlen(name) > name_size)
        std::abort();

    std::rewind(f);
    netdata_reader reader;
    nje_netdata_read_init(f, &reader);
    // Exact-size heap buffers, so that the sanitizer sees one byte too many.
    std::vector<unsigned char> record(size % 300 + 1);
    unsigned flags = 0;
    for (int n; (n = nje_netdata_get_record(&reader, record.data(), record.size(), &flags)) >= 0;) {
        if (static_cast<size_t>(n) > record.size())
            std::abort();
        uint32_t number = 0;
        std::vector<char> text(1 + size % 20), list(1 + size % 7);
        nje_netdata_get_tu(record.data(), static_cast<size_t>(n),
                           {{netdata_tu(NETDATA_TU_NUMBER, 4, INMLRECL), &number},
                            {netdata_tu(NETDATA_TU_BARE, 4, 0), &number},
                            {netdata_tu(NETDATA_TU_STRING, 0, INMFNODE), text.data(), text.size()},
                            {netdata_tu(NETDATA_TU_TIME, 0, INMFTIME), text.data(), text.size()},
                            {netdata_tu(NETDATA_TU_LIST, 0, INMDSNAM), list.data(), list.size()}});
        netdata_lrecl(record.data(), static_cast<size_t>(n), 80);
    }

    std::rewind(f);
    FILE *out = std::fopen("/dev/null", "w");
    if (out != nullptr) {
        nje_netdata_fromibm(f, out, static_cast<int>(size % 5), static_cast<int>(size % 300));
        std::fclose(out);
    }
    std::fclose(f);
    return 0;
}
