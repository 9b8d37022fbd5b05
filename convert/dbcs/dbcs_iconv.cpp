// Conversion tables between an IBM host double-byte set and a workstation multibyte encoding, built
// from iconv: every host code is asked once (SO, code, SI to a wide character to the workstation), and
// every character of the workstation encoding once (to a wide character to SO, code, SI).
#include "convert/dbcs/dbcs_iconv.h"

#include <cstring>
#include <iconv.h>
#include <iterator>
#include <new>
#include <string>

#include "support/wire.h"

static_assert(sizeof(wchar_t) == 4, "iconv's WCHAR_T must be UCS-4");

namespace
{

constexpr std::size_t CODES = 0x10000;
constexpr char32_t UNICODE_LAST = 0x10FFFF;
constexpr char32_t SURROGATE_FIRST = 0xD800;
constexpr char32_t SURROGATE_LAST = 0xDFFF;
constexpr char32_t BMP_LAST = 0xFFFF;
// The printable ASCII characters: single-byte on both sides, asked about only for their full-width
// partners.
constexpr char32_t ASCII_FIRST = 0x20;
constexpr char32_t ASCII_LAST = 0x7E;
// A host code in iconv's input and output: SO, high byte, low byte, SI.
constexpr std::size_t HOST_FORM = 4;

// ---- Half-width and full-width partners -------------------------------------------------------------

// Full-width ASCII U+FF01-FF5E is ASCII U+0021-007E moved by this much; U+3000 is the wide blank.
constexpr char32_t FULLWIDTH_ASCII_FIRST = 0xFF01;
constexpr char32_t FULLWIDTH_ASCII_LAST = 0xFF5E;
constexpr char32_t FULLWIDTH_OFFSET = 0xFEE0;
constexpr char32_t IDEOGRAPHIC_SPACE = 0x3000;
// The partners of U+FF5F-FFEE (0 = none), from Unicode's <wide> and <narrow> compatibility mappings,
// except that the half-width voiced sound marks U+FF9E and U+FF9F pair with the spacing marks U+309B
// and U+309C (what JIS X 0208 has), not with the combining ones.
constexpr char32_t PARTNERS_FIRST = 0xFF5F;
constexpr char16_t partners[] = {
    0x2985, 0x2986, 0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7,
    0x30A9, 0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB,
    0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1, 0x30C4,
    0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB,
    0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9, 0x30EA, 0x30EB, 0x30EC,
    0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C, 0x3164, 0x3131, 0x3132, 0x3133, 0x3134, 0x3135, 0x3136,
    0x3137, 0x3138, 0x3139, 0x313A, 0x313B, 0x313C, 0x313D, 0x313E, 0x313F, 0x3140, 0x3141, 0x3142,
    0x3143, 0x3144, 0x3145, 0x3146, 0x3147, 0x3148, 0x3149, 0x314A, 0x314B, 0x314C, 0x314D, 0x314E,
    0x0000, 0x0000, 0x0000, 0x314F, 0x3150, 0x3151, 0x3152, 0x3153, 0x3154, 0x0000, 0x0000, 0x3155,
    0x3156, 0x3157, 0x3158, 0x3159, 0x315A, 0x0000, 0x0000, 0x315B, 0x315C, 0x315D, 0x315E, 0x315F,
    0x3160, 0x0000, 0x0000, 0x3161, 0x3162, 0x3163, 0x0000, 0x0000, 0x0000, 0x00A2, 0x00A3, 0x00AC,
    0x00AF, 0x00A6, 0x00A5, 0x20A9, 0x0000, 0x2502, 0x2190, 0x2191, 0x2192, 0x2193, 0x25A0, 0x25CB};
constexpr char32_t PARTNERS_LAST = PARTNERS_FIRST + std::size(partners) - 1;

// The range the partners of the table lie in, so that most characters are passed over at once.
constexpr char32_t partner_bound(bool highest)
{
    char32_t bound = highest ? 0 : 0xFFFF;
    for (char16_t p : partners) {
        if (p != 0 && (highest ? p > bound : p < bound)) {
            bound = p;
        }
    }
    return bound;
}
constexpr char32_t PARTNER_LOWEST = partner_bound(false);
constexpr char32_t PARTNER_HIGHEST = partner_bound(true);

// ---- Names ------------------------------------------------------------------------------------------

struct language {
    std::string_view name;
    dbcs_host host;
    dbcs_workstation euc;  // the language's EUC ("euc" as a code set)
    dbcs_workstation bare; // a name without a code set, when the process locale does not tell
};

constexpr language languages[] = {
    {"ja", dbcs_host::ibm939, dbcs_workstation::euc_jp, dbcs_workstation::euc_jp},
    {"ja_JP", dbcs_host::ibm939, dbcs_workstation::euc_jp, dbcs_workstation::euc_jp},
    {"japanese", dbcs_host::ibm939, dbcs_workstation::euc_jp, dbcs_workstation::euc_jp},
    {"ko", dbcs_host::ibm933, dbcs_workstation::euc_kr, dbcs_workstation::euc_kr},
    {"ko_KR", dbcs_host::ibm933, dbcs_workstation::euc_kr, dbcs_workstation::euc_kr},
    {"korean", dbcs_host::ibm933, dbcs_workstation::euc_kr, dbcs_workstation::euc_kr},
    {"zh_CN", dbcs_host::ibm935, dbcs_workstation::euc_cn, dbcs_workstation::euc_cn},
    {"zh_TW", dbcs_host::ibm937, dbcs_workstation::euc_tw, dbcs_workstation::none},
};

struct codeset {
    std::string_view name; // lower case, letters and digits only
    dbcs_workstation ws;
};

constexpr codeset codesets[] = {
    {"utf8", dbcs_workstation::utf8},     {"eucjp", dbcs_workstation::euc_jp},
    {"ujis", dbcs_workstation::euc_jp},   {"euckr", dbcs_workstation::euc_kr},
    {"gb2312", dbcs_workstation::euc_cn}, {"euccn", dbcs_workstation::euc_cn},
    {"euctw", dbcs_workstation::euc_tw},
};

// A code set name in lower case without punctuation, as the C library compares them. ASCII rules,
// whatever the process locale (a Turkish one lowers "I" to a dotless i).
std::string normalized(std::string_view s)
{
    std::string n;
    for (char c : s) {
        if (c >= 'A' && c <= 'Z') {
            n += static_cast<char>(c - 'A' + 'a');
        } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            n += c;
        }
    }
    return n;
}

