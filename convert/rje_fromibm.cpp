// Conversion of IBM records back into workstation files, and the dataset reader that expands the
// SNA-compressed blocks of a data file (length, control byte, "SNA", block) into records.
#include "convert/rje_fromibm.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <span>
#include <vector>

#include "convert/rje_convert.h"
#include "convert/translate.h"
#include "convert/vector_scan.h"
#include "spool/rje_data.h"
#include "support/byteorder.h"

nje_output_routine userroutine = nullptr;

void nje_convert_set_user_output_routine(nje_output_routine routine)
{
    userroutine = routine;
}

namespace
{

constexpr char ASCII_NL = '\n';
constexpr char ASCII_CR = '\r';
constexpr char ASCII_FF = '\f';

// Machine carriage control: the low two bits tell when the command spaces.
constexpr unsigned char MACHINE_KIND = 0x03;
constexpr unsigned char MACHINE_IMMEDIATE = 0x03; // space now, before the text
constexpr unsigned char MACHINE_AFTER = 0x01;     // write the text, then space
// Immediate commands.
constexpr unsigned char MACHINE_NOP = 0x03;
constexpr unsigned char MACHINE_SKIP2_NOW = 0x13;
constexpr unsigned char MACHINE_SKIP3_NOW = 0x1B;
constexpr unsigned char MACHINE_EJECT_NOW = 0x8B;
// Write-and-space commands.
constexpr unsigned char MACHINE_WRITE_ONLY = 0x01;
constexpr unsigned char MACHINE_WRITE_SKIP2 = 0x11;
constexpr unsigned char MACHINE_WRITE_SKIP3 = 0x19;
constexpr unsigned char MACHINE_WRITE_EJECT = 0x89;
// ASA characters (EBCDIC).
constexpr unsigned char ASA_OVERPRINT = 0x4E; // '+'
constexpr unsigned char ASA_SKIP3 = 0x60;     // '-'
constexpr unsigned char ASA_SKIP2 = 0xF0;     // '0'
constexpr unsigned char ASA_EJECT = 0xF1;     // '1'

// Translation room on the stack: nje_EtoA_str makes at most 2n + 1 bytes of an n-byte text.
constexpr std::size_t TEXT_STACK = 1024;

// Spacing written one character at a time. A newline or form feed ends an open line; a carriage
// return leaves it open (the next text overprints it).
void space(FILE *out, char c, int times, int &open)
{
    for (int i = 0; i < times; ++i)
        std::fputc(c, out);
    if (times > 0 && c != ASCII_CR)
        open = 0;
}

// The spacing an immediate machine command does before its text.
void machine_before(FILE *out, unsigned char c, int &open)
{
    switch (c) {
    case MACHINE_NOP:
        break;
    case MACHINE_SKIP2_NOW:
        space(out, ASCII_NL, 2, open);
        break;
    case MACHINE_SKIP3_NOW:
        space(out, ASCII_NL, 3, open);
        break;
    case MACHINE_EJECT_NOW:
        space(out, ASCII_FF, 1, open);
        break;
    default:
        space(out, ASCII_NL, 1, open);
        break;
    }
}

// The spacing a write-and-space machine command does after its text.
void machine_after(FILE *out, unsigned char c, int &open)
{
    switch (c) {
    case MACHINE_WRITE_ONLY:
        break;
    case MACHINE_WRITE_SKIP2:
        space(out, ASCII_NL, 2, open);
        break;
    case MACHINE_WRITE_SKIP3:
        space(out, ASCII_NL, 3, open);
        break;
    case MACHINE_WRITE_EJECT:
        space(out, ASCII_FF, 1, open);
        break;
    default:
        space(out, ASCII_NL, 1, open);
        break;
    }
}

void asa_before(FILE *out, unsigned char c, int &open)
{
    switch (c) {
    case ASA_OVERPRINT:
        space(out, ASCII_CR, 1, open);
        break;
    case ASA_SKIP3:
        space(out, ASCII_NL, 3, open);
        break;
    case ASA_SKIP2:
        space(out, ASCII_NL, 2, open);
        break;
    case ASA_EJECT:
        space(out, ASCII_FF, 1, open);
        break;
    default:
        space(out, ASCII_NL, 1, open);
        break;
    }
}

// The text translate table: nje_EtoA with blanks and NULs as spaces; `nul` when another code translates
// to NUL (which ends the text there, as in nje_EtoA_str).
void make_text_table(unsigned char *table, bool &nul)
{
    std::memcpy(table, nje_EtoA, NJE_XLATE_TABLE_SIZE);
    table[EBCDIC_BLANK] = ASCII_SPACE;
    table[0x00] = ASCII_SPACE;
    nul = std::memchr(table, 0, NJE_XLATE_TABLE_SIZE) != nullptr;
}

// Translates an n-byte text as nje_EtoA_str does (trailing blanks and NULs dropped, inner ones become
// spaces) into room (2n + 2 bytes). Text without SO, which holds no double-byte segment, takes a
// byte-at-a-time path through the text table that gives the same bytes.
// @return the length of the translation.
std::size_t translate_text(const unsigned char *text, std::size_t n, std::span<char> room,
                           const unsigned char *table, bool nul)
{
    char *out = room.data();
    if (vector_scan::translate_find(reinterpret_cast<unsigned char *>(out), text, n, table, EBCDIC_SO)) {
        nje_EtoA_str(std::span<const unsigned char>(text, n), room);
        return std::strlen(room.data());
    }
    std::size_t end = n;
    while (end > 0 && (text[end - 1] == EBCDIC_BLANK || text[end - 1] == 0x00))
        --end;
    return nul ? strnlen(out, end) : end;
}

bool blank_text(const char *text, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        if (text[i] != ' ')
            return false;
    }
    return true;
}

