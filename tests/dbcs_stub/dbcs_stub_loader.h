// Test helper: links the test-only DBCS conversion library (dbcs_stub.cpp, its mappings listed there)
// through link_kiolib, by placing it as "<LANG>lib" in a temporary run directory. Needs
// JOBPUSH_BINARY_DIR.
#pragma once

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

// link_kiolib(dir) with LANG set to lang (unset for null) for the call.
inline int link_with_lang(const char *lang, const char *dir)
{
    const char *old = std::getenv("LANG");
    const std::string saved = old != nullptr ? old : "";
    lang != nullptr ? setenv("LANG", lang, 1) : unsetenv("LANG");
    const int rc = link_kiolib(dir);
    old != nullptr ? setenv("LANG", saved.c_str(), 1) : unsetenv("LANG");
    return rc;
}

// Links the stub (or its partial build) as "<DBCS_STUB_LANG>lib" of a temporary run directory, which is
// removed again once the library is loaded.
// @return the result of link_kiolib: 1 linked, 0 entry point missing, -1 not opened.
inline int load_dbcs_stub(bool partial = false)
{
    char dir[] = "/tmp/jobpush_dbcs_XXXXXX";
    if (mkdtemp(dir) == nullptr)
        return -1;
    const std::string lib = std::string(dir) + "/" + DBCS_STUB_LANG + "lib";
    const int rc =
        symlink(dbcs_stub_path(partial).c_str(), lib.c_str()) == 0 ? link_with_lang(DBCS_STUB_LANG, dir) : -1;
    unlink(lib.c_str());
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
    int linked = (std::setlocale(LC_ALL, "C.UTF-8"), load_dbcs_stub());
    DbcsStubScope() = default;
    ~DbcsStubScope()
    {
        unload_dbcs_stub();
        std::setlocale(LC_ALL, "C");
    }
    DbcsStubScope(const DbcsStubScope &) = delete;
    DbcsStubScope &operator=(const DbcsStubScope &) = delete;
};
