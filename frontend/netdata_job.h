// NETDATA job path of the jobpush front end: with the build-time setting `netdata` on, every file
// goes out as a job of its own whose data file holds the file as a NETDATA stream.
#pragma once

#include <cstdio>

// Sends one open file as one NETDATA job (its own job identifier, spool files, dataset header and
// send request). name and type are the dataset name and type. @return the record count of the data.
int process_netdata_file(FILE *stream, const char *name, const char *type);
