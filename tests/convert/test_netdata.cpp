// NETDATA writer and reader: golden segments, text units and 80-byte records; the reader's limits;
// and the central round trip (random data and control records written, then read back exactly).
#include <gtest/gtest.h>

#include "convert/netdata_read.h"
#include "convert/netdata_write.h"
#include "tests/golden.h"
#include "tests/test_util.h"

namespace
{

// A data file written by one writer; `write` fills the stream, close and the end-of-data mark follow.
template <class F> Bytes stream_of(F write, unsigned long *records = nullptr)
{
    MemOut df;
    netdata_writer w;
    nje_netdata_create(df.f, &w);
    write(w);
    EXPECT_EQ(nje_netdata_close(&w), 0);
    if (records != nullptr)
        *records = w.records;
    nje_data_write_eod(df.f);
    return bytes(df.str());
}

// The NETDATA stream itself: the 80-byte records of a data file, joined.
Bytes netdata_bytes(const Bytes &file)
{
    Bytes all;
    for (const Bytes &r : data_records(file)) {
        EXPECT_EQ(r.size(), 80u);
        all = cat(all, r);
    }
    return all;
}

// A data file holding the stream `h` (hex, under 80 bytes) as one record cut short.
Bytes file_of(const std::string &h)
{
    Bytes f = hex("00000000 80534E41 " + h + " 00000000");
    f[3] = static_cast<unsigned char>(f.size() - 8);
    return f;
}

Bytes units(std::initializer_list<nje_tu> list)
{
    Bytes area(NETDATA_TU_AREA);
    const int n = nje_netdata_put_tu(area, 0, list);
    EXPECT_GE(n, 0);
    area.resize(static_cast<std::size_t>(std::max(n, 0)));
    return area;
}

constexpr uint32_t tu(unsigned kind, unsigned length, uint16_t key)
{
    return netdata_tu(kind, length, key);
}

} // namespace

// The golden vectors of tests/data/convert/netdata (format at the top of its first file).
TEST(Netdata, GoldenVectors)
{
    for (const Vector &v : load_golden("convert/netdata")) {
        unsigned long records = 0;
        const auto write = [&v](netdata_writer &w) {
            for (const auto &[key, value] : v.lines) {
                const Bytes b =
                    key == "data" || key == "control" ? hex(value.substr(key == "data" ? 0 : 6)) : Bytes();
                if (key == "data")
                    nje_netdata_put_data(&w, b.empty() ? nullptr : b.data(), b.size());
                else if (key == "control")
                    nje_netdata_put_control(&w, value.substr(0, 6).c_str(), b.data(), b.size());
            }
        };
        const Bytes file = v.has("stream") ? file_of(v.get("stream")) : stream_of(write, &records);
        EXPECT_EQ(file, v.has("file") ? hex(v.get("file")) : file) << v.file;
        EXPECT_EQ(records, static_cast<unsigned long>(v.num("records", static_cast<int>(records)))) << v.file;
        if (v.has("netdata")) {
            EXPECT_EQ(netdata_bytes(file), hex(v.get("netdata"))) << v.file;
        }
        std::vector<Bytes> got;
        for (const netdata_record &l : netdata_records(file, static_cast<std::size_t>(v.num("room", 8192))))
            got.push_back(cat({static_cast<unsigned char>(l.flags)}, l.data));
        EXPECT_EQ(got, v.has("read") || v.has("stream") ? v.hexes("read") : got) << v.file;
        for (const std::string &u : v.all("isnetdata")) {
            int size = 0, result = 0, used = 0;
            std::sscanf(u.c_str(), "%d %d %n", &size, &result, &used);
            InputFile in(file);
            char name[NETDATA_DSNAME_MAX + 1] = "";
            EXPECT_EQ(nje_isnetdata(in.f, name, static_cast<std::size_t>(size)), result)
                << v.file << ": " << u;
            EXPECT_EQ(result == 1 ? name : "", text(u.substr(static_cast<std::size_t>(used)))) << v.file;
        }
        for (const std::string &u : v.all("unload")) {
            int format = 0, size = 0, result = 0, used = 0;
            std::sscanf(u.c_str(), "%d %d %d %n", &format, &size, &result, &used);
            InputFile in(file);
            MemOut out;
            EXPECT_EQ(nje_netdata_fromibm(in.f, out.f, format, size), result) << v.file << ": " << u;
            EXPECT_EQ(out.str(), text(u.substr(static_cast<std::size_t>(used)))) << v.file << ": " << u;
        }
    }
}

