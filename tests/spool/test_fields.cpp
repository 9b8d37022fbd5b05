// Field dictionary and field operations: the table's order and landmarks, every field set and
// extracted again without touching its neighbours, and the byte-level rules of each field type.
#include "spool/rje_fields.h"

#include "support/rje_util.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace {
constexpr unsigned char filler = 0x5A;
}

TEST(FieldDictionary, OrderLandmarksAndLookup)
{
    const nje_field *d = nje_field_dictionary;
    EXPECT_EQ(d[NJE_FIELD_COUNT].name, nullptr);
    EXPECT_EQ(d[NJE_FIELD_COUNT].descriptor, 0u);
    // First entry of each group, by position: a missing or misplaced entry moves them.
    const std::pair<size_t, const char *> firsts[] = {
        {0, "NJHGJID"},   {31, "NJHGNREC"}, {32, "NJH2FLG1"}, {39, "NJHPFLG1"},  {44, "NJHEPAGE"},
        {46, "NDHGNODE"}, {67, "NDHCFLG1"}, {70, "NDHAFLG1"}, {80, "NDHVFLG1"},  {91, "NDHPFLG1"},
        {107, "NJTGFLG1"}, {117, "NJTSAPAG"}, {119, "NMRFLAG"}, {148, "NMRMSG"}};
    for (const auto &[i, name] : firsts)
        EXPECT_STREQ(d[i].name, name) << "entry " << i;
    EXPECT_EQ(d[0].descriptor, 0x01020004u);
    EXPECT_EQ(nje_field_find("NJHGETS")->descriptor, 0x03080038u);
    EXPECT_EQ(nje_field_find("NMRMSG")->descriptor, 0x0200001Eu);
    EXPECT_EQ(nje_field_find("NJPHDISP")->descriptor, 0x02010005u);
    EXPECT_EQ(nje_field_find("NJHPDISP"), nullptr);
    EXPECT_EQ(nje_field_find("njhgjid"), nullptr);
    EXPECT_EQ(nje_field_find("NJHGJI"), nullptr);
    EXPECT_EQ(nje_field_find("NJH2USID")->descriptor, nje_field_find("NDHGRMT")->descriptor);
    for (size_t i = 0; i < NJE_FIELD_COUNT; ++i) {
        const uint32_t t = nje_field_type(d[i].descriptor);
        EXPECT_TRUE(t >= 1 && t <= 3) << d[i].name;
        EXPECT_EQ(nje_field_find(d[i].name), &d[i]) << "duplicate name " << d[i].name;
    }
}

// Every field of the dictionary: stored, extracted, and no byte outside it changed.
TEST(FieldDictionary, EveryFieldSetAndExtracted)
{
    const uint32_t when = 1700000000;
    for (const nje_field *f = nje_field_dictionary; f->name; ++f) {
        SCOPED_TRACE(f->name);
        const uint32_t d = f->descriptor, len = nje_field_length(d), off = nje_field_offset(d);
        std::array<unsigned char, 256> section;
        section.fill(filler);
        std::array<unsigned char, 256> before = section;
        switch (nje_field_type(d)) {
        case NJE_FIELD_INTEGER: {
            const uint32_t value = 0x89ABCDEF;
            ASSERT_EQ(nje_section_update_fields(section.data(), {{d, value}}), 0);
            uint32_t back = 0;
            ASSERT_EQ(nje_section_extract_fields(section.data(), {{d, &back}}), 0);
            EXPECT_EQ(back, len >= 4 ? value : value & ((1u << (8 * len)) - 1));
            break;
        }
        case NJE_FIELD_CHARACTER: {
            std::string text;
            for (uint32_t i = 0; i < len; ++i)
                text += "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyz"[i % 62];
            ASSERT_EQ(nje_section_update_fields(section.data(), {{d, (text + "+overflow").c_str()}}), 0);
            char back[160] = "x";
            ASSERT_EQ(nje_section_extract_fields(section.data(), {{d, back}}), 0);
            EXPECT_EQ(back, text);
            break;
        }
        case NJE_FIELD_TIME: {
            ASSERT_EQ(nje_section_update_fields(section.data(), {{d, nje_toibmtime(when)}}), 0);
            EXPECT_EQ(std::vector<unsigned char>(section.begin() + off + 4, section.begin() + off + 8),
                      std::vector<unsigned char>(4, 0));
            uint32_t back = 0;
            ASSERT_EQ(nje_section_extract_fields(section.data(), {{d, &back}}), 0);
            EXPECT_LE(back, when);
            EXPECT_GE(back, when - 2);
            break;
        }
        default:
            FAIL() << "bad type";
        }
        for (size_t i = 0; i < section.size(); ++i) {
            if (i < off || i >= off + len) {
                ASSERT_EQ(section[i], before[i]) << "byte " << i << " outside the field changed";
            }
        }
    }
}

