// Job check of the link daemon simulator: reads a job's header file and data file with the spool
// library, as the link daemon does before it sends a job.
#include "sim/sim_jobcheck.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "spool/rje_data.h"
#include "spool/rje_header.h"

namespace
{

// Larger than any header record or data block the job builder writes.
constexpr std::size_t RECORD_LIMIT = 1 << 16;

struct file_closer {
    void operator()(FILE *f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<FILE, file_closer>;

bool header_ok(const std::string &path, int job_type, sim_job_report &report)
{
    unsigned char mark = 0;
    file_ptr f(nje_header_open(path.c_str(), &mark));
    if (!f || mark != static_cast<unsigned char>(job_type))
        return false;
    std::vector<unsigned char> record(RECORD_LIMIT);
    int n = nje_header_read_first(f.get(), record.data(), record.size());
    for (; n > 0; n = nje_header_read_next(f.get(), record.data(), record.size()))
        ++report.header_records;
    return n == 0 && report.header_records > 0;
}

bool data_ok(const std::string &path, sim_job_report &report)
{
    file_ptr f(nje_data_open(path.c_str()));
    if (!f)
        return false;
    std::vector<unsigned char> data(RECORD_LIMIT);
    for (;;) {
        int control = 0, count = 0;
        int n = nje_data_read_next(f.get(), data.data(), data.size(), &control, &count);
        if (n < 0)
            return false;
        if (n == 0)
            break; // end-of-data mark
        ++report.data_records;
        report.data_bytes += n;
    }
    return std::fgetc(f.get()) == EOF; // nothing may follow the end-of-data mark
}

} // namespace

int sim_check_job(const std::string &input, const std::string &id, int job_type, sim_job_report &report)
{
    report = {};
    const std::string njh = input + "/NJH" + id, njd = input + "/NJD" + id;
    struct stat st;
    if (stat(njh.c_str(), &st) != 0)
        return 21; // Job not found
    if (!header_ok(njh, job_type, report) || !data_ok(njd, report))
        return 7; // Bad job
    return 0;
}
