// The DBCS conversion library against iconv itself: loaded through link_kiolib under every name it is
// installed under, it must answer for every host code and every workstation character of the Basic
// Multilingual Plane what iconv answers for the same pair, with the lengths of the characters iconv
// makes. Where iconv has no double-byte answer the library's choice applies: the character's width
// partner (half-width katakana -> full-width ...) when that has one, else none.
#include "convert/dbcs/dbcs_iconv.h"
#include "dbcs_test_util.h"

using namespace dbcs_test;

namespace
{

std::string wide(char32_t ucs)
{
    wchar_t w = static_cast<wchar_t>(ucs);
    return std::string(reinterpret_cast<const char *>(&w), sizeof w);
}

char32_t ucs_of(iconv_ref &to_ucs, const std::string &bytes)
{
    std::optional<std::string> out = to_ucs.convert(bytes);
    wchar_t w = 0;
    if (out && out->size() == sizeof w)
        std::memcpy(&w, out->data(), sizeof w);
    return static_cast<char32_t>(w);
}

// What the library must answer for one pair: per host code the workstation bytes (empty = none); per
// workstation character its host code (-1 = none).
struct pair_reference {
    std::vector<std::string> to_ws = std::vector<std::string>(0x10000);
    std::vector<std::pair<std::string, int>> to_host;
};

pair_reference reference_for(const std::string &host, const std::string &ws)
{
    pair_reference ref;
    iconv_ref host_to_ws(ws.c_str(), host.c_str()), host_to_ucs("WCHAR_T", host.c_str());
    iconv_ref ucs_to_ws(ws.c_str(), "WCHAR_T"), ws_to_ucs("WCHAR_T", ws.c_str());
    iconv_ref ws_to_host(host.c_str(), ws.c_str()), ucs_to_host(host.c_str(), "WCHAR_T");
    for (unsigned code = 0x4040; code < 0x10000; code++) {
        if ((code & 0xFF) < 0x40) // bytes below 0x40 are EBCDIC controls (SO, SI ...), never in a code
            continue;
        std::string in = {'\x0E', static_cast<char>(code >> 8), static_cast<char>(code), '\x0F'};
        ref.to_ws[code] = host_to_ws.convert(in).value_or("");
        char32_t partner = ref.to_ws[code].empty() ? dbcs_width_partner(ucs_of(host_to_ucs, in)) : 0;
        if (partner != 0)
            ref.to_ws[code] = ucs_to_ws.convert(wide(partner)).value_or("");
    }
    for (char32_t ucs = 0x20; ucs <= 0xFFFF; ucs++) {
        std::optional<std::string> bytes = ucs_to_ws.convert(wide(ucs));
        if (ucs == 0x7F || (ucs >= 0xD800 && ucs <= 0xDFFF) || !bytes || bytes->empty())
            continue;
        int code = ws_to_host.host_code(*bytes);
        // The partner of what the bytes stand for: U+00A5 comes out as EUC-JP 5C, which is U+005C.
        char32_t partner = code < 0 ? dbcs_width_partner(ucs_of(ws_to_ucs, *bytes)) : 0;
        if (partner != 0)
            code = ucs_to_host.host_code(wide(partner));
        ref.to_host.push_back({*bytes, code});
    }
    return ref;
}

std::string hex(const std::string &b)
{
    return hex_of(reinterpret_cast<const unsigned char *>(b.data()),
                  reinterpret_cast<const unsigned char *>(b.data() + b.size()));
}

using pair_key = std::pair<std::string, std::string>;

class DbcsReference : public ::testing::TestWithParam<pair_key>
{
};

TEST_P(DbcsReference, AnswersAsIconvUnderEveryName)
{
    const auto &[host, ws] = GetParam();
    pair_reference ref = reference_for(host, ws);
    int names = 0;
    for (const installed_locale &l : installed_locales()) {
        if (l.host != host || l.ws != ws)
            continue;
        names++;
        ASSERT_EQ(link_library(l.name), 1) << "no library " JOBPUSH_BUILD_RUNDIR "/" << l.name << "lib";
        int bad = 0, with_char = 0;
        std::string first;
        auto mismatch = [&](const std::string &what) {
            if (bad++ < 10)
                first += "\n  " + what;
        };
        for (unsigned code = 0; code < 0x10000; code++) {
            euc_char got = ibmtoeuc(static_cast<uint16_t>(code));
            const std::string &want = ref.to_ws[code];
            with_char += !want.empty();
            size_t n = want.empty() ? 2 : want.size();
            if (bytes_of(got, n) != (want.empty() ? "--" : want) ||
                (!want.empty() && rje_euclen(got.c[0]) != static_cast<int>(n)))
                mismatch("code " + std::to_string(code) + ": " + hex(bytes_of(got, 4)) + ", want " +
                         hex(want));
        }
        for (const auto &[bytes, code] : ref.to_host) {
            int got = euctoibm(euc(bytes));
            if (got != (code < 0 ? DBCS_SUBSTITUTE : code) ||
                rje_euclen(static_cast<unsigned char>(bytes[0])) != static_cast<int>(bytes.size()))
                mismatch("character " + hex(bytes) + ": " + std::to_string(got) + ", want " +
                         std::to_string(code));
        }
        EXPECT_EQ(bad, 0) << l.name << first;
        EXPECT_GT(with_char, 7000) << l.name;
    }
    EXPECT_GE(names, 4);
    unload_dbcs_stub();
}

std::vector<pair_key> installed_pairs()
{
    std::vector<pair_key> pairs;
    for (const installed_locale &l : installed_locales())
        if (std::find(pairs.begin(), pairs.end(), pair_key{l.host, l.ws}) == pairs.end())
            pairs.push_back({l.host, l.ws});
    return pairs;
}

INSTANTIATE_TEST_SUITE_P(Pairs, DbcsReference, ::testing::ValuesIn(installed_pairs()),
                         [](const ::testing::TestParamInfo<pair_key> &param) {
                             std::string name = param.param.first + "_" + param.param.second;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
