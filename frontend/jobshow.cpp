// jobshow: the entry point: command line, the file loop and the exit status.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdio_ext.h>
#include <vector>

#include "frontend/jobshow.h"
#include "frontend/names.h"
#include "support/intl.h"
#include "support/rje_nmr.h"
#include "support/rundir.h"

namespace
{

constexpr std::size_t kOutputBuffer = 1 << 16;
constexpr int kMaxConsoleIndex = NMR_CONSOLES - 1; // each console remembers its last user

enum class opt { json, dataset, debug, text, raw, records, xmit, out_dir, console, conuids, index, nmr };

struct option_row {
    const char *long_form;
    const char *short_form;
    opt what;
};

constexpr option_row kOptions[] = {
    {"-json", "-j", opt::json},          {"-dataset", "-d", opt::dataset}, {"-debug", "-deb", opt::debug},
    {"-text", "-t", opt::text},          {"-raw", "-ra", opt::raw},        {"-records", "-rec", opt::records},
    {"-xmit", "-x", opt::xmit},          {"-o", "-o", opt::out_dir},       {"-console", "-c", opt::console},
    {"-conuids", "-conu", opt::conuids}, {"-index", "-i", opt::index},     {"-nmr", "-n", opt::nmr},
};

const char *pgm = "jobshow";

[[noreturn]] void usage()
{
    std::fprintf(stderr,
                 "usage: %s [-json] [-dataset n [-text | -raw | -records | -xmit]] [-o directory]\n"
                 "%*s[-console node [-conuids pattern] [-index n] [-nmr file]] [-debug n] [--] file...\n",
                 pgm, static_cast<int>(std::strlen(pgm)) + 8, "");
    std::exit(SHOW_FAILED);
}

const option_row *find_option(const char *arg)
{
    for (const option_row &row : kOptions) {
        if (match(row.long_form, row.short_form, arg))
            return &row;
    }
    return nullptr;
}

const char *option_value(int argc, char **argv, int &i)
{
    if (i + 1 >= argc)
        usage();
    return argv[++i];
}

// A decimal option value in low..high; anything else is reported and ends the run as a usage error.
int number_in(const char *option, const char *value, long low, long high)
{
    char *end = nullptr;
    errno = 0;
    const long n = std::strtol(value, &end, 10);
    if (*value == '\0' || *end != '\0' || errno != 0 || n < low || n > high) {
        std::fprintf(stderr, _("%s: %s: invalid value '%s'\n"), pgm, option, value);
        usage();
    }
    return static_cast<int>(n);
}

// Descriptors 0, 1 and 2 open (on /dev/null when closed), so that no file opened later stands in for one.
void open_standard_descriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            if (null != fd)
                std::exit(SHOW_FAILED);
        }
    }
}

// Which output the options ask for, checked for combinations that mean nothing.
void check_settings(const show_settings &set, bool format_given)
{
    const bool console = set.console_node != nullptr;
    if (set.out_dir != nullptr && (set.dataset != 0 || console))
        usage();
    if (set.json && !console && (set.dataset != 0 || set.out_dir != nullptr))
        usage();
    if (!console && (set.conuids != nullptr || set.nmr_file != nullptr || set.console_index != 0))
        usage();
    if (console && (format_given || set.xmit))
        usage();
    if (format_given && set.dataset == 0 && set.out_dir == nullptr)
        usage();
}

} // namespace

int main(int argc, char **argv)
{
    open_standard_descriptors();
    // A file size limit shows as a failed write, not as the end of the process.
    std::signal(SIGXFSZ, SIG_IGN);
    show_settings set;
    pgm = set.pgm = argv[0] != nullptr ? argv[0] : "jobshow";
    std::setlocale(LC_ALL, "");
    Init_I18N("rjecmd.messages", "SNARJEHOME", set.pgm, "/opt/QVTRconn/vorbelt");

    // Options apply to every file, wherever they stand; "--" ends them.
    bool format_given = false;
    bool options_end = false;
    std::vector<const char *> files;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (options_end || arg[0] != '-') {
            files.push_back(arg);
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            options_end = true;
            continue;
        }
        const option_row *row = find_option(arg);
        if (row == nullptr)
            usage();
        switch (row->what) {
        case opt::json:
            set.json = true;
            break;
        case opt::dataset:
            set.dataset = number_in(arg, option_value(argc, argv, i), 1, INT_MAX);
            break;
        case opt::debug:
            set.debug = number_in(arg, option_value(argc, argv, i), 0, INT_MAX);
            break;
        case opt::text:
        case opt::raw:
        case opt::records:
            set.format = row->what == opt::text  ? NJE_OUTPUT_TEXT
                         : row->what == opt::raw ? NJE_OUTPUT_RAW
                                                 : NJE_OUTPUT_RECORDS;
            set.xmit = false;
            format_given = true;
            break;
        case opt::xmit:
            set.xmit = true;
            format_given = true;
            break;
        case opt::out_dir:
            set.out_dir = option_value(argc, argv, i);
            break;
        case opt::console:
            set.console_node = option_value(argc, argv, i);
            break;
        case opt::conuids:
            set.conuids = option_value(argc, argv, i);
            break;
        case opt::index:
            set.console_index = number_in(arg, option_value(argc, argv, i), 0, kMaxConsoleIndex);
            break;
        case opt::nmr:
            set.nmr_file = option_value(argc, argv, i);
            break;
        }
    }
    if (files.empty())
        usage();
    check_settings(set, format_given);

    // A buffer of our own: asked for a size alone, the stream library takes one file-system block
    // (one system call per 4 KiB). It lives as long as the process, past the last flush at exit.
    static char out_buffer[kOutputBuffer];
    std::setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
    __fsetlocking(stdout, FSETLOCKING_BYCALLER); // one thread: no stream locking per record
    FILE *nmr = nullptr;
    if (set.nmr_file != nullptr && (nmr = std::fopen(set.nmr_file, "wb")) == nullptr) {
        std::fprintf(stderr, _("%s: %s: could not create\n"), pgm, set.nmr_file);
        return SHOW_FAILED;
    }

    int status = SHOW_OK;
    for (std::size_t i = 0; i < files.size() && status != SHOW_WRITE_FAILED; ++i) {
        show_job job;
        int rc = show_open(set, files[i], job);
        if (rc != SHOW_FAILED) {
            int shown;
            if (set.console_node != nullptr)
                shown = show_console(set, job, stdout, nmr);
            else if (set.out_dir != nullptr)
                shown = show_directory(set, job);
            else if (set.dataset != 0)
                shown = show_dataset(set, job, stdout);
            else if (set.json)
                shown = show_json(set, job, stdout);
            else
                shown = show_summary(set, job, stdout);
            rc = std::max(rc, shown);
        }
        show_close(job);
        status = std::max(status, rc);
    }

    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && status != SHOW_WRITE_FAILED) {
        std::fprintf(stderr, _("%s: %s: write error\n"), pgm, _("standard output"));
        status = SHOW_WRITE_FAILED;
    }
    if (nmr != nullptr && (std::fclose(nmr) != 0) && status != SHOW_WRITE_FAILED) {
        std::fprintf(stderr, _("%s: %s: write error\n"), pgm, set.nmr_file);
        status = SHOW_WRITE_FAILED;
    }
    return status;
}
