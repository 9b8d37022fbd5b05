// NETDATA job path of the jobpush front end. The job around the stream (identifier, spool files, job
// header, dataset header, trailer, send) is built here; the stream itself (INMR01, INMR02, INMR03,
// the data records, INMR06) comes from write_netdata_stream, the hook for the NETDATA writer.
#include "frontend/netdata_job.h"

#include <sys/stat.h>

#include <ctime>

#include "frontend/exits.h"
#include "frontend/job_builder.h"
#include "frontend/run_state.h"
#include "support/intl.h"

namespace
{

// Writes the NETDATA stream of `stream` into the data file of the current job: the control records
// with the local and remote identity, `seconds` as the file's time, `size` as its size; then the data
// records. Ends the run through write_error_exit when the data file cannot be written.
// @return the number of data records, or -1 when no NETDATA writer is built into this program.
int write_netdata_stream(FILE * /*stream*/, const char * /*name*/, const char * /*type*/, long /*size*/,
                         long /*seconds*/)
{
    return -1;
}

} // namespace

int process_netdata_file(FILE *stream, const char *name, const char *type)
{
    if (!job.initialized)
        initialize(settings.actual_name, settings.actual_node);
    struct stat st;
    if (fstat(fileno(stream), &st) != 0) {
        myperror(settings.pgm, _("stat of file failed"));
        fail_exit();
    }
    long seconds = static_cast<long>(std::time(nullptr));
    new_job();
    int count = write_netdata_stream(stream, name, type, static_cast<long>(st.st_size), seconds);
    if (count < 0) {
        std::fprintf(stderr, _("%s: NETDATA writer not available\n"), settings.pgm);
        fail_exit();
    }
    create_ds_header(job.hf, job.buffer, 0, 80, static_cast<uint32_t>(count), name, type, job.my_name,
                     settings.remote_name, settings.remote_node);
    if (local_job()) {
        close_local_job();
        return count;
    }
    send_job(job.hf, job.df);
    return count;
}
