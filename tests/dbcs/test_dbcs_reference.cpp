// The DBCS conversion library against iconv itself: loaded through link_kiolib under every name it is
// installed under, it must answer for every host code and for every workstation character of the
// Basic Multilingual Plane what iconv answers for the same pair, and give the lengths of the
// characters iconv produces. Where iconv has no double-byte answer the library's choice applies: the
// character's width partner (half-width katakana -> full-width ...), else none.
#include <map>
#include <sstream>

#include "convert/dbcs/dbcs_iconv.h"
#include "dbcs_test_util.h"

using namespace dbcs_test;

namespace
{

std::string hex(const std::string &bytes)
{
    std::ostringstream s;
    for (unsigned char c : bytes)
        s << std::hex << (c >> 4) << (c & 15);
    return s.str();
}

std::string wide(char32_t ucs)
{
    wchar_t w = static_cast<wchar_t>(ucs);
    return std::string(reinterpret_cast<const char *>(&w), sizeof w);
}

// The one character that `bytes` convert to; 0 for none.
char32_t ucs_of(iconv_ref &to_ucs, const std::string &bytes)
{
    std::optional<std::string> out = to_ucs.convert(bytes);
    wchar_t w = 0;
    if (out && out->size() == sizeof w)
        std::memcpy(&w, out->data(), sizeof w);
    return static_cast<char32_t>(w);
}

// What the library must answer for one pair, from iconv.
struct pair_reference {
    std::vector<std::string> to_ws = std::vector<std::string>(0x10000); // per code; empty = none
    struct ws_char {
        std::string bytes;
        int code; // -1 = none
    };
    std::vector<ws_char> chars;
};

pair_reference reference_for(const std::string &host, const std::string &ws)
{
    pair_reference ref;
    iconv_ref host_to_ws(ws.c_str(), host.c_str()), host_to_ucs("WCHAR_T", host.c_str());
    iconv_ref ucs_to_ws(ws.c_str(), "WCHAR_T"), ws_to_host(host.c_str(), ws.c_str());
    iconv_ref ucs_to_host(host.c_str(), "WCHAR_T"), ws_to_ucs("WCHAR_T", ws.c_str());
    for (unsigned code = 0; code < 0x10000; code++) {
        // Bytes below 0x40 are EBCDIC controls (SO and SI among them), never half of a code.
        if ((code >> 8) < 0x40 || (code & 0xFF) < 0x40)
            continue;
        std::string in = {'\x0E', static_cast<char>(code >> 8), static_cast<char>(code & 0xFF), '\x0F'};
        std::optional<std::string> out = host_to_ws.convert(in);
        if (out && !out->empty()) {
            ref.to_ws[code] = *out;
            continue;
        }
        char32_t partner = dbcs_width_partner(ucs_of(host_to_ucs, in));
        if (partner != 0)
            ref.to_ws[code] = ucs_to_ws.convert(wide(partner)).value_or("");
    }
    for (char32_t ucs = 0x20; ucs <= 0xFFFF; ucs++) {
        if ((ucs >= 0x7F && ucs < 0xA0) || (ucs >= 0xD800 && ucs <= 0xDFFF))
            continue;
        std::optional<std::string> bytes = ucs_to_ws.convert(wide(ucs));
        if (!bytes || bytes->empty())
            continue;
        int code = host_code(ws_to_host, *bytes);
        if (code < 0) {
            // The partner of the character the bytes stand for (U+00A5 comes out as EUC-JP 5C, which
            // stands for U+005C).
            char32_t partner = dbcs_width_partner(ucs_of(ws_to_ucs, *bytes));
            if (partner != 0)
                code = host_code(ucs_to_host, wide(partner));
        }
        ref.chars.push_back({*bytes, code});
    }
    return ref;
}

// Collects mismatches, reports the count and the first few.
struct mismatches {
    std::vector<std::string> list;
    void add(const std::string &what) { list.push_back(what); }
    std::string report() const
    {
        std::string text = std::to_string(list.size()) + " mismatches:";
        for (size_t i = 0; i < list.size() && i < 12; i++)
            text += "\n  " + list[i];
        return text;
    }
};

using pair_key = std::pair<std::string, std::string>;

std::vector<pair_key> installed_pairs()
{
    std::vector<pair_key> pairs;
    for (const installed_locale &l : installed_locales())
        if (std::find(pairs.begin(), pairs.end(), pair_key{l.host, l.ws}) == pairs.end())
            pairs.push_back({l.host, l.ws});
    return pairs;
}

class DbcsReference : public ::testing::TestWithParam<pair_key>
{
};

TEST_P(DbcsReference, AnswersAsIconvUnderEveryName)
{
    const auto &[host, ws] = GetParam();
    pair_reference ref = reference_for(host, ws);
    ASSERT_GT(ref.chars.size(), 7000u) << "iconv " << ws << " converts too little";
    int names = 0;
    for (const installed_locale &l : installed_locales()) {
        if (l.host != host || l.ws != ws)
            continue;
        names++;
        SCOPED_TRACE(l.name);
        ASSERT_EQ(link_library(l.name), 1) << "no library " JOBPUSH_BUILD_RUNDIR "/" << l.name << "lib";
        mismatches bad;
        int with_char = 0;
        for (unsigned code = 0; code < 0x10000; code++) {
            euc_char got = ibmtoeuc(static_cast<uint16_t>(code));
            const std::string &want = ref.to_ws[code];
            if (want.empty()) {
                if (got.c[0] != '-' || got.c[1] != '-')
                    bad.add("code " + hex(std::string{char(code >> 8), char(code)}) + ": " +
                            hex(bytes_of(got, 4)) + ", want none");
                continue;
            }
            with_char++;
            if (bytes_of(got, want.size()) != want || rje_euclen(got.c[0]) != static_cast<int>(want.size()))
                bad.add("code " + hex(std::string{char(code >> 8), char(code)}) + ": " +
                        hex(bytes_of(got, 4)) + " length " + std::to_string(rje_euclen(got.c[0])) +
                        ", want " + hex(want));
        }
        EXPECT_GT(with_char, 7000);
        for (const auto &[bytes, code] : ref.chars) {
            int got = euctoibm(euc(bytes));
            int want = code < 0 ? DBCS_SUBSTITUTE : code;
            if (got != want ||
                rje_euclen(static_cast<unsigned char>(bytes[0])) != static_cast<int>(bytes.size()))
                bad.add("character " + hex(bytes) + ": " + std::to_string(got) + " length " +
                        std::to_string(rje_euclen(static_cast<unsigned char>(bytes[0]))) + ", want " +
                        std::to_string(want));
        }
        EXPECT_TRUE(bad.list.empty()) << bad.report();
        unload_dbcs_stub();
    }
    EXPECT_GE(names, 4);
}

INSTANTIATE_TEST_SUITE_P(Pairs, DbcsReference, ::testing::ValuesIn(installed_pairs()),
                         [](const ::testing::TestParamInfo<pair_key> &param) {
                             std::string name = param.param.first + "_" + param.param.second;
                             for (char &c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

} // namespace
