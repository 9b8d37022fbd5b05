// The pattern matcher and the job card, programmer name, USR=(...) and $HASP125 finders built on it;
// their vectors are golden files (tests/data/support/match_pattern, jobcard).
#include "support/jobcard.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/golden.h"

TEST(MatchPattern, GoldenVectors)
{
    for (const Vector &v : load_golden("support/match_pattern")) {
        const std::string subject = v.str("text");
        std::vector<std::vector<char>> buffers;
        std::vector<match_capture> caps;
        std::istringstream sizes(v.get("sizes"));
        for (int size; sizes >> size;) {
            buffers.emplace_back(static_cast<std::size_t>(size) + 8, '#'); // room to see an overrun
            caps.push_back({buffers.back().data(), size});
        }
        EXPECT_EQ(match_pattern(v.str("pattern").c_str(), subject.c_str(),
                                v.num("length", static_cast<int>(subject.size()) + 1), caps),
                  v.num("result", 0))
            << v.file << ": " << v.str("pattern") << " on " << subject;
        std::vector<std::string> got, want;
        for (std::size_t i = 0; i < caps.size(); ++i) {
            const std::vector<char> &b = buffers[i];
            for (std::size_t j = static_cast<std::size_t>(caps[i].size); j < b.size(); ++j)
                EXPECT_EQ(b[j], '#') << "capture " << i + 1 << " written past its size in "
                                     << v.str("pattern");
            got.push_back(b[0] == '#' ? "<untouched>" : std::string(b.data()));
        }
        for (const std::string &c : v.all("capture"))
            want.push_back(text(c));
        EXPECT_EQ(got, want) << v.file << ": " << v.str("pattern") << " on " << subject;
    }
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

TEST(JobCard, GoldenVectors)
{
    for (const Vector &v : load_golden("support/jobcard")) {
        if (v.has("card")) {
            const std::string card = v.str("card");
            char jobname[9] = {}, jobno[20] = {}, progname[12];
            std::memset(progname, '#', sizeof progname);
            std::memset(progname, 0, 10);
            EXPECT_EQ(jobcard(card.c_str(), static_cast<int>(card.size()) + 1, jobname, sizeof jobname, jobno,
                              sizeof jobno, progname, 10, 0),
                      v.num("result", 0))
                << card;
            EXPECT_EQ(jobname, v.str("jobname")) << card;
            EXPECT_EQ(jobno, v.str("jobno")) << card;
            EXPECT_EQ(std::string(progname, strnlen(progname, 10)), v.str("progname")) << card;
            EXPECT_EQ(progname[10], '#'); // nothing past the size
        } else if (v.has("field")) {
            char field[64];
            std::strcpy(field, v.str("field").c_str());
            EXPECT_EQ(setupname(field), v.num("result", 0)) << v.str("field");
            if (v.has("name")) {
                EXPECT_EQ(field, v.str("name"));
            }
        } else {
            const std::string text = v.str("hasp");
            EXPECT_EQ(skipped(text.c_str(), static_cast<int>(text.size()) + 1), v.num("result", 0)) << text;
        }
    }
}

TEST(JobCard, UsrCard)
{
    char text[] = "ROUTE ME usr=(JOE)\0XXXXXXXX";
    EXPECT_EQ(usrcard(text, sizeof text), 1);
    EXPECT_STREQ(text, "joe)"); // always terminated
    char none[] = "ROUTE ME USR(JOE)";
    EXPECT_EQ(usrcard(none, sizeof none), 0);
    EXPECT_STREQ(none, "ROUTE ME USR(JOE)");
    char unterminated[] = {'U', 'S', 'R', '=', '(', 'J'};
    EXPECT_EQ(expnch(unterminated, sizeof unterminated), 0);
}
