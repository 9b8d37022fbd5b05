// Job builder of the jobpush front end: one NJE job in the link daemon's spool, a header file NJH<id>
// (job header, one dataset header per file, job trailer) and a data file NJD<id> (the compressed
// EBCDIC records of every file, closed by the end-of-data mark), then the send request.
#include "frontend/job_builder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <span>
#include <string>

#include "convert/rje_convert.h"
#include "frontend/exits.h"
#include "frontend/names.h"
#include "frontend/netdata_job.h"
#include "frontend/run_state.h"
#include "spool/rje_data.h"
#include "spool/rje_defaults.h"
#include "spool/rje_header.h"
#include "support/intl.h"
#include "support/rje_util.h"

namespace
{

// Identity of a DEBUG_LOCAL run, which asks no link daemon.
constexpr const char kLocalUser[] = "LOCUSR";   // 6 characters
constexpr const char kLocalNode[] = "LOCALNOD"; // 8 characters
constexpr const char kLocalLink[] = "rje";
constexpr int kLocalFirstId = 78;

// Fields that each record takes from the override list; an entry is matched by descriptor, so every
// dictionary name with one of these descriptors lands on the same bytes.
constexpr uint32_t kJobHeaderOverrides[] = {NJHGJCPY, NJHGJCLS, NJHGMCLS, NJHGJNAM, NJHGUSID, NJHGPRTN,
                                            NJHGPRTR, NJHGFORM, NJHGPRGN, NJHGROOM, NJHGDEPT, NJHGBLDG};
constexpr uint32_t kDatasetHeaderOverrides[] = {NDHGFLG1, NDHGFLG2, NDHGCLAS, NDHGRMT, NDHGFORM, NDHGXWTR};

bool tracing()
{
    return (settings.debug & TRACE) != 0;
}

uint32_t ibm_now()
{
    return nje_toibmtime(static_cast<uint32_t>(std::time(nullptr)));
}

// The job number: the leading decimal number of the identifier modulo 9999, without overflow.
int job_number(const char *ident)
{
    int n = 0;
    for (const char *p = ident; *p >= '0' && *p <= '9'; ++p)
        n = (n * 10 + (*p - '0')) % 9999;
    return n;
}

long data_offset(FILE *data)
{
    long offset = std::ftell(data);
    if (offset > static_cast<long>(UINT32_MAX)) { // a dataset header holds 32 bits
        errno = EOVERFLOW;
        offset = -1;
    }
    if (offset < 0) {
        myperror(settings.pgm, _("failure in calculating data file offset"));
        fail_exit();
    }
    return offset;
}

// Whether an input holds data. A regular file is judged by its file status; any other stream (pipe,
// FIFO, terminal, device) reports no useful size, so it holds data when one byte can be read, and that
// byte is put back for the conversion.
bool holds_data(FILE *stream)
{
    struct stat st;
    if (fstat(fileno(stream), &st) != 0 || S_ISREG(st.st_mode))
        return file_size(stream) > 0;
    int c = std::getc(stream);
    return c != EOF && std::ungetc(c, stream) != EOF;
}

// An input that is one of the job's own spool files would read what the run writes, without end.
void refuse_own_spool_file(FILE *stream, const char *what)
{
    struct stat in;
    if (fstat(fileno(stream), &in) != 0)
        return; // judged by the conversion's reads
    for (FILE *spool : {job.hf, job.df}) {
        struct stat st;
        if (spool != nullptr && fstat(fileno(spool), &st) == 0 && st.st_dev == in.st_dev && st.st_ino == in.st_ino) {
            std::fprintf(stderr, _("%s: %s: is a spool file of this job\n"), settings.pgm, what);
            fail_exit();
        }
    }
}

// Converts one stream into the data file. @return the number of records; every failure ends the run.
int64_t convert(FILE *stream, int format)
{
    const int64_t result = nje_convert_toibm(stream, job.df, job.buffer, settings.lrecl, settings.maxdata, format, 0,
                                             settings.tabs, settings.fixed);
    check_conversion(result, "process_file: nje_convert_toibm");
    if (tracing())
        std::fputs("process_file: GOOD ret from 'nje_convert_toibm()'\n", stderr);
    return result;
}

// Applies the accepted entries of the override list to `section`; an unknown name ends the run.
void apply_overrides(unsigned char *section, std::span<const uint32_t> accepted, std::span<user_field> fields)
{
    for (user_field &entry : fields) {
        if (entry.name == nullptr)
            break;
        const nje_field *field = find_field(entry.name);
        if (field == nullptr) {
            std::fprintf(stderr, _("%s: unknown field %s\n"), settings.pgm, entry.name);
            fail_exit();
        }
        bool taken = false;
        for (uint32_t descriptor : accepted)
            taken = taken || descriptor == field->descriptor;
        if (!taken || entry.value == nullptr)
            continue;
        set_user_field(field, entry.value, section);
        entry.used = true;
    }
}

unsigned char *add_section(unsigned char *buf, const unsigned char *section)
{
    unsigned char *copy = nje_header_add_section(buf, static_cast<size_t>(settings.buffersize), section);
    if (copy == nullptr) { // the templates total far less than the buffer; never expected
        std::fprintf(stderr, "%s: ", settings.pgm);
        std::fputs(_("Couldn't allocate buffer"), stderr);
        fail_exit();
    }
    return copy;
}

// Sets the fixed values of a record; the descriptors are the dictionary's own, so the update cannot fail.
void update(unsigned char *section, std::initializer_list<nje_field_set> list)
{
    [[maybe_unused]] int rc = nje_section_update_fields(section, list);
    assert(rc == 0);
}

// Builds the spool path of one file of the job into `out`; a path that does not fit is refused.
void spool_path(char (&out)[kSpoolPathSize], const char *kind)
{
    std::string path =
        std::string(settings.spool_dir) + "/" + job.my_node + "/" + job.linkname + "/input/" + kind + job.id;
    if (path.size() >= sizeof out) {
        errno = ENAMETOOLONG;
        myperror(settings.pgm, path.c_str());
        fail_exit();
    }
    std::memcpy(out, path.c_str(), path.size() + 1);
}

// Creates one spool file at `path`, refusing what is not ours to write.
FILE *create_spool_file(const char *path, FILE *(*create)(const char *))
{
    FILE *f = create(path);
    if (f != nullptr)
        return f;
    if (errno == EWOULDBLOCK)
        std::fprintf(stderr, _("%s: %s: the job is being built by another run\n"), settings.pgm, path);
    else
        myperror(settings.pgm, path);
    return nullptr;
}

} // namespace

