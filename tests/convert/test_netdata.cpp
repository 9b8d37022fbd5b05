// NETDATA writer and reader: golden segments, text units and 80-byte records; the reader's limits;
// and the central round trip (random data and control records written, then read back exactly).
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "convert/netdata_read.h"
#include "convert/netdata_write.h"
#include "test_convert_util.h"

using namespace convert_test;

namespace
{

Bytes hex(const char *s)
{
    Bytes b;
    for (; *s != '\0'; ++s) {
        if (*s == ' ')
            continue;
        b.push_back(static_cast<unsigned char>(std::strtoul(std::string(s, 2).c_str(), nullptr, 16)));
        ++s;
    }
    return b;
}

Bytes cat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A data file written by one writer; `write` fills the stream, close and the end-of-data mark follow.
template <class F> Bytes stream_of(F write, unsigned long *records = nullptr)
{
    char *text = nullptr;
    std::size_t size = 0;
    std::FILE *df = open_memstream(&text, &size);
    netdata_writer w;
    nje_netdata_create(df, &w);
    write(w);
    EXPECT_EQ(nje_netdata_close(&w), 0);
    if (records != nullptr)
        *records = w.records;
    nje_data_write_eod(df);
    std::fclose(df);
    Bytes file(text, text + size);
    std::free(text);
    return file;
}

// The NETDATA stream itself: the 80-byte records of a data file, joined.
Bytes netdata_bytes(const Bytes &file)
{
    Bytes all;
    for (const Bytes &r : data_records(file)) {
        EXPECT_EQ(r.size(), 80u);
        all.insert(all.end(), r.begin(), r.end());
    }
    return all;
}

struct logical {
    unsigned flags;
    Bytes data;
};

// Reads logical records until -1.
std::vector<logical> read_all(const Bytes &file, std::size_t room = 8192)
{
    InputFile in(file);
    netdata_reader r;
    nje_netdata_read_init(in.f, &r);
    std::vector<logical> out;
    Bytes buf(room);
    unsigned flags = 0;
    for (int n; (n = nje_netdata_get_record(&r, buf.data(), buf.size(), &flags)) >= 0;)
        out.push_back({flags, Bytes(buf.begin(), buf.begin() + n)});
    return out;
}

// A data file holding `stream` as 80-byte records (the last one cut short when it is shorter).
Bytes file_of(const Bytes &stream)
{
    Bytes file;
    for (std::size_t p = 0; p < stream.size(); p += 80) {
        const std::size_t n = std::min<std::size_t>(80, stream.size() - p);
        file = cat(file, hex("00 00 00"));
        file.push_back(static_cast<unsigned char>(n + 4));
        file = cat(file, hex("80 53 4E 41"));
        file.insert(file.end(), stream.begin() + static_cast<long>(p), stream.begin() + static_cast<long>(p + n));
    }
    return cat(file, hex("00 00 00 00"));
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

TEST(NetdataWrite, RecordsSegmentsAndTheDataFileForm)
{
    unsigned long records = 0;
    // A lone INMR06 is one 80-byte record filled with zeros, one data-file record of 88 bytes.
    Bytes file = stream_of([](netdata_writer &w) { nje_netdata_put_control(&w, "INMR06", nullptr, 0); }, &records);
    EXPECT_EQ(file, cat(cat(hex("00 00 00 54 80 53 4E 41 08 E0 C9 D5 D4 D9 F0 F6"), Bytes(72, 0)), Bytes(4, 0)));
    EXPECT_EQ(records, 1u);
    // Closing a writer whose record is empty writes nothing.
    EXPECT_EQ(stream_of([](netdata_writer &) {}), Bytes(4, 0));

    // 300 data bytes: FF 80 + 253, 31 40 + 47; an empty record is 02 C0. The first segment runs over
    // three records; the segments that follow begin where it ends.
    Bytes data(300);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i);
    Bytes s = netdata_bytes(stream_of([&](netdata_writer &w) {
        nje_netdata_put_data(&w, data.data(), data.size());
        nje_netdata_put_data(&w, nullptr, 0);
    }));
    Bytes want = cat(cat(cat(hex("FF 80"), Bytes(data.begin(), data.begin() + 253)), hex("31 40")),
                     cat(Bytes(data.begin() + 253, data.end()), hex("02 C0")));
    want.resize(320, 0);
    EXPECT_EQ(s, want);

    // A segment that ends exactly at the end of a record lets the next one begin the next record.
    s = netdata_bytes(stream_of([](netdata_writer &w) {
        Bytes d(78, 0x11);
        nje_netdata_put_data(&w, d.data(), d.size());
        nje_netdata_put_data(&w, d.data(), 1);
    }));
    ASSERT_EQ(s.size(), 160u);
    EXPECT_EQ(Bytes(s.begin() + 80, s.begin() + 83), hex("03 C0 11"));

    // 400 bytes of text units: the name and 247 bytes in the first segment (FF A0), 153 in the last (9B 60).
    Bytes tus(400, 0x22);
    s = netdata_bytes(stream_of([&](netdata_writer &w) { nje_netdata_put_control(&w, "INMR02", tus.data(), 400); }));
    EXPECT_EQ(Bytes(s.begin(), s.begin() + 8), hex("FF A0 C9 D5 D4 D9 F0 F2"));
    EXPECT_EQ(Bytes(s.begin() + 255, s.begin() + 257), hex("9B 60"));
}

TEST(NetdataWrite, TextUnits)
{
    EXPECT_EQ(units({{tu(1, 4, INMLRECL), 80}}), hex("00 42 00 01 00 04 00 00 00 50"));
    EXPECT_EQ(units({{tu(2, 0, INMFNODE), "NODE"}}), hex("10 11 00 01 00 04 D5 D6 C4 C5"));
    const char *list[] = {"A", "BC"};
    EXPECT_EQ(units({{tu(4, 0, INMDSNAM), std::span<const char *const>(list)}}),
              hex("00 02 00 02 00 01 C1 00 02 C2 C3"));
    EXPECT_EQ(units({{tu(3, 0, INMFTIME), 0}}),
              cat(hex("10 24 00 01 00 0E"), hex("F1 F9 F7 F0 F0 F1 F0 F1 F0 F0 F0 F0 F0 F0")));
    EXPECT_EQ(units({{tu(3, 0, INMFTIME), 1700000000L}}),
              cat(hex("10 24 00 01 00 0E"), hex("F2 F0 F2 F3 F1 F1 F1 F4 F2 F2 F1 F3 F2 F0"))); // 2023-11-14 22:13:20
    // A bare number, then a unit behind it, from a given offset; a number wider than 4 bytes.
    Bytes area(20, 0xEE);
    EXPECT_EQ(nje_netdata_put_tu(area, 2, {{tu(5, 4, 0), 1}, {tu(1, 6, INMSIZE), 800}, {0, 0}, {tu(9, 0, 1), 0}}), 18);
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

TEST(NetdataWrite, DataRecordsFromFiles)
{
    // One row per data format and record setting: the data records that reach the stream.
    struct row {
        const char *input;
        int lrecl, format, fixed;
        std::vector<Bytes> records;
    };
    const Bytes prefixed = hex("00 00 00 02 C1 C2 00 00 00 00 00 00 00 05 01 02 03 04 05");
    const row rows[] = {
        // Variable text: no IRS behind the records; an empty line is three blanks.
        {"AB\n\nlong line\n", 4, 0, 0, {hex("C1 C2"), hex("40 40 40"), hex("93 96 95 87")}},
        {"AB\n", 5, 0, 1, {hex("C1 C2 40 40 40")}},
        {"\x01\x02\x03\x1e\x05", 2, 1, 0, {hex("01 02"), hex("03 1E"), hex("05")}},
        {"\x01\x02\x03", 2, 1, 1, {hex("01 02"), hex("03 40")}},
        {nullptr, 4, 2, 0, {hex("C1 C2"), Bytes(), hex("01 02 03 04")}},
        {nullptr, 3, 2, 1, {hex("C1 C2 40"), hex("40 40 40"), hex("01 02 03")}},
    };
    for (const row &r : rows) {
        Bytes input = r.input != nullptr ? bytes(r.input) : prefixed;
        InputFile in(input);
        unsigned char *buffer = nje_data_allocate_buffer(260);
        long count = 0;
        Bytes file = stream_of([&](netdata_writer &w) {
            count = nje_netdata_toibm(in.f, &w, buffer, r.lrecl, r.format, 8, r.fixed);
        });
        nje_data_free_buffer(buffer);
        std::vector<logical> got = read_all(file);
        std::vector<Bytes> data;
        for (const logical &l : got) {
            EXPECT_EQ(l.flags, 0xC0u);
            data.push_back(l.data);
        }
        EXPECT_EQ(data, r.records) << r.format << " " << r.fixed;
        EXPECT_EQ(count, static_cast<long>(r.records.size()));
    }
    // No reader for the transparent format: refused before anything is read or written.
    InputFile in(bytes("x"));
    unsigned char buf[300];
    Bytes file = stream_of([&](netdata_writer &w) {
        EXPECT_EQ(nje_netdata_toibm(in.f, &w, buf, 80, 4, 8, 0), NETDATA_BAD_REQUEST);
    });
    EXPECT_EQ(file, Bytes(4, 0));
    EXPECT_EQ(std::fgetc(in.f), 'x');
}

TEST(NetdataWrite, AFailedRecordWriteFails)
{
    std::FILE *ro = std::fopen("/dev/null", "r"); // writes to a read-only stream fail
    ASSERT_NE(ro, nullptr);
    netdata_writer w;
    nje_netdata_create(ro, &w);
    Bytes d(100, 1);
    EXPECT_EQ(nje_netdata_put_data(&w, d.data(), d.size()), NETDATA_WRITE_FAILED);
    std::fclose(ro);
}

TEST(NetdataRead, LimitsOfTheReader)
{
    // A record longer than the room is cut; its rest is consumed and the next record reads whole.
    Bytes long_rec(300, 0x5A);
    Bytes file = stream_of([&](netdata_writer &w) {
        nje_netdata_put_data(&w, long_rec.data(), long_rec.size());
        nje_netdata_put_control(&w, "INMR06", nullptr, 0);
    });
    std::vector<logical> got = read_all(file, 10);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].data, Bytes(10, 0x5A));
    EXPECT_EQ(got[0].flags, 0x80u);
    EXPECT_EQ(got[1].flags, 0xE0u);
    EXPECT_EQ(got[1].data, hex("C9 D5 D4 D9 F0 F6"));

