// Converts one input file into a data file (records, end-of-data mark) the way a job's dataset is
// converted, and prints the record count. Used to time the conversion on large files.
// Usage: convert_file [-f format] [-l lrecl] [-m maxdata] [-t tabs] [-x] [-w] input output
//   -x fixed records, -w character path for text (no bulk path); input "-" is standard input.
#include <cinttypes>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "convert/rje_convert.h"
#include "spool/rje_data.h"

static int usage(const char *program)
{
    std::fprintf(stderr, "usage: %s [-f format] [-l lrecl] [-m maxdata] [-t tabs] [-x] [-w] input output\n",
                 program);
    return 2;
}

int main(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
    int format = NJE_FORMAT_TEXT, lrecl = 80, maxdata = 3820, tabs = 8, fixed = 0;
    for (int opt; (opt = getopt(argc, argv, "f:l:m:t:xw")) != -1;) {
        switch (opt) {
        case 'f':
            format = std::atoi(optarg);
            break;
        case 'l':
            lrecl = std::atoi(optarg);
            break;
        case 'm':
            maxdata = std::atoi(optarg);
            break;
        case 't':
            tabs = std::atoi(optarg);
            break;
        case 'x':
            fixed = 1;
            break;
        case 'w':
            convert_force_wide_path(true);
            break;
        default:
            return usage(argv[0]);
        }
    }
    if (argc - optind != 2) {
        return usage(argv[0]);
    }
    std::FILE *in = std::strcmp(argv[optind], "-") == 0 ? stdin : std::fopen(argv[optind], "rb");
    if (in == nullptr) {
        std::perror(argv[optind]);
        return 1;
    }
    std::FILE *df = nje_data_create(argv[optind + 1]);
    unsigned char *buffer = nje_data_allocate_buffer(8192);
    if (df == nullptr || buffer == nullptr) {
        std::perror(argv[optind + 1]);
        return 1;
    }
    const std::int64_t records = nje_convert_toibm(in, df, buffer, lrecl, maxdata, format, 0, tabs, fixed);
    if (records < 0 || nje_data_write_eod(df) != 0 || nje_data_close(df) != 0) {
        std::fprintf(stderr, "%s: conversion failed (%" PRId64 ")\n", argv[0], records);
        return 1;
    }
    std::fclose(in);
    nje_data_free_buffer(buffer);
    std::printf("%" PRId64 "\n", records);
    return 0;
}