TEST(FieldOperations, IntegerByteOrder)
{
    unsigned char s[64] = {};
    ASSERT_EQ(nje_section_update_fields(s, {{NJHGJID, 1234}, {NDHACPYG, 5}, {NJHGFLG1, 300}, {NJHGPRIO, -1}}), 0);
    EXPECT_EQ(s[4], 0x04);
    EXPECT_EQ(s[5], 0xD2);
    EXPECT_EQ(s[8], 0x2C);
    EXPECT_EQ(s[9], 0xFF);
    const unsigned char copyg[8] = {0, 0, 0, 0, 0, 0, 0, 5};
    EXPECT_EQ(std::memcmp(s + 56, copyg, 8), 0);

    unsigned char nmr[64];
    std::memset(nmr, 0xFF, sizeof nmr);
    nje_toibm_memcpy(0x01020304, nmr + 30, 20); // NMRFNORM: 16 zero bytes, then the value
    for (int i = 30; i < 46; ++i)
        EXPECT_EQ(nmr[i], 0) << i;
    EXPECT_EQ(nmr[46], 1);
    EXPECT_EQ(nmr[49], 4);
    EXPECT_EQ(nmr[50], 0xFF);
    uint32_t v = 7;
    nje_fromibm_memcpy(nmr + 30, &v, 20);
    EXPECT_EQ(v, 0x01020304u);
    nje_fromibm_memcpy(nmr, &v, 0);
    EXPECT_EQ(v, 0u);
    nje_toibm_memcpy(0xAB, nmr, 0); // stores nothing
    EXPECT_EQ(nmr[0], 0xFF);
}

TEST(FieldOperations, CharacterFieldsNeverPassTheirEnd)
{
    unsigned char s[64];
    std::memset(s, filler, sizeof s);
    // Seven characters leave the eighth byte as it was; nothing is padded.
    ASSERT_EQ(nje_section_update_fields(s, {{NJHGJNAM, "ZAK0078"}}), 0);
    const unsigned char zak[] = {0xE9, 0xC1, 0xD2, 0xF0, 0xF0, 0xF7, 0xF8, filler};
    EXPECT_EQ(std::memcmp(s + 24, zak, sizeof zak), 0);
    // Bytes above 0x7F and text that is not valid in the locale still stop at the field's end.
    ASSERT_EQ(nje_section_update_fields(s, {{NJHGJCLS, "\xc3\xa9\xc3\xa9"}, {NJHGUSID, "\xff\xfe\xe1\xe1\xe1\xe1\xe1\xe1\xe1\xe1\xe1"}}), 0);
    EXPECT_EQ(s[7], filler);
    EXPECT_EQ(s[40], filler);
    EXPECT_EQ(s[39], 0x81); // 0xE1 translates like 'a'
    // A null string stores nothing; zero_strings changes no byte.
    unsigned char before[64];
    std::memcpy(before, s, sizeof s);
    ASSERT_EQ(nje_section_update_fields(s, {{NJHGACCT, static_cast<const char *>(nullptr)}}), 0);
    nje_section_zero_strings(s, {NJHGACCT, NJHGETS, NJHGJNAM, NJHGJID, 0, NJHGJCLS});
    EXPECT_EQ(std::memcmp(s, before, sizeof s), 0);
    // Extraction trims trailing blanks and NULs and cuts to the caller's room.
    char name[5];
    ASSERT_EQ(nje_section_extract_fields(s, {{NJHGJNAM, name}}), 0);
    EXPECT_STREQ(name, "ZAK0");
}

