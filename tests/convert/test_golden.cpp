// Golden vectors of the codec and the conversion, one file per fault they caught, under
// tests/data/convert/<operation>/ (format in tests/golden.h). Operations:
//   compress   record... [size N] [mode M] [result R] block: the block after compressing the records
//              in turn (the records come back from the blocks in the codec's round trip);
//   expand     block... [raw] [nls] [max N] log: each call's record and result ("C1 15 /1"), "|"
//              after a block that ends inside a record;
//   convert    text "..." or input, [format lrecl maxdata tabs fixed locale dbcs], result, then
//              record... (the records expanded back, 0x15 taken off) or datafile... (data records);
//   read_line  text, [lrecl tabs fixed locale dbcs], record... (each record with its IRS);
//   etoa       field, [n locale dbcs], want: the string nje_EtoA_str makes;
//   atoe       text, n, [locale dbcs], field: the n-byte field (prefilled EE), used: bytes consumed;
//   aencmp     text, field, [n], result.
// The file "tables" holds the built-in translate tables as published, typed apart from the source.
#include <clocale>

#include "convert/rje_compress.h"
#include "tests/dbcs_stub/dbcs_stub_loader.h"
#include "tests/golden.h"
#include "tests/test_util.h"

namespace
{

// Sets the vector's locale and links the DBCS library when it asks; both undone at scope exit.
struct Setting {
    std::unique_ptr<DbcsStubScope> dbcs;
    explicit Setting(const Vector &v)
    {
        if (v.num("dbcs", 0) != 0)
            dbcs = std::make_unique<DbcsStubScope>();
        else
            unload_dbcs_stub();
        if (v.has("locale") || !dbcs)
            std::setlocale(LC_ALL, v.get("locale", "C").c_str());
    }
    ~Setting()
    {
        dbcs.reset();
        std::setlocale(LC_ALL, "C");
    }
};

} // namespace

TEST(Golden, Compress)
{
    for (const Vector &v : load_golden("convert/compress")) {
        const auto size = static_cast<unsigned>(v.num("size", 3811));
        Bytes block(size, 0xEE);
        unsigned char *out = block.data();
        int rc = 1;
        const std::vector<Bytes> recs = v.hexes("record");
        for (const Bytes &r : recs) {
            const unsigned char *in = r.data();
            rc = rje_compress(&in, &out, r.data() + r.size(), block.data() + size, size,
                              static_cast<unsigned>(v.num("mode", RJE_MODE_RECORD)));
            if (rc != 1)
                break;
        }
        EXPECT_EQ(rc, v.num("result", 1)) << v.file;
        EXPECT_EQ(Bytes(block.data(), out), hex(v.get("block"))) << v.file;
    }
}

