// jobshow's outputs: the summary and its JSON form, one dataset in a chosen format, every dataset into
// a directory, and console lines as nodal message records.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "convert/netdata_read.h"
#include "convert/translate.h"
#include "frontend/jobshow.h"
#include "spool/rje_data.h"
#include "spool/rje_fields.h"
#include "spool/rje_header.h"
#include "support/intl.h"
#include "support/jobcard.h"
#include "support/rje_file.h"
#include "support/rje_nmr.h"

namespace
{

constexpr const char *kHeaderPrefix = "NJH";
constexpr const char *kDataPrefix = "NJD";
constexpr std::size_t kPrefixLength = 3;
constexpr std::size_t kFileBuffer = 1 << 16;
constexpr int kJobcardRecords = 5;        // records looked at for a job card
constexpr std::size_t kJobcardText = 255; // bytes of a record looked at
constexpr int kNetdataRoom = 1 << 16;     // longest NETDATA data record written whole
constexpr std::size_t kMaxFileName = 100;
constexpr int kMaxNumbered = 1000; // REPORT.TXT.1 ... when the name is taken
constexpr std::size_t kXmitRecord = 80;

// ---- Spool files ---------------------------------------------------------------------------------

const char *failure_text(int failure)
{
    switch (failure) {
    case NJE_DATASET_BAD_OFFSET:
        return _("its data offset lies past the end of the data file");
    case NJE_DATASET_BLOCK_TOO_LONG:
        return _("a data-file record is longer than 1048576 bytes");
    case NJE_DATASET_RECORD_TOO_LONG:
        return _("a record expands to more than 65536 bytes");
    case NJE_DATASET_NO_EOD:
        return _("the data file ends without its end-of-data mark");
    default:
        return _("a data-file record is cut short or malformed");
    }
}

int report_failure(const show_settings &set, const show_job &job, int n, const nje_dataset_reader &reader)
{
    std::fprintf(stderr, _("%s: %s: dataset %d cannot be read to its end: %s (data-file offset %llu)\n"),
                 set.pgm, job.file.c_str(), n, failure_text(reader.failure),
                 static_cast<unsigned long long>(reader.record_offset));
    return SHOW_UNREADABLE;
}

int report_write_error(const show_settings &set, const char *name)
{
    std::fprintf(stderr, _("%s: %s: write error\n"), set.pgm, name);
    return SHOW_WRITE_FAILED;
}

// Starts a reader over dataset `index` (0-based).
int open_reader(const show_job &job, std::size_t index, nje_dataset_reader &reader, int debug)
{
    const spool_dataset &d = job.spool.datasets[index];
    const int rc =
        nje_dataset_open(&reader, job.spool.data, d.offset, d.end, spool_job_incomplete(&job.spool));
    reader.max_records = d.records;
    reader.debug = debug;
    return rc;
}

// The dataset header record of dataset `index`; empty for a data file alone or an unreadable record.
std::vector<unsigned char> dataset_record(const show_job &job, std::size_t index)
{
    std::vector<unsigned char> record;
    if (job.spool.header == nullptr ||
        spool_job_record(&job.spool, job.spool.datasets[index].header_pos, record) <= 0)
        record.clear();
    return record;
}

std::string text_field(const std::vector<unsigned char> &record, const char *name)
{
    char text[nje_etoa_str_bound(255)];
    spool_record_text(record, name, text, sizeof text);
    return text;
}

uint32_t number_field(const std::vector<unsigned char> &record, const char *name)
{
    uint32_t n = 0;
    spool_record_number(record, name, &n);
    return n;
}

// "NAME.TYPE" of a dataset: its RSCS file name and type, else its general section's.
std::string dataset_name(const std::vector<unsigned char> &record)
{
    std::string name = text_field(record, "NDHVFNAM");
    std::string type = text_field(record, "NDHVFTYP");
    if (name.empty() && type.empty()) {
        name = text_field(record, "NDHGPROC");
        type = text_field(record, "NDHGSTEP");
    }
    return type.empty() ? name : name + "." + type;
}

// The NETDATA dataset name of a dataset, when it holds a NETDATA stream.
bool netdata_name(const show_job &job, const spool_dataset &d, std::string &name)
{
    if (job.spool.data == nullptr || d.offset > static_cast<uint64_t>(LONG_MAX) ||
        std::fseek(job.spool.data, static_cast<long>(d.offset), SEEK_SET) != 0)
        return false;
    char text[NETDATA_DSNAME_MAX + 1] = {};
    if (nje_isnetdata(job.spool.data, text, NETDATA_DSNAME_MAX) != 1)
        return false;
    name = text;
    return true;
}

struct job_card {
    char jobname[NJE_NAME_FIELD] = {};
    char account[64] = {};
    char programmer[21] = {};
};

// A JCL job card among the first records of a dataset.
bool find_job_card(const show_job &job, std::size_t index, job_card &card)
{
    nje_dataset_reader reader;
    if (open_reader(job, index, reader, 0) != 0)
        return false;
    for (int i = 0; i < kJobcardRecords; ++i) {
        const unsigned char *rec = nullptr;
        int length = 0;
        int control = 0;
        if (nje_dataset_next(&reader, &rec, &length, &control) != 1)
            return false;
        if ((control & NJE_CC_MASK) != NJE_CC_NONE && length > 0) {
            ++rec; // the carriage-control character
            --length;
        }
        char text[nje_etoa_str_bound(static_cast<int>(kJobcardText))];
        nje_EtoA_str(rec, text, std::min(length, static_cast<int>(kJobcardText)));
        card = job_card{};
        if (jobcard(text, static_cast<int>(std::strlen(text)) + 1, card.jobname, sizeof card.jobname,
                    card.account, sizeof card.account, card.programmer, sizeof card.programmer - 1, 0) == 1)
            return true;
    }
    return false;
}

// What the summary and the JSON form show of a dataset beyond its header.
struct dataset_probe {
    bool netdata = false;
    std::string netdata_name;
    bool has_card = false;
    job_card card;
};

dataset_probe probe(const show_job &job, std::size_t index)
{
    dataset_probe p;
    if (job.spool.data == nullptr)
        return p;
    p.netdata = netdata_name(job, job.spool.datasets[index], p.netdata_name);
    if (!p.netdata)
        p.has_card = find_job_card(job, index, p.card);
    return p;
}

// Checks that a dataset's offset lies in the data file; reports it otherwise.
int check_offset(const show_settings &set, const show_job &job, std::size_t index)
{
    nje_dataset_reader reader;
    if (job.spool.data == nullptr || open_reader(job, index, reader, 0) == 0)
        return SHOW_OK;
    return report_failure(set, job, static_cast<int>(index) + 1, reader);
}

} // namespace

