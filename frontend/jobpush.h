// Run settings of the jobpush command front end and its small name helpers.
// The settings are process-wide: the command line writes them, the job builder and the link client
// read them for the rest of the run.
#pragma once

#include <cstdint>
#include <cstdio>

#include "link/link_client.h"

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

// pgm, gateway, remote_node, save_remote_node, debug (with its bits TRACE and DEBUG_LOCAL) and the
// client handle clnt are run settings too; the link client reads them and defines them.

// Size of an IBM name field on the workstation side: 8 characters, NUL and one spare byte.
inline constexpr int kNameField = 10;
inline constexpr int kNameChars = 8;

// One "-q NAME VALUE" entry. `used` is set once a record has taken the value; the value itself stays,
// so that every later record of the same kind gets it too.
struct user_field {
    const char *name;
    const char *value;
    bool used;
};
inline constexpr int kMaxUserFields = 20;

extern const char *spool_dir;
extern const char *actual_name;
extern const char *actual_node;
extern char remote_name[kNameField];
extern int lrecl;
extern int tabs;
extern int data_format;
extern int fixed;
extern int jes2bufmax;
extern int maxdata;
extern int buffersize;
extern char filename[kNameField];
extern char filetype[kNameField];
extern user_field ufields[kMaxUserFields + 1]; // ends at the first entry with a null name

// Prints the usage text to standard error, removes the spool files of an unfinished job and exits 1.
[[noreturn]] void usage();

// 1 when `arg` is `long_form` or an abbreviation of it at least as long as `short_form`, else 0.
int match(const char *long_form, const char *short_form, const char *arg);

// Writes at most n characters of src as an IBM name (letters and digits uppercased, '_' kept, any
// other character '$') and a NUL to dst, which holds n + 1 bytes. Returns the address of the NUL.
char *uppercase(char *dst, const char *src, int n);

// Dataset name and type (at most 8 characters each) of a file path; name and type hold 9 bytes.
void ibm_filename(const char *path, char *name, char *type);
