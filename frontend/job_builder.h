// Job builder of the jobpush front end: turns the input files into one NJE job in the link daemon's
// spool (header file NJH<id> with job header, dataset headers and trailer; data file NJD<id> with the
// compressed records) and has the link daemon send it. It works on the run's settings and job state
// (frontend/run_state.h); every failure ends the run through frontend/exits.h.
#pragma once

#include <cstdint>
#include <cstdio>

#include "spool/rje_fields.h"

// Whether the run builds its job locally (DEBUG_LOCAL): fixed by the debug bits in force when the
// first file starts the run, so that a later "-debug" never turns a job of the link daemon into a
// local one or the other way round; before that, the current bits decide.
bool local_job();

// Adds one open input file to the job, opening the run and the job first when needed. name and type
// are the dataset name and type; bjcl and ejcl the open JCL streams or null. An input that is one of
// the job's own spool files is refused. Every failure ends the run (after removing the spool files of
// the unfinished job).
void process_file(FILE *stream, const char *name, const char *type, FILE *bjcl, FILE *ejcl);

// Ends the run for a failed conversion result of the operation `what` (a data-file write takes the
// spool-full exit; no memory, a double-byte character without room, a cut last record and a failed
// compression each print their message); a count (>= 0) returns.
void check_conversion(int64_t result, const char *what);

// Run set-up, once: section defaults, record buffer, link daemon contact, local identity, maxdata.
void initialize(const char *actual_name, const char *actual_node);

// Obtains a job identifier, creates both spool files (never through a symbolic link; the header file
// locked for the life of the job, so that a second run building the same job stops before it writes
// anything) and writes the job header.
void new_job();

// Build one header record each in `buffer` (at least `buffersize` bytes, from nje_data_allocate_buffer)
// from the section defaults, the given values and the accepted overrides, and append it to `hf`. An
// unknown override field ends the run; a failed write takes the spool-full exit.
void create_job_header(FILE *hf, unsigned char *buffer, int jobno, const char *jobname, const char *my_name,
                       const char *my_node, const char *remote_name, const char *remote_node);
void create_ds_header(FILE *hf, unsigned char *buffer, long offset, int lrecl, uint32_t nrec, const char *name,
                      const char *type, const char *my_name, const char *remote_name,
                      const char *remote_node);
void create_job_trailer(FILE *hf, unsigned char *buffer, uint32_t starttime);

// Ends the data file, writes the trailer, marks the header file valid and asks the link daemon to
// send the job. A refusal is reported and the run goes on; any write failure takes the spool-full
// exit before the send call.
void send_job(FILE *hf, FILE *df);

// Closes both spool files of a job that stays unsent (DEBUG_LOCAL): no trailer, no end-of-data mark,
// valid mark 0. A failed flush takes the spool-full exit.
void close_local_job();

// Size in bytes of the open file from the file status of its descriptor, or 0 after printing
// "stat of file failed" through myperror.
long file_size(FILE *stream);

// The field dictionary entry whose name equals `name` exactly, or null.
inline const nje_field *find_field(const char *name)
{
    return nje_field_find(name);
}

// Applies one override to `section`; failures end the run.
void set_user_field(const nje_field *entry, const char *value, unsigned char *section);