// ---- Opening a job -------------------------------------------------------------------------------

int show_open(const show_settings &set, const char *file, show_job &job)
{
    job.file = file;
    const char *slash = std::strrchr(file, '/');
    const char *base = slash != nullptr ? slash + 1 : file;
    const bool header = std::strncmp(base, kHeaderPrefix, kPrefixLength) == 0;

    FILE *first = rje_open_regular(file);
    if (first == nullptr) {
        std::fprintf(stderr, _("%s: %s: could not open\n"), set.pgm, file);
        return SHOW_FAILED;
    }
    FILE *data = first;
    FILE *header_file = nullptr;
    if (header) {
        header_file = first;
        const std::string data_path =
            std::string(file, static_cast<std::size_t>(base - file)) + kDataPrefix + (base + kPrefixLength);
        data = rje_open_regular(data_path.c_str());
        if (data == nullptr) {
            std::fprintf(stderr, _("%s: %s: could not open\n"), set.pgm, data_path.c_str());
            std::fclose(header_file);
            return SHOW_FAILED;
        }
    }
    job.data_buffer = std::make_unique<char[]>(kFileBuffer);
    std::setvbuf(data, job.data_buffer.get(), _IOFBF, kFileBuffer);
    if (spool_job_scan(&job.spool, header_file, data) != SPOOL_SCAN_OK) {
        std::fprintf(stderr, _("%s: %s: not a spool file\n"), set.pgm, file);
        job.spool.header = header_file;
        job.spool.data = data;
        return SHOW_FAILED;
    }
    switch (job.spool.header_failure) {
    case SPOOL_HEADER_DAMAGED:
        std::fprintf(stderr, _("%s: %s: the header file cannot be read from offset %llu on\n"), set.pgm, file,
                     static_cast<unsigned long long>(job.spool.header_failure_pos));
        return SHOW_UNREADABLE;
    case SPOOL_HEADER_TOO_MANY:
        std::fprintf(stderr, _("%s: %s: more than %d datasets; the rest are not shown\n"), set.pgm, file,
                     SPOOL_MAX_DATASETS);
        return SHOW_UNREADABLE;
    default:
        return SHOW_OK;
    }
}