    // Unreadable: segment lengths 0 and 1, a segment cut short by the end of the data.
    EXPECT_TRUE(read_all(file_of(hex("00 C0"))).empty());
    EXPECT_TRUE(read_all(file_of(hex("01 C0"))).empty());
    EXPECT_TRUE(read_all(file_of(hex("05 C0 01 02"))).empty());
    got = read_all(file_of(hex("03 80 01 02 C0")));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].data, hex("01"));
    EXPECT_EQ(got[0].flags, 0x80u); // the first segment's flags
    // A record shorter than 80 bytes counts with its own bytes only.
    got = read_all(file_of(hex("03 C0 07 03 C0 08")));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].data, hex("08"));
}

TEST(NetdataRead, TextUnitsAndDatasetNames)
{
    const char *dsn[] = {"A", "B"};
    const char *member[] = {"C"};
    Bytes r02 = cat(hex("C9 D5 D4 D9 F0 F2"),
                    units({{tu(5, 4, 0), 7},
                           {tu(1, 4, INMLRECL), 84},
                           {tu(4, 0, INMDSNAM), std::span<const char *const>(dsn)},
                           {tu(4, 0, INMMEMBR), std::span<const char *const>(member)},
                           {tu(2, 0, INMUTILN), "INMCOPY"},
                           {tu(3, 0, INMFTIME), 0}}));
    uint32_t number = 0, lrecl = 0, missing = 99;
    char name[12], util[8], time[20], small[4];
    EXPECT_EQ(nje_netdata_get_tu(r02.data(), r02.size(),
                                 {{tu(5, 4, 0), &number},
                                  {tu(1, 4, INMLRECL), &lrecl},
                                  {tu(4, 0, INMDSNAM), name},
                                  {tu(2, 0, INMUTILN), util},
                                  {tu(3, 0, INMFTIME), time},
                                  {tu(4, 0, INMDSNAM), small},
                                  {tu(1, 4, INMSIZE), &missing}}),
              1);
    EXPECT_EQ(number, 7u);
    EXPECT_EQ(lrecl, 84u);
    EXPECT_STREQ(name, "A.B");
    EXPECT_STREQ(util, "INMCOPY");
    EXPECT_STREQ(time, "19700101000000");
    EXPECT_STREQ(small, "A.B");
    EXPECT_EQ(missing, 99u);
    EXPECT_EQ(netdata_lrecl(r02.data(), r02.size(), 80), 84u);
    EXPECT_EQ(nje_netdata_get_tu(r02.data(), r02.size(), {{tu(7, 0, 1), &number}}), -1);
    // Outside INMR02 the units start right behind the name, and a unit cut by the record's end is missing.
    Bytes r03 = cat(hex("C9 D5 D4 D9 F0 F3"), units({{tu(1, 4, INMLRECL), 80}}));
    EXPECT_EQ(netdata_lrecl(r03.data(), r03.size(), 1), 80u);
    EXPECT_EQ(netdata_lrecl(r03.data(), r03.size() - 1, 1), 1u);

    // nje_isnetdata: INMR01, INMR03 passed over, INMR02 with A.B(C); the name limited to its size.
    struct rec {
        const char *name; // null: a data record
        Bytes units;
    };
    const rec i01{"INMR01", units({{tu(2, 0, INMFNODE), "N"}})}, i02{"INMR02", Bytes(r02.begin() + 6, r02.end())},
        i03{"INMR03", Bytes(r03.begin() + 6, r03.end())}, data{nullptr, {}};
    char out[NETDATA_DSNAME_MAX + 1];
    auto isnetdata = [&](std::vector<rec> recs, std::size_t size) {
        Bytes file = stream_of([&](netdata_writer &w) {
            for (const rec &r : recs) {
                if (r.name == nullptr)
                    nje_netdata_put_data(&w, nullptr, 0);
                else
                    nje_netdata_put_control(&w, r.name, r.units.data(), r.units.size());
            }
        });
        InputFile in(file);
        return nje_isnetdata(in.f, out, size);
    };
    EXPECT_EQ(isnetdata({i01, i03, i02}, NETDATA_DSNAME_MAX), 1);
    EXPECT_STREQ(out, "A.B(C)");
    EXPECT_EQ(isnetdata({i01, i02}, 4), 1);
    EXPECT_STREQ(out, "A.B(");
    EXPECT_EQ(isnetdata({data, i01, i02}, 20), 0);
    EXPECT_EQ(isnetdata({i01, data, i02}, 20), 0);
    EXPECT_EQ(isnetdata({i01, i03}, 20), 0); // the data end before INMR02
    EXPECT_EQ(isnetdata({i02, i01}, 20), 0);
    EXPECT_EQ(isnetdata({i01, {"INMR06", {}}, i02}, 20), 0);
}