// The workstation encoding that code set `cs` names for `lang`; none when it names another.
dbcs_workstation encoding_of(const language &lang, std::string_view cs)
{
    std::string n = normalized(cs);
    if (n == "euc") {
        return lang.euc;
    }
    for (const codeset &c : codesets) {
        if (c.name == n && (c.ws == lang.euc || c.ws == dbcs_workstation::utf8)) {
            return c.ws;
        }
    }
    return dbcs_workstation::none;
}

// ---- iconv --------------------------------------------------------------------------------------------

// One iconv conversion descriptor, used for one character at a time.
class converter
{
  public:
    converter(const char *to, const char *from) : cd_(iconv_open(to, from)) {}
    ~converter()
    {
        if (ok()) {
            iconv_close(cd_);
        }
    }
    converter(const converter &) = delete;
    converter &operator=(const converter &) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all `n` bytes of `in` (at most 4) from the initial shift state and returns to it.
    // @return the number of bytes written to `out` (room for `cap`), or 0 when the input is not
    //         converted whole or the result does not fit.
    std::size_t run(const void *in, std::size_t n, unsigned char *out, std::size_t cap)
    {
        char src[4];
        if (n > sizeof src) {
            return 0;
        }
        std::memcpy(src, in, n);
        if (dirty_) {
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        dirty_ = true;
        char *ip = src;
        std::size_t il = n;
        char *op = reinterpret_cast<char *>(out);
        std::size_t ol = cap;
        if (iconv(cd_, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || il != 0) {
            return 0;
        }
        if (iconv(cd_, nullptr, nullptr, &op, &ol) == static_cast<std::size_t>(-1)) {
            return 0;
        }
        dirty_ = false; // the flush left the initial state
        return cap - ol;
    }

  private:
    iconv_t cd_;
    bool dirty_ = true;
};

bool is_dbcs_code(unsigned code)
{
    unsigned hi = code >> 8;
    unsigned lo = code & 0xFF;
    return code == DBCS_BLANK ||
           (hi >= DBCS_BYTE_FIRST && hi <= DBCS_BYTE_LAST && lo >= DBCS_BYTE_FIRST && lo <= DBCS_BYTE_LAST);
}

// The one wide character that `n` bytes convert to; 0 for none or more than one.
char32_t to_ucs(converter &cv, const void *in, std::size_t n)
{
    wchar_t w[2];
    std::size_t got = cv.run(in, n, reinterpret_cast<unsigned char *>(w), sizeof w);
    if (got != sizeof(wchar_t)) {
        return 0;
    }
    return static_cast<char32_t>(w[0]);
}

// The host double-byte code of `ucs`; 0 when the host set has it only as a single byte or not at all.
uint16_t host_code(converter &to_host, char32_t ucs)
{
    if (ucs == 0) {
        return 0;
    }
    wchar_t w = static_cast<wchar_t>(ucs);
    unsigned char out[HOST_FORM + 1];
    if (to_host.run(&w, sizeof w, out, sizeof out) != HOST_FORM || out[0] != EBCDIC_SO ||
        out[3] != EBCDIC_SI) {
        return 0;
    }
    return static_cast<uint16_t>(out[1] << 8 | out[2]);
}

// `ucs` in UTF-8; the length, 0 for a surrogate or a value beyond Unicode.
std::size_t utf8_encode(char32_t ucs, dbcs_bytes &b)
{
    if (ucs < 0x80) {
        b[0] = static_cast<unsigned char>(ucs);
        return 1;
    }
    if (ucs < 0x800) {
        b[0] = static_cast<unsigned char>(0xC0 | ucs >> 6);
        b[1] = static_cast<unsigned char>(0x80 | (ucs & 0x3F));
        return 2;
    }
    if (ucs >= SURROGATE_FIRST && ucs <= SURROGATE_LAST) {
        return 0;
    }
    if (ucs <= BMP_LAST) {
        b[0] = static_cast<unsigned char>(0xE0 | ucs >> 12);
        b[1] = static_cast<unsigned char>(0x80 | (ucs >> 6 & 0x3F));
        b[2] = static_cast<unsigned char>(0x80 | (ucs & 0x3F));
        return 3;
    }
    if (ucs <= UNICODE_LAST) {
        b[0] = static_cast<unsigned char>(0xF0 | ucs >> 18);
        b[1] = static_cast<unsigned char>(0x80 | (ucs >> 12 & 0x3F));
        b[2] = static_cast<unsigned char>(0x80 | (ucs >> 6 & 0x3F));
        b[3] = static_cast<unsigned char>(0x80 | (ucs & 0x3F));
        return 4;
    }
    return 0;
}

bool continuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

bool in_g1(unsigned char b)
{
    return b >= EUC_G1_FIRST && b <= EUC_G1_LAST;
}

// Where a workstation character of `n` bytes (its length by its first byte) stands in the to_host
// pages. EUC: page 0 holds ASCII by its byte and two-byte forms (SS2 ones of EUC-JP included) by
// their two bytes; page 1 the SS3 forms of EUC-JP; page p the EUC-TW plane p (plane 1 spelt with SS2
// is the two-byte form). UTF-8: the code point, page = its plane.
// @return false for a malformed character.
bool host_key(dbcs_workstation ws, const unsigned char *b, std::size_t n, std::size_t &page, uint16_t &index)
{
    page = 0;
    if (n == 1) {
        index = b[0];
        return b[0] < 0x80;
    }
    if (ws == dbcs_workstation::utf8) {
        char32_t cp = 0;
        for (std::size_t i = 1; i < n; i++) {
            if (!continuation(b[i])) {
                return false;
            }
            cp = cp << 6 | (b[i] & 0x3F);
        }
        cp |= static_cast<char32_t>(b[0] & (0x7F >> n)) << (6 * (n - 1));
        static constexpr char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < shortest[n] || cp > UNICODE_LAST || (cp >= SURROGATE_FIRST && cp <= SURROGATE_LAST)) {
            return false;
        }
        page = cp >> 16;
        index = static_cast<uint16_t>(cp & 0xFFFF);
        return true;
    }
    if (n == 2) {
        index = static_cast<uint16_t>(b[0] << 8 | b[1]);
        return in_g1(b[1]);
    }
    if (n == 3) { // EUC-JP SS3
        page = 1;
        index = static_cast<uint16_t>(b[1] << 8 | b[2]);
        return in_g1(b[1]) && in_g1(b[2]);
    }
    // EUC-TW SS2, plane, two bytes
    if (b[1] < EUC_TW_PLANE_FIRST || b[1] > EUC_TW_PLANE_LAST || !in_g1(b[2]) || !in_g1(b[3])) {
        return false;
    }
    page = b[1] == EUC_TW_PLANE_FIRST ? 0 : b[1] - EUC_TW_PLANE_FIRST + 1;
    index = static_cast<uint16_t>(b[2] << 8 | b[3]);
    return true;
}

// Builds the tables; the converters of the pair are open.
class builder
{
  public:
    builder(dbcs_tables &t, converter &host_to_ucs, converter &ucs_to_host, converter *ws_to_ucs,
            converter *ucs_to_ws)
        : t_(t), host_to_ucs_(host_to_ucs), ucs_to_host_(ucs_to_host), ws_to_ucs_(ws_to_ucs),
          ucs_to_ws_(ucs_to_ws)
    {
    }

