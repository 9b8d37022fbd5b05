// jobshow: shows what a spooled job holds (header fields, datasets, job cards, NETDATA names), writes
// its datasets back as workstation files, and turns captured host console output into nodal messages.
// It only reads the spool files.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "convert/rje_fromibm.h"
#include "support/spool_job.h"

// Exit statuses.
inline constexpr int SHOW_OK = 0;
inline constexpr int SHOW_FAILED = 1;       // usage, a file that cannot be opened or is no spool file
inline constexpr int SHOW_UNREADABLE = 2;   // a dataset (or the header file) cannot be read to its end
inline constexpr int SHOW_WRITE_FAILED = 5; // an output error

// What the command line asks for.
struct show_settings {
    const char *pgm = "jobshow";
    bool json = false;
    int dataset = 0;              // -dataset N (1-based), 0 when not given
    int format = NJE_OUTPUT_TEXT; // -text, -raw, -records
    bool xmit = false;            // -xmit: a NETDATA dataset as its 80-byte records
    const char *out_dir = nullptr;
    const char *console_node = nullptr;
    const char *conuids = nullptr;
    int console_index = 0;
    const char *nmr_file = nullptr;
    int debug = 0;
};

// One job being shown: the name it was given by, and its spool files as found.
struct show_job {
    std::string file; // as named on the command line
    spool_job spool;
    // The data file's stream buffer: the stream library would take its own of one file-system block
    // (4 KiB) whatever size it is asked for, one system call per block. Outlives the stream
    // (show_close closes it).
    std::unique_ptr<char[]> data_buffer;
};

// Opens the job named by `file`: a header file NJH<id> with the data file NJD<id> beside it, or a data
// file alone. Prints the message and returns SHOW_FAILED when a file cannot be opened or is not a spool
// file; a header file read only in part is reported and gives SHOW_UNREADABLE; else SHOW_OK.
int show_open(const show_settings &set, const char *file, show_job &job);
void show_close(show_job &job);

// The default output: a short summary of the job on `out`.
int show_summary(const show_settings &set, show_job &job, FILE *out);
// -json: the same as one JSON document.
int show_json(const show_settings &set, show_job &job, FILE *out);
// -dataset N: the dataset's records on `out` in the chosen format.
int show_dataset(const show_settings &set, show_job &job, FILE *out);
// -o DIR: every dataset into a file of its own in DIR.
int show_directory(const show_settings &set, show_job &job);
// -console NODE: the dataset's lines as nodal message records.
int show_console(const show_settings &set, show_job &job, FILE *out, FILE *nmr);

// A JSON string literal of `text` (quotes included): control characters escaped, valid UTF-8 kept, any
// other byte taken as the Latin-1 character of its value (\u00XX).
std::string json_string(const char *text);

// A file name for a dataset named `name` (its type included): letters, digits and "$#@-_." kept,
// any other byte "_", a leading "." made "_", at most 100 bytes; "DATASET<n>" when nothing is left.
std::string safe_file_name(const std::string &name, int n);
