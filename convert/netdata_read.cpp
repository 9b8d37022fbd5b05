// NETDATA reader: logical records from the segments of 80-byte data-file records, text units of
// control records, and the recognition of a NETDATA dataset by its INMR01 and INMR02.
#include "convert/netdata_read.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "convert/rje_fromibm.h"
#include "convert/translate.h"
#include "spool/rje_data.h"
#include "spool/rje_fields.h"
#include "support/byteorder.h"

namespace
{

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);
// nje_isnetdata reads logical records of up to this many bytes.
constexpr std::size_t kScanRecord = 8192;
constexpr std::size_t kMemberChars = 8;

// Consumes `wanted` bytes of the stream, storing the first `room` of them at dest.
// @return the number of bytes consumed (fewer than wanted at the end of the data), or -1 when a
//         data-file record cannot be read.
long read_bytes(netdata_reader *r, unsigned char *dest, std::size_t wanted, std::size_t room)
{
    std::size_t done = 0;
    while (done < wanted) {
        if (r->left == 0) {
            int control = 0, count = 0;
            const int n = nje_data_read_next(r->stream, r->record, sizeof r->record, &control, &count);
            if (n < 0)
                return -1;
            if (n == 0)
                break; // end-of-data mark
            r->left = n;
            r->pos = 0;
        }
        const std::size_t k = std::min(wanted - done, static_cast<std::size_t>(r->left));
        if (done < room)
            std::memcpy(dest + done, r->record + r->pos, std::min(k, room - done));
        done += k;
        r->pos += static_cast<int>(k);
        r->left -= static_cast<int>(k);
    }
    return static_cast<long>(done);
}

bool is_inmr02(const unsigned char *record, std::size_t length)
{
    return length >= NETDATA_NAME_SIZE && (record[NETDATA_NAME_SIZE - 1] & 0x0F) == 2;
}

// Position of the text unit with `key`, or kNotFound. Units that run past the record end the walk.
std::size_t find_tu(const unsigned char *record, std::size_t length, uint16_t key)
{
    std::size_t p = is_inmr02(record, length) ? NETDATA_INMR02_UNITS : NETDATA_NAME_SIZE;
    while (p <= length && length - p >= NETDATA_TU_HEAD) {
        if (be::get16(record + p) == key)
            return p;
        const unsigned items = be::get16(record + p + 2);
        p += NETDATA_TU_HEAD;
        for (unsigned i = 0; i < items; ++i) {
            if (p > length || length - p < NETDATA_TU_ITEM_HEAD)
                return kNotFound;
            p += NETDATA_TU_ITEM_HEAD + be::get16(record + p);
        }
    }
    return kNotFound;
}

struct item {
    const unsigned char *data;
    std::size_t length;
};

// The items of the unit at `at`, as many as lie whole inside the record.
std::vector<item> items_of(const unsigned char *record, std::size_t length, std::size_t at)
{
    std::vector<item> items;
    const unsigned count = be::get16(record + at + 2);
    std::size_t p = at + NETDATA_TU_HEAD;
    for (unsigned i = 0; i < count; ++i) {
        if (p > length || length - p < NETDATA_TU_ITEM_HEAD)
            break;
        const std::size_t n = be::get16(record + p);
        if (length - p - NETDATA_TU_ITEM_HEAD < n)
            break;
        items.push_back({record + p + NETDATA_TU_ITEM_HEAD, n});
        p += NETDATA_TU_ITEM_HEAD + n;
    }
    return items;
}

// Translates `it` behind text[pos] within `size` bytes (NUL included). @return the new end.
std::size_t append_item(char *text, std::size_t size, std::size_t pos, item it)
{
    if (pos >= size)
        return pos;
    nje_EtoA_str(std::span<const unsigned char>(it.data, it.length), std::span<char>(text + pos, size - pos));
    return pos + std::strlen(text + pos);
}

// Appends the NUL-terminated `s` behind text[pos] within `size` bytes (NUL included).
std::size_t append_text(char *text, std::size_t size, std::size_t pos, const char *s)
{
    while (*s != '\0' && pos + 1 < size)
        text[pos++] = *s++;
    if (pos < size)
        text[pos] = '\0';
    return pos;
}