void check_conversion(int64_t result, const char *what)
{
    const char *pgm = settings.pgm;
    switch (result) {
    case NJE_CONVERT_WRITE_FAILED:
        write_error_exit(what);
    case NJE_CONVERT_NO_MEMORY:
        std::fprintf(stderr, _("%s: %s: memory exhausted\n"), pgm, what);
        fail_exit();
    case NJE_CONVERT_DBCS_NO_ROOM:
        std::fprintf(stderr,
                     _("%s: %s: a double-byte character does not fit a record of %d bytes (at least 4 are "
                       "needed)\n"),
                     pgm, what, settings.lrecl);
        fail_exit();
    case NJE_CONVERT_SHORT_RECORD:
        std::fprintf(stderr, _("%s: %s: the last record runs past the end of the input\n"), pgm, what);
        fail_exit();
    default:
        if (result >= 0)
            return;
        std::fprintf(stderr, _("%s: %s: compression failed\n"), pgm, what);
        fail_exit();
    }
}

bool local_job()
{
    return job.initialized ? job.local_run : (settings.debug & DEBUG_LOCAL) != 0;
}

long file_size(FILE *stream)
{
    struct stat st;
    if (fstat(fileno(stream), &st) != 0) {
        myperror(settings.pgm, _("stat of file failed"));
        return 0;
    }
    return static_cast<long>(st.st_size);
}

void set_user_field(const nje_field *entry, const char *value, unsigned char *section)
{
    int rc = 0;
    switch (nje_field_type(entry->descriptor)) {
    case NJE_FIELD_INTEGER: {
        // Decimal like atoi; the value wraps into the field in two's complement.
        long long number = std::strtoll(value, nullptr, 10);
        rc = nje_section_update_fields(section, {{entry->descriptor, static_cast<uint32_t>(number)}});
        break;
    }
    case NJE_FIELD_CHARACTER:
        // Character fields are stored without filling: clear the fixed value first, so that a
        // shorter override does not keep its tail.
        std::memset(section + nje_field_offset(entry->descriptor), 0, nje_field_length(entry->descriptor));
        rc = nje_section_update_fields(section, {{entry->descriptor, value}});
        break;
    case NJE_FIELD_TIME:
        std::fprintf(stderr, _("%s: can't update time fields %s\n"), settings.pgm, entry->name);
        fail_exit();
    default:
        std::fprintf(stderr, _("%s: bad field type detected %s\n"), settings.pgm, entry->name);
        fail_exit();
    }
    if (rc == -1) {
        std::fprintf(stderr, _("%s: can't update field %s\n"), settings.pgm, entry->name);
        fail_exit();
    }
}

