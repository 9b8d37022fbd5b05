// Job card scanning: the pattern matcher and the job card, USR=(...) and $HASP125 finders built on it.
#include "support/jobcard.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "convert/rje_expand.h"
#include "support/rje_util.h"

namespace
{

constexpr const char *JOBCARD_PATTERN = "-//$1  JOB ($2)";
constexpr const char *PROGRAMMER_PATTERN = "'),'$1"; // the text after the account's "),"
constexpr const char *USR_PATTERN = "'[Uu][Ss][Rr]=('$1";
constexpr const char *HASP125_PATTERN = "-HASP125 R-RD$1 ";

constexpr std::size_t JOBCARD_FIELD = 164; // the programmer-name field and the rest of the card
constexpr std::size_t JOBCARD_NAME = 256;  // the programmer name found
constexpr std::size_t SETUPNAME_MAX = 20;  // longest programmer name, quotes included
constexpr int USR_CAPTURE = 20;            // user identification: 19 characters and a NUL
constexpr int READER_CAPTURE = 10;         // reader number: 9 digits and a NUL
constexpr int READERS = 7;                 // skipped() answers readers 1 to 7 as 0 to 6

enum class element_kind { any, one_of, literal };

// One single-character element of a pattern.
struct element {
    element_kind kind = element_kind::literal;
    const char *set = nullptr; // one_of: the characters listed
    std::size_t set_length = 0;
    char literal = 0;
    const char *next = nullptr; // the pattern after the element
};

// Parses the single-character element at p. @return false when the pattern ends at or inside it.
bool parse_element(const char *p, element &e)
{
    switch (*p) {
    case '\0':
        return false;
    case '.':
        e.kind = element_kind::any;
        e.next = p + 1;
        return true;
    case '[': {
        const char *close = std::strchr(p + 1, ']');
        if (close == nullptr)
            return false;
        e.kind = element_kind::one_of;
        e.set = p + 1;
        e.set_length = static_cast<std::size_t>(close - (p + 1));
        e.next = close + 1;
        return true;
    }
    case '\\':
        if (p[1] == '\0')
            return false;
        e.kind = element_kind::literal;
        e.literal = p[1];
        e.next = p + 2;
        return true;
    default:
        e.kind = element_kind::literal;
        e.literal = *p;
        e.next = p + 1;
        return true;
    }
}

// Whether the element matches c; a class remembers the character it matched. NUL matches nothing.
bool element_matches(const element &e, char c, int &class_char)
{
    if (c == '\0')
        return false;
    switch (e.kind) {
    case element_kind::any:
        return true;
    case element_kind::one_of:
        if (std::memchr(e.set, c, e.set_length) == nullptr)
            return false;
        class_char = static_cast<unsigned char>(c);
        return true;
    case element_kind::literal:
        return e.literal == c;
    }
    return false;
}

struct matcher {
    match_state state;
    const char *text;
    int length;
    int pos = 0;
    std::span<const match_capture> captures;
    int captured = 0;

    bool text_ended() const { return pos >= length || text[pos] == '\0'; }