// convert_print_record with its text table made beforehand.
int print_record(FILE *out, const unsigned char *record, int length, int control, int open,
                 const unsigned char *table, bool nul)
{
    const int kind = control & NJE_CC_MASK;
    const unsigned char *text = record;
    std::size_t n = length > 0 ? static_cast<std::size_t>(length) : 0;
    unsigned char c = 0;
    if (kind != NJE_CC_NONE && n > 0) {
        c = text[0];
        ++text;
        --n;
    }

    // Translated whole, however long: on the stack when it fits, else on the heap. One byte more for
    // the newline that may follow.
    char small[TEXT_STACK];
    std::vector<char> large;
    std::span<char> room(small, sizeof small);
    if (n > (TEXT_STACK - 2) / 2) {
        large.resize(2 * n + 2);
        room = std::span<char>(large);
    }
    const std::size_t text_length = translate_text(text, n, room.first(room.size() - 1), table, nul);
    const bool non_blank = !blank_text(room.data(), text_length);

    const bool immediate = kind == NJE_CC_MACHINE && (c & MACHINE_KIND) == MACHINE_IMMEDIATE;
    const bool after = kind == NJE_CC_MACHINE && (c & MACHINE_KIND) == MACHINE_AFTER;
    if (immediate)
        machine_before(out, c, open);
    else if (kind == NJE_CC_ASA)
        asa_before(out, c, open);
    else if ((kind == NJE_CC_NONE || kind == NJE_CC_MACHINE) && open && non_blank)
        space(out, ASCII_CR, 1, open);

    if (kind == NJE_CC_NONE) {
        // One record, one line: the text and its newline in one write.
        std::size_t line = 0;
        if (non_blank)
            line = text_length;
        room[line] = ASCII_NL;
        std::fwrite(room.data(), 1, line + 1, out);
        return 0;
    }
    if (non_blank) {
        std::fwrite(room.data(), 1, text_length, out);
        open = 1;
    }
    if (after) {
        machine_after(out, c, open);
    }
    return open;
}

} // namespace

int convert_print_record(FILE *out, const unsigned char *record, int length, int control, int open)
{
    unsigned char table[NJE_XLATE_TABLE_SIZE];
    bool nul = false;
    make_text_table(table, nul);
    return print_record(out, record, length, control, open, table, nul);
}

int convert_write_record(FILE *out, const unsigned char *record, int length)
{
    if (length < 0)
        return -1;
    unsigned char prefix[4];
    be::put32(prefix, static_cast<uint32_t>(length));
    if (std::fwrite(prefix, 1, sizeof prefix, out) != sizeof prefix)
        return -1;
    const auto n = static_cast<std::size_t>(length);
    return std::fwrite(record, 1, n, out) == n ? 0 : -1;
}

int convert_write_fixed(FILE *out, unsigned char *record, int from, int length)
{
    if (length < 0)
        return -1;
    convert_fill_blanks(record, std::max(from, 0), length);
    const auto n = static_cast<std::size_t>(length);
    return std::fwrite(record, 1, n, out) == n ? 0 : -1;
}

int nje_output_record(nje_output *state, const unsigned char *record, int length, int control)
{
    FILE *out = state->out;
    switch (state->format) {
    case NJE_OUTPUT_TEXT:
        if (!state->text_table_ready) {
            make_text_table(state->text_table, state->text_table_nul);
            state->text_table_ready = true;
        }
        state->open =
            print_record(out, record, length, control, state->open, state->text_table, state->text_table_nul);
        break;
    case NJE_OUTPUT_RAW:
        if (length > 0)
            std::fwrite(record, 1, static_cast<std::size_t>(length), out);
        break;
    case NJE_OUTPUT_RECORDS:
        convert_write_record(out, record, length);
        break;
    case NJE_OUTPUT_USER:
        if (userroutine != nullptr)
            userroutine(out, record, length, control);
        break;
    default:
        break;
    }
    return out != nullptr && std::ferror(out) ? NJE_FROMIBM_WRITE_FAILED : 0;
}

