// The line builder of the text conversion, and convert_read_line built on it.
#include "convert/convert_line.h"

#include <algorithm>

#include "convert/rje_convert.h"
#include "support/byteorder.h"

namespace
{

constexpr int DBCS_CHAR_ROOM = 4; // SO, two code bytes, SI

// The reader's memory between calls on one stream: a character that began the next record of a cut
// line, the line's folding state and the decoder's queue.
struct LineCarry {
    std::FILE *file = nullptr;
    bool has_char = false;
    WChar ch;
    bool folding = false;
    Decoder dec;
};
LineCarry carry;

const unsigned char *file_table()
{
    return nje_usr_AtoE != nullptr ? nje_usr_AtoE : nje_AtoE;
}

} // namespace

Put LineBuilder::put(const WChar &ch)
{
    if (dropping)
        return Put::taken;
    std::uint16_t code = 0;
    if (ch.is_dbcs(&code)) {
        if (s.lrecl < DBCS_CHAR_ROOM)
            return Put::no_room;
        const int need = (in_run ? 0 : 1) + 3; // SO?, code, closing SI
        if (n + need > s.lrecl) {
            if (!folding && n >= s.lrecl) {
                dropping = true;
                return Put::taken;
            }
            folding = true;
            return Put::cut;
        }
        if (!in_run)
            rec[n++] = EBCDIC_SO;
        be::put16(rec + n, code);
        n += 2;
        in_run = true;
        folding = true;
        return Put::taken;
    }
    const int need = (in_run ? 1 : 0) + 1;
    if (n + need > s.lrecl) {
        if (folding)
            return Put::cut;
        dropping = true;
        return Put::taken;
    }
    if (in_run) {
        rec[n++] = EBCDIC_SI;
        in_run = false;
    }
    if (s.tabs > 0 && ch.is_tab()) {
        do {
            rec[n++] = s.table[static_cast<unsigned char>(' ')];
        } while (n < s.lrecl && n % s.tabs != 0);
    } else {
        rec[n++] = s.table[ch.table_index()];
    }
    return Put::taken;
}

int convert_read_line(std::FILE *file, unsigned char *buffer, int lrecl, int tabs, int fixed)
{
    if (file == nullptr || buffer == nullptr || lrecl < 1)
        return -1;
    if (carry.file != file) {
        carry = LineCarry{};
        carry.file = file;
    }
    const TextSettings s{file_table(), lrecl, tabs, fixed != 0};
    LineBuilder lb{s, buffer};
    lb.folding = carry.folding;
    if (carry.has_char) {
        carry.has_char = false;
        lb.put(carry.ch);
    }
    StreamSource src{file};
    WChar ch;
    while (carry.dec.next(src, ch)) {
        if (ch.is_newline()) {
            carry.folding = false;
            return lb.finish();
        }
        const Put p = lb.put(ch);
        if (p == Put::no_room)
            return NJE_CONVERT_DBCS_NO_ROOM;
        if (p == Put::cut) {
            carry.has_char = true;
            carry.ch = ch;
            carry.folding = true;
            return lb.finish();
        }
    }
    carry.folding = false;
    if (lb.n == 0 && !lb.in_run)
        return -1;
    return lb.finish();
}

const unsigned char *convert_file_table()
{
    return file_table();
}

void convert_read_line_forget()
{
    carry = LineCarry{};
}
