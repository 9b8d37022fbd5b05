// NETDATA job path of the jobpush front end: with the build-time setting `netdata` on (the program
// jobpush-netdata), every file goes out as a job of its own whose data file holds the file as a
// NETDATA stream.
#pragma once

#include <cstdint>
#include <cstdio>

struct netdata_writer;

// Sends one open file as one NETDATA job: its own job identifier and spool files, INMR01, INMR02,
// INMR03, the data records and INMR06, a dataset header that counts the stream's 80-byte records, and
// the send request (in DEBUG_LOCAL mode the job stays unsent). name and type are the dataset name and
// type; INMDSNAM gets both as qualifiers, or the name alone when type is empty. Every failure ends the
// run. @return the number of data records.
std::int64_t process_netdata_file(FILE *stream, const char *name, const char *type);

// The control records of the stream, each written with the writer; a failed write takes the
// spool-full exit ("nje_netdata_put_inmr0N: nje_netdata_put_control").
// INMR01: origin node, time (`seconds` since 1970), origin user, record length 80, target node and
// user, one file.
void nje_netdata_put_inmr01(netdata_writer *w, const char *my_name, const char *my_node,
                            const char *remote_name, const char *remote_node, long seconds);
// INMR02: file number 1, sequential, the record length and format (fixed: 0x9000 and lrecl; variable:
// 0x4002 and lrecl + 4), the file size in bytes, utility INMCOPY, the dataset name.
void nje_netdata_put_inmr02(netdata_writer *w, int lrecl, long size, const char *name, const char *type,
                            int fixed);
// INMR03: the stream itself, sequential, 80-byte records, format 0x0001, the file size.
void nje_netdata_put_inmr03(netdata_writer *w, long size);
// INMR06: the end of the stream, no text units.
void nje_netdata_put_inmr06(netdata_writer *w);

// Refuses an option that cannot apply to a NETDATA job ("-bu", "-start", "-end", as typed) with a
// message; exit 1. The command line calls it before any job exists.
[[noreturn]] void refuse_netdata_option(const char *option);
