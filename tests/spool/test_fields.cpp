// Field dictionary and field operations: every field set and extracted without
// touching its neighbours, and the byte-level rules of each field type.
#include "spool/rje_fields.h"

#include "support/rje_util.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

// Every dictionary field: stored, extracted again, and no byte outside it changed; the field whose
// name keeps its historical misspelling, and the message text that no job header holds.
TEST(FieldDictionary, EveryFieldSetAndExtracted)
{
    EXPECT_EQ(nje_field_find("NMRMSG")->descriptor, 0x0200001Eu);
    EXPECT_EQ(nje_field_find("NJPHDISP")->descriptor, 0x02010005u);
    EXPECT_EQ(nje_field_find("NJHPDISP"), nullptr);
    const uint32_t when = 1700000000;
    for (const nje_field *f = nje_field_dictionary; f->name; ++f) {
        SCOPED_TRACE(f->name);
        const uint32_t d = f->descriptor, len = nje_field_length(d), off = nje_field_offset(d);
        std::array<unsigned char, 256> section, before;
        section.fill(0x5A);
        before = section;
        uint32_t number = 0;
        if (nje_field_type(d) == NJE_FIELD_INTEGER) {
            ASSERT_EQ(nje_section_update_fields(section.data(), {{d, 0x89ABCDEFu}}), 0);
            ASSERT_EQ(nje_section_extract_fields(section.data(), {{d, &number}}), 0);
            EXPECT_EQ(number, len >= 4 ? 0x89ABCDEFu : 0x89ABCDEFu & ((1u << (8 * len)) - 1));
        } else if (nje_field_type(d) == NJE_FIELD_CHARACTER) {
            std::string text;
            for (uint32_t i = 0; i < len; ++i)
                text += "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyz"[i % 62];
            ASSERT_EQ(nje_section_update_fields(section.data(), {{d, (text + "+overflow").c_str()}}), 0);
            char back[160] = "x";
            ASSERT_EQ(nje_section_extract_fields(section.data(), {{d, back}}), 0);
            EXPECT_EQ(back, text);
        } else {
            ASSERT_EQ(nje_field_type(d), NJE_FIELD_TIME);
            ASSERT_EQ(nje_section_update_fields(section.data(), {{d, nje_toibmtime(when)}}), 0);
            EXPECT_EQ(std::memcmp(section.data() + off + 4, "\0\0\0\0", 4), 0);
            ASSERT_EQ(nje_section_extract_fields(section.data(), {{d, &number}}), 0);
            EXPECT_TRUE(number <= when && number >= when - 2) << number; // both conversions truncate
        }
        for (size_t i = 0; i < section.size(); ++i)
            ASSERT_TRUE(section[i] == before[i] || (i >= off && i < off + len))
                << "byte " << i << " outside changed";
    }
}

TEST(FieldOperations, ByteRulesOfEachType)
{
    unsigned char s[64];
    std::memset(s, 0x5A, sizeof s);
    ASSERT_EQ(nje_section_update_fields(s, {{NJHGJID, 1234},
                                            {NDHACPYG, 5},
                                            {NJHGFLG1, 300},
                                            {NJHGPRIO, -1},
                                            {NJHGJNAM, "ZAK0078"},
                                            {NJHGJCLS, "\xc3\xa9\xc3\xa9"},
                                            {NJTGSTOP, nje_toibmtime(1000000000)}}),
              0);
    // 1234, the class cut to one byte, 300 -> 0x2C, -1 -> 0xFF, the time; seven characters leave the
    // eighth byte as it was: nothing is padded; an 8-byte field takes 5 in its last byte.
    EXPECT_EQ(Bytes(s, s + 64),
              hex("5A*4 04D2C35A2CFF 5A*6 B668EED800000000 E9C1D2F0F0F7F85A 5A*24 00000000000000 05"));

    unsigned char before[64];
    std::memcpy(before, s, sizeof s);
    EXPECT_EQ(nje_section_update_fields(s, {{0, 0}}), 0);
    EXPECT_EQ(nje_section_update_fields(s, {{NJHGACCT, static_cast<const char *>(nullptr)}}), 0);
    nje_section_zero_strings(s, {NJHGACCT, NJHGETS, NJHGJNAM, NJHGJID, 0, NJHGJCLS});
    EXPECT_EQ(std::memcmp(s, before, sizeof s), 0);

    uint32_t v = 7, stop = 0;
    char name[5];
    ASSERT_EQ(nje_section_extract_fields(s, {{NJHGJNAM, name}, {NJTGSTOP, &stop}}), 0);
    EXPECT_STREQ(name, "ZAK0"); // cut to the caller's room
    EXPECT_EQ(stop, 999999999u);
    std::memset(s, 0, 16);
    ASSERT_EQ(nje_section_update_fields(s, {{NJTGSTRT, 1u}}), 0); // a clock before 1970 reads as 0
    ASSERT_EQ(nje_section_extract_fields(s, {{NJTGSTRT, &v}, {NJTGFLG1, &stop}}), 0);
    EXPECT_EQ(v, 0u);
}

TEST(FieldOperations, ListEndsAndFailures)
{
    unsigned char s[64] = {};
    EXPECT_EQ(nje_section_update_fields(s, {{NJHGPRIO, 7}, {0, 0}, {NJHGORGQ, 1}}), 0);
    EXPECT_EQ(s[9], 7);
    EXPECT_EQ(s[10], 0);
    // The first unknown type or unsuitable value ends the list with -1; what came before stays.
    EXPECT_EQ(nje_section_update_fields(s, {{NJHGORGQ, 1}, {0x04010020u, 9}, {NJHGJCPY, 3}}), -1);
    EXPECT_EQ(s[10], 1);
    EXPECT_EQ(s[11], 0);
    EXPECT_EQ(nje_section_update_fields(s, {{NJHGJCLS, 3}}), -1);
    EXPECT_EQ(nje_section_update_fields(s, {{NJHGETS, "now"}}), -1);
    uint32_t v;
    char text[4];
    EXPECT_EQ(nje_section_extract_fields(s, {{0x00010004u, &v}}), -1);
    // Checked forms refuse fields that reach past the section.
    EXPECT_EQ(nje_section_update_fields(std::span<unsigned char>(s, 39), {{NJHGJID, 1}, {NJHGUSID, "X"}}),
              -1);
    EXPECT_EQ(s[32], 0);
    EXPECT_EQ(nje_section_update_fields(std::span<unsigned char>(s, 40), {{NJHGUSID, "X"}}), 0);
    EXPECT_EQ(nje_section_extract_fields(std::span<const unsigned char>(s, 40), {{NJHGPASS, text}}), -1);
    EXPECT_EQ(nje_section_extract_fields(std::span<const unsigned char>(s, 40), {{NJHGUSID, text}}), 0);
    EXPECT_STREQ(text, "X");
}