// Looks up one unit. @return 1 found, 0 not found, -1 bad kind or destination.
int get_unit(const unsigned char *record, std::size_t length, const nje_tu_get &u)
{
    const unsigned kind = netdata_tu_kind(u.descriptor);
    const bool wants_number = kind == NETDATA_TU_NUMBER || kind == NETDATA_TU_BARE;
    const bool wants_text = kind == NETDATA_TU_STRING || kind == NETDATA_TU_TIME || kind == NETDATA_TU_LIST;
    if (!wants_number && !wants_text)
        return -1;
    if (wants_number ? u.number == nullptr : (u.text == nullptr || u.text_size == 0))
        return -1;

    if (kind == NETDATA_TU_BARE) {
        const std::size_t n = netdata_tu_length(u.descriptor);
        if (length < NETDATA_NAME_SIZE || length - NETDATA_NAME_SIZE < n)
            return 0;
        nje_fromibm_memcpy(record + NETDATA_NAME_SIZE, u.number, n);
        return 1;
    }
    const std::size_t at = find_tu(record, length, netdata_tu_key(u.descriptor));
    if (at == kNotFound)
        return 0;
    const std::vector<item> items = items_of(record, length, at);
    if (kind == NETDATA_TU_LIST) {
        std::size_t pos = 0;
        u.text[0] = '\0';
        for (std::size_t i = 0; i < items.size() && pos + 1 < u.text_size; ++i) {
            if (i > 0)
                pos = append_text(u.text, u.text_size, pos, ".");
            pos = append_item(u.text, u.text_size, pos, items[i]);
        }
        return 1;
    }
    if (items.empty())
        return 0;
    if (kind == NETDATA_TU_NUMBER)
        nje_fromibm_memcpy(items[0].data, u.number, items[0].length);
    else
        append_item(u.text, u.text_size, 0, items[0]);
    return 1;
}

// The record name (the first 6 bytes) in ASCII.
void record_name(const unsigned char *record, std::size_t length, char (&name)[nje_etoa_str_bound(6)])
{
    nje_EtoA_str(std::span<const unsigned char>(record, std::min<std::size_t>(length, NETDATA_NAME_SIZE)),
                 std::span<char>(name));
}

} // namespace

void nje_netdata_read_init(std::FILE *stream, netdata_reader *reader)
{
    reader->stream = stream;
    reader->left = 0;
    reader->pos = 0;
}

int nje_netdata_get_record(netdata_reader *reader, unsigned char *buffer, std::size_t size, unsigned *flags)
{
    size = std::min<std::size_t>(size, INT_MAX);
    std::size_t total = 0;
    bool first = true;
    for (;;) {
        unsigned char head[NETDATA_SEGMENT_HEAD];
        if (read_bytes(reader, head, sizeof head, sizeof head) < static_cast<long>(sizeof head))
            return -1;
        if (first) {
            *flags = head[1];
            first = false;
        }
        if (head[0] < NETDATA_SEGMENT_HEAD)
            return -1;
        const std::size_t n = head[0] - NETDATA_SEGMENT_HEAD;
        const std::size_t room = size - total;
        if (read_bytes(reader, buffer + total, n, room) < static_cast<long>(n))
            return -1;
        total += std::min(n, room);
        if (head[1] & NETDATA_FLAG_LAST)
            return static_cast<int>(total);
    }
}

int nje_netdata_get_tu(const unsigned char *record, std::size_t length, std::span<const nje_tu_get> units)
{
    int missing = 0;
    for (const nje_tu_get &u : units) {
        if (u.descriptor == 0)
            break;
        const int rc = get_unit(record, length, u);
        if (rc < 0)
            return -1;
        missing += rc == 0;
    }
    return missing;
}

int nje_netdata_get_tu(const unsigned char *record, std::size_t length, std::initializer_list<nje_tu_get> units)
{
    return nje_netdata_get_tu(record, length, std::span<const nje_tu_get>(units.begin(), units.size()));
}

uint32_t netdata_lrecl(const unsigned char *record, std::size_t length, uint32_t fallback)
{
    uint32_t lrecl = fallback;
    nje_netdata_get_tu(record, length, {{netdata_tu(NETDATA_TU_NUMBER, 4, INMLRECL), &lrecl}});
    return lrecl;
}