    void build()
    {
        t_.to_workstation = std::make_unique<dbcs_bytes[]>(CODES);
        for (unsigned code = 0; code < CODES; code++) {
            t_.to_workstation[code][0] = DBCS_NO_CHARACTER;
            if (is_dbcs_code(code)) {
                host_character(code);
            }
        }
        if (t_.pair.ws == dbcs_workstation::utf8) {
            utf8_characters();
        } else {
            euc_characters();
        }
    }

  private:
    dbcs_tables &t_;
    converter &host_to_ucs_;
    converter &ucs_to_host_;
    converter *ws_to_ucs_; // null for UTF-8, which is encoded here
    converter *ucs_to_ws_;

    // `ucs` in the workstation encoding; the length, 0 when it has no such character.
    std::size_t workstation_form(char32_t ucs, dbcs_bytes &b)
    {
        if (ucs == 0) {
            return 0;
        }
        if (ucs_to_ws_ == nullptr) {
            return utf8_encode(ucs, b);
        }
        wchar_t w = static_cast<wchar_t>(ucs);
        unsigned char out[DBCS_CHAR_MAX + 1];
        std::size_t n = ucs_to_ws_->run(&w, sizeof w, out, sizeof out);
        if (n == 0 || n > DBCS_CHAR_MAX || static_cast<int>(n) != dbcs_char_length(t_.pair.ws, out[0])) {
            return 0;
        }
        std::memcpy(b.data(), out, n);
        return n;
    }

