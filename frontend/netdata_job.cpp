// NETDATA job path of the jobpush front end: every file goes out as a job of its own whose data file
// holds the file as a NETDATA stream (INMR01, INMR02, INMR03, the data records, INMR06) in 80-byte
// records, described by its dataset header as such.
#include "frontend/netdata_job.h"

#include <sys/stat.h>

#include <cassert>
#include <cstring>
#include <ctime>

#include "convert/netdata_write.h"
#include "frontend/exits.h"
#include "frontend/job_builder.h"
#include "frontend/run_state.h"
#include "support/intl.h"

namespace
{

netdata_writer writer;
// Stream buffer of the data file: 88 bytes a record in two writes each, so a buffer larger than the
// stream library's own saves most of the system calls. One job's data file is open at a time.
char data_buffer[1 << 16];

constexpr uint32_t tu(unsigned kind, unsigned length, uint16_t key)
{
    return netdata_tu(kind, length, key);
}

// Writes one control record from its text units; the units of the program's own control records
// always fit the area.
void put_control(netdata_writer *w, const char *name, std::initializer_list<nje_tu> units, const char *what)
{
    unsigned char area[NETDATA_TU_AREA] = {};
    const int n = nje_netdata_put_tu(area, 0, units);
    assert(n >= 0);
    if (n < 0 || nje_netdata_put_control(w, name, area, static_cast<std::size_t>(n)) != 0)
        write_error_exit(what);
}

} // namespace

void nje_netdata_put_inmr01(netdata_writer *w, const char *my_name, const char *my_node,
                            const char *remote_name, const char *remote_node, long seconds)
{
    put_control(w, "INMR01",
                {{tu(NETDATA_TU_STRING, 0, INMFNODE), my_node},
                 {tu(NETDATA_TU_TIME, 0, INMFTIME), seconds},
                 {tu(NETDATA_TU_STRING, 0, INMFUID), my_name},
                 {tu(NETDATA_TU_NUMBER, 4, INMLRECL), NETDATA_RECORD_SIZE},
                 {tu(NETDATA_TU_STRING, 0, INMTNODE), remote_node},
                 {tu(NETDATA_TU_STRING, 0, INMTUID), remote_name},
                 {tu(NETDATA_TU_NUMBER, 4, INMNUMF), 1}},
                "nje_netdata_put_inmr01: nje_netdata_put_control");
}

void nje_netdata_put_inmr02(netdata_writer *w, int lrecl, long size, const char *name, const char *type,
                            int fixed)
{
    // Variable records count their 4-byte record descriptor, which the stream does not carry.
    const int reclen = fixed ? lrecl : lrecl + NETDATA_RDW_SIZE;
    const uint32_t recfm = fixed ? NETDATA_RECFM_FB : NETDATA_RECFM_V_NO_RDW;
    const char *qualifiers[] = {name, type};
    const std::size_t count = type != nullptr && type[0] != '\0' ? 2 : 1;
    put_control(w, "INMR02",
                {{tu(NETDATA_TU_BARE, NETDATA_FILE_NUMBER_SIZE, 0), 1},
                 {tu(NETDATA_TU_NUMBER, 2, INMDSORG), NETDATA_DSORG_PS},
                 {tu(NETDATA_TU_NUMBER, 4, INMLRECL), reclen},
                 {tu(NETDATA_TU_NUMBER, 2, INMRECFM), recfm},
                 {tu(NETDATA_TU_NUMBER, 4, INMSIZE), size},
                 {tu(NETDATA_TU_STRING, 0, INMUTILN), "INMCOPY"},
                 {tu(NETDATA_TU_LIST, 0, INMDSNAM), std::span<const char *const>(qualifiers, count)}},
                "nje_netdata_put_inmr02: nje_netdata_put_control");
}

void nje_netdata_put_inmr03(netdata_writer *w, long size)
{
    put_control(w, "INMR03",
                {{tu(NETDATA_TU_NUMBER, 2, INMDSORG), NETDATA_DSORG_PS},
                 {tu(NETDATA_TU_NUMBER, 4, INMLRECL), NETDATA_RECORD_SIZE},
                 {tu(NETDATA_TU_NUMBER, 2, INMRECFM), NETDATA_RECFM_SHORT_VBS},
                 {tu(NETDATA_TU_NUMBER, 4, INMSIZE), size}},
                "nje_netdata_put_inmr03: nje_netdata_put_control");
}

void nje_netdata_put_inmr06(netdata_writer *w)
{
    if (nje_netdata_put_control(w, "INMR06", nullptr, 0) != 0)
        write_error_exit("nje_netdata_put_inmr06: nje_netdata_put_control");
}

std::int64_t process_netdata_file(FILE *stream, const char *name, const char *type)
{
    if (!job.initialized)
        initialize(settings.actual_name, settings.actual_node);
    struct stat st;
    if (fstat(fileno(stream), &st) != 0) {
        myperror(settings.pgm, _("stat of file failed"));
        fail_exit();
    }
    const long size = static_cast<long>(st.st_size);
    const long seconds = static_cast<long>(std::time(nullptr));
    new_job();

    std::setvbuf(job.df, data_buffer, _IOFBF, sizeof data_buffer);
    nje_netdata_create(job.df, &writer);
    nje_netdata_put_inmr01(&writer, job.my_name, job.my_node, settings.remote_name, settings.remote_node,
                           seconds);
    nje_netdata_put_inmr02(&writer, settings.lrecl, size, name, type, settings.fixed);
    nje_netdata_put_inmr03(&writer, size);
    const int64_t count = nje_netdata_toibm(stream, &writer, job.buffer, settings.lrecl, settings.data_format,
                                         settings.tabs, settings.fixed);
    if (count == NETDATA_BAD_REQUEST) { // the command line refuses such formats before any job exists
        std::fprintf(stderr, _("%s: data format %d cannot be sent as NETDATA\n"), settings.pgm,
                     settings.data_format);
        fail_exit();
    }
    check_conversion(count, "process_netdata_file: nje_netdata_toibm");
    nje_netdata_put_inmr06(&writer);
    if (nje_netdata_close(&writer) != 0)
        write_error_exit("process_netdata_file: nje_netdata_close");

    // The dataset is the stream itself: 80-byte records from the start of the job's data file.
    create_ds_header(job.hf, job.buffer, 0, NETDATA_RECORD_SIZE, static_cast<uint32_t>(writer.records), name,
                     type, job.my_name, settings.remote_name, settings.remote_node);
    if (local_job()) {
        close_local_job();
        return count;
    }
    send_job(job.hf, job.df);
    return count;
}

void refuse_netdata_option(const char *option)
{
    if (std::strcmp(option, "-bu") == 0)
        std::fprintf(stderr, _("%s: %s: transparent data cannot be sent as NETDATA\n"), settings.pgm, option);
    else
        std::fprintf(stderr, _("%s: %s: JCL cannot wrap a NETDATA stream\n"), settings.pgm, option);
    fail_exit();
}
