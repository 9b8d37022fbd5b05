// Job builder of the jobpush front end: one NJE job in the link daemon's spool, a header file NJH<id>
// (job header, one dataset header per file, job trailer) and a data file NJD<id> (the compressed
// EBCDIC records of every file, closed by the end-of-data mark), then the send request.
#include "frontend/job_builder.h"

#include <libintl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "convert/rje_convert.h"
#include "frontend/jobpush.h"
#include "frontend/netdata_job.h"
#include "spool/rje_data.h"
#include "spool/rje_defaults.h"
#include "spool/rje_header.h"
#include "support/rje_util.h"

#define _(text) gettext(text)

int initialized = 0;
unsigned char *buffer = nullptr;
char my_name[10];
char my_node[10];
char linkname[10];
char id[32];
char NJH_filename[256];
char NJD_filename[256];
FILE *hf = nullptr;
FILE *df = nullptr;
int jobno = 0;
char jobname[32];
uint32_t starttime = 0;

namespace
{

// Identity of a DEBUG_LOCAL run, which asks no link daemon.
constexpr const char kLocalUser[] = "LOCUSR";   // 6 characters
constexpr const char kLocalNode[] = "LOCALNOD"; // 8 characters
constexpr const char kLocalLink[] = "rje";
constexpr int kLocalFirstId = 78;
int local_jobs = 0; // jobs built so far in a DEBUG_LOCAL run

char temp_name[10];
char temp_node[10];

// Fields that each record takes from the override list; an entry is matched by descriptor, so every
// dictionary name with one of these descriptors lands on the same bytes.
constexpr uint32_t kJobHeaderOverrides[] = {NJHGJCPY, NJHGJCLS, NJHGMCLS, NJHGJNAM, NJHGUSID, NJHGPRTN,
                                            NJHGPRTR, NJHGFORM, NJHGPRGN, NJHGROOM, NJHGDEPT, NJHGBLDG};
constexpr uint32_t kDatasetHeaderOverrides[] = {NDHGFLG1, NDHGFLG2, NDHGCLAS, NDHGRMT, NDHGFORM, NDHGXWTR};

bool tracing()
{
    return (debug & TRACE) != 0;
}
bool local_run = false; // fixed by initialize

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

long data_offset()
{
    long offset = std::ftell(df);
    if (offset > static_cast<long>(UINT32_MAX)) { // a dataset header holds 32 bits
        errno = EOVERFLOW;
        offset = -1;
    }
    if (offset < 0) {
        myperror(_("failure in calculating data file offset"));
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

void check_conversion(int result)
{
    if (result == -2) {
        std::fprintf(stderr, _("%s: process_file: nje_convert_toibm: compression failed\n"), pgm);
        fail_exit();
    }
    if (result < 0)
        write_error_exit("process_file: nje_convert_toibm");
    if (tracing())
        std::fputs("process_file: GOOD ret from 'nje_convert_toibm()'\n", stderr);
}

int convert(FILE *stream, int format)
{
    int result = nje_convert_toibm(stream, df, buffer, lrecl, maxdata, format, 0, tabs, fixed);
    check_conversion(result);
    return result;
}

// Applies the accepted entries of the override list to `section`; an unknown name ends the run.
void apply_overrides(unsigned char *section, std::span<const uint32_t> accepted)
{
    for (int i = 0; i < kMaxUserFields && ufields[i].name != nullptr; ++i) {
        user_field &entry = ufields[i];
        const nje_field *field = find_field(entry.name);
        if (field == nullptr) {
            std::fprintf(stderr, _("%s: unknown field %s\n"), pgm, entry.name);
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

unsigned char *add_section(const unsigned char *section)
{
    unsigned char *copy = nje_header_add_section(buffer, static_cast<size_t>(buffersize), section);
    if (copy == nullptr) { // the templates total far less than the buffer; never expected
        std::fprintf(stderr, "%s: ", pgm);
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
void spool_path(char (&out)[256], const char *kind)
{
    std::string path = std::string(spool_dir) + "/" + my_node + "/" + linkname + "/input/" + kind + id;
    if (path.size() >= sizeof out) {
        errno = ENAMETOOLONG;
        myperror(path.c_str());
        fail_exit();
    }
    std::memcpy(out, path.c_str(), path.size() + 1);
}

} // namespace

bool local_job()
{
    return initialized ? local_run : (debug & DEBUG_LOCAL) != 0;
}

void fail_exit()
{
    if (NJH_filename[0] != '\0')
        unlink(NJH_filename);
    if (NJD_filename[0] != '\0')
        unlink(NJD_filename);
    std::exit(1);
}

void write_error_exit(const char *what)
{
    std::fprintf(stderr, _("%s: %s: \n\tfile write ERROR: spool directory is full.\n"), pgm, what);
    fail_exit();
}

long file_size(FILE *stream)
{
    struct stat st;
    if (fstat(fileno(stream), &st) != 0) {
        myperror(_("stat of file failed"));
        return 0;
    }
    return static_cast<long>(st.st_size);
}

const nje_field *find_field(const char *name)
{
    for (const nje_field *entry = nje_field_dictionary; entry->name != nullptr; ++entry) {
        if (std::strcmp(entry->name, name) == 0)
            return entry;
    }
    return nullptr;
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
        std::fprintf(stderr, _("%s: can't update time fields %s\n"), pgm, entry->name);
        fail_exit();
    default:
        std::fprintf(stderr, _("%s: bad field type detected %s\n"), pgm, entry->name);
        fail_exit();
    }
    if (rc == -1) {
        std::fprintf(stderr, _("%s: can't update field %s\n"), pgm, entry->name);
        fail_exit();
    }
}

void create_job_header(FILE *header, unsigned char *buf, int number, const char *name, const char *user,
                       const char *node, const char *rname, const char *rnode)
{
    uint32_t now = ibm_now();
    nje_header_initialize(buf);
    nje_header_set_type(buf, NJE_JOB_HEADER);
    unsigned char *section = add_section(njhg_default);
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
    apply_overrides(section, kJobHeaderOverrides);
    if (nje_header_write(header, buf) == -1)
        write_error_exit("create_job_header: nje_header_write");
}

void create_ds_header(FILE *header, unsigned char *buf, long offset, int reclen, int nrec, const char *name,
                      const char *type, const char *user, const char *rname, const char *rnode)
{
    nje_header_initialize(buf);
    nje_header_set_offset(buf, static_cast<uint32_t>(offset));
    nje_header_set_type(buf, NJE_DATASET_HEADER);
    unsigned char *general = add_section(ndhg_default);
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
    apply_overrides(general, kDatasetHeaderOverrides);
    unsigned char *rscs = add_section(ndhv_default);
    update(rscs,
           {{NDHVCLAS, "A"}, {NDHVIDEV, 0x82}, {NDHVDIST, user}, {NDHVFNAM, filename}, {NDHVFTYP, filetype}});
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
    unsigned char *section = add_section(njtg_default);
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
    std::memset(my_name, 0, sizeof my_name);
    std::memset(my_node, 0, sizeof my_node);
    std::memset(temp_name, 0, sizeof temp_name);
    std::memset(temp_node, 0, sizeof temp_node);
    NJH_filename[0] = '\0';
    NJD_filename[0] = '\0';
    local_run = (debug & DEBUG_LOCAL) != 0;

    if (gateway == nullptr) {
        std::fprintf(stderr, _("%s: -g hostname not specified.\n"), pgm);
        usage();
    }
    nje_section_defaults();
    buffer = nje_data_allocate_buffer(static_cast<size_t>(buffersize));
    if (buffer == nullptr) {
        std::fprintf(stderr, "%s: ", pgm);
        std::fputs(_("Couldn't allocate buffer"), stderr);
        std::exit(1);
    }

    if (local_job()) {
        std::strcpy(temp_name, kLocalUser);
        std::strcpy(temp_node, kLocalNode);
    } else {
        clnt = nje_xdr_contactdisp(gateway);
        if (clnt == nullptr) {
            std::fprintf(stderr, _(NJE_MSG_CANNOT_CONTACT), pgm, save_remote_node, gateway);
            std::exit(1);
        }
        if (nje_xdr_userparms(clnt, temp_node, temp_name) != 0) {
            rpcerr(clnt, _("could not get local name and node"), -1);
            end_link();
            std::exit(1);
        }
        int m = getmaxdata();
        if (m < 0) {
            if (tracing())
                std::fputs("-1 return from 'getmaxdata'\n", stderr);
            end_link();
            std::exit(1);
        }
        maxdata = (m < jes2bufmax ? m : jes2bufmax) - 9;
    }
    if (tracing())
        std::fprintf(stderr, "initialize: temp_name=%s temp_node=%s\n", temp_name, temp_node);

    uppercase(my_name, user != nullptr ? user : temp_name, kNameChars);
    uppercase(my_node, node != nullptr ? node : temp_node, kNameChars);
    initialized = 1;
}

void new_job()
{
    NJH_filename[0] = '\0';
    NJD_filename[0] = '\0';
    std::memset(id, 0, sizeof id);

    if (local_job()) {
        // Later jobs of a run with separate jobs count on, so that no job overwrites another.
        std::strcpy(linkname, kLocalLink);
        std::snprintf(id, sizeof id, "%d", kLocalFirstId + local_jobs++);
    } else {
        int rc = nje_xdr_getid(clnt, remote_node, linkname, id);
        if (rc != 0) {
            rpcerr(clnt, _("could not get job id"), rc);
            end_link();
            std::exit(1);
        }
    }

    char header_path[256];
    char data_path[256];
    spool_path(header_path, "NJH");
    spool_path(data_path, "NJD");
    std::memcpy(NJH_filename, header_path, sizeof NJH_filename);
    if (tracing()) {
        std::fprintf(stderr, "new_job: my_node=%s my_name=%s linkname=%s remote_node=%s id=%s\n", my_node,
                     my_name, linkname, remote_node, id);
        std::fprintf(stderr, "new_job: call 'nje_header_create()': NJH_filename=%s\n", NJH_filename);
    }
    hf = nje_header_create(NJH_filename);
    if (hf == nullptr) {
        myperror(NJH_filename);
        NJH_filename[0] = '\0'; // nothing of this job exists
        std::exit(1);
    }
    std::memcpy(NJD_filename, data_path, sizeof NJD_filename);
    df = nje_data_create(NJD_filename);
    if (df == nullptr) {
        myperror(NJD_filename);
        NJD_filename[0] = '\0';
        fail_exit();
    }

    jobno = job_number(id);
    std::snprintf(jobname, sizeof jobname, "ZAK%04d", jobno);
    starttime = ibm_now();
    if (tracing()) {
        std::fprintf(stderr, "new_job: call 'create_job_header()': jobno=%d jobname=%s\n", jobno, jobname);
        std::fflush(stderr);
    }
    create_job_header(hf, buffer, jobno, jobname, my_name, my_node, remote_name, remote_node);
}

void process_file(FILE *stream, const char *name, const char *type, FILE *bjcl, FILE *ejcl)
{
    if (netdata) {
        process_netdata_file(stream, name, type);
        return;
    }
    if (!initialized) {
        initialize(actual_name, actual_node);
        new_job();
    } else if (separate_jobs) {
        new_job();
    }

    long offset = 0;
    if (job_type == 2)
        offset = data_offset();

    if (bjcl != nullptr) {
        if (!holds_data(bjcl)) {
            std::fputs(_("jobpush FAILED! zero length: begin jcl file\n"), stderr);
            fail_exit();
        }
        if (tracing()) {
            std::fputs("process_file: jcl1: CALL 'nje_convert_toibm()'\n", stderr);
            std::fprintf(stderr, "process_file: maxdata=%d\n", maxdata);
        }
        convert(bjcl, 0);       // JCL is always text
        offset = data_offset(); // the dataset begins after its begin JCL
    }

    if (tracing())
        std::fputs("process_file: CALL 'nje_convert_toibm()'\n", stderr);
    if (!holds_data(stream)) {
        std::fputs(_("jobpush FAILED! zero length: data file\n"), stderr);
        fail_exit();
    }
    int nrec = convert(stream, data_format);

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
        if (tracing())
            std::fputs("process_file: CALL 'create_ds_header()'\n", stderr);
        create_ds_header(hf, buffer, offset, lrecl, nrec, name, type, my_name, remote_name, remote_node);
    }

    if (local_job()) {
        std::fflush(stderr);
        if (separate_jobs)
            close_local_job();
        return;
    }
    if (separate_jobs)
        send_job(hf, df);
}

void send_job(FILE *header, FILE *data)
{
    if (tracing())
        std::fputs("send_job: CALL 'nje_data_write_eod()'\n", stderr);
    if (nje_data_write_eod(data) != 0)
        write_error_exit("send_job: nje_data_write_eod");
    int rc = nje_data_close(data);
    df = nullptr;
    if (rc != 0)
        write_error_exit("send_job: nje_data_close");

    create_job_trailer(header, buffer, starttime);
    if (nje_header_mark_as_valid(header, job_type) != 0)
        write_error_exit("send_job: nje_header_mark_as_valid");
    rc = nje_header_close(header);
    hf = nullptr;
    if (rc != 0)
        write_error_exit("send_job: nje_header_close");
    // From here on the job is complete in the spool: no later failure removes it.
    NJH_filename[0] = '\0';
    NJD_filename[0] = '\0';

    rc = nje_xdr_sendjob(clnt, job_type, remote_node, my_name, id);
    if (rc == 0)
        std::fprintf(stderr, _("Job %s sent to %s@%s.\n"), jobname, remote_name, remote_node);
    else
        rpcerr(clnt, "send job", rc);
}

// Closes both spool files of a job that stays unsent (DEBUG_LOCAL): no trailer, no end-of-data mark,
// valid mark 0. The files must reach the disk whole.
void close_local_job()
{
    if (df != nullptr) {
        int rc = nje_data_close(df);
        df = nullptr;
        if (rc != 0)
            write_error_exit("close_local_job: nje_data_close");
    }
    if (hf != nullptr) {
        int rc = nje_header_close(hf);
        hf = nullptr;
        if (rc != 0)
            write_error_exit("close_local_job: nje_header_close");
    }
    NJH_filename[0] = '\0';
    NJD_filename[0] = '\0';
}

void finish_local_job()
{
    close_local_job();
    std::exit(0);
}

void end_link()
{
    if (clnt != nullptr) {
        if (clnt->cl_auth != nullptr) // the credentials installed at contact
            auth_destroy(clnt->cl_auth);
        clnt_destroy(clnt);
        clnt = nullptr;
    }
}