    void host_character(unsigned code)
    {
        const unsigned char in[HOST_FORM] = {EBCDIC_SO, static_cast<unsigned char>(code >> 8),
                                             static_cast<unsigned char>(code & 0xFF), EBCDIC_SI};
        char32_t ucs = to_ucs(host_to_ucs_, in, sizeof in);
        if (ucs == 0) {
            return;
        }
        dbcs_bytes b{};
        std::size_t n = workstation_form(ucs, b);
        if (n == 0) {
            n = workstation_form(dbcs_width_partner(ucs), b);
        }
        if (n == 0) {
            return;
        }
        t_.to_workstation[code] = b;
        // A character beyond the plane the UTF-8 walk covers.
        if (t_.pair.ws == dbcs_workstation::utf8 && ucs > BMP_LAST) {
            workstation_character(ucs, b.data(), n);
        }
    }

    // Enters the code of one workstation character (`ucs`, whose bytes are `b`).
    void workstation_character(char32_t ucs, const unsigned char *b, std::size_t n)
    {
        uint16_t code = host_code(ucs_to_host_, ucs);
        if (code == 0) {
            code = host_code(ucs_to_host_, dbcs_width_partner(ucs));
        }
        std::size_t page;
        uint16_t index;
        if (code == 0 || !host_key(t_.pair.ws, b, n, page, index)) {
            return;
        }
        if (!t_.to_host[page]) {
            t_.to_host[page] = std::make_unique<uint16_t[]>(CODES);
        }
        t_.to_host[page][index] = code;
    }

    void utf8_characters()
    {
        for (char32_t ucs = ASCII_FIRST; ucs <= BMP_LAST; ucs++) {
            dbcs_bytes b{};
            std::size_t n = utf8_encode(ucs, b);
            if (n != 0 && (ucs <= ASCII_LAST || ucs >= 0x80)) {
                workstation_character(ucs, b.data(), n);
            }
        }
    }