int nje_output_finish(nje_output *state)
{
    if (state->open && state->out != nullptr)
        std::fputc(ASCII_NL, state->out);
    state->open = 0;
    return state->out != nullptr && std::ferror(state->out) ? NJE_FROMIBM_WRITE_FAILED : 0;
}

int nje_convert_fromibm(FILE *data_file, FILE *out, unsigned char *buffer, int size, int format,
                        int /*reserved*/, int /*flag*/)
{
    nje_output state{out, format, 0};
    const std::size_t room = size > 0 && buffer != nullptr ? static_cast<std::size_t>(size) : 0;
    for (;;) {
        int control = 0;
        int count = 0;
        const int rc = nje_data_read_next(data_file, buffer, room, &control, &count);
        if (rc < 0) {
            nje_output_finish(&state);
            return NJE_FROMIBM_READ_FAILED;
        }
        if (rc == 0)
            return nje_output_finish(&state);
        int length = rc;
        // Raw output takes each record without the new line that ends it.
        if (format == NJE_OUTPUT_RAW && length >= 2 && buffer[length - 1] == RJE_NL)
            --length;
        if (nje_output_record(&state, buffer, length, control) != 0)
            return NJE_FROMIBM_WRITE_FAILED;
    }
}

// ---- Dataset reader ----------------------------------------------------------------------------------

namespace
{

constexpr std::size_t BLOCK_START = 8192; // first size of the data-file record buffer; grows on demand

// The shape of every block of SNA-compressed records that jobpush writes: a literal string control byte
// whose string begins with TRN, ... , the final string 0x01 0x1E.
constexpr std::size_t BLOCK_SHAPE_MIN = 5;

} // namespace

bool nje_dataset_is_block(const unsigned char *b, int n)
{
    if (n < static_cast<int>(BLOCK_SHAPE_MIN))
        return false;
    const unsigned char scb = b[0];
    return (scb & RJE_SCB_KIND_MASK) == RJE_SCB_LITERAL && (scb & RJE_SCB_COUNT_MASK) != 0 &&
           b[1] == RJE_TRN && b[n - 2] == RJE_SCB_END_RECORD && b[n - 1] == RJE_IRS;
}

bool nje_expansion_open(const rje_expand_ctx *ctx)
{
    return (ctx->scb & RJE_SCB_COUNT_MASK) != 0 || ctx->trn_spanned || ctx->trn_cnt > 0;
}

namespace
{

// True when the block before ended inside a record or a string, so the next block goes on with it.
bool expansion_open(const nje_dataset_reader *r)
{
    return r->record_length > 0 || nje_expansion_open(&r->ctx);
}

int fail(nje_dataset_reader *r, int why)
{
    r->failure = why;
    r->done = true;
    return -1;
}

uint64_t position(FILE *f)
{
    const long pos = std::ftell(f);
    return pos < 0 ? 0 : static_cast<uint64_t>(pos);
}

// Reads the next data-file record into r->block. @return 1, 0 at the end of the dataset, -1.
int read_block(nje_dataset_reader *r)
{
    FILE *f = r->data_file;
    const uint64_t at = position(f);
    r->record_offset = at;
    if (at >= r->end)
        return 0;
    const int peek = std::fgetc(f);
    if (peek == EOF)
        return r->eof_ends ? 0 : fail(r, NJE_DATASET_NO_EOD);
    std::ungetc(peek, f);

    for (;;) {
        int control = 0;
        int count = 0;
        const int rc = nje_data_read_next(f, r->block.data(), r->block.size(), &control, &count);
        if (rc == 0)
            return 0; // end-of-data mark
        if (rc > 0) {
            r->block_length = rc;
            r->block_control = control;
            return 1;
        }
        // Perhaps only too long for the buffer: the record length bounds its data count.
        unsigned char word[NJE_DATA_LENGTH_SIZE];
        if (std::fseek(f, static_cast<long>(at), SEEK_SET) != 0 ||
            std::fread(word, 1, sizeof word, f) != sizeof word)
            return fail(r, NJE_DATASET_TRUNCATED);
        const uint32_t length = be::get32(word);
        if (length > NJE_DATASET_BLOCK_MAX)
            return fail(r, NJE_DATASET_BLOCK_TOO_LONG);
        if (length <= r->block.size() || std::fseek(f, static_cast<long>(at), SEEK_SET) != 0)
            return fail(r, NJE_DATASET_TRUNCATED);
        r->block.resize(length);
    }
}

// Sets up the expansion of the block in r->block: its first string control byte primes the context,
// unless a string goes on from the block before (rje_expand_begin).
void start_block(nje_dataset_reader *r)
{
    if (r->record.empty())
        r->record.resize(NJE_DATASET_RECORD_MAX); // only readers that expand need it
    r->in = rje_expand_begin(&r->ctx, r->block.data(), static_cast<std::size_t>(r->block_length));
    r->in_block = true;
}

} // namespace

