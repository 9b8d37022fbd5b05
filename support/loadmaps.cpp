// Translate map loader: "<rundir>/ebcdictoiso" holds lines "EBCDIC ISO" of two hexadecimal values
// (00-FF), '#' starting a comment; each pair is written into both built-in translate tables.
#include "support/loadmaps.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <libintl.h>
#include <string>

#include "convert/translate.h"
#include "support/rje_file.h"
#include "support/rundir.h"

unsigned char changed[256];
unsigned char internationalization = 0;

namespace
{

// Each read takes at most 79 characters: a longer line counts as several lines.
constexpr int MAP_LINE_BUF = 80;

// Parses a token of hexadecimal digits only into a table index.
// @return false when the token holds another character or the value is above 0xFF.
bool parse_code(const char *tok, size_t len, unsigned &value)
{
    value = 0;
    for (size_t i = 0; i < len; i++) {
        auto c = static_cast<unsigned char>(tok[i]);
        if (!std::isxdigit(c)) {
            return false;
        }
        value = value * 16 + static_cast<unsigned>(std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10);
        if (value > 0xFF) {
            return false;
        }
    }
    return true;
}

void report_start()
{
    std::fputs(gettext("loadmaps:  "), stderr);
}

void report_end(int line)
{
    std::fprintf(stderr, gettext("line number %d\n"), line);
}

// text and format are already translated.
void report(const char *text, int line)
{
    report_start();
    std::fputs(text, stderr);
    report_end(line);
}

void report_value(const char *format, const std::string &token, int line)
{
    report_start();
    std::fprintf(stderr, format, token.c_str());
    report_end(line);
}

} // namespace

int loadmaps()
{
    std::memset(changed, 0, sizeof changed);
    FILE *f = nullptr;
    if (rundir != nullptr) {
        std::string path = std::string(rundir) + "/" + LOADMAPS_FILE;
        f = rje_open_regular(path.c_str()); // a FIFO or device counts as no map file
    }
    if (f == nullptr) {
        internationalization = 0;
        return 0;
    }

    char buf[MAP_LINE_BUF];
    int line = 0;
    while (std::fgets(buf, sizeof buf, f) != nullptr) {
        line++;
        bool have_ebcdic = false, have_iso = false, error = false, too_many = false;
        unsigned ebcdic = 0, iso = 0;
        const char *p = buf;
        for (;;) {
            while (*p && std::isspace(static_cast<unsigned char>(*p))) {
                p++;
            }
            if (*p == '\0' || *p == '#') {
                break; // end of line, or a comment up to its end
            }
            const char *tok = p;
            while (*p && !std::isspace(static_cast<unsigned char>(*p))) {
                p++;
            }
            size_t len = static_cast<size_t>(p - tok);
            if (!have_ebcdic) {
                have_ebcdic = true;
                if (!parse_code(tok, len, ebcdic)) {
                    report_value(gettext("Illegal EBCDIC value %s, "), std::string(tok, len), line);
                    error = true;
                }
            } else if (!have_iso) {
                have_iso = true;
                if (!parse_code(tok, len, iso)) {
                    report_value(gettext("Illegal ISO value %s, "), std::string(tok, len), line);
                    error = true;
                }
            } else {
                too_many = true;
                break;
            }
        }
        if (error || !have_ebcdic) {
            continue;
        }
        if (!have_iso) {
            report(gettext("Two values required, "), line);
        } else if (too_many) {
            report(gettext("Too many translate values, "), line);
        } else {
            nje_EtoA[ebcdic] = static_cast<unsigned char>(iso);
            nje_AtoE[iso] = static_cast<unsigned char>(ebcdic);
            changed[iso] = 1;
            internationalization = 1;
        }
    }
    std::fclose(f);
    return 1;
}