    bool one_element();
    bool capture(int which);
    bool skip();
    bool search();
    bool blanks();
};

// A single-character element against the next text character.
bool matcher::one_element()
{
    if (text_ended())
        return false;
    if (match_char(&state, text[pos]) != 0)
        return false;
    ++pos;
    return true;
}

bool matcher::capture(int which)
{
    if (which < 1 || static_cast<std::size_t>(which) > captures.size())
        return false;
    const match_capture &cap = captures[static_cast<std::size_t>(which) - 1];
    if (cap.buffer == nullptr || cap.size < 1)
        return false;
    const int room = cap.size - 1;
    int n = 0;
    cap.buffer[0] = '\0';

    if (*state.pattern == '\0') {
        // The last element: up to the NUL, which must come within the text's length.
        for (; n < room; ++n, ++pos) {
            if (pos >= length)
                break;
            if (text[pos] == '\0')
                break;
            cap.buffer[n] = text[pos];
        }
        cap.buffer[n] = '\0';
        if (n < room && pos >= length)
            return false;
        ++captured;
        return true;
    }

    element end;
    if (!parse_element(state.pattern, end))
        return false;
    for (;;) {
        if (text_ended()) {
            cap.buffer[n] = '\0';
            return false;
        }
        const char c = text[pos++];
        if (match_char(&state, c) == 0)
            break;
        if (n == room)
            break; // full: c is passed over, the element is still to match
        cap.buffer[n++] = c;
    }
    cap.buffer[n] = '\0';
    ++captured;
    return true;
}

bool matcher::skip()
{
    element e;
    if (!parse_element(state.pattern, e))
        return false;
    while (!text_ended()) {
        if (match_char(&state, text[pos++]) == 0)
            return true;
    }
    return false;
}

bool matcher::search()
{
    // The quoted elements must be closed by a quote before the search begins.
    const char *first = state.pattern;
    const char *p = first;
    element e;
    while (*p != '\'') {
        if (!parse_element(p, e))
            return false;
        p = e.next;
    }
    const char *after = p + 1;
    for (int start = pos;; ++start) {
        int at = start;
        const char *q = first;
        while (*q != '\'') {
            parse_element(q, e);
            if (at >= length || !element_matches(e, text[at], state.class_char))
                break;
            ++at;
            q = e.next;
        }
        if (*q == '\'') {
            pos = at;
            state.pattern = after;
            return true;
        }
        if (start >= length || text[start] == '\0')
            return false;
    }
}

bool matcher::blanks()
{
    while (pos < length && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    return !text_ended();
}

} // namespace

int match_char(match_state *state, int c)
{
    if (*state->pattern == '\0')
        return c == '\0' ? 0 : -1;
    element e;
    int class_char = state->class_char;
    if (!parse_element(state->pattern, e) || !element_matches(e, static_cast<char>(c), class_char))
        return -1;
    state->class_char = class_char;
    state->pattern = e.next;
    return 0;
}

int match_pattern(const char *pattern, const char *text, int length, std::span<const match_capture> captures)
{
    if (pattern == nullptr || text == nullptr)
        return -1;
    matcher m{{pattern}, text, std::max(length, 0), 0, captures, 0};
    match_state &st = m.state;
    while (*st.pattern != '\0') {
        const char *p = st.pattern;
        bool ok = true;
        switch (*p) {
        case ' ':
            st.pattern = p + 1;
            ok = m.blanks();
            break;
        case '$':
            if (p[1] < '1' || p[1] > '9')
                return -1;
            st.pattern = p + 2;
            ok = m.capture(p[1] - '0');
            break;
        case '-':
            st.pattern = p + 1;
            ok = m.skip();
            break;
        case '\'':
            st.pattern = p + 1;
            ok = m.search();
            break;
        case '?':
            if (p[1] == '\0')
                return -1;
            if (st.class_char == static_cast<unsigned char>(p[1]))
                return m.captured;
            st.pattern = p + 2;
            break;
        case '\\':
            st.pattern = p + 1;
            ok = *st.pattern != '\0' && m.one_element();
            break;
        default:
            ok = m.one_element();
            break;
        }
        if (!ok)
            return -1;
    }
    return m.captured;
}

int match_pattern(int tag, ...)
{
    const char *pattern = nullptr;
    const char *text = nullptr;
    int length = 0;
    match_capture captures[MATCH_MAX_BUFFERS];
    std::size_t count = 0;

    va_list items;
    va_start(items, tag);
    for (; tag != MATCH_END; tag = va_arg(items, int)) {
        switch (tag) {
        case MATCH_PATTERN:
            pattern = va_arg(items, const char *);
            break;
        case MATCH_TEXT:
            text = va_arg(items, const char *);
            length = va_arg(items, int);
            break;
        case MATCH_BUFFER: {
            char *buffer = va_arg(items, char *);
            const int size = va_arg(items, int);
            if (count < MATCH_MAX_BUFFERS)
                captures[count++] = {buffer, size};
            break;
        }
        default:
            va_end(items);
            return -1;
        }
    }
    va_end(items);
    return match_pattern(pattern, text, length, std::span<const match_capture>(captures, count));
}

int setupname(char *field)
{
    bool quoted = false;
    std::size_t end = 0;
    for (; field[end] != '\0'; ++end) {
        const char c = field[end];
        if (c == '\'') {
            if (field[end + 1] == '\'') {
                ++end; // a doubled quote stays in the name and toggles nothing
                continue;
            }
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        if (c == ' ' || c == ',')
            break;
        if (c == '=')
            return -1; // a keyword parameter: there is no programmer name
    }
    if (end > SETUPNAME_MAX)
        return -1;
    if (field[0] == '\'') {
        std::size_t n = end;
        if (n >= 2 && field[n - 1] == '\'')
            --n; // the closing quote
        std::memmove(field, field + 1, n - 1);
        field[n - 1] = '\0';
    } else {
        field[end] = '\0';
    }
    return field[0] != '\0' ? 1 : -1;
}

int jobcard(const char *text, int len, char *jobname, int jobname_size, char *jobno, int jobno_size,
            char *progname, int progname_size, int debug)
{
    FILE *trace = utiltracefd != nullptr ? utiltracefd : stderr;
    const match_capture card[] = {{jobname, jobname_size}, {jobno, jobno_size}};
    if (match_pattern(JOBCARD_PATTERN, text, len, card) != 2)
        return 0;
    if (debug)
        std::fputs("jobcard: found jobname and jobno\n", trace);

    char field[JOBCARD_FIELD] = {};
    char name[JOBCARD_NAME] = {};
    const match_capture rest[] = {{field, static_cast<int>(sizeof field)}};
    if (match_pattern(PROGRAMMER_PATTERN, text, len, rest) == 1) {
        if (debug)
            std::fprintf(trace, "jobcard: found progname=%s now call 'setupname'\n", field);
        char cut[JOBCARD_FIELD];
        std::memcpy(cut, field, sizeof cut);
        if (setupname(cut) == 1)
            std::memcpy(name, cut, sizeof cut);
    }
    if (name[0] == '\0') {
        // The characters between the first quote and the next one (or the end of the field).
        if (const char *open = std::strchr(field, '\'')) {
            const char *from = open + 1;
            const char *close = std::strchr(from, '\'');
            const std::size_t n =
                close != nullptr ? static_cast<std::size_t>(close - from) : std::strlen(from);
            std::memcpy(name, from, std::min(n, sizeof name - 1));
        }
    }
    if (progname != nullptr && progname_size > 0)
        std::memcpy(progname, name, std::min(std::strlen(name), static_cast<std::size_t>(progname_size)));
    if (debug) {
        const int shown = static_cast<int>(strnlen(text, static_cast<std::size_t>(std::max(len, 0))));
        std::fprintf(trace, "jobcard: return(1): tbuf=\n%.*s\n", shown, text);
    }
    return 1;
}

int exprnt(const char *text, int len, char *jobname, int jobname_size, char *jobno, int jobno_size,
           char *progname, int progname_size, int debug)
{
    return jobcard(text, len, jobname, jobname_size, jobno, jobno_size, progname, progname_size, debug);
}

int usrcard(char *text, int len)
{
    char user[USR_CAPTURE] = {};
    const match_capture cap[] = {{user, USR_CAPTURE}};
    if (match_pattern(USR_PATTERN, text, len, cap) < 1)
        return 0;
    rje_lowercase(user);
    if (len < 1)
        return 1;
    const std::size_t n = std::min(std::strlen(user), static_cast<std::size_t>(len) - 1);
    std::memcpy(text, user, n);
    text[n] = '\0';
    return 1;
}

int expnch(char *text, int len)
{
    usrcard(text, len);
    return 0;
}

int skipped(const char *text, int len)
{
    char reader[READER_CAPTURE] = {};
    const match_capture cap[] = {{reader, READER_CAPTURE}};
    if (match_pattern(HASP125_PATTERN, text, len, cap) < 1)
        return -1;
    const int index = std::atoi(reader) - 1;
    return index >= 0 && index < READERS ? index : -1;
}
