// Test helper: links the test-only DBCS conversion library (dbcs_stub.cpp) through link_kiolib, by
// placing it as "<LANG>lib" in a temporary run directory. Header-only; needs JOBPUSH_BINARY_DIR.
//
// Mappings (IBM code <-> UTF-8 character, run the tests in the "C.UTF-8" locale):
//   0x4281 <-> U+00E9 (C3 A9)     0x4282 <-> U+00FC (C3 BC)
//   0x8342 <-> U+30A2 (E3 82 A2)  0x4E4C <-> U+4EBA (E4 BA BA)
//   0x4481 <-> U+3042 (E3 81 82)  0x4483 <-> U+3044 (E3 81 84)
// Any other IBM code has no character (ibmtoeuc then gives "--"); any other character gives the IBM
// code 0xFEFE. "xeuclen" returns 3 for 0xE3, 2 for the other bytes 0xA1-0xFF and 1 below.
#pragma once

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "convert/kiolink.h"

inline constexpr const char *DBCS_STUB_LANG = "dbcstest";

// Path of the built stub; partial = the build that lacks "xeuclen".
inline std::string dbcs_stub_path(bool partial = false)
{
    return std::string(JOBPUSH_BINARY_DIR "/tests/dbcs_stub/libjobpush_dbcs_stub") +
           (partial ? "_partial" : "") + ".so";
}

// Sets LANG (unsets it for null) until the end of the scope, then puts the old value back.
struct LangScope {
    bool had;
    std::string saved;
    explicit LangScope(const char *lang)
    {
        const char *old = std::getenv("LANG");
        had = old != nullptr;
        saved = had ? old : "";
        lang != nullptr ? setenv("LANG", lang, 1) : unsetenv("LANG");
    }
    ~LangScope() { had ? setenv("LANG", saved.c_str(), 1) : unsetenv("LANG"); }
    LangScope(const LangScope &) = delete;
    LangScope &operator=(const LangScope &) = delete;
};

// link_kiolib(dir) with LANG set to lang (unset for null) for the call.
inline int link_with_lang(const char *lang, const char *dir)
{
    LangScope scope(lang);
    return link_kiolib(dir);
}

// Links the stub (or its partial build) as "<DBCS_STUB_LANG>lib" of a temporary run directory,
// which is removed again once the library is loaded.
// @return the result of link_kiolib: 1 linked, 0 entry point missing, -1 not opened.
inline int load_dbcs_stub(bool partial = false)
{
    char dir[] = "/tmp/jobpush_dbcs_XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        return -1;
    }
    std::string lib = std::string(dir) + "/" + DBCS_STUB_LANG + "lib";
    int rc = -1;
    if (symlink(dbcs_stub_path(partial).c_str(), lib.c_str()) == 0) {
        rc = link_with_lang(DBCS_STUB_LANG, dir);
        unlink(lib.c_str());
    }
    rmdir(dir);
    return rc;
}

// Drops any linked library: every DBCS wrapper is back on its fallback.
inline void unload_dbcs_stub()
{
    link_kiolib(nullptr);
}

// For a test body: the "C.UTF-8" locale and the stub linked; both undone at scope exit.
struct DbcsStubScope {
    int linked;
    DbcsStubScope()
    {
        std::setlocale(LC_ALL, "C.UTF-8");
        linked = load_dbcs_stub();
    }
    ~DbcsStubScope()
    {
        unload_dbcs_stub();
        std::setlocale(LC_ALL, "C");
    }
    DbcsStubScope(const DbcsStubScope &) = delete;
    DbcsStubScope &operator=(const DbcsStubScope &) = delete;
};