void show_close(show_job &job)
{
    if (job.spool.header != nullptr && job.spool.header != job.spool.data)
        std::fclose(job.spool.header);
    if (job.spool.data != nullptr)
        std::fclose(job.spool.data);
    job.spool.header = nullptr;
    job.spool.data = nullptr;
}

// ---- Summary ---------------------------------------------------------------------------------------

int show_summary(const show_settings &set, show_job &job, FILE *out)
{
    const spool_job &s = job.spool;
    if (s.header == nullptr)
        std::fprintf(out, _("%s: data file without its header file\n"), job.file.c_str());
    else if (s.mark != 0)
        std::fprintf(out, _("%s: complete (valid mark %u)\n"), job.file.c_str(), s.mark);
    else
        std::fprintf(out, _("%s: incomplete (valid mark 0)\n"), job.file.c_str());

    std::vector<unsigned char> record;
    if (s.job_pos >= 0 && spool_job_record(&s, static_cast<uint64_t>(s.job_pos), record) > 0) {
        std::fprintf(out, _("  job %s, number %u, class %s\n"), text_field(record, "NJHGJNAM").c_str(),
                     number_field(record, "NJHGJID"), text_field(record, "NJHGJCLS").c_str());
        // Sent for execution elsewhere: the execution node; else the print destination.
        const std::string origin_node = text_field(record, "NJHGORGN");
        std::string to_node = text_field(record, "NJHGXEQN");
        std::string to_user = text_field(record, "NJHGXEQU");
        if (to_node == origin_node) {
            to_node = text_field(record, "NJHGPRTN");
            to_user = text_field(record, "NJHGPRTR");
        }
        std::fprintf(out, _("  from %s@%s to %s@%s\n"), text_field(record, "NJHGORGR").c_str(),
                     origin_node.c_str(), to_user.c_str(), to_node.c_str());
    } else if (s.header != nullptr) {
        std::fputs(_("  no job header\n"), out);
    }

    int status = SHOW_OK;
    for (std::size_t i = 0; i < s.datasets.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        status = std::max(status, check_offset(set, job, i));
        record = dataset_record(job, i);
        if (record.empty()) {
            std::fprintf(out, _("  dataset %d: data offset %llu\n"), n,
                         static_cast<unsigned long long>(s.datasets[i].offset));
        } else {
            const std::string name = dataset_name(record);
            const uint32_t count = number_field(record, "NDHGNREC");
            std::fprintf(out, ngettext("  dataset %d: %s, lrecl %u, %u record\n", "  dataset %d: %s, lrecl %u, %u records\n", count),
                         n, name.c_str(), number_field(record, "NDHGLREC"), count);
        }
        const dataset_probe p = probe(job, i);
        if (p.netdata)
            std::fprintf(out, _("    NETDATA dataset %s\n"), p.netdata_name.c_str());
        else if (p.has_card)
            std::fprintf(out, _("    job card: job %s, account %s, programmer %s\n"), p.card.jobname,
                         p.card.account, p.card.programmer);
    }
    if (s.datasets.empty())
        std::fputs(_("  no datasets\n"), out);
    return std::ferror(out) ? report_write_error(set, _("standard output")) : status;
}

// ---- JSON ------------------------------------------------------------------------------------------

std::string json_string(const char *text)
{
    std::string out = "\"";
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    char escape[8];
    while (*p != '\0') {
        const unsigned char c = *p;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++p;
            continue;
        }
        if (c < 0x20 || c == 0x7F) {
            switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out += escape;
            }
            ++p;
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++p;
            continue;
        }
        // A whole UTF-8 sequence (no overlong forms, surrogates or values past U+10FFFF) stays as it is.
        std::size_t n = c >= 0xC2 && c <= 0xDF   ? 2
                        : c >= 0xE0 && c <= 0xEF ? 3
                        : c >= 0xF0 && c <= 0xF4 ? 4
                                                 : 0;
        for (std::size_t k = 1; k < n; ++k) {
            if ((p[k] & 0xC0) != 0x80)
                n = 0;
        }
        if (n == 3 && ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] >= 0xA0)))
            n = 0;
        if (n == 4 && ((c == 0xF0 && p[1] < 0x90) || (c == 0xF4 && p[1] >= 0x90)))
            n = 0;
        if (n == 0) {
            std::snprintf(escape, sizeof escape, "\\u%04x", c); // the Latin-1 character of the byte
            out += escape;
            ++p;
            continue;
        }
        out.append(reinterpret_cast<const char *>(p), n);
        p += n;
    }
    return out + "\"";
}

