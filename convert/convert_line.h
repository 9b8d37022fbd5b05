// The line builder of the text conversion (internal to convert/): one text record built from
// characters: translation, tab stops, double-byte runs framed by SO/SI, truncation of long lines or
// folding of lines with double-byte text, and the record end (padding or trimming, IRS).
#pragma once

#include <algorithm>
#include <cstring>

#include "convert/convert_decode.h"
#include "support/wire.h"

struct TextSettings {
    const unsigned char *table; // nje_usr_AtoE when loaded, else nje_AtoE
    int lrecl;
    int tabs;
    bool fixed;
};

// Result of LineBuilder::put.
enum class Put {
    taken,  // the character is in the record (or dropped from a truncated line)
    cut,    // it does not fit: end this record and put it again into the next one
    no_room // a double-byte character that no record of lrecl bytes can hold (lrecl below 4)
};

struct LineBuilder {
    const TextSettings &s;
    unsigned char *rec; // lrecl + NJE_CONVERT_BUFFER_SLACK bytes at least
    int n = 0;
    bool in_run = false;   // inside a double-byte run
    bool folding = false;  // the line holds double-byte text: a full record is cut, not truncated
    bool dropping = false; // the line was truncated: the rest of it is dropped

    // Adds one character (not a newline).
    Put put(const WChar &ch);
    // Ends the record: closes a run, pads or trims, appends the IRS. The builder is then ready for
    // the next record of the same line (folding kept). @return the length including the IRS.
    int finish()
    {
        if (in_run) {
            rec[n++] = EBCDIC_SI;
            in_run = false;
        }
        int len = n;
        if (len == 0) {
            len = s.fixed ? s.lrecl : std::min(EMPTY_LINE_BLANKS, s.lrecl);
            std::memset(rec, EBCDIC_BLANK, static_cast<std::size_t>(len));
        } else if (s.fixed) {
            if (len < s.lrecl)
                std::memset(rec + len, EBCDIC_BLANK, static_cast<std::size_t>(s.lrecl - len));
            len = std::max(len, s.lrecl);
        } else {
            int m = len;
            while (m > 0 && rec[m - 1] == ASCII_BLANK)
                --m;
            if (m > 0)
                len = m;
        }
        rec[len] = RJE_IRS;
        n = 0;
        dropping = false;
        return len + 1;
    }

    static constexpr unsigned char ASCII_BLANK = 0x20; // trimmed from the end of variable text records
    static constexpr int EMPTY_LINE_BLANKS = 3;        // an empty variable line becomes this many blanks
};

// The table for file data: nje_usr_AtoE when loaded, else nje_AtoE.
const unsigned char *convert_file_table();

// Forgets what convert_read_line keeps between calls (the rest of a cut line), so that a stream
// opened where a closed one was is read from its start.
void convert_read_line_forget();