void create_job_header(FILE *header, unsigned char *buf, int number, const char *name, const char *user,
                       const char *node, const char *rname, const char *rnode)
{
    uint32_t now = ibm_now();
    nje_header_initialize(buf);
    nje_header_set_type(buf, NJE_JOB_HEADER);
    unsigned char *section = add_section(buf, njhg_default);
    const bool type2 = job_type == 2;
    update(section, {{NJHGJID, number},
                     {NJHGJCLS, "B"},
                     {NJHGMCLS, "A"},
                     {NJHGPRIO, 7},
                     {NJHGORGQ, 1},
                     {NJHGJCPY, 1},
                     {NJHGJNAM, name},
                     {NJHGUSID, user},
                     {NJHGETS, now},
                     {NJHGORGN, node},
                     {NJHGORGR, user},
                     {NJHGXEQN, type2 ? node : rnode},
                     {NJHGXEQU, type2 ? user : rname},
                     {NJHGPRTN, type2 ? rnode : node},
                     {NJHGPRTR, type2 ? rname : user},
                     {NJHGPUNN, type2 ? rnode : node},
                     {NJHGPUNR, type2 ? rname : user},
                     {NJHGPRGN, user}});
    apply_overrides(section, kJobHeaderOverrides, settings.ufields);
    if (nje_header_write(header, buf) == -1)
        write_error_exit("create_job_header: nje_header_write");
}