TEST(NetdataWrite, TextUnits)
{
    // (Numbers, names and name lists are in the control records of tests/data/netdata.)
    EXPECT_EQ(units({{tu(3, 0, INMFTIME), 1700000000L}}),
              hex("10 24 00 01 00 0E F2F0F2F3F1F1F1F4F2F2F1F3F2F0")); // 2023-11-14 22:13:20
    // A bare number, then a unit behind it, from a given offset; a number wider than 4 bytes.
    Bytes area(20, 0xEE);
    EXPECT_EQ(
        nje_netdata_put_tu(area, 2, {{tu(5, 4, 0), 1}, {tu(1, 6, INMSIZE), 800}, {0, 0}, {tu(9, 0, 1), 0}}),
        18);
    EXPECT_EQ(area, hex("EE EE 00 00 00 01 10 2C 00 01 00 06 00 00 00 00 03 20 EE EE"));
    // A string kind with a length longer than its text is filled with blanks.
    EXPECT_EQ(units({{tu(2, 3, INMUTILN), "A"}}), hex("10 28 00 01 00 03 C1 40 40"));

    // A kind outside 1..5 fails; units that do not fit fail without writing past the area.
    EXPECT_EQ(nje_netdata_put_tu(area, 0, {{tu(6, 0, 1), 0}}), -1);
    Bytes guarded(32, 0x77);
    std::span<unsigned char> small(guarded.data() + 8, 12);
    EXPECT_EQ(nje_netdata_put_tu(small, 0, {{tu(2, 0, INMFNODE), "NODE"}, {tu(1, 4, INMLRECL), 1}}), -1);
    EXPECT_EQ(nje_netdata_put_tu(small, 0, {{tu(2, 0, INMFNODE), "NINE CHARS"}}), -1);
    EXPECT_EQ(nje_netdata_put_tu(small, 10, {{tu(5, 4, 0), 1}}), -1);
    EXPECT_EQ(Bytes(guarded.begin(), guarded.begin() + 8), Bytes(8, 0x77));
    EXPECT_EQ(Bytes(guarded.begin() + 20, guarded.end()), Bytes(12, 0x77));
}

TEST(NetdataWrite, RecordFilesAndOtherFormats)
{
    // Length-prefixed records: cut at lrecl, an empty record stays empty; with `fixed` filled with
    // blanks. (Text and chunks are checked end to end and through the outside reader.)
    for (int fixed : {0, 1}) {
        InputFile in(hex("00000002 C1C2 00000000 00000005 0102030405"));
        unsigned char buffer[300];
        long count = 0;
        const Bytes file = stream_of([&](netdata_writer &w) {
            count = nje_netdata_toibm(in.f, &w, buffer, fixed ? 3 : 4, NJE_FORMAT_RECORD, 8, fixed);
        });
        std::vector<Bytes> data;
        for (const netdata_record &l : netdata_records(file))
            data.push_back(l.data);
        EXPECT_EQ(data, (fixed ? std::vector<Bytes>{hex("C1C240"), hex("404040"), hex("010203")}
                               : std::vector<Bytes>{hex("C1C2"), Bytes(), hex("01020304")}));
        EXPECT_EQ(count, 3);
    }
    // No reader for the transparent format: refused before anything is read or written.
    InputFile in(bytes("x"));
    unsigned char buf[300];
    EXPECT_EQ(stream_of([&](netdata_writer &w) {
                  EXPECT_EQ(nje_netdata_toibm(in.f, &w, buf, 80, NJE_FORMAT_TRANSPARENT, 8, 0),
                            NETDATA_BAD_REQUEST);
              }),
              Bytes(4, 0));
    EXPECT_EQ(std::fgetc(in.f), 'x');
}

