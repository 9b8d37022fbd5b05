// The pattern matcher and the job card, USR=(...) and $HASP125 finders built on it.
#include "support/jobcard.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

struct Match {
    int result;
    std::vector<std::string> captures;
};

// Matches text (its length includes the NUL unless cut) with capture buffers of the given sizes.
Match match(const char *pattern, const std::string &text, std::vector<int> sizes = {20, 20}, int length = -1)
{
    std::vector<std::vector<char>> buffers;
    std::vector<match_capture> caps;
    for (int size : sizes)
        buffers.emplace_back(static_cast<std::size_t>(size) + 8, '#'); // room to see an overrun
    for (std::size_t i = 0; i < sizes.size(); ++i)
        caps.push_back({buffers[i].data(), sizes[i]});
    const int len = length >= 0 ? length : static_cast<int>(text.size()) + 1;
    Match m{match_pattern(pattern, text.c_str(), len, caps), {}};
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::vector<char> &b = buffers[i];
        for (std::size_t j = static_cast<std::size_t>(sizes[i]); j < b.size(); ++j)
            EXPECT_EQ(b[j], '#') << "capture " << i + 1 << " written past its size in " << pattern;
        m.captures.push_back(b[0] == '#' ? "<untouched>" : std::string(b.data()));
    }
    return m;
}

} // namespace

TEST(MatchPattern, Language)
{
    const struct {
        const char *pattern;
        std::string text;
        std::vector<int> sizes;
        int result;
        std::vector<std::string> captures;
    } cases[] = {
        {"-//$1  JOB ($2)", "//MYJOB  JOB (1234),'PROG',CLASS=A", {20, 20}, 2, {"MYJOB", "1234"}},
        {"-//$1  JOB ($2)", "  //X JOB(9)", {20, 20}, 2, {"X", "9"}},
        {"-JOB $1 -HASP100 $2", "JOB 1234 $HASP100 MYJOB ON READER1", {10, 7}, 2, {"1234", "MYJOB "}},
        {"-HASP125 R-RD$1 ", "$HASP125 R5.RD3 SKIPPED", {10}, 1, {"3"}},
        {"$1,$2", "abc,def", {3, 10}, 2, {"ab", "def"}}, // full: the c is passed over
        {"A B", "AB", {}, 0, {}},
        {"A B", "A  \t B", {}, 0, {}},
        {"A B", "A   ", {}, -1, {}}, // the text must go on after the blanks
        {"AB", "ABC", {}, 0, {}},
        {"AB", "XAB", {}, -1, {}},
        {"'AB'", "xxAAB", {}, 0, {}},
        {"'A.'C", "xxAyC", {}, 0, {}},
        {"-B", "xxx", {}, -1, {}},
        {"\\$\\ $1", "$ abc", {10}, 1, {"abc"}},
        {"\\.\\\\.", "x.", {}, 0, {}},
        {"\\\\.", "x", {}, -1, {}},
        {"[AB]?BX", "B", {}, 0, {}},  // the class matched B: success at once
        {"[AB]?BX", "AX", {}, 0, {}}, // otherwise ?B is passed over
        {"[AB]?BX", "A", {}, -1, {}},
        {"$1[,;]$2", "ab;cd", {10, 10}, 2, {"ab", "cd"}},
        // The last capture runs to the NUL, which must come within the length.
        {"x$1", "xabc", {10}, 1, {"abc"}},
        // Faults of the pattern fail, nothing is written outside the buffers.
        {"$0", "abc", {10}, -1, {"<untouched>"}},
        {"$1$2", "abc", {10}, -1, {"abc"}},
        {"a$2", "abc", {10}, -1, {"<untouched>"}},
        {"a[bc", "abc", {}, -1, {}},
        {"ab\\", "abc", {}, -1, {}},
        {"'ab", "abc", {}, -1, {}},
        {"a?", "abc", {}, -1, {}},
        {"a$1", "abc", {0}, -1, {"<untouched>"}},
    };
    for (const auto &c : cases) {
        const Match m = match(c.pattern, c.text, c.sizes);
        EXPECT_EQ(m.result, c.result) << c.pattern << " on " << c.text;
        EXPECT_EQ(m.captures, c.captures) << c.pattern << " on " << c.text;
    }
    // A last capture whose text has no NUL within its length fails and keeps what it took.
    const Match cut = match("$1", "abcdef", {10}, 3);
    EXPECT_EQ(cut.result, -1);
    EXPECT_EQ(cut.captures[0], "abc");
}

