// Golden vectors of the codec and the conversion, one file per fault they caught, under
// tests/data/convert/<operation>/. A file holds vectors separated by "---" lines; each line is a key
// and its value, "#" begins a comment. Byte values are hex tokens: "C1", "40*63" (63 blanks), "x59"
// (59 distinct bytes from 0x81 on), "n20" (the bytes 0 to 19). Operations:
//   compress   record... [size N] [mode M] [result R] block: the block after compressing the records
//              in turn (result 1 also expands the block back to the records);
//   expand     block... [raw] [nls] [max N] log: each call's record and result ("C1 15 /1"), "|"
//              after a block that ends inside a record;
//   convert    text "..." or input, [format lrecl maxdata tabs fixed locale dbcs], result, then
//              record... (the records expanded back, 0x15 taken off) or datafile... (data records);
//   read_line  text, [lrecl tabs fixed locale dbcs], record... (each record with its IRS);
//   etoa       field, [n locale dbcs], want: the string nje_EtoA_str makes;
//   atoe       text, n, [locale dbcs], field: the n-byte field (prefilled EE), used: bytes consumed;
//   aencmp     text, field, [n], result.
// The file "tables" holds the built-in translate tables as published, typed apart from the source.
#include "test_convert_util.h"

#include <clocale>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "convert/rje_compress.h"
#include "convert/translate.h"
#include "tests/dbcs_stub/dbcs_stub_loader.h"

using namespace convert_test;

