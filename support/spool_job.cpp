// Reading a spooled job: the header file's records, the datasets' bounds in the data file, and the
// fields of header records by dictionary name.
#include "support/spool_job.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <span>

#include "convert/rje_fromibm.h"
#include "convert/translate.h"
#include "spool/rje_fields.h"
#include "spool/rje_header.h"

namespace
{

// The dictionary group that describes a section of a record of the given type, or null.
const char *group_of(uint32_t record_type, uint32_t section_id)
{
    if (section_id == NJE_SECTION_GENERAL) {
        switch (record_type) {
        case NJE_JOB_HEADER:
            return "NJHG";
        case NJE_DATASET_HEADER:
            return "NDHG";
        case NJE_JOB_TRAILER:
            return "NJTG";
        default:
            return nullptr;
        }
    }
    if (section_id == NJE_SECTION_RSCS && record_type == NJE_DATASET_HEADER)
        return "NDHV";
    return nullptr;
}

constexpr std::size_t GROUP_PREFIX = 4;
// Room for a character field of up to 255 bytes translated (a double-byte code may take 4 bytes).
constexpr std::size_t FIELD_TEXT = nje_etoa_str_bound(255);

void fields_of(const unsigned char *record, void (*visit)(const spool_field &, void *), void *context)
{
    const uint32_t type = nje_header_type(record);
    bool general_seen = false;
    bool rscs_seen = false;
    for (const unsigned char *s = nje_section_read_next(record, nullptr); s != nullptr;
         s = nje_section_read_next(record, s)) {
        const uint32_t id = nje_section_id(s);
        const char *group = group_of(type, id);
        bool &seen = id == NJE_SECTION_GENERAL ? general_seen : rscs_seen;
        if (group == nullptr || seen)
            continue; // only the first section of each kind is described
        seen = true;
        const std::span<const unsigned char> section(s, nje_section_length(s));
        for (const nje_field *f = nje_field_dictionary; f->name != nullptr; ++f) {
            if (std::strncmp(f->name, group, GROUP_PREFIX) != 0)
                continue;
            spool_field field{f->name, nje_field_type(f->descriptor), 0, ""};
            char text[FIELD_TEXT];
            int rc;
            if (field.type == NJE_FIELD_CHARACTER) {
                rc = nje_section_extract_fields(section, {{f->descriptor, text, sizeof text}});
                field.text = text;
            } else {
                rc = nje_section_extract_fields(section, {{f->descriptor, &field.number}});
            }
            if (rc == 0)
                visit(field, context);
        }
    }
}

struct lookup {
    const char *name;
    bool found = false;
    uint32_t number = 0;
    char *text = nullptr;
    std::size_t size = 0;
};

void find_field(const spool_field &field, void *context)
{
    auto *l = static_cast<lookup *>(context);
    if (l->found || std::strcmp(field.name, l->name) != 0)
        return;
    l->found = true;
    l->number = field.number;
    if (l->text != nullptr && l->size > 0 && field.type == NJE_FIELD_CHARACTER) {
        const std::size_t n = strnlen(field.text, l->size - 1);
        std::memcpy(l->text, field.text, n);
        l->text[n] = '\0';
    }
}

bool known_type(uint32_t type)
{
    return type == NJE_JOB_HEADER || type == NJE_DATASET_HEADER || type == NJE_JOB_TRAILER;
}

uint64_t file_size(FILE *f)
{
    if (std::fseek(f, 0, SEEK_END) != 0)
        return 0;
    const long size = std::ftell(f);
    return size < 0 ? 0 : static_cast<uint64_t>(size);
}

int scan_header(spool_job *job)
{
    FILE *f = job->header;
    const uint64_t size = file_size(f);
    if (std::fseek(f, 0, SEEK_SET) != 0)
        return SPOOL_SCAN_NOT_SPOOL;
    const int mark = std::fgetc(f);
    if (mark == EOF)
        return SPOOL_SCAN_NOT_SPOOL;
    job->mark = static_cast<unsigned char>(mark);

    std::vector<unsigned char> buffer(SPOOL_RECORD_MAX);
    for (bool first = true;; first = false) {
        const long at = std::ftell(f);
        const uint64_t pos = at < 0 ? 0 : static_cast<uint64_t>(at);
        const int length = nje_header_read_next(f, buffer.data(), buffer.size());
        if (length == 0 && pos >= size)
            return SPOOL_SCAN_OK;
        const uint32_t type = length > 0 ? nje_header_type(buffer.data()) : 0;
        if (length <= 0 || (first && !known_type(type))) {
            if (first)
                return SPOOL_SCAN_NOT_SPOOL;
            job->header_failure = SPOOL_HEADER_DAMAGED;
            job->header_failure_pos = pos;
            return SPOOL_SCAN_OK;
        }
        if (type == NJE_JOB_HEADER && job->job_pos < 0)
            job->job_pos = static_cast<int64_t>(pos);
        else if (type == NJE_JOB_TRAILER && job->trailer_pos < 0)
            job->trailer_pos = static_cast<int64_t>(pos);
        else if (type == NJE_DATASET_HEADER) {
            if (job->datasets.size() >= static_cast<std::size_t>(SPOOL_MAX_DATASETS)) {
                job->header_failure = SPOOL_HEADER_TOO_MANY;
                job->header_failure_pos = pos;
                return SPOOL_SCAN_OK;
            }
            spool_dataset d;
            d.header_pos = pos;
            d.offset = nje_header_offset(buffer.data());
            lookup l{"NDHGNREC"};
            fields_of(buffer.data(), find_field, &l);
            d.records = l.number;
            job->datasets.push_back(d);
        }
    }
}

} // namespace

