// Reading a spooled job: the header file NJH<id> (valid mark, job header, dataset headers, trailer),
// where each dataset's records lie in the data file NJD<id>, and the fields of a header record by
// their dictionary names. Header records are found in one pass and read again one at a time, so that
// memory does not grow with the size of the records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// One dataset of the job.
struct spool_dataset {
    uint64_t header_pos = 0; // position of its dataset header record in the header file
    uint64_t offset = 0;     // where its records begin in the data file
    uint64_t end = 0;        // where they end: the next dataset's offset, or NJE_DATASET_TO_EOD
    uint32_t records = 0;    // the record count of its header (NDHGNREC), 0 when it has none
};

// Why a header file could not be read to its end.
inline constexpr int SPOOL_HEADER_OK = 0;
inline constexpr int SPOOL_HEADER_DAMAGED = 1;    // a record is cut short or claims too many bytes
inline constexpr int SPOOL_HEADER_TOO_MANY = 2;   // more datasets than SPOOL_MAX_DATASETS
inline constexpr int SPOOL_MAX_DATASETS = 250000; // 8 MiB of dataset entries at most
inline constexpr std::size_t SPOOL_RECORD_MAX = 12 + (1 << 16); // largest header record read

// A job as found in its spool files. A data file alone has no header stream and one dataset from
// offset 0 to the end-of-data mark.
struct spool_job {
    FILE *header = nullptr; // null for a data file alone
    FILE *data = nullptr;   // null when the data file could not be opened
    unsigned char mark = 0; // valid mark: 0 while the job is incomplete, else its job type
    int64_t job_pos = -1;   // position of the first job header record, -1 when there is none
    int64_t trailer_pos = -1;
    std::vector<spool_dataset> datasets;
    int header_failure = SPOOL_HEADER_OK;
    uint64_t header_failure_pos = 0; // where the header file stopped being readable
};

// Results of spool_job_scan.
inline constexpr int SPOOL_SCAN_OK = 0;
inline constexpr int SPOOL_SCAN_NOT_SPOOL = -1; // not a header file (or not a data file, without one)

// Finds the records of a header file (positioned anywhere; `header` may be null for a data file
// alone) and the bounds of the datasets in `data` (may be null). A header file must hold its valid mark
// and, when it holds records, begin with a readable job header, dataset header or trailer; a data file
// alone must be empty or begin with a readable data-file record. A header file that stops being
// readable after its first record keeps what was found, with job->header_failure set.
// @return SPOOL_SCAN_OK or SPOOL_SCAN_NOT_SPOOL.
int spool_job_scan(spool_job *job, FILE *header, FILE *data);

// Whether the end of the data file between records ends the data (a job not yet complete, or a data
// file alone), rather than the end-of-data mark.
bool spool_job_incomplete(const spool_job *job);

// Reads the header record at `pos` of the header file into `record` (prefix and body).
// @return its body length, or -1 when it cannot be read.
int spool_job_record(const spool_job *job, uint64_t pos, std::vector<unsigned char> &record);

// One field of a header record: its dictionary name and its value (integers and times as numbers, a
// time as seconds since 1970 as the field extraction gives it; character fields as text).
struct spool_field {
    const char *name;
    uint32_t type; // NJE_FIELD_INTEGER, NJE_FIELD_CHARACTER or NJE_FIELD_TIME
    uint32_t number;
    const char *text;
};

// Calls `visit(field, context)` for every dictionary field that lies whole inside a section of the
// record that the dictionary describes: the general section of a job header (NJHG), of a dataset header
// (NDHG) and of a trailer (NJTG), and the RSCS section of a dataset header (NDHV); in record order.
// `record` holds the prefix and the whole body.
void spool_record_fields(const std::vector<unsigned char> &record, void (*visit)(const spool_field &, void *),
                         void *context);

// The value of one field of a record as text ("" when the record has no such field).
// @return true when the field was found.
bool spool_record_text(const std::vector<unsigned char> &record, const char *name, char *text,
                       std::size_t size);
// The value of one integer or time field. @return true when found.
bool spool_record_number(const std::vector<unsigned char> &record, const char *name, uint32_t *number);