namespace
{

namespace fs = std::filesystem;

struct Vector {
    std::string file;
    std::multimap<std::string, std::string> keys;
    std::vector<std::string> all(const std::string &k) const
    {
        std::vector<std::string> v;
        for (auto [a, b] = keys.equal_range(k); a != b; ++a)
            v.push_back(a->second);
        return v;
    }
    std::string get(const std::string &k, const std::string &def = "") const
    {
        auto it = keys.find(k);
        return it == keys.end() ? def : it->second;
    }
    int num(const std::string &k, int def) const { return std::stoi(get(k, std::to_string(def))); }
};

Bytes hex(const std::string &s)
{
    Bytes r;
    std::istringstream words(s);
    for (std::string w; words >> w;) {
        if (w[0] == 'x' || w[0] == 'n') {
            for (unsigned long k = 0, n = std::stoul(w.substr(1)); k < n; ++k)
                r.push_back(static_cast<unsigned char>(w[0] == 'x' ? 0x81 + k : k));
            continue;
        }
        const std::size_t star = w.find('*');
        const unsigned long n = star == std::string::npos ? 1 : std::stoul(w.substr(star + 1));
        r.insert(r.end(), n, static_cast<unsigned char>(std::stoul(w.substr(0, star), nullptr, 16)));
    }
    return r;
}

// A quoted string with the escapes \n, \t, \\, \" and \xHH.
Bytes text(const std::string &q)
{
    Bytes r;
    for (std::size_t i = 1; i + 1 < q.size(); ++i) {
        if (q[i] != '\\') {
            r.push_back(static_cast<unsigned char>(q[i]));
            continue;
        }
        const char e = q[++i];
        if (e == 'x') {
            r.push_back(static_cast<unsigned char>(std::stoul(q.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            r.push_back(static_cast<unsigned char>(e == 'n' ? '\n' : e == 't' ? '\t' : e));
        }
    }
    return r;
}

void parse(const fs::path &path, std::vector<Vector> &out)
{
    std::ifstream in(path);
    Vector v{path.filename().string(), {}};
    for (std::string line; std::getline(in, line);) {
        if (line == "---") {
            out.push_back(v);
            v.keys.clear();
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t sp = line.find(' ');
        v.keys.emplace(line.substr(0, sp), sp == std::string::npos ? "" : line.substr(sp + 1));
    }
    out.push_back(v);
}

std::vector<Vector> load(const std::string &op)
{
    std::vector<Vector> out;
    for (const auto &entry : fs::directory_iterator(fs::path(JOBPUSH_TEST_DATA) / "convert" / op))
        parse(entry.path(), out);
    EXPECT_FALSE(out.empty()) << op;
    return out;
}

// Sets the vector's locale and links the DBCS library when it asks; both undone at scope exit.
struct Setting {
    std::unique_ptr<DbcsStubScope> dbcs;
    explicit Setting(const Vector &v)
    {
        if (v.num("dbcs", 0) != 0)
            dbcs = std::make_unique<DbcsStubScope>();
        else
            unload_dbcs_stub();
        if (v.keys.count("locale") != 0 || !dbcs)
            std::setlocale(LC_ALL, v.get("locale", "C").c_str());
    }
    ~Setting()
    {
        dbcs.reset();
        std::setlocale(LC_ALL, "C");
    }
};

std::string log_of(const unsigned char *p, const unsigned char *end)
{
    std::string log;
    for (; p < end; ++p) {
        log += "0123456789ABCDEF"[*p >> 4];
        log += "0123456789ABCDEF"[*p & 15];
        log += ' ';
    }
    return log;
}

} // namespace

TEST(Golden, Compress)
{
    for (const Vector &v : load("compress")) {
        const auto size = static_cast<unsigned>(v.num("size", 3811));
        Bytes block(size, 0xEE);
        unsigned char *out = block.data();
        int rc = 1;
        const std::vector<std::string> recs = v.all("record");
        for (const std::string &text : recs) {
            const Bytes r = hex(text);
            const unsigned char *in = r.data();
            rc = rje_compress(&in, &out, r.data() + r.size(), block.data() + size, size,
                              static_cast<unsigned>(v.num("mode", RJE_MODE_RECORD)));
            if (rc != 1)
                break;
        }
        EXPECT_EQ(rc, v.num("result", 1)) << v.file;
        EXPECT_EQ(Bytes(block.data(), out), hex(v.get("block"))) << v.file;
        if (rc != 1)
            continue;
        // Expanded, the block gives the records back (an empty one as one blank).
        std::vector<Bytes> back;
        rje_expand_ctx ctx;
        unsigned char buf[300];
        std::size_t length = 0;
        rje_expand_block(&ctx, block.data(), static_cast<std::size_t>(out - block.data()), buf, sizeof buf,
                         length,
                         [&](const unsigned char *r, std::size_t n) { back.emplace_back(r, r + n - 1); });
        ASSERT_EQ(back.size(), recs.size()) << v.file;
        for (std::size_t i = 0; i < recs.size(); ++i) {
            Bytes want = hex(recs[i]);
            want.pop_back();
            EXPECT_EQ(back[i], want.empty() ? Bytes{EBCDIC_BLANK} : want) << v.file << " record " << i;
        }
    }
}

TEST(Golden, Expand)
{
    for (const Vector &v : load("expand")) {
        const bool raw = v.num("raw", 0) != 0;
        const auto max = static_cast<unsigned>(v.num("max", 256));
        xlate_to_nls = v.num("nls", 0);
        rje_expand_ctx ctx;
        std::string log;
        unsigned char buf[300];
        unsigned char *out = buf;
        for (const std::string &text : v.all("block")) {
            const Bytes block = hex(text);
            const unsigned char *in = raw ? block.data() : rje_expand_begin(&ctx, block.data(), block.size());
            for (unsigned rc = EOR_MORE; rc == EOR_MORE && log.size() < 4000;) {
                rc = rje_expand(&in, &out, max, &block.back(), &ctx, 0, buf);
                EXPECT_LE(out - buf, static_cast<long>(max)) << v.file;
                log += log_of(buf, out) + "/" + std::to_string(rc) + (rc == EOB_SPANNED ? " | " : " ");
                if (rc != EOB_SPANNED)
                    out = buf;
                if (max == 0)
                    break;
            }
        }
        xlate_to_nls = 0;
        EXPECT_EQ(log, v.get("log") + " ") << v.file;
    }
}

TEST(Golden, Convert)
{
    for (const Vector &v : load("convert")) {
        Setting setting(v);
        const Bytes input = v.keys.count("text") != 0 ? text(v.get("text")) : hex(v.get("input"));
        const Conversion c = convert(input, v.num("lrecl", 80), v.num("maxdata", 3820), v.num("format", 0),
                                     v.num("tabs", 8), v.num("fixed", 0));
        EXPECT_EQ(c.result, v.num("result", 0)) << v.file;
        std::vector<Bytes> want;
        const bool raw_records = v.keys.count("datafile") != 0;
        for (const std::string &r : v.all(raw_records ? "datafile" : "record"))
            want.push_back(hex(r));
        EXPECT_EQ(raw_records ? data_records(c.file) : records(c.file), want) << v.file;
    }
}

TEST(Golden, ReadLine)
{
    for (const Vector &v : load("read_line")) {
        Setting setting(v);
        InputFile in(text(v.get("text")));
        std::vector<Bytes> got, want;
        unsigned char buf[300];
        for (int len; (len = convert_read_line(in.f, buf, v.num("lrecl", 80), v.num("tabs", 8),
                                               v.num("fixed", 0))) >= 0;)
            got.emplace_back(buf, buf + len);
        for (const std::string &r : v.all("record"))
            want.push_back(hex(r));
        EXPECT_EQ(got, want) << v.file;
    }
}

TEST(Golden, TranslateTables)
{
    std::vector<Vector> file;
    parse(fs::path(JOBPUSH_TEST_DATA) / "convert" / "tables", file);
    Bytes etoa, atoe;
    for (const std::string &row : file[0].all("etoa"))
        for (unsigned char b : hex(row))
            etoa.push_back(b);
    for (const std::string &row : file[0].all("atoe"))
        for (unsigned char b : hex(row))
            atoe.push_back(b);
    atoe.insert(atoe.end(), atoe.begin(), atoe.end());
    EXPECT_EQ(Bytes(nje_EtoA, nje_EtoA + 256), etoa);
    EXPECT_EQ(Bytes(nje_AtoE, nje_AtoE + 256), atoe);
}

TEST(Golden, FieldConverters)
{
    for (const Vector &v : load("etoa")) {
        Setting setting(v);
        const Bytes field = hex(v.get("field"));
        const int n = v.num("n", static_cast<int>(field.size()));
        std::vector<char> dst(nje_etoa_str_bound(n), 'Z');
        nje_EtoA_str(field.data(), dst.data(), n);
        const Bytes want = text(v.get("want"));
        EXPECT_EQ(std::string(dst.data()), std::string(want.begin(), want.end())) << v.file;
    }
    for (const Vector &v : load("atoe")) {
        Setting setting(v);
        const Bytes t = text(v.get("text"));
        const std::string s(t.begin(), t.end());
        Bytes field(static_cast<std::size_t>(v.num("n", 0)), 0xEE);
        const char *end = nje_AtoE_str(s.c_str(), field.data(), v.num("n", 0));
        EXPECT_EQ(field, hex(v.get("field"))) << v.file;
        EXPECT_EQ(end - s.c_str(), v.num("used", 0)) << v.file;
    }
    for (const Vector &v : load("aencmp")) {
        const Bytes t = text(v.get("text")), field = hex(v.get("field"));
        const std::string s(t.begin(), t.end());
        EXPECT_EQ(nje_AEncmp(s.c_str(), field.data(), v.num("n", static_cast<int>(field.size()))),
                  v.num("result", 0))
            << v.file << " " << s;
    }
}