namespace
{

struct json_fields {
    FILE *out;
    bool first = true;
};

void json_field(const spool_field &field, void *context)
{
    auto *j = static_cast<json_fields *>(context);
    std::fprintf(j->out, "%s\"%s\":", j->first ? "" : ",", field.name);
    j->first = false;
    if (field.type == NJE_FIELD_CHARACTER)
        std::fputs(json_string(field.text).c_str(), j->out);
    else
        std::fprintf(j->out, "%u", field.number);
}

// A header record as a JSON object of its fields, or null.
void json_record(const show_job &job, int64_t pos, FILE *out)
{
    std::vector<unsigned char> record;
    if (pos < 0 || spool_job_record(&job.spool, static_cast<uint64_t>(pos), record) <= 0) {
        std::fputs("null", out);
        return;
    }
    json_fields j{out};
    std::fputc('{', out);
    spool_record_fields(record, json_field, &j);
    std::fputc('}', out);
}

} // namespace

int show_json(const show_settings &set, show_job &job, FILE *out)
{
    const spool_job &s = job.spool;
    if (s.header != nullptr)
        std::fprintf(out, "{\"valid\":%u,\"job\":", s.mark);
    else
        std::fputs("{\"valid\":null,\"job\":", out);
    json_record(job, s.job_pos, out);
    std::fputs(",\"datasets\":[", out);
    int status = SHOW_OK;
    for (std::size_t i = 0; i < s.datasets.size(); ++i) {
        status = std::max(status, check_offset(set, job, i));
        std::fprintf(out, "%s{", i == 0 ? "" : ",");
        const std::vector<unsigned char> record = dataset_record(job, i);
        json_fields j{out};
        spool_record_fields(record, json_field, &j);
        std::fprintf(out, "%s\"offset\":%llu,\"netdata\":", j.first ? "" : ",",
                     static_cast<unsigned long long>(s.datasets[i].offset));
        const dataset_probe p = probe(job, i);
        std::fputs(p.netdata ? json_string(p.netdata_name.c_str()).c_str() : "null", out);
        std::fputs(",\"jobcard\":", out);
        if (p.has_card)
            std::fprintf(out, "{\"jobname\":%s,\"account\":%s,\"programmer\":%s}",
                         json_string(p.card.jobname).c_str(), json_string(p.card.account).c_str(),
                         json_string(p.card.programmer).c_str());
        else
            std::fputs("null", out);
        std::fputc('}', out);
    }
    std::fputs("],\"trailer\":", out);
    json_record(job, s.trailer_pos, out);
    std::fputs("}\n", out);
    return std::ferror(out) ? report_write_error(set, _("standard output")) : status;
}

// ---- Datasets as files -------------------------------------------------------------------------------