int nje_dataset_open(nje_dataset_reader *r, FILE *data_file, uint64_t begin, uint64_t end, bool eof_ends)
{
    *r = nje_dataset_reader{};
    r->data_file = data_file;
    r->end = end;
    r->eof_ends = eof_ends;
    r->record_offset = begin;
    r->block.resize(BLOCK_START);
    if (data_file == nullptr || std::fseek(data_file, 0, SEEK_END) != 0)
        return fail(r, NJE_DATASET_BAD_OFFSET);
    const uint64_t size = position(data_file);
    if (begin > size || std::fseek(data_file, static_cast<long>(begin), SEEK_SET) != 0)
        return fail(r, NJE_DATASET_BAD_OFFSET);
    return 0;
}

namespace
{

int next_record(nje_dataset_reader *r, const unsigned char **record, int *length, int *control)
{
    for (;;) {
        if (r->in_block) {
            const unsigned char *last = r->block.data() + r->block_length - 1;
            unsigned char *start = r->record.data();
            unsigned char *out = start + r->record_length;
            const unsigned char *in = r->in;
            const auto room = static_cast<unsigned>(r->record.size() - r->record_length);
            const unsigned rc = rje_expand(&r->in, &out, room, last, &r->ctx, r->debug, start);
            r->record_length = static_cast<std::size_t>(out - start);
            if (rc == EOB_SPANNED) {
                r->in_block = false;
                continue;
            }
            if (r->record_length == r->record.size())
                return fail(r, NJE_DATASET_RECORD_TOO_LONG);
            if (rc == EOR_EOB)
                r->in_block = false;
            if (r->record_length == 0 && r->in == in) {
                r->in_block = false; // no progress: give up on the rest of this block
                continue;
            }
            std::size_t n = r->record_length;
            if (n > 0 && start[n - 1] == RJE_NL)
                --n;
            r->record_length = 0;
            *record = start;
            *length = static_cast<int>(n);
            *control = NJE_CC_NONE;
            return 1;
        }

        if (r->done)
            return 0;
        if (!r->held) {
            const int rc = read_block(r);
            if (rc < 0)
                return -1;
            if (rc == 0)
                r->done = true;
            else
                r->held = true;
        }
        const bool sna = r->held && r->block_control == NJE_DATA_CONTROL_SNA;
        if (r->held && sna && (expansion_open(r) || nje_dataset_is_block(r->block.data(), r->block_length))) {
            r->held = false;
            start_block(r);
            continue;
        }
        if (r->record_length > 0) {
            // A record cut short by the end of the data or by a record of another kind: handed back
            // as it stands.
            *record = r->record.data();
            *length = static_cast<int>(r->record_length);
            *control = NJE_CC_NONE;
            r->record_length = 0;
            r->ctx = rje_expand_ctx{};
            return 1;
        }
        if (r->done)
            return 0;
        r->ctx = rje_expand_ctx{};
        r->held = false;
        *record = r->block.data();
        *length = r->block_length;
        *control = sna ? NJE_CC_NONE : (r->block_control & NJE_CC_MASK);
        return 1;
    }
}

} // namespace

int nje_dataset_next(nje_dataset_reader *r, const unsigned char **record, int *length, int *control)
{
    if (r->max_records != 0 && r->records >= r->max_records)
        return 0;
    const int rc = next_record(r, record, length, control);
    if (rc == 1)
        ++r->records;
    return rc;
}

int nje_dataset_next_block(nje_dataset_reader *r, const unsigned char **block, int *length, int *control)
{
    if (r->done)
        return 0;
    const int rc = read_block(r);
    if (rc <= 0) {
        r->done = true;
        return rc;
    }
    *block = r->block.data();
    *length = r->block_length;
    *control = r->block_control;
    return 1;
}

int nje_dataset_fromibm(nje_dataset_reader *r, FILE *out, int format)
{
    nje_output state{out, format, 0};
    for (;;) {
        const unsigned char *record = nullptr;
        int length = 0;
        int control = 0;
        const int rc = nje_dataset_next(r, &record, &length, &control);
        if (rc < 0) {
            const int finish = nje_output_finish(&state);
            return finish != 0 ? finish : NJE_FROMIBM_READ_FAILED;
        }
        if (rc == 0)
            return nje_output_finish(&state);
        if (nje_output_record(&state, record, length, control) != 0)
            return NJE_FROMIBM_WRITE_FAILED;
    }
}