int nje_isnetdata(std::FILE *data_file, char *name, std::size_t size)
{
    netdata_reader reader;
    nje_netdata_read_init(data_file, &reader);
    std::vector<unsigned char> rec(kScanRecord);
    bool first = true;
    for (;;) {
        unsigned flags = 0;
        const int n = nje_netdata_get_record(&reader, rec.data(), rec.size(), &flags);
        if (n < 0 || !(flags & NETDATA_FLAG_CONTROL))
            return 0;
        const auto length = static_cast<std::size_t>(n);
        char rname[nje_etoa_str_bound(6)];
        record_name(rec.data(), length, rname);
        if (first) {
            if (std::strcmp(rname, "INMR01") != 0)
                return 0;
            first = false;
            continue;
        }
        if (std::strcmp(rname, "INMR06") == 0 || std::strcmp(rname, "INMR07") == 0)
            return 0;
        if (std::strcmp(rname, "INMR02") != 0)
            continue;
        name[0] = '\0';
        nje_netdata_get_tu(rec.data(), length, {{netdata_tu(NETDATA_TU_LIST, 0, INMDSNAM), name, size + 1}});
        char member[kScanRecord];
        if (nje_netdata_get_tu(rec.data(), length, {{netdata_tu(NETDATA_TU_LIST, 0, INMMEMBR), member}}) == 0) {
            member[std::min(std::strlen(member), kMemberChars)] = '\0';
            std::size_t pos = std::strlen(name);
            pos = append_text(name, size + 1, pos, "(");
            pos = append_text(name, size + 1, pos, member);
            append_text(name, size + 1, pos, ")");
        }
        return 1;
    }
}

int nje_netdata_fromibm(std::FILE *data_file, std::FILE *out, int format, int size)
{
    // Control records are read whole whatever `size` is; data records are cut to it.
    std::vector<unsigned char> rec(std::max(static_cast<std::size_t>(std::max(size, 0)), kScanRecord));
    netdata_reader reader;
    nje_netdata_read_init(data_file, &reader);
    int cc = NJE_CC_NONE;
    int open = 0;
    bool first = true;
    int result;
    for (;;) {
        unsigned flags = 0;
        int n = nje_netdata_get_record(&reader, rec.data(), rec.size(), &flags);
        if (n < 0) {
            result = first ? NETDATA_FROMIBM_NOT_NETDATA : NETDATA_FROMIBM_ENDED;
            break;
        }
        if (flags & NETDATA_FLAG_CONTROL) {
            char name[nje_etoa_str_bound(NETDATA_NAME_SIZE)];
            record_name(rec.data(), static_cast<std::size_t>(n), name);
            if (first && std::strcmp(name, "INMR01") != 0) {
                result = NETDATA_FROMIBM_NOT_NETDATA;
                break;
            }
            first = false;
            if (std::strcmp(name, "INMR06") == 0) {
                result = NETDATA_FROMIBM_DONE;
                break;
            }
            uint32_t recfm = 0;
            if (std::strcmp(name, "INMR02") == 0 &&
                nje_netdata_get_tu(rec.data(), static_cast<std::size_t>(n),
                                   {{netdata_tu(NETDATA_TU_NUMBER, 2, INMRECFM), &recfm}}) == 0) {
                if (recfm & NETDATA_RECFM_MACHINE)
                    cc = NJE_CC_MACHINE;
                else if (recfm & NETDATA_RECFM_ASA)
                    cc = NJE_CC_ASA;
            }
            continue;
        }
        if (first) {
            result = NETDATA_FROMIBM_NOT_NETDATA;
            break;
        }
        n = std::min(n, std::max(size, 0));
        switch (format) {
        case NJE_OUTPUT_TEXT:
            open = convert_print_record(out, rec.data(), n, cc, open);
            break;
        case NJE_OUTPUT_RAW:
            convert_write_fixed(out, rec.data(), n, n);
            break;
        case NJE_OUTPUT_RECORDS:
            convert_write_record(out, rec.data(), n);
            break;
        case NJE_OUTPUT_USER:
            if (userroutine != nullptr)
                userroutine(out, rec.data(), n, cc);
            break;
        default:
            break;
        }
        if (std::ferror(out)) {
            result = NETDATA_FROMIBM_WRITE_FAILED;
            break;
        }
    }
    if (open)
        std::fputc('\n', out);
    return result;
}