namespace
{

// A NETDATA dataset's data-file records as they stand: its XMIT stream, filled with zero bytes to a
// whole 80-byte record.
int write_xmit(const show_settings &set, const show_job &job, std::size_t index, FILE *out)
{
    nje_dataset_reader reader;
    if (open_reader(job, index, reader, set.debug) != 0)
        return report_failure(set, job, static_cast<int>(index) + 1, reader);
    const uint32_t limit = job.spool.datasets[index].records;
    uint64_t written = 0;
    for (uint32_t count = 0; limit == 0 || count < limit; ++count) {
        const unsigned char *block = nullptr;
        int length = 0;
        int control = 0;
        const int rc = nje_dataset_next_block(&reader, &block, &length, &control);
        if (rc < 0)
            return report_failure(set, job, static_cast<int>(index) + 1, reader);
        if (rc == 0)
            break;
        std::fwrite(block, 1, static_cast<std::size_t>(length), out);
        written += static_cast<uint64_t>(length);
    }
    for (; written % kXmitRecord != 0; ++written)
        std::fputc(0, out);
    return SHOW_OK;
}

// Writes dataset `index` to `out` (named `out_name` in messages) in the chosen format.
int write_dataset(const show_settings &set, const show_job &job, std::size_t index, FILE *out,
                  const char *out_name)
{
    const int n = static_cast<int>(index) + 1;
    const spool_dataset &d = job.spool.datasets[index];
    std::string name;
    int status;
    if (netdata_name(job, d, name)) {
        if (set.xmit) {
            status = write_xmit(set, job, index, out);
        } else {
            std::fseek(job.spool.data, static_cast<long>(d.offset), SEEK_SET);
            const int rc = nje_netdata_fromibm(job.spool.data, out, set.format, kNetdataRoom);
            status = SHOW_OK;
            if (rc == NETDATA_FROMIBM_WRITE_FAILED) {
                status = SHOW_WRITE_FAILED;
            } else if (rc != NETDATA_FROMIBM_DONE) {
                std::fprintf(stderr,
                             _("%s: %s: dataset %d cannot be read to its end: the NETDATA stream ends "
                               "before its INMR06\n"),
                             set.pgm, job.file.c_str(), n);
                status = SHOW_UNREADABLE;
            }
        }
    } else if (set.xmit) {
        std::fprintf(stderr, _("%s: %s: dataset %d is not a NETDATA dataset\n"), set.pgm, job.file.c_str(),
                     n);
        return SHOW_FAILED;
    } else {
        nje_dataset_reader reader;
        if (open_reader(job, index, reader, set.debug) != 0)
            return report_failure(set, job, n, reader);
        const int rc = nje_dataset_fromibm(&reader, out, set.format);
        status = rc == NJE_FROMIBM_WRITE_FAILED  ? SHOW_WRITE_FAILED
                 : rc == NJE_FROMIBM_READ_FAILED ? report_failure(set, job, n, reader)
                                                 : SHOW_OK;
    }
    if (status == SHOW_WRITE_FAILED || std::ferror(out))
        return report_write_error(set, out_name);
    return status;
}

// Creates `name` in the directory `dir` without following a link or replacing anything; a taken name
// gets ".1", ".2" ... appended. @return the descriptor (and the name used), or -1.
int create_in(int dir, const std::string &name, std::string &used)
{
    for (int k = 0; k <= kMaxNumbered; ++k) {
        used = k == 0 ? name : name + "." + std::to_string(k);
        const int fd = openat(dir, used.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

int show_dataset(const show_settings &set, show_job &job, FILE *out)
{
    const std::size_t count = job.spool.datasets.size();
    if (static_cast<std::size_t>(set.dataset) > count) {
        std::fprintf(stderr, _("%s: %s: no dataset %d (the job has %zu)\n"), set.pgm, job.file.c_str(),
                     set.dataset, count);
        return SHOW_FAILED;
    }
    return write_dataset(set, job, static_cast<std::size_t>(set.dataset) - 1, out, _("standard output"));
}

std::string safe_file_name(const std::string &name, int n)
{
    std::string out;
    for (char c : name) {
        if (out.size() == kMaxFileName)
            break;
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          std::strchr("$#@-_.", c) != nullptr;
        out += keep && c != '\0' ? c : '_';
    }
    if (!out.empty() && out[0] == '.')
        out[0] = '_';
    return out.empty() ? "DATASET" + std::to_string(n) : out;
}

int show_directory(const show_settings &set, show_job &job)
{
    const int dir = open(set.out_dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        std::fprintf(stderr, _("%s: %s: could not open\n"), set.pgm, set.out_dir);
        return SHOW_FAILED;
    }
    int status = SHOW_OK;
    // A buffer of our own: asked for a size alone, the stream library takes one file-system block.
    const auto out_buffer = std::make_unique<char[]>(kFileBuffer);
    for (std::size_t i = 0; i < job.spool.datasets.size() && status != SHOW_WRITE_FAILED; ++i) {
        std::string name;
        if (!netdata_name(job, job.spool.datasets[i], name)) {
            const std::vector<unsigned char> record = dataset_record(job, i);
            name = record.empty() ? "" : dataset_name(record);
        }
        std::string used;
        const int fd = create_in(dir, safe_file_name(name, static_cast<int>(i) + 1), used);
        const std::string path = std::string(set.out_dir) + "/" + used;
        FILE *out = fd >= 0 ? fdopen(fd, "wb") : nullptr;
        if (out == nullptr) {
            if (fd >= 0)
                close(fd);
            std::fprintf(stderr, _("%s: %s: could not create\n"), set.pgm, path.c_str());
            status = std::max(status, SHOW_FAILED);
            continue;
        }
        std::setvbuf(out, out_buffer.get(), _IOFBF, kFileBuffer);
        int rc = write_dataset(set, job, i, out, path.c_str());
        if (std::fclose(out) != 0 && rc != SHOW_WRITE_FAILED)
            rc = report_write_error(set, path.c_str());
        status = std::max(status, rc);
        std::printf("%s\n", path.c_str());
    }
    close(dir);
    return status;
}

// ---- Console lines as nodal messages -----------------------------------------------------------------

namespace
{

std::string nmr_name(const unsigned char *field)
{
    char text[nje_etoa_str_bound(NMR_NAME_SIZE)];
    nje_EtoA_str(field, text, NMR_NAME_SIZE);
    return text;
}

// One record as a line: "USER@NODE: text", or a JSON object with every field.
void print_nmr(const show_settings &set, const unsigned char *rec, FILE *out)
{
    const int length = std::min<int>(rec[NMR_ML], static_cast<int>(NMR_MSG_MAX));
    char text[nje_etoa_str_bound(NMR_MSG_MAX)];
    nje_EtoA_str(rec + NMR_MSG, text, length);
    std::size_t n = std::strlen(text);
    if (n > 0 && text[n - 1] == '\n')
        text[--n] = '\0'; // the new line that ended the line
    const std::string user = nmr_name(rec + NMR_USER);
    const std::string to = nmr_name(rec + NMR_TONOD);
    if (set.json) {
        std::fprintf(out, "{\"flag\":%u,\"user\":%s,\"to\":%s,\"from\":%s,\"length\":%u,\"text\":%s}\n",
                     rec[NMR_FLAG], json_string(user.c_str()).c_str(), json_string(to.c_str()).c_str(),
                     json_string(nmr_name(rec + NMR_FMNOD).c_str()).c_str(), rec[NMR_ML],
                     json_string(text).c_str());
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F)
            text[i] = '.'; // one line per record on a terminal
    }
    std::fprintf(out, "%s@%s: %s\n", user.c_str(), to.c_str(), text);
}

} // namespace

int show_console(const show_settings &set, show_job &job, FILE *out, FILE *nmr)
{
    const int n = set.dataset != 0 ? set.dataset : 1;
    if (static_cast<std::size_t>(n) > job.spool.datasets.size()) {
        std::fprintf(stderr, _("%s: %s: no dataset %d (the job has %zu)\n"), set.pgm, job.file.c_str(), n,
                     job.spool.datasets.size());
        return SHOW_FAILED;
    }
    nje_dataset_reader reader;
    if (open_reader(job, static_cast<std::size_t>(n) - 1, reader, set.debug) != 0)
        return report_failure(set, job, n, reader);
    const char *conuids = set.conuids != nullptr ? set.conuids : "";
    rje_expand_ctx ctx;
    unsigned char record[NMR_RECORD_SIZE];
    for (;;) {
        const unsigned char *block = nullptr;
        int length = 0;
        int control = 0;
        const int rc = nje_dataset_next_block(&reader, &block, &length, &control);
        if (rc < 0)
            return report_failure(set, job, n, reader);
        if (rc == 0)
            break;
        const bool compressed = control == NJE_DATA_CONTROL_SNA &&
                                (nje_expansion_open(&ctx) || nje_dataset_is_block(block, length));
        if (!compressed)
            ctx = rje_expand_ctx{};
        const unsigned char *in =
            compressed ? rje_expand_begin(&ctx, block, static_cast<std::size_t>(length)) : block;
        const unsigned char *end = block + length;
        // Every call takes a line or one byte of a run of line ends: at most 63 per byte of the block.
        const std::size_t limit = 64 * static_cast<std::size_t>(length) + 4;
        for (std::size_t calls = 0; in < end && calls < limit; ++calls) {
            unsigned char *o = record;
            const unsigned char *before = in;
            const int made = rje_make_nmr(&in, &o, compressed ? end - 1 : end, set.console_node, &ctx,
                                          set.console_index, compressed ? 1 : 0, conuids, set.debug);
            if (o != record) {
                print_nmr(set, record, out);
                if (nmr != nullptr)
                    std::fwrite(record, 1, NMR_RECORD_SIZE, nmr);
            }
            if (made == 0 && in == before)
                break;
        }
        if (std::ferror(out))
            return report_write_error(set, _("standard output"));
        if (nmr != nullptr && std::ferror(nmr))
            return report_write_error(set, set.nmr_file);
    }
    return SHOW_OK;
}
