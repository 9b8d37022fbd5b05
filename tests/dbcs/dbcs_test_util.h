// Test helpers for the DBCS conversion library: iconv as the reference, the installed locale names,
// the library linked through link_kiolib from the build's run directory.
#pragma once

#include <cstring>
#include <iconv.h>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/kiolink.h"
#include "tests/dbcs_stub/dbcs_stub_loader.h"
#include "tests/test_util.h"

namespace dbcs_test
{

// One iconv descriptor; convert() turns a whole input into a whole output from the initial state.
struct iconv_ref {
    iconv_t cd;
    iconv_ref(const char *to, const char *from) : cd(iconv_open(to, from))
    {
        EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << "iconv " << from << " to " << to << " missing";
    }
    ~iconv_ref() { iconv_close(cd); }
    iconv_ref(const iconv_ref &) = delete;
    iconv_ref &operator=(const iconv_ref &) = delete;

    std::optional<std::string> convert(std::string in)
    {
        std::string out(4 * in.size() + 16, '\0');
        char *ip = in.data(), *op = out.data();
        size_t il = in.size(), ol = out.size();
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) ||
            iconv(cd, nullptr, nullptr, &op, &ol) == static_cast<size_t>(-1))
            return std::nullopt;
        out.resize(out.size() - ol);
        return out;
    }
    // The host code iconv gives for one character (SO, two bytes, SI); -1 for anything else.
    int host_code(const std::string &ch)
    {
        std::optional<std::string> o = convert(ch);
        if (!o || o->size() != 4 || (*o)[0] != '\x0E' || (*o)[3] != '\x0F')
            return -1;
        return static_cast<unsigned char>((*o)[1]) << 8 | static_cast<unsigned char>((*o)[2]);
    }
};

// A name the library is installed under, with the iconv names of the pair it must serve; from the
// build's list "name=HOST/WS,...".
struct installed_locale {
    std::string name, host, ws;
};
inline std::vector<installed_locale> installed_locales()
{
    std::vector<installed_locale> list;
    std::istringstream all(JOBPUSH_DBCS_LOCALES);
    for (std::string e; std::getline(all, e, ',');) {
        size_t eq = e.find('='), slash = e.find('/');
        list.push_back({e.substr(0, eq), e.substr(eq + 1, slash - eq - 1), e.substr(slash + 1)});
    }
    return list;
}

inline int link_library(const std::string &name)
{
    return link_with_lang(name.c_str(), JOBPUSH_BUILD_RUNDIR);
}

inline euc_char euc(const std::string &bytes)
{
    euc_char ch{};
    std::memcpy(ch.c, bytes.data(), std::min<size_t>(bytes.size(), 4));
    return ch;
}

inline std::string bytes_of(const euc_char &ch, size_t n)
{
    return std::string(reinterpret_cast<const char *>(ch.c), n);
}

} // namespace dbcs_test
