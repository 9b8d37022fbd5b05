// The DBCS conversion library: the entry points "xibmtoeuc", "xeuctoibm" and "xeuclen" that the
// program links from "<run directory>/<LANG>lib". The library is installed under one such name per
// supported locale spelling; it works out its host set and workstation encoding from the name it
// was loaded under and builds its tables once, while it is loaded. After that every call is a table
// lookup on read-only tables, safe from any thread.
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <langinfo.h>
#include <string_view>
#include <type_traits>

#include "convert/dbcs/dbcs_iconv.h"
#include "convert/kiolink.h"

#define DBCS_EXPORT __attribute__((visibility("default")))

namespace
{

dbcs_tables tables; // empty (every answer "none") until the loader below has built them

// The locale name this library was loaded under: its file name less the "lib" suffix; empty when
// the file name does not end in it (loaded by its own name).
std::string_view loaded_name()
{
    Dl_info info;
    if (dladdr(&tables, &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    std::string_view path = info.dli_fname;
    std::string_view file = path.substr(path.rfind('/') + 1);
    std::string_view suffix = KIO_LIB_SUFFIX;
    if (file.size() <= suffix.size() || file.substr(file.size() - suffix.size()) != suffix) {
        return {};
    }
    return file.substr(0, file.size() - suffix.size());
}

// The pair: from the name loaded under; by its own name, from the process locale (LC_CTYPE as
// the program set it, else LANG). A name without a code set takes the process locale's code set.
dbcs_pair choose_pair()
{
    const char *codeset = nl_langinfo(CODESET);
    std::string_view cs = codeset != nullptr ? codeset : "";
    std::string_view name = loaded_name();
    if (!name.empty()) {
        return dbcs_pair_for_locale(name, cs);
    }
    const char *ctype = std::setlocale(LC_CTYPE, nullptr);
    dbcs_pair pair = dbcs_pair_for_locale(ctype != nullptr ? ctype : "", cs);
    if (pair.host == dbcs_host::none) {
        const char *lang = std::getenv("LANG");
        pair = dbcs_pair_for_locale(lang != nullptr ? lang : "", cs);
    }
    return pair;
}

// Builds the tables when the library is loaded (it follows `tables` in this file, so it is
// initialised after it). A pair of none or a converter that cannot be opened leaves them empty: then
// every character is single-byte.
struct loader {
    loader() { dbcs_build_tables(choose_pair(), tables); }
} const load;

} // namespace

extern "C" {

// Host code (0-65535) to workstation character; first byte 0xFF for a code with none.
DBCS_EXPORT euc_char xibmtoeuc(unsigned int code)
{
    dbcs_bytes b = dbcs_lookup_workstation(tables, code);
    euc_char ch{};
    std::memcpy(ch.c, b.data(), b.size());
    return ch;
}

// Workstation character to host code; the substitution code 0xFEFE for one the host set lacks.
DBCS_EXPORT int xeuctoibm(euc_char ch)
{
    dbcs_bytes b;
    std::memcpy(b.data(), ch.c, b.size());
    return dbcs_lookup_host(tables, b);
}

// Length of the workstation character by its first byte (low 8 bits of first_byte).
DBCS_EXPORT int xeuclen(int first_byte)
{
    return dbcs_char_length(tables.pair.ws, first_byte & 0xFF);
}
}

static_assert(std::is_same_v<decltype(&xibmtoeuc), kio_ibmtoeuc_fn>);
static_assert(std::is_same_v<decltype(&xeuctoibm), kio_euctoibm_fn>);
static_assert(std::is_same_v<decltype(&xeuclen), kio_euclen_fn>);