TEST(MatchPattern, TaggedItems)
{
    char a[8] = {}, b[8] = {};
    const char *text = "k=v";
    EXPECT_EQ(match_pattern(MATCH_PATTERN, "$1=$2", MATCH_TEXT, text, 4, MATCH_BUFFER, a, 8, MATCH_BUFFER, b,
                            8, MATCH_END),
              2);
    EXPECT_STREQ(a, "k");
    EXPECT_STREQ(b, "v");
    EXPECT_EQ(match_pattern(MATCH_PATTERN, "k", MATCH_TEXT, text, 4, 7, MATCH_END), -1);
    EXPECT_EQ(match_pattern(MATCH_PATTERN, "k", MATCH_END), -1);

    match_state st{"[xy]z"};
    EXPECT_EQ(match_char(&st, 'a'), -1);
    EXPECT_STREQ(st.pattern, "[xy]z");
    EXPECT_EQ(match_char(&st, 'y'), 0);
    EXPECT_EQ(st.class_char, 'y');
    EXPECT_EQ(match_char(&st, 'z'), 0);
    EXPECT_EQ(match_char(&st, 'z'), -1); // the end of the pattern matches the NUL only
    EXPECT_EQ(match_char(&st, '\0'), 0);
}

TEST(JobCard, NamesAccountAndProgrammer)
{
    const struct {
        std::string card;
        int result;
        const char *jobname, *jobno, *progname;
    } cases[] = {
        {"//MYJOB  JOB (1234),'PROG NAME',CLASS=A", 1, "MYJOB", "1234", "PROG NAME"},
        {"//J JOB (1),CLASS=A", 1, "J", "1", ""},
        {"//J JOB (1),SMITH,CLASS=A", 1, "J", "1", "SMITH"},
        {"//J JOB (1),'O''BRIEN'", 1, "J", "1", "O''BRIEN"},
        // Too long for a name field: the text between the quotes, cut to the caller's size.
        {"//J JOB (1),'A VERY LONG PROGRAMMER NAME',CLASS=A", 1, "J", "1", "A VERY LON"},
        {"// JOB", 0, "", "", ""},
        {"PRINT REPORT", 0, "", "", ""},
    };
    for (const auto &c : cases) {
        char jobname[9] = {}, jobno[20] = {}, progname[12] = {};
        std::memset(progname, '#', sizeof progname);
        std::memset(progname, 0, 10);
        EXPECT_EQ(jobcard(c.card.c_str(), static_cast<int>(c.card.size()) + 1, jobname, sizeof jobname, jobno,
                          sizeof jobno, progname, 10, 0),
                  c.result)
            << c.card;
        EXPECT_STREQ(jobname, c.jobname);
        EXPECT_STREQ(jobno, c.jobno);
        EXPECT_EQ(std::string(progname, strnlen(progname, 10)), c.progname);
        EXPECT_EQ(progname[10], '#'); // nothing past the size
    }

    const struct {
        const char *field;
        int result;
        const char *name;
    } names[] = {
        {"'PROG NAME',CLASS=A", 1, "PROG NAME"},
        {"JOE,X", 1, "JOE"},
        {"JOE ABC", 1, "JOE"},
        {"CLASS=A", -1, "CLASS=A"},
        {"", -1, ""},
        {"'", -1, ""},
        {"'12345678901234567890'", -1, "'12345678901234567890'"},
    };
    for (const auto &n : names) {
        char field[64];
        std::strcpy(field, n.field);
        EXPECT_EQ(setupname(field), n.result) << n.field;
        if (n.result == 1) {
            EXPECT_STREQ(field, n.name);
        }
    }
}

TEST(JobCard, UsrCardAndSkippedReader)
{
    char text[] = "ROUTE ME usr=(JOE)\0XXXXXXXX";
    EXPECT_EQ(usrcard(text, sizeof text), 1);
    EXPECT_STREQ(text, "joe)"); // always terminated
    char none[] = "ROUTE ME USR(JOE)";
    EXPECT_EQ(usrcard(none, sizeof none), 0);
    EXPECT_STREQ(none, "ROUTE ME USR(JOE)");
    char unterminated[] = {'U', 'S', 'R', '=', '(', 'J'};
    EXPECT_EQ(expnch(unterminated, sizeof unterminated), 0);

    const struct {
        const char *text;
        int reader;
    } readers[] = {{"$HASP125 R5.RD3 SKIPPED", 2},  {"$HASP125 R5.RD1 SKIPPED", 0},
                   {"$HASP125 R5.RD7 X", 6},        {"$HASP125 R5.RD8 SKIPPED", -1},
                   {"$HASP125 R5.RDX SKIPPED", -1}, {"$HASP100 R5.RD3 X", -1}};
    for (const auto &r : readers)
        EXPECT_EQ(skipped(r.text, static_cast<int>(std::strlen(r.text)) + 1), r.reader) << r.text;
}
