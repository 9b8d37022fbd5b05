// The process-wide state of a jobpush run, in two parts: the run settings that the command line sets
// (and the job builder reads), and the job state that the job builder creates. Each is defined once,
// in run_state.cpp; helpers below the front end take what they use as parameters.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>

#include "link/link_client.h"
#include "support/wire.h"

// Build-time settings. The variant macros let the tests build the same sources with other values.
#ifdef JOBPUSH_VARIANT_JOB_TYPE
inline constexpr unsigned char job_type = JOBPUSH_VARIANT_JOB_TYPE;
#else
inline constexpr unsigned char job_type = JOBPUSH_JOB_TYPE;
#endif
#ifdef JOBPUSH_VARIANT_SEPARATE_JOBS
inline constexpr int separate_jobs = JOBPUSH_VARIANT_SEPARATE_JOBS;
#else
inline constexpr int separate_jobs = JOBPUSH_SEPARATE_JOBS;
#endif
#ifdef JOBPUSH_VARIANT_NETDATA
inline constexpr int netdata = JOBPUSH_VARIANT_NETDATA;
#else
inline constexpr int netdata = JOBPUSH_NETDATA;
#endif

// Debug bits of "-debug".
inline constexpr int TRACE = 1;       // progress traces on standard error
inline constexpr int DEBUG_LOCAL = 2; // build the job in the spool without a link daemon; send nothing

// One "-q NAME VALUE" entry. `used` is set once a record has taken the value; the value itself stays,
// so that every later record of the same kind gets it too.
struct user_field {
    const char *name;
    const char *value;
    bool used;
};
inline constexpr int kMaxUserFields = 20;

// What the command line sets. Options take effect in the order they stand, so each file is converted
// with the settings in force when its name is reached.
struct run_settings {
    const char *pgm = "jobpush";       // first word of every message
    const char *gateway = nullptr;     // host of the link daemon
    const char *actual_name = nullptr; // local user instead of the link daemon's
    const char *actual_node = nullptr; // local node instead of the link daemon's
    char remote_name[NJE_NAME_FIELD] = {};
    char remote_node[NJE_NAME_FIELD] = {};
    char save_remote_node[15] = {}; // the first 8 characters of the node as typed
    const char *spool_dir = "/var/spool/rje";
    int debug = 0; // TRACE, DEBUG_LOCAL
    int lrecl = 80;
    int tabs = 8;
    int data_format = 0;
    int fixed = 0;
    int jes2bufmax = 3820;
    int maxdata = 3820;
    int buffersize = 8192;
    const char *beginjcl_filename = nullptr;
    const char *endjcl_filename = nullptr;
    FILE *file_bjcl = nullptr; // open only while one file is being converted
    FILE *file_ejcl = nullptr;
    char filename[NJE_NAME_FIELD] = {}; // dataset name and type derived from the last file path
    char filetype[NJE_NAME_FIELD] = {};
    user_field ufields[kMaxUserFields + 1] = {}; // ends at the first entry with a null name
    int nufields = 0;
};

// Size of a spool path buffer.
inline constexpr std::size_t kSpoolPathSize = 256;

// What the job builder creates: the link, the record buffer, the local identity and the job being
// built with its two spool files.
struct job_state {
    int initialized = 0;
    bool local_run = false; // DEBUG_LOCAL, fixed when the first file starts the run
    int local_jobs = 0;     // jobs built so far in a DEBUG_LOCAL run
    link_context link;      // link daemon client; no handle in DEBUG_LOCAL mode
    unsigned char *buffer = nullptr; // record buffer of settings.buffersize bytes
    char my_name[NJE_NAME_FIELD] = {};
    char my_node[NJE_NAME_FIELD] = {};
    char linkname[NJE_NAME_FIELD] = {};
    char id[NJE_JOBID_FIELD] = {};
    // Paths of the spool files of the job being built. `files` says how many of them exist and belong
    // to this run (0, 1: the header file, 2: both); it is set only after a path is complete and cleared
    // before a path changes, so that the clean-up (also from a signal handler) removes exactly those.
    char NJH_filename[kSpoolPathSize] = {};
    char NJD_filename[kSpoolPathSize] = {};
    volatile std::sig_atomic_t files = 0;
    FILE *hf = nullptr;
    FILE *df = nullptr;
    int jobno = 0;
    char jobname[32] = {};
    uint32_t starttime = 0;
};

extern run_settings settings;
extern job_state job;