int spool_job_scan(spool_job *job, FILE *header, FILE *data)
{
    *job = spool_job{};
    job->header = header;
    job->data = data;
    if (header != nullptr) {
        const int rc = scan_header(job);
        if (rc != SPOOL_SCAN_OK)
            return rc;
    } else {
        // A data file alone: empty, or its first record must read.
        if (data == nullptr)
            return SPOOL_SCAN_NOT_SPOOL;
        nje_dataset_reader reader;
        const unsigned char *block = nullptr;
        int length = 0;
        int control = 0;
        if (nje_dataset_open(&reader, data, 0, NJE_DATASET_TO_EOD, true) != 0 ||
            nje_dataset_next_block(&reader, &block, &length, &control) < 0)
            return SPOOL_SCAN_NOT_SPOOL;
        job->datasets.push_back(spool_dataset{0, 0, NJE_DATASET_TO_EOD, 0});
    }

    // A dataset's records end where the next dataset (by offset) begins.
    std::vector<uint64_t> offsets;
    offsets.reserve(job->datasets.size());
    for (const spool_dataset &d : job->datasets)
        offsets.push_back(d.offset);
    std::sort(offsets.begin(), offsets.end());
    for (spool_dataset &d : job->datasets) {
        auto next = std::upper_bound(offsets.begin(), offsets.end(), d.offset);
        d.end = next != offsets.end() ? *next : NJE_DATASET_TO_EOD;
    }
    return SPOOL_SCAN_OK;
}

bool spool_job_incomplete(const spool_job *job)
{
    return job->header == nullptr || job->mark == 0;
}

int spool_job_record(const spool_job *job, uint64_t pos, std::vector<unsigned char> &record)
{
    if (job->header == nullptr || pos > static_cast<uint64_t>(LONG_MAX) ||
        std::fseek(job->header, static_cast<long>(pos), SEEK_SET) != 0)
        return -1;
    record.resize(SPOOL_RECORD_MAX);
    return nje_header_read_next(job->header, record.data(), record.size());
}

void spool_record_fields(const std::vector<unsigned char> &record, void (*visit)(const spool_field &, void *),
                         void *context)
{
    if (record.size() < NJE_PREFIX_SIZE ||
        record.size() - NJE_PREFIX_SIZE < nje_header_body_length(record.data()))
        return;
    fields_of(record.data(), visit, context);
}

bool spool_record_text(const std::vector<unsigned char> &record, const char *name, char *text,
                       std::size_t size)
{
    if (size > 0)
        text[0] = '\0';
    lookup l{name};
    l.text = text;
    l.size = size;
    spool_record_fields(record, find_field, &l);
    return l.found;
}

bool spool_record_number(const std::vector<unsigned char> &record, const char *name, uint32_t *number)
{
    lookup l{name};
    spool_record_fields(record, find_field, &l);
    if (l.found)
        *number = l.number;
    return l.found;
}