TEST(FieldOperations, ListRulesAndFailures)
{
    unsigned char s[64] = {};
    unsigned char before[64] = {};
    EXPECT_EQ(nje_section_update_fields(s, {{0, 0}}), 0);
    EXPECT_EQ(nje_section_update_fields(s, std::span<const nje_field_set>{}), 0);
    EXPECT_EQ(std::memcmp(s, before, sizeof s), 0);
    // Stops at the closing 0 ...
    EXPECT_EQ(nje_section_update_fields(s, {{NJHGPRIO, 7}, {0, 0}, {NJHGORGQ, 1}}), 0);
    EXPECT_EQ(s[9], 7);
    EXPECT_EQ(s[10], 0);
    // ... and at the first unknown type or unsuitable value, keeping what came before.
    EXPECT_EQ(nje_section_update_fields(s, {{NJHGORGQ, 1}, {0x04010020u, 9}, {NJHGJCPY, 3}}), -1);
    EXPECT_EQ(s[10], 1);
    EXPECT_EQ(s[11], 0);
    EXPECT_EQ(nje_section_update_fields(s, {{NJHGJCLS, 3}}), -1);
    EXPECT_EQ(nje_section_update_fields(s, {{NJHGJID, "12"}}), -1);
    EXPECT_EQ(nje_section_update_fields(s, {{NJHGETS, "now"}}), -1);
    uint32_t v;
    char text[4];
    EXPECT_EQ(nje_section_extract_fields(s, {{NJHGJCLS, &v}}), -1);
    EXPECT_EQ(nje_section_extract_fields(s, {{NJHGJID, text}}), -1);
    EXPECT_EQ(nje_section_extract_fields(s, {{0x00010004u, &v}}), -1);

    // Checked forms refuse fields that reach past the section.
    EXPECT_EQ(nje_section_update_fields(std::span<unsigned char>(s, 31), {{NJHGJID, 1}, {NJHGUSID, "X"}}), -1);
    EXPECT_EQ(s[32], 0);
    EXPECT_EQ(nje_section_update_fields(std::span<unsigned char>(s, 40), {{NJHGUSID, "X"}}), 0);
    EXPECT_EQ(nje_section_extract_fields(std::span<const unsigned char>(s, 40), {{NJHGPASS, text}}), -1);
    EXPECT_EQ(nje_section_extract_fields(std::span<const unsigned char>(s, 40), {{NJHGUSID, text}}), 0);
    EXPECT_STREQ(text, "X");
}

TEST(FieldOperations, TimeFields)
{
    unsigned char s[64];
    std::memset(s, 0xFF, sizeof s);
    ASSERT_EQ(nje_section_update_fields(s, {{NJTGSTRT, nje_toibmtime(1000000000)}, {NJTGSTOP, 0u}}), 0);
    const unsigned char strt[] = {0xB6, 0x68, 0xEE, 0xD8, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(s + 8, strt, 8), 0);
    uint32_t start = 0, stop = 1;
    ASSERT_EQ(nje_section_extract_fields(s, {{NJTGSTRT, &start}, {NJTGSTOP, &stop}}), 0);
    EXPECT_EQ(start, 999999999u); // both conversions truncate
    EXPECT_EQ(stop, 0u);          // an unset clock
    // A clock before 1970 comes back as 0.
    ASSERT_EQ(nje_section_update_fields(s, {{NJTGSTRT, 1u}}), 0);
    ASSERT_EQ(nje_section_extract_fields(s, {{NJTGSTRT, &start}}), 0);
    EXPECT_EQ(start, 0u);
}
