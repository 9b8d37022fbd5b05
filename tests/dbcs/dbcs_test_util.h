// Test helpers for the DBCS conversion library: iconv itself as the reference, the installed locale
// names, the library linked through link_kiolib, and byte strings as euc_char records.
#pragma once

#include <cerrno>
#include <clocale>
#include <cstring>
#include <iconv.h>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/kiolink.h"
#include "tests/dbcs_stub/dbcs_stub_loader.h"

namespace dbcs_test
{

// One iconv descriptor. convert() turns a whole input into a whole output from the initial state.
class iconv_ref
{
  public:
    iconv_ref(const char *to, const char *from) : cd_(iconv_open(to, from))
    {
        EXPECT_NE(cd_, reinterpret_cast<iconv_t>(-1)) << "iconv " << from << " to " << to << " missing";
    }
    ~iconv_ref()
    {
        if (cd_ != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd_);
    }
    iconv_ref(const iconv_ref &) = delete;
    iconv_ref &operator=(const iconv_ref &) = delete;

    // @return the output, or nothing when the input does not convert whole.
    std::optional<std::string> convert(const std::string &in)
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            return std::nullopt;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string src = in;
        std::string out(4 * in.size() + 16, '\0');
        char *ip = src.data(), *op = out.data();
        size_t il = src.size(), ol = out.size();
        if (iconv(cd_, &ip, &il, &op, &ol) == static_cast<size_t>(-1) ||
            iconv(cd_, nullptr, nullptr, &op, &ol) == static_cast<size_t>(-1))
            return std::nullopt;
        out.resize(out.size() - ol);
        return out;
    }

  private:
    iconv_t cd_;
};

// One name the library is installed under, with the iconv names of the pair it must serve.
struct installed_locale {
    std::string name, host, ws;
};

// The build's list "name=HOST/WS,..." (JOBPUSH_DBCS_LOCALES).
inline std::vector<installed_locale> installed_locales()
{
    std::vector<installed_locale> list;
    std::string all = JOBPUSH_DBCS_LOCALES;
    for (size_t pos = 0; pos < all.size();) {
        size_t end = all.find(',', pos);
        if (end == std::string::npos)
            end = all.size();
        std::string entry = all.substr(pos, end - pos);
        size_t eq = entry.find('='), slash = entry.find('/');
        list.push_back({entry.substr(0, eq), entry.substr(eq + 1, slash - eq - 1), entry.substr(slash + 1)});
        pos = end + 1;
    }
    return list;
}

// Links the library of the build's run directory as "<name>lib".
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

// The host code of one character as iconv converts it: SO, two bytes, SI; -1 for anything else.
inline int host_code(iconv_ref &to_host, const std::string &ch)
{
    std::optional<std::string> out = to_host.convert(ch);
    if (!out || out->size() != 4 || (*out)[0] != '\x0E' || (*out)[3] != '\x0F')
        return -1;
    return static_cast<unsigned char>((*out)[1]) << 8 | static_cast<unsigned char>((*out)[2]);
}

inline std::string read_file(const std::string &path)
{
    std::string data;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            data.append(buf, n);
        std::fclose(f);
    }
    return data;
}

} // namespace dbcs_test