    void euc_character(const unsigned char *b, std::size_t n)
    {
        char32_t ucs = to_ucs(*ws_to_ucs_, b, n);
        if (ucs != 0) {
            workstation_character(ucs, b, n);
        }
    }

    // Every character of the EUC code space: ASCII, the two-byte forms, and the SS2 and SS3 forms of
    // EUC-JP and EUC-TW (planes 2-16; plane 1 is the two-byte form).
    void euc_characters()
    {
        unsigned char b[4];
        for (unsigned c = ASCII_FIRST; c <= ASCII_LAST; c++) {
            b[0] = static_cast<unsigned char>(c);
            euc_character(b, 1);
        }
        for (unsigned c1 = EUC_G1_FIRST; c1 <= EUC_G1_LAST; c1++) {
            for (unsigned c2 = EUC_G1_FIRST; c2 <= EUC_G1_LAST; c2++) {
                b[0] = static_cast<unsigned char>(c1);
                b[1] = static_cast<unsigned char>(c2);
                euc_character(b, 2);
            }
        }
        if (t_.pair.ws == dbcs_workstation::euc_jp) {
            b[0] = EUC_SS2;
            for (unsigned c = EUC_G1_FIRST; c <= EUC_G1_LAST; c++) {
                b[1] = static_cast<unsigned char>(c);
                euc_character(b, 2);
            }
            b[0] = EUC_SS3;
            for (unsigned c1 = EUC_G1_FIRST; c1 <= EUC_G1_LAST; c1++) {
                for (unsigned c2 = EUC_G1_FIRST; c2 <= EUC_G1_LAST; c2++) {
                    b[1] = static_cast<unsigned char>(c1);
                    b[2] = static_cast<unsigned char>(c2);
                    euc_character(b, 3);
                }
            }
        }
        if (t_.pair.ws == dbcs_workstation::euc_tw) {
            b[0] = EUC_SS2;
            for (unsigned plane = EUC_TW_PLANE_FIRST + 1; plane <= EUC_TW_PLANE_LAST; plane++) {
                for (unsigned c1 = EUC_G1_FIRST; c1 <= EUC_G1_LAST; c1++) {
                    for (unsigned c2 = EUC_G1_FIRST; c2 <= EUC_G1_LAST; c2++) {
                        b[1] = static_cast<unsigned char>(plane);
                        b[2] = static_cast<unsigned char>(c1);
                        b[3] = static_cast<unsigned char>(c2);
                        euc_character(b, 4);
                    }
                }
            }
        }
    }
};

} // namespace

const char *dbcs_host_charset(dbcs_host host)
{
    switch (host) {
    case dbcs_host::ibm939:
        return "IBM939";
    case dbcs_host::ibm933:
        return "IBM933";
    case dbcs_host::ibm935:
        return "IBM935";
    case dbcs_host::ibm937:
        return "IBM937";
    case dbcs_host::none:
        break;
    }
    return nullptr;
}

const char *dbcs_workstation_charset(dbcs_workstation ws)
{
    switch (ws) {
    case dbcs_workstation::euc_jp:
        return "EUC-JP";
    case dbcs_workstation::euc_kr:
        return "EUC-KR";
    case dbcs_workstation::euc_cn:
        return "EUC-CN";
    case dbcs_workstation::euc_tw:
        return "EUC-TW";
    case dbcs_workstation::utf8:
        return "UTF-8";
    case dbcs_workstation::none:
        break;
    }
    return nullptr;
}

dbcs_pair dbcs_pair_for_locale(std::string_view name, std::string_view codeset)
{
    name = name.substr(0, name.find('@'));
    std::size_t dot = name.find('.');
    std::string_view lang_name = name.substr(0, dot);
    for (const language &lang : languages) {
        if (lang.name != lang_name) {
            continue;
        }
        dbcs_workstation ws;
        if (dot != std::string_view::npos) {
            ws = encoding_of(lang, name.substr(dot + 1));
        } else {
            ws = encoding_of(lang, codeset);
            if (ws == dbcs_workstation::none) {
                ws = lang.bare;
            }
        }
        if (ws == dbcs_workstation::none) {
            return {};
        }
        return {lang.host, ws};
    }
    return {};
}