TEST(Golden, Expand)
{
    for (const Vector &v : load_golden("convert/expand")) {
        const bool raw = v.num("raw", 0) != 0;
        const auto max = static_cast<unsigned>(v.num("max", 256));
        xlate_to_nls = v.num("nls", 0);
        rje_expand_ctx ctx;
        std::string log;
        unsigned char buf[300];
        unsigned char *out = buf;
        for (const Bytes &block : v.hexes("block")) {
            const unsigned char *in = raw ? block.data() : rje_expand_begin(&ctx, block.data(), block.size());
            for (unsigned rc = EOR_MORE; rc == EOR_MORE && log.size() < 4000;) {
                rc = rje_expand(&in, &out, max, &block.back(), &ctx, 0, buf);
                EXPECT_LE(out - buf, static_cast<long>(max)) << v.file;
                log += hex_of(buf, out) + "/" + std::to_string(rc) + (rc == EOB_SPANNED ? " | " : " ");
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

TEST(Golden, ExpandTraceGoesToUtiltracefd)
{
    utiltracefd = std::tmpfile();
    rje_expand_ctx ctx;
    ctx.scb = 0x04;
    const unsigned char b[] = {0x35, 0x01, 0xC1, 0x1E};
    unsigned char buf[8], *out = buf;
    const unsigned char *in = b;
    EXPECT_EQ(rje_expand(&in, &out, 8, &b[3], &ctx, 1, buf), EOR_EOB);
    std::string t(4096, '\0');
    std::rewind(utiltracefd);
    t.resize(std::fread(t.data(), 1, t.size(), utiltracefd));
    std::fclose(utiltracefd);
    utiltracefd = stderr;
    EXPECT_NE(t.find("rje_expand: EOR_EOB scb=0x00 trn_cnt=0"), std::string::npos) << t;
    EXPECT_NE(t.find("000000   3501c11e"), std::string::npos) << t;
    EXPECT_NE(t.find("000000   c115  "), std::string::npos) << t;
}

TEST(Golden, Convert)
{
    for (const Vector &v : load_golden("convert/convert")) {
        Setting setting(v);
        const Bytes input = v.has("text") ? bytes(v.str("text")) : hex(v.get("input"));
        const Conversion c = convert(input, v.num("lrecl", 80), v.num("maxdata", 3820), v.num("format", 0),
                                     v.num("tabs", 8), v.num("fixed", 0));
        EXPECT_EQ(c.result, v.num("result", 0)) << v.file;
        const bool raw_records = v.has("datafile");
        EXPECT_EQ(raw_records ? data_records(c.file) : records(c.file),
                  v.hexes(raw_records ? "datafile" : "record"))
            << v.file;
    }
}

TEST(Golden, ReadLine)
{
    for (const Vector &v : load_golden("convert/read_line")) {
        Setting setting(v);
        InputFile in(bytes(v.str("text")));
        std::vector<Bytes> got;
        unsigned char buf[300];
        for (int len; (len = convert_read_line(in.f, buf, v.num("lrecl", 80), v.num("tabs", 8),
                                               v.num("fixed", 0))) >= 0;)
            got.emplace_back(buf, buf + len);
        EXPECT_EQ(got, v.hexes("record")) << v.file;
    }
}

TEST(Golden, TranslateTables)
{
    Bytes etoa, atoe;
    for (const Vector &v : parse_golden(JOBPUSH_TEST_DATA "/convert/tables"))
        for (const auto &[table, row] : v.lines) {
            Bytes &t = table == "etoa" ? etoa : atoe;
            t = cat(t, hex(row));
        }
    EXPECT_EQ(Bytes(nje_EtoA, nje_EtoA + 256), etoa);
    EXPECT_EQ(Bytes(nje_AtoE, nje_AtoE + 256), cat(atoe, atoe));
}

TEST(Golden, FieldConverters)
{
    for (const Vector &v : load_golden("convert/etoa")) {
        Setting setting(v);
        const Bytes field = hex(v.get("field"));
        const int n = v.num("n", static_cast<int>(field.size()));
        std::vector<char> dst(nje_etoa_str_bound(n), 'Z');
        nje_EtoA_str(field.data(), dst.data(), n);
        EXPECT_EQ(std::string(dst.data()), v.str("want")) << v.file;
    }
    for (const Vector &v : load_golden("convert/atoe")) {
        Setting setting(v);
        const std::string s = v.str("text");
        Bytes field(static_cast<std::size_t>(v.num("n", 0)), 0xEE);
        const char *end = nje_AtoE_str(s.c_str(), field.data(), v.num("n", 0));
        EXPECT_EQ(field, hex(v.get("field"))) << v.file;
        EXPECT_EQ(end - s.c_str(), v.num("used", 0)) << v.file;
    }
    for (const Vector &v : load_golden("convert/aencmp")) {
        const std::string s = v.str("text");
        const Bytes field = hex(v.get("field"));
        EXPECT_EQ(nje_AEncmp(s.c_str(), field.data(), v.num("n", static_cast<int>(field.size()))),
                  v.num("result", 0))
            << v.file << " " << s;
    }
}