void create_ds_header(FILE *header, unsigned char *buf, long offset, int reclen, uint32_t nrec, const char *name,
                      const char *type, const char *user, const char *rname, const char *rnode)
{
    nje_header_initialize(buf);
    nje_header_set_offset(buf, static_cast<uint32_t>(offset));
    nje_header_set_type(buf, NJE_DATASET_HEADER);
    unsigned char *general = add_section(buf, ndhg_default);
    update(general, {{NDHGNODE, rnode},
                     {NDHGRMT, rname},
                     {NDHGPROC, name},
                     {NDHGSTEP, type},
                     {NDHGDSNO, 1},
                     {NDHGCLAS, "B"},
                     {NDHGNREC, nrec},
                     {NDHGRCFM, 0x80},
                     {NDHGLREC, reclen},
                     {NDHGDSCT, 1},
                     {NDHGXWTR, rname},
                     {NDHGFLG2, 0x40}});
    apply_overrides(general, kDatasetHeaderOverrides, settings.ufields);
    unsigned char *rscs = add_section(buf, ndhv_default);
    update(rscs, {{NDHVCLAS, "A"},
                  {NDHVIDEV, 0x82},
                  {NDHVDIST, user},
                  {NDHVFNAM, settings.filename},
                  {NDHVFTYP, settings.filetype}});
    if (tracing()) {
        std::fprintf(stderr, "create_ds_header: call 'nje_header_write()': lrecl=%d\n", reclen);
        std::fflush(stderr);
        std::fputs("create_ds_header: buf=\n", stderr);
        std::fflush(stderr);
        uint32_t length = nje_header_body_length(buf);
        for (uint32_t i = 0; i < length; ++i) {
            std::fprintf(stderr, "%2x ", buf[i]);
            if ((i + 1) % 16 == 0)
                std::fputc('\n', stderr);
        }
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
    if (nje_header_write(header, buf) == -1)
        write_error_exit("create_ds_trailer: nje_header_write");
}

void create_job_trailer(FILE *header, unsigned char *buf, uint32_t start)
{
    uint32_t now = ibm_now();
    nje_header_initialize(buf);
    nje_header_set_type(buf, NJE_JOB_TRAILER);
    unsigned char *section = add_section(buf, njtg_default);
    update(section, {{NJTGXCLS, "B"},
                     {NJTGSTRT, start},
                     {NJTGSTOP, now},
                     {NJTGIXPR, 7},
                     {NJTGAXPR, 7},
                     {NJTGIOPR, 7},
                     {NJTGAOPR, 7}});
    if (nje_header_write(header, buf) == -1)
        write_error_exit("create_job_trailer: nje_header_write");
}

void initialize(const char *user, const char *node)
{
    char temp_name[NJE_NAME_FIELD] = {};
    char temp_node[NJE_NAME_FIELD] = {};
    std::memset(job.my_name, 0, sizeof job.my_name);
    std::memset(job.my_node, 0, sizeof job.my_node);
    job.local_run = (settings.debug & DEBUG_LOCAL) != 0;

    if (settings.gateway == nullptr) {
        std::fprintf(stderr, _("%s: -g hostname not specified.\n"), settings.pgm);
        usage();
    }
    nje_section_defaults();
    job.buffer = nje_data_allocate_buffer(static_cast<size_t>(settings.buffersize));
    if (job.buffer == nullptr) {
        std::fprintf(stderr, "%s: ", settings.pgm);
        std::fputs(_("Couldn't allocate buffer"), stderr);
        fail_exit();
    }

    link_context &link = job.link;
    link = link_context{settings.pgm, settings.gateway, settings.remote_node, settings.save_remote_node, tracing(),
                        nullptr};
    if (job.local_run) {
        std::strcpy(temp_name, kLocalUser);
        std::strcpy(temp_node, kLocalNode);
    } else {
        link.clnt = nje_xdr_contactdisp(settings.gateway);
        if (link.clnt == nullptr) {
            std::fprintf(stderr, _(NJE_MSG_CANNOT_CONTACT), settings.pgm, settings.save_remote_node,
                         settings.gateway);
            fail_exit();
        }
        nje_refusal refused;
        int rc = nje_xdr_userparms(link.clnt, temp_node, temp_name, &refused);
        if (rc == NJE_XDR_REFUSED) {
            refusal_error(settings.pgm, _("could not get local name and node"), refused);
            fail_exit();
        }
        if (rc != 0) {
            rpcerr(settings.pgm, link.clnt, _("could not get local name and node"), -1);
            fail_exit();
        }
        int m = getmaxdata(link);
        if (m == NJE_GATEWAY_UNRESOLVED)
            fatal_exit(255);
        if (m < 0) {
            if (tracing())
                std::fputs("-1 return from 'getmaxdata'\n", stderr);
            fail_exit();
        }
        settings.maxdata = (m < settings.jes2bufmax ? m : settings.jes2bufmax) - 9;
    }
    if (tracing())
        std::fprintf(stderr, "initialize: temp_name=%s temp_node=%s\n", temp_name, temp_node);

    uppercase(job.my_name, user != nullptr ? user : temp_name, NJE_NAME_CHARS);
    uppercase(job.my_node, node != nullptr ? node : temp_node, NJE_NAME_CHARS);
    job.initialized = 1;
}

void new_job()
{
    std::memset(job.id, 0, sizeof job.id);
    if (job.local_run) {
        // Later jobs of a run with separate jobs count on, so that no job overwrites another.
        std::strcpy(job.linkname, kLocalLink);
        std::snprintf(job.id, sizeof job.id, "%d", kLocalFirstId + job.local_jobs++);
    } else {
        nje_refusal refused;
        int rc = nje_xdr_getid(job.link.clnt, settings.remote_node, job.linkname, job.id, &refused);
        if (rc == NJE_XDR_REFUSED) {
            refusal_error(settings.pgm, _("could not get job id"), refused);
            fail_exit();
        }
        if (rc != 0) {
            rpcerr(settings.pgm, job.link.clnt, _("could not get job id"), rc);
            fail_exit();
        }
    }

    // The paths change and the files appear with the signals held, so that the clean-up of a signal
    // sees either no file of this job or complete paths of files that are this run's.
    hold_signals(true);
    job.files = 0;
    spool_path(job.NJH_filename, "NJH");
    spool_path(job.NJD_filename, "NJD");
    if (tracing()) {
        std::fprintf(stderr, "new_job: my_node=%s my_name=%s linkname=%s remote_node=%s id=%s\n", job.my_node,
                     job.my_name, job.linkname, settings.remote_node, job.id);
        std::fprintf(stderr, "new_job: call 'nje_header_create()': NJH_filename=%s\n", job.NJH_filename);
    }
    job.hf = create_spool_file(job.NJH_filename, nje_header_create);
    if (job.hf == nullptr)
        fail_exit(); // nothing of this job exists
    job.files = 1;
    job.df = create_spool_file(job.NJD_filename, nje_data_create);
    if (job.df == nullptr)
        fail_exit(); // removes the header file
    job.files = 2;
    hold_signals(false);

    job.jobno = job_number(job.id);
    std::snprintf(job.jobname, sizeof job.jobname, "ZAK%04d", job.jobno);
    job.starttime = ibm_now();
    if (tracing()) {
        std::fprintf(stderr, "new_job: call 'create_job_header()': jobno=%d jobname=%s\n", job.jobno, job.jobname);
        std::fflush(stderr);
    }
    create_job_header(job.hf, job.buffer, job.jobno, job.jobname, job.my_name, job.my_node, settings.remote_name,
                      settings.remote_node);
}

void process_file(FILE *stream, const char *name, const char *type, FILE *bjcl, FILE *ejcl)
{
    if (netdata) {
        process_netdata_file(stream, name, type);
        return;
    }
    if (!job.initialized) {
        initialize(settings.actual_name, settings.actual_node);
        new_job();
    } else if (separate_jobs) {
        new_job();
    }
    refuse_own_spool_file(stream, settings.input_name);
    if (bjcl != nullptr)
        refuse_own_spool_file(bjcl, settings.beginjcl_filename);
    if (ejcl != nullptr)
        refuse_own_spool_file(ejcl, settings.endjcl_filename);

    long offset = 0;
    if (job_type == 2)
        offset = data_offset(job.df);

    if (bjcl != nullptr) {
        if (!holds_data(bjcl)) {
            std::fputs(_("jobpush FAILED! zero length: begin jcl file\n"), stderr);
            fail_exit();
        }
        if (tracing()) {
            std::fputs("process_file: jcl1: CALL 'nje_convert_toibm()'\n", stderr);
            std::fprintf(stderr, "process_file: maxdata=%d\n", settings.maxdata);
        }
        convert(bjcl, 0);               // JCL is always text
        offset = data_offset(job.df); // the dataset begins after its begin JCL
    }

    if (tracing())
        std::fputs("process_file: CALL 'nje_convert_toibm()'\n", stderr);
    if (!holds_data(stream)) {
        std::fputs(_("jobpush FAILED! zero length: data file\n"), stderr);
        fail_exit();
    }
    int64_t nrec = convert(stream, settings.data_format);

    if (ejcl != nullptr) {
        if (!holds_data(ejcl)) {
            std::fputs(_("jobpush FAILED! zero length: end jcl; file\n"), stderr);
            fail_exit();
        }
        if (tracing())
            std::fputs("process_file: jcl2: CALL 'nje_convert_toibm()'\n", stderr);
        nrec += convert(ejcl, 0); // the dataset's records run to the end of its end JCL
    }

    if (job_type == 2) {
        if (nrec > static_cast<int64_t>(UINT32_MAX)) {
            std::fprintf(stderr, _("%s: %s: %lld records are more than a dataset header can count\n"),
                         settings.pgm, name, static_cast<long long>(nrec));
            fail_exit();
        }
        if (tracing())
            std::fputs("process_file: CALL 'create_ds_header()'\n", stderr);
        create_ds_header(job.hf, job.buffer, offset, settings.lrecl, static_cast<uint32_t>(nrec), name, type,
                         job.my_name, settings.remote_name, settings.remote_node);
    }

    if (local_job()) {
        std::fflush(stderr);
        if (separate_jobs)
            close_local_job();
        return;
    }
    if (separate_jobs)
        send_job(job.hf, job.df);
}

void send_job(FILE *header, FILE *data)
{
    if (tracing())
        std::fputs("send_job: CALL 'nje_data_write_eod()'\n", stderr);
    if (nje_data_write_eod(data) != 0)
        write_error_exit("send_job: nje_data_write_eod");
    int rc = nje_data_close(data);
    job.df = nullptr;
    if (rc != 0)
        write_error_exit("send_job: nje_data_close");

    create_job_trailer(header, job.buffer, job.starttime);
    if (nje_header_mark_as_valid(header, job_type) != 0)
        write_error_exit("send_job: nje_header_mark_as_valid");
    // From here on the job is complete in the spool: no later failure or signal removes it. Closing the
    // header file ends its lock, so the files are given up first.
    hold_signals(true);
    rc = nje_header_close(header);
    job.hf = nullptr;
    if (rc != 0)
        write_error_exit("send_job: nje_header_close");
    job.files = 0;
    hold_signals(false);

    rc = nje_xdr_sendjob(job.link.clnt, job_type, settings.remote_node, job.my_name, job.id);
    if (rc == 0)
        std::fprintf(stderr, _("Job %s sent to %s@%s.\n"), job.jobname, settings.remote_name, settings.remote_node);
    else
        rpcerr(settings.pgm, job.link.clnt, "send job", rc);
}

void close_local_job()
{
    if (job.df != nullptr) {
        int rc = nje_data_close(job.df);
        job.df = nullptr;
        if (rc != 0)
            write_error_exit("close_local_job: nje_data_close");
    }
    if (job.hf != nullptr) {
        int rc = nje_header_close(job.hf);
        job.hf = nullptr;
        if (rc != 0)
            write_error_exit("close_local_job: nje_header_close");
    }
    job.files = 0;
}
