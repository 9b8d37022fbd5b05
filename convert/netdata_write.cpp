// NETDATA writer: text units, control and data records in segments, the stream in 80-byte records
// appended to a data file.
#include "convert/netdata_write.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "convert/rje_convert.h"
#include "convert/translate.h"
#include "spool/rje_data.h"
#include "spool/rje_fields.h"
#include "support/byteorder.h"

namespace
{

// Writes the current record when it holds anything, filled with 0x00 to 80 bytes.
int flush_record(netdata_writer *w)
{
    if (w->used == 0)
        return 0;
    unsigned char *rec = w->record();
    std::memset(rec + w->used, 0, static_cast<std::size_t>(NETDATA_RECORD_SIZE - w->used));
    if (nje_data_write_next(w->stream, rec, NETDATA_RECORD_SIZE, 0, NETDATA_RECORD_SIZE,
                            NJE_DATA_FORMAT_SNA) != 0)
        return NETDATA_WRITE_FAILED;
    ++w->records;
    w->room = NETDATA_RECORD_SIZE;
    w->used = 0;
    return 0;
}

// Writes one logical record in segments. `name` (6 EBCDIC bytes, or null) leads the first segment's
// data and counts against it. flags: those of the first segment without NETDATA_FLAG_LAST.
int put_segments(netdata_writer *w, unsigned char flags, const unsigned char *name, const unsigned char *data,
                 std::size_t n)
{
    int head = NETDATA_SEGMENT_HEAD + (name != nullptr ? NETDATA_NAME_SIZE : 0);
    std::size_t left = n;
    do {
        const std::size_t k =
            std::min<std::size_t>(static_cast<std::size_t>(NETDATA_SEGMENT_MAX - head), left);
        unsigned char seg[NETDATA_SEGMENT_HEAD + NETDATA_NAME_SIZE];
        seg[0] = static_cast<unsigned char>(k + static_cast<std::size_t>(head));
        seg[1] = static_cast<unsigned char>(k == left ? flags | NETDATA_FLAG_LAST : flags);
        if (name != nullptr)
            std::memcpy(seg + NETDATA_SEGMENT_HEAD, name, NETDATA_NAME_SIZE);
        if (nje_netdata_put(w, seg, static_cast<std::size_t>(head)) != 0 || nje_netdata_put(w, data, k) != 0)
            return NETDATA_WRITE_FAILED;
        data += k;
        left -= k;
        flags = static_cast<unsigned char>(flags & ~NETDATA_FLAG_FIRST);
        name = nullptr;
        head = NETDATA_SEGMENT_HEAD;
    } while (left > 0);
    return 0;
}

// An item's 2-byte length and its `length` bytes must fit between `at` and the end of the area.
bool item_fits(std::span<unsigned char> area, std::size_t at, std::size_t length)
{
    return length <= NETDATA_TU_ITEM_MAX && at <= area.size() &&
           area.size() - at >= NETDATA_TU_ITEM_HEAD + length;
}

// Text of `length` bytes in EBCDIC at `field`: translated, the rest filled with blanks.
void put_text(unsigned char *field, std::size_t length, const char *text)
{
    std::memset(field, EBCDIC_BLANK, length);
    if (length > 0)
        nje_AtoE_str(text, std::span<unsigned char>(field, length));
}

// A text item at area[*at]: its 2-byte length, then put_text; *at moves past it.
// @return false (nothing written) when it does not fit.
bool put_text_item(std::span<unsigned char> area, std::size_t *at, std::size_t length, const char *text)
{
    if (!item_fits(area, *at, length))
        return false;
    be::put16(area.data() + *at, static_cast<uint16_t>(length));
    put_text(area.data() + *at + NETDATA_TU_ITEM_HEAD, length, text);
    *at += NETDATA_TU_ITEM_HEAD + length;
    return true;
}

// Writes `value` (0 .. 10^width - 1) as `width` decimal digits. @return the position past them.
char *put_digits(char *out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        out[i] = static_cast<char>('0' + value % 10);
    return out + width;
}

// Encodes one unit at area[at]. @return the position past it, or -1.
long put_unit(std::span<unsigned char> area, std::size_t at, const nje_tu &u)
{
    const unsigned kind = netdata_tu_kind(u.descriptor);
    const std::size_t length = netdata_tu_length(u.descriptor);
    if (kind == NETDATA_TU_BARE) {
        if (at > area.size() || area.size() - at < length)
            return -1;
        nje_toibm_memcpy(static_cast<uint32_t>(u.number), area.data() + at, length);
        return static_cast<long>(at + length);
    }
    if (kind < NETDATA_TU_NUMBER || kind > NETDATA_TU_LIST)
        return -1;
    if (at > area.size() || area.size() - at < NETDATA_TU_HEAD)
        return -1;
    unsigned char *unit = area.data() + at;
    be::put16(unit, netdata_tu_key(u.descriptor));
    std::size_t p = at + NETDATA_TU_HEAD;
    std::size_t items = 1;

    switch (kind) {
    case NETDATA_TU_NUMBER:
        if (!item_fits(area, p, length))
            return -1;
        be::put16(area.data() + p, static_cast<uint16_t>(length));
        nje_toibm_memcpy(static_cast<uint32_t>(u.number), area.data() + p + NETDATA_TU_ITEM_HEAD, length);
        p += NETDATA_TU_ITEM_HEAD + length;
        break;
    case NETDATA_TU_STRING: {
        const char *text = u.text != nullptr ? u.text : "";
        if (!put_text_item(area, &p, length != 0 ? length : std::strlen(text), text))
            return -1;
        break;
    }
    case NETDATA_TU_TIME: {
        const std::time_t seconds = static_cast<std::time_t>(u.number);
        std::tm tm{};
        if (gmtime_r(&seconds, &tm) == nullptr || tm.tm_year + 1900 < 0 || tm.tm_year + 1900 > 9999)
            return -1;
        char digits[NETDATA_TIME_DIGITS + 1];
        char *d = digits;
        d = put_digits(d, tm.tm_year + 1900, 4);
        for (int v : {tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec})
            d = put_digits(d, v, 2);
        *d = '\0';
        if (!put_text_item(area, &p, NETDATA_TIME_DIGITS, digits))
            return -1;
        break;
    }
    default: // NETDATA_TU_LIST
        items = u.list.size();
        if (items > 0xFFFF)
            return -1;
        for (const char *s : u.list) {
            const char *text = s != nullptr ? s : "";
            if (!put_text_item(area, &p, std::strlen(text), text))
                return -1;
        }
        break;
    }
    be::put16(unit + 2, static_cast<uint16_t>(items));
    return static_cast<long>(p);
}

// A text record of the line reader on its way to the stream: without its IRS, and with `fixed`
// filled with blanks to (or cut at) lrecl bytes.
struct text_sink {
    netdata_writer *writer;
    int lrecl;
    bool fixed;