// The central property: whatever the writer writes, the reader gives back record by record, with
// its flags and every text unit. JOBPUSH_NETDATA_SEED=<seed> replays a run.
TEST(NetdataRoundTrip, RandomRecordsComeBackExactly)
{
    unsigned seed = std::random_device{}();
    if (const char *s = std::getenv("JOBPUSH_NETDATA_SEED"))
        seed = static_cast<unsigned>(std::strtoul(s, nullptr, 10));
    std::printf("JOBPUSH_NETDATA_SEED=%u\n", seed);
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

    struct control {
        std::vector<std::string> strings; // one kind-2 unit each, keys 0x1000 + i
        std::vector<uint32_t> numbers;    // one kind-1 unit each, 4 bytes, keys 0x2000 + i
    };
    std::vector<logical> want;
    std::vector<control> controls;
    Bytes file = stream_of([&](netdata_writer &w) {
        for (int i = 0; i < 200; ++i) {
            if (pick(0, 4) == 0) {
                control c;
                std::vector<nje_tu> list;
                for (int k = pick(0, 40); k > 0; --k) {
                    if (pick(0, 1)) {
                        std::string s;
                        for (int n = pick(1, 12); n > 0; --n)
                            s += static_cast<char>('A' + pick(0, 25));
                        c.strings.push_back(s);
                    } else {
                        c.numbers.push_back(static_cast<uint32_t>(rng()));
                    }
                }
                for (std::size_t k = 0; k < c.strings.size(); ++k)
                    list.emplace_back(tu(2, 0, static_cast<uint16_t>(0x1000 + k)), c.strings[k].c_str());
                for (std::size_t k = 0; k < c.numbers.size(); ++k)
                    list.emplace_back(tu(1, 4, static_cast<uint16_t>(0x2000 + k)), c.numbers[k]);
                Bytes area(2048);
                const int n = nje_netdata_put_tu(area, 0, list);
                ASSERT_GE(n, 0);
                ASSERT_EQ(nje_netdata_put_control(&w, "INMR03", area.data(), static_cast<std::size_t>(n)), 0);
                want.push_back({0xE0, cat(hex("C9 D5 D4 D9 F0 F3"), Bytes(area.begin(), area.begin() + n))});
                controls.push_back(c);
            } else {
                Bytes d(static_cast<std::size_t>(pick(0, 1000)));
                for (unsigned char &b : d)
                    b = static_cast<unsigned char>(rng());
                ASSERT_EQ(nje_netdata_put_data(&w, d.data(), d.size()), 0);
                want.push_back({0xC0, d});
            }
        }
    });
    std::vector<logical> got = read_all(file);
    ASSERT_EQ(got.size(), want.size()) << "seed " << seed;
    std::size_t ci = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].data, want[i].data) << "record " << i << " seed " << seed;
        // The reader hands back the first segment's flags: 0x80 (plus 0x40 when alone) and 0x20.
        EXPECT_EQ(got[i].flags & 0xA0u, want[i].flags & 0xA0u) << "record " << i << " seed " << seed;
        EXPECT_EQ(got[i].flags & 0x40u, got[i].data.size() <= 253 ? 0x40u : 0u)
            << "record " << i;
        if (!(want[i].flags & 0x20))
            continue;
        const control &c = controls[ci++];
        for (std::size_t k = 0; k < c.strings.size(); ++k) {
            char s[16];
            ASSERT_EQ(nje_netdata_get_tu(got[i].data.data(), got[i].data.size(),
                                         {{tu(2, 0, static_cast<uint16_t>(0x1000 + k)), s}}),
                      0);
            EXPECT_EQ(s, c.strings[k]) << "seed " << seed;
        }
        for (std::size_t k = 0; k < c.numbers.size(); ++k) {
            uint32_t v = 0;
            ASSERT_EQ(nje_netdata_get_tu(got[i].data.data(), got[i].data.size(),
                                         {{tu(1, 4, static_cast<uint16_t>(0x2000 + k)), &v}}),
                      0);
            EXPECT_EQ(v, c.numbers[k]) << "seed " << seed;
        }
    }
}

