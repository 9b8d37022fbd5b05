// Job check of the link daemon simulator: validates the two spool files of a job that a client
// asks to send and moves them out of the input folder once sent.
#pragma once

#include <string>

struct sim_job_report {
    int header_records = 0;
    long data_records = 0;
    long data_bytes = 0;
};

// Checks the job <input>/NJH<id> and <input>/NJD<id>: the header file's valid mark equals
// `job_type`, it holds at least one record and every record reads; the data file's records read
// up to its end-of-data mark, which ends the file.
// @return 0 (report filled), 21 when the header file does not exist, 7 when the job is bad.
int sim_check_job(const std::string &input, const std::string &id, int job_type, sim_job_report &report);