    static int put(void *context, const unsigned char *record, std::size_t length)
    {
        const auto *t = static_cast<const text_sink *>(context);
        if (length > 0 && record[length - 1] == RJE_IRS)
            --length; // the separator belongs to the compressed form, not to the record
        unsigned char padded[RJE_MAX_RECORD_DATA];
        if (t->fixed) {
            const auto n = static_cast<std::size_t>(t->lrecl);
            std::memcpy(padded, record, std::min(length, n));
            if (length < n)
                std::memset(padded + length, EBCDIC_BLANK, n - length);
            record = padded;
            length = n;
        }
        return nje_netdata_put_data(t->writer, record, length);
    }
};

} // namespace

void nje_netdata_create(std::FILE *stream, netdata_writer *writer)
{
    writer->stream = stream;
    writer->room = NETDATA_RECORD_SIZE;
    writer->used = 0;
    writer->records = 0;
}

int nje_netdata_put(netdata_writer *writer, const unsigned char *data, std::size_t n)
{
    while (n > 0) {
        const std::size_t k = std::min<std::size_t>(n, static_cast<std::size_t>(writer->room));
        std::memcpy(writer->record() + writer->used, data, k);
        writer->used += static_cast<int>(k);
        writer->room -= static_cast<int>(k);
        data += k;
        n -= k;
        if (writer->room == 0 && flush_record(writer) != 0)
            return NETDATA_WRITE_FAILED;
    }
    return 0;
}

int nje_netdata_put_tu(std::span<unsigned char> area, int offset, std::span<const nje_tu> units)
{
    if (offset < 0)
        return -1;
    long at = offset;
    for (const nje_tu &u : units) {
        if (u.descriptor == 0)
            break;
        at = put_unit(area, static_cast<std::size_t>(at), u);
        if (at < 0)
            return -1;
    }
    return static_cast<int>(at);
}

int nje_netdata_put_tu(std::span<unsigned char> area, int offset, std::initializer_list<nje_tu> units)
{
    return nje_netdata_put_tu(area, offset, std::span<const nje_tu>(units.begin(), units.size()));
}

int nje_netdata_put_control(netdata_writer *writer, const char *name, const unsigned char *units,
                            std::size_t n)
{
    unsigned char ebcdic_name[NETDATA_NAME_SIZE];
    put_text(ebcdic_name, NETDATA_NAME_SIZE, name);
    return put_segments(writer, NETDATA_FLAG_FIRST | NETDATA_FLAG_CONTROL, ebcdic_name, units, n);
}

int nje_netdata_put_data(netdata_writer *writer, const unsigned char *data, std::size_t n)
{
    return put_segments(writer, NETDATA_FLAG_FIRST, nullptr, data, n);
}

std::int64_t nje_netdata_toibm(std::FILE *file, netdata_writer *writer, unsigned char *buffer, int lrecl,
                               int data_format, int tabs, int fixed)
{
    if (lrecl < 1 || static_cast<std::size_t>(lrecl) > RJE_MAX_RECORD_DATA ||
        (data_format != NJE_FORMAT_TEXT && data_format != NJE_FORMAT_BINARY &&
         data_format != NJE_FORMAT_RECORD))
        return NETDATA_BAD_REQUEST;
    if (data_format == NJE_FORMAT_TEXT) {
        text_sink sink{writer, lrecl, fixed != 0};
        return convert_text_records(file, lrecl, tabs, fixed, text_sink::put, &sink);
    }
    std::int64_t count = 0;
    for (;;) {
        const int n = data_format == NJE_FORMAT_BINARY ? convert_read_chunk(file, buffer, lrecl)
                                                       : convert_read_record(file, buffer, lrecl);
        if (n == -1)
            return count;
        if (n < 0)
            return n; // a record cut short by the end of the input
        if (fixed)
            convert_fill_blanks(buffer, n, lrecl);
        if (nje_netdata_put_data(writer, buffer, static_cast<std::size_t>(fixed ? lrecl : n)) != 0)
            return NETDATA_WRITE_FAILED;
        ++count;
    }
}

int nje_netdata_close(netdata_writer *writer)
{
    return flush_record(writer);
}