int dbcs_char_length(dbcs_workstation ws, int first_byte)
{
    unsigned b = static_cast<unsigned>(first_byte) & 0xFF;
    switch (ws) {
    case dbcs_workstation::utf8:
        if (b >= 0xC2 && b <= 0xDF) {
            return 2;
        }
        if (b >= 0xE0 && b <= 0xEF) {
            return 3;
        }
        if (b >= 0xF0 && b <= 0xF4) {
            return 4;
        }
        return 1;
    case dbcs_workstation::euc_jp:
        if (b == EUC_SS2) {
            return 2;
        }
        if (b == EUC_SS3) {
            return 3;
        }
        break;
    case dbcs_workstation::euc_tw:
        if (b == EUC_SS2) {
            return 4;
        }
        break;
    case dbcs_workstation::euc_kr:
    case dbcs_workstation::euc_cn:
        break;
    case dbcs_workstation::none:
        return 1;
    }
    return in_g1(static_cast<unsigned char>(b)) ? 2 : 1;
}

char32_t dbcs_width_partner(char32_t ucs)
{
    if (ucs >= FULLWIDTH_ASCII_FIRST && ucs <= FULLWIDTH_ASCII_LAST) {
        return ucs - FULLWIDTH_OFFSET;
    }
    if (ucs > ASCII_FIRST && ucs <= ASCII_LAST) {
        return ucs + FULLWIDTH_OFFSET;
    }
    if (ucs == ASCII_FIRST) {
        return IDEOGRAPHIC_SPACE;
    }
    if (ucs == IDEOGRAPHIC_SPACE) {
        return ASCII_FIRST;
    }
    if (ucs >= PARTNERS_FIRST && ucs <= PARTNERS_LAST) {
        return partners[ucs - PARTNERS_FIRST];
    }
    if (ucs < PARTNER_LOWEST || ucs > PARTNER_HIGHEST) {
        return 0;
    }
    for (std::size_t i = 0; i < std::size(partners); i++) {
        if (partners[i] == ucs) {
            return PARTNERS_FIRST + static_cast<char32_t>(i);
        }
    }
    return 0;
}

int dbcs_build_tables(dbcs_pair pair, dbcs_tables &tables)
{
    tables = dbcs_tables{};
    const char *host = dbcs_host_charset(pair.host);
    const char *ws = dbcs_workstation_charset(pair.ws);
    if (host == nullptr || ws == nullptr) {
        return -1;
    }
    try {
        converter host_to_ucs("WCHAR_T", host);
        converter ucs_to_host(host, "WCHAR_T");
        // UTF-8 is encoded and decoded here; an EUC goes through its converter.
        std::unique_ptr<converter> ws_to_ucs, ucs_to_ws;
        if (pair.ws != dbcs_workstation::utf8) {
            ws_to_ucs = std::make_unique<converter>("WCHAR_T", ws);
            ucs_to_ws = std::make_unique<converter>(ws, "WCHAR_T");
            if (!ws_to_ucs->ok() || !ucs_to_ws->ok()) {
                return -1;
            }
        }
        if (!host_to_ucs.ok() || !ucs_to_host.ok()) {
            return -1;
        }
        tables.pair = pair;
        builder(tables, host_to_ucs, ucs_to_host, ws_to_ucs.get(), ucs_to_ws.get()).build();
    } catch (const std::bad_alloc &) {
        tables = dbcs_tables{};
        return -1;
    }
    return 0;
}

dbcs_bytes dbcs_lookup_workstation(const dbcs_tables &tables, unsigned code)
{
    if (!tables.to_workstation || code >= CODES) {
        return {DBCS_NO_CHARACTER, 0, 0, 0};
    }
    return tables.to_workstation[code];
}

uint16_t dbcs_lookup_host(const dbcs_tables &tables, const dbcs_bytes &ch)
{
    std::size_t n = static_cast<std::size_t>(dbcs_char_length(tables.pair.ws, ch[0]));
    std::size_t page;
    uint16_t index;
    if (n > ch.size() || !host_key(tables.pair.ws, ch.data(), n, page, index) || !tables.to_host[page]) {
        return DBCS_SUBSTITUTE;
    }
    uint16_t code = tables.to_host[page][index];
    return code != 0 ? code : DBCS_SUBSTITUTE;
}
