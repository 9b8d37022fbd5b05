// Nodal message records from host console lines: expansion of the line, the user it concerns (console
// user pattern, $HASP100 job name, the console's last user, "System") and the 162-byte record.
#include "support/rje_nmr.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "convert/translate.h"
#include "support/jobcard.h"

char con_userid[NMR_CONSOLES][NMR_USERID_SIZE];
char to_userid[NMR_USERID_SIZE];

namespace
{

constexpr const char *SYSTEM_USER = "System";
constexpr const char *HASP100_PATTERN = "-JOB $1 -HASP100 $2";
constexpr int JOBNO_CAPTURE = 10;
constexpr std::size_t CONUIDS_MIN = 2;    // a shorter console user pattern is not used
constexpr std::size_t CONUIDS_CHARS = 46; // characters of it taken into the pattern
constexpr int TRACE_LEVEL = 5;
constexpr std::size_t TRACE_LINE_MIN = 5;

void put_name(unsigned char *field, const char *name)
{
    std::memset(field, 0, NMR_NAME_SIZE);
    nje_AtoE_str(name, std::span<unsigned char>(field, NMR_NAME_SIZE));
}

// "-", the console user pattern up to its first "<" without its "$" characters, then "$1".
void console_pattern(const char *conuids, char *pattern)
{
    std::size_t n = 0;
    pattern[n++] = '-';
    std::size_t taken = 0;
    for (const char *p = conuids; *p != '\0' && *p != '<' && taken < CONUIDS_CHARS; ++p) {
        if (*p == '$')
            continue;
        pattern[n++] = *p;
        ++taken;
    }
    pattern[n++] = '$';
    pattern[n++] = '1';
    pattern[n] = '\0';
}

// Chooses the user of a line from a compressed block and leaves it in to_userid, or returns the
// console's remembered user or "System".
const char *choose_user(const char *ascii, int console, const char *conuids, bool trace)
{
    FILE *tf = utiltracefd != nullptr ? utiltracefd : stderr;
    const int length = static_cast<int>(std::strlen(ascii)) + 1; // the NUL ends a last capture
    char *remembered = console >= 0 && console < NMR_CONSOLES ? con_userid[console] : nullptr;
    const match_capture user_capture[] = {{to_userid, static_cast<int>(NMR_USERID_SIZE)}};

    if (conuids != nullptr && std::strlen(conuids) >= CONUIDS_MIN) {
        char pattern[1 + CONUIDS_CHARS + 3];
        console_pattern(conuids, pattern);
        if (trace)
            std::fprintf(tf, "rje_make_nmr: console user pattern %s\n", pattern);
        if (match_pattern(pattern, ascii, length, user_capture) >= 1) {
            if (trace)
                std::fprintf(tf, "rje_make_nmr: console user %s\n", to_userid);
            if (remembered != nullptr && std::strcmp(remembered, to_userid) != 0) {
                std::memcpy(remembered, to_userid, NMR_USERID_SIZE - 1);
                remembered[NMR_USERID_SIZE - 1] = '\0';
            }
            return to_userid;
        }
        std::memset(to_userid, 0, sizeof to_userid);
    }

    char jobno[JOBNO_CAPTURE] = {};
    const match_capture hasp100[] = {{jobno, JOBNO_CAPTURE}, {to_userid, static_cast<int>(NMR_USERID_SIZE)}};
    if (match_pattern(HASP100_PATTERN, ascii, length, hasp100) == 2) {
        if (trace)
            std::fprintf(tf, "rje_make_nmr: job %s user %s\n", jobno, to_userid);
        return to_userid;
    }
    if (remembered != nullptr && remembered[0] != '\0')
        return remembered;
    return SYSTEM_USER;
}

} // namespace

int rje_make_nmr(const unsigned char **in, unsigned char **out, const unsigned char *in_end, const char *node,
                 rje_expand_ctx *ctct, int console, int compressed, const char *conuids, int debug_level)
{
    FILE *tf = utiltracefd != nullptr ? utiltracefd : stderr;
    const bool trace = debug_level >= TRACE_LEVEL;
    const bool packed = (compressed & 0xFF) != 0;
    unsigned char line[NMR_MSG_MAX + 1] = {};

    unsigned rc = 1;
    const unsigned char *pos = *in;
    if (packed) {
        unsigned char *o = line;
        rc = rje_expand(&pos, &o, NMR_MSG_MAX, in_end, ctct, trace ? 1 : 0, line);
        *in = pos;
        if (trace)
            std::fprintf(tf, "rje_make_nmr: rje_expand %u scb=0x%02x\n", rc, ctct->scb);
        if (rc == EOB_SPANNED)
            return 0;
    } else {
        const std::size_t n =
            in_end > pos ? std::min(static_cast<std::size_t>(in_end - pos), NMR_MSG_MAX) : 0;
        std::memcpy(line, pos, n);
        *in = pos + n;
    }

    unsigned char *record = *out;
    record[NMR_FLAG] = packed ? NMR_FLAG_COMPRESSED : NMR_FLAG_PLAIN;
    const std::size_t length = strnlen(reinterpret_cast<const char *>(line), NMR_MSG_MAX);
    if (length == 0)
        return 0;

    record[NMR_LEVEL_PRIO] = NMR_LEVEL_PRIO_VALUE;
    record[NMR_TYPE] = NMR_TYPE_MESSAGE;
    record[NMR_ML] = static_cast<unsigned char>(length);
    record[NMR_TOQUL] = 0;
    std::memset(to_userid, 0, sizeof to_userid);
    std::memset(record + NMR_TONOD, 0, NMR_NAME_SIZE);

    char ascii[nje_etoa_str_bound(static_cast<int>(NMR_MSG_MAX))] = {};
    nje_EtoA_str(line, ascii, static_cast<int>(length));
    // Users are looked for in the text without the new line that ended it, so that a name at the
    // end of the line does not carry it into NMRUSER.
    const std::size_t ascii_length = std::strlen(ascii);
    if (ascii_length > 0 && ascii[ascii_length - 1] == '\n')
        ascii[ascii_length - 1] = '\0';
    if (debug_level != 0 && std::strlen(ascii) > TRACE_LINE_MIN)
        std::fprintf(tf, "rje_make_nmr: %s\n", ascii);

    const char *user = packed ? choose_user(ascii, console & 0xFF, conuids, trace) : SYSTEM_USER;

    put_name(record + NMR_TONOD, node != nullptr ? node : "");
    put_name(record + NMR_USER, user);
    record[NMR_FMQUL] = NMR_FMQUL_VALUE;
    put_name(record + NMR_FMNOD, node != nullptr ? node : "");
    std::memset(record + NMR_MSG, 0, NMR_MSG_MAX);
    std::memcpy(record + NMR_MSG, line, length);

    *out = record + NMR_RECORD_SIZE;
    return static_cast<int>(rc);
}