TEST(NetdataRead, UnloadingTheStream)
{
    // INMR01, INMR02 naming the carriage control (or none), data records, INMR06 (or not).
    auto stream = [](uint32_t recfm, std::vector<Bytes> data, bool end, bool data_first = false) {
        return stream_of([&](netdata_writer &w) {
            if (data_first)
                nje_netdata_put_data(&w, data[0].data(), data[0].size());
            nje_netdata_put_control(&w, "INMR01", nullptr, 0);
            Bytes u = units({{tu(5, 4, 0), 1}, {tu(1, 2, INMRECFM), recfm}});
            nje_netdata_put_control(&w, "INMR02", u.data(), u.size());
            for (const Bytes &d : data)
                nje_netdata_put_data(&w, d.data(), d.size());
            if (end)
                nje_netdata_put_control(&w, "INMR06", nullptr, 0);
        });
    };
    auto unload = [](const Bytes &file, int format, int size = 256) {
        InputFile in(file);
        char *text = nullptr;
        std::size_t n = 0;
        std::FILE *out = open_memstream(&text, &n);
        const int rc = nje_netdata_fromibm(in.f, out, format, size);
        std::fclose(out);
        std::string s(text, n);
        std::free(text);
        return std::to_string(rc) + ":" + s;
    };
    const std::vector<Bytes> asa = {hex("40 C1"), hex("F0 C2"), hex("F1 C3")};
    EXPECT_EQ(unload(stream(0x9400, asa, true), 0), "0:\nA\n\nB\fC\n");
    EXPECT_EQ(unload(stream(0x4200, {hex("09 C1")}, true), 0), "0:A\n");
    EXPECT_EQ(unload(stream(0x9000, asa, true), 2, 1),
              std::string("0:\0\0\0\1\x40\0\0\0\1\xF0\0\0\0\1\xF1", 17));
    EXPECT_EQ(unload(stream(0x9000, asa, true), 1), "0:\x40\xC1\xF0\xC2\xF1\xC3");
    EXPECT_EQ(unload(stream(0x9000, asa, false), 1), "3:\x40\xC1\xF0\xC2\xF1\xC3");
    EXPECT_EQ(unload(stream(0x9000, asa, true, true), 1), "4:");
    EXPECT_EQ(unload(file_of(hex("03 C0 01")), 1), "4:");
    EXPECT_EQ(unload(Bytes(4, 0), 1), "4:");
}