TEST(NetdataRead, TextUnitsAndDatasetNames)
{
    const char *dsn[] = {"A", "B"};
    const char *member[] = {"C"};
    const Bytes r02 =
        cat(hex("C9D5D4D9F0F2"), units({{tu(5, 4, 0), 7},
                                        {tu(1, 4, INMLRECL), 84},
                                        {tu(4, 0, INMDSNAM), std::span<const char *const>(dsn)},
                                        {tu(4, 0, INMMEMBR), std::span<const char *const>(member)},
                                        {tu(2, 0, INMUTILN), "INMCOPY"},
                                        {tu(3, 0, INMFTIME), 0}}));
    uint32_t number = 0, lrecl = 0, missing = 99;
    char name[12], util[8], time[20];
    EXPECT_EQ(nje_netdata_get_tu(r02.data(), r02.size(),
                                 {{tu(5, 4, 0), &number},
                                  {tu(1, 4, INMLRECL), &lrecl},
                                  {tu(4, 0, INMDSNAM), name},
                                  {tu(2, 0, INMUTILN), util},
                                  {tu(3, 0, INMFTIME), time},
                                  {tu(1, 4, INMSIZE), &missing}}),
              1);
    EXPECT_EQ(number, 7u);
    EXPECT_EQ(lrecl, 84u);
    EXPECT_STREQ(name, "A.B");
    EXPECT_STREQ(util, "INMCOPY");
    EXPECT_STREQ(time, "19700101000000");
    EXPECT_EQ(missing, 99u);
    EXPECT_EQ(netdata_lrecl(r02.data(), r02.size(), 80), 84u);
    EXPECT_EQ(nje_netdata_get_tu(r02.data(), r02.size(), {{tu(7, 0, 1), &number}}), -1);
    // Outside INMR02 the units start right behind the name, and a unit cut by the record's end is missing.
    const Bytes r03 = cat(hex("C9D5D4D9F0F3"), units({{tu(1, 4, INMLRECL), 80}}));
    EXPECT_EQ(netdata_lrecl(r03.data(), r03.size(), 1), 80u);
    EXPECT_EQ(netdata_lrecl(r03.data(), r03.size() - 1, 1), 1u);
}

// The central property: whatever the writer writes, the reader gives back record by record, with
// its flags and every text unit. JOBPUSH_NETDATA_SEED=<seed> replays a run.
TEST(NetdataRoundTrip, RandomRecordsComeBackExactly)
{
    const std::uint64_t seed = test_seed("JOBPUSH_NETDATA_SEED");
    std::mt19937 rng(static_cast<unsigned>(seed));
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // Each record: its bytes (a control record with its name), whether it is a control record, and its
    // units with keys 0x1000 on: a string, or a 4-byte number when the string is empty.
    struct record {
        Bytes data;
        bool control;
        std::vector<std::pair<std::string, uint32_t>> units;
    };
    std::vector<record> want(200);
    const Bytes file = stream_of([&](netdata_writer &w) {
        for (record &r : want) {
            r.data.resize(static_cast<std::size_t>(pick(0, 1000)));
            for (unsigned char &b : r.data)
                b = static_cast<unsigned char>(rng());
            if (!(r.control = pick(0, 4) == 0)) {
                ASSERT_EQ(nje_netdata_put_data(&w, r.data.data(), r.data.size()), 0);
                continue;
            }
            for (int k = pick(0, 40); k > 0; --k) {
                std::string t;
                for (int n = pick(0, 12); n > 0; --n)
                    t += static_cast<char>('A' + pick(0, 25));
                r.units.emplace_back(t, static_cast<uint32_t>(rng()));
            }
            std::vector<nje_tu> list; // once the units stay put: the list points into them
            for (std::size_t k = 0; k < r.units.size(); ++k) {
                const auto key = static_cast<uint16_t>(0x1000 + k);
                if (r.units[k].first.empty())
                    list.emplace_back(tu(1, 4, key), r.units[k].second);
                else
                    list.emplace_back(tu(2, 0, key), r.units[k].first.c_str());
            }
            r.data.resize(2048);
            const int n = nje_netdata_put_tu(r.data, 0, list);
            ASSERT_GE(n, 0);
            r.data.resize(static_cast<std::size_t>(n));
            ASSERT_EQ(nje_netdata_put_control(&w, "INMR03", r.data.data(), r.data.size()), 0);
            r.data = cat(hex("C9D5D4D9F0F3"), r.data);
        }
    });
    const std::vector<netdata_record> got = netdata_records(file);
    ASSERT_EQ(got.size(), want.size()) << "seed " << seed;
    for (std::size_t i = 0; i < want.size(); ++i) {
        const Bytes &r = got[i].data;
        EXPECT_EQ(r, want[i].data) << "record " << i << " seed " << seed;
        // The first segment's flags: first, last when it is the only one, control.
        EXPECT_EQ(got[i].flags, 0x80u | (want[i].control ? 0x20u : 0u) | (r.size() <= 253 ? 0x40u : 0u))
            << i << " seed " << seed;
        for (std::size_t k = 0; k < want[i].units.size(); ++k) {
            const auto &[t, number] = want[i].units[k];
            const auto key = static_cast<uint16_t>(0x1000 + k);
            char text[16] = {};
            uint32_t n = 0;
            EXPECT_EQ(t.empty() ? nje_netdata_get_tu(r.data(), r.size(), {{tu(1, 4, key), &n}})
                                : nje_netdata_get_tu(r.data(), r.size(), {{tu(2, 0, key), text}}),
                      0);
            EXPECT_EQ(std::string(text) + std::to_string(n), t + std::to_string(t.empty() ? number : 0))
                << "seed " << seed;
        }
    }
}
