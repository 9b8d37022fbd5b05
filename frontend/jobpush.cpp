// jobpush: submits workstation files as one NJE job through an SNA RJE/NJE gateway.
// This unit holds the entry point: environment, command line, the file loop and the end of the run.
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "convert/rje_convert.h"
#include "convert/translate.h"
#include "frontend/exits.h"
#include "frontend/job_builder.h"
#include "frontend/names.h"
#include "frontend/netdata_job.h"
#include "frontend/run_state.h"
#include "support/intl.h"
#include "support/rundir.h"

namespace
{

constexpr size_t kInputBuffer = 1 << 16;

enum class opt {
    gateway,
    q,
    user,
    node,
    spool,
    debug,
    lrecl,
    tab,
    max,
    job,
    format, // a data format code
    start,
    end,
    fixed, // 1 fixed, 0 variable
    xlate,
    stdin_file
};

struct option_row {
    const char *long_form;
    const char *short_form;
    opt what;
    int value = 0; // data format code, or the fixed flag
};

// The first row that matches decides, so the order of the rows matters (-sp before -start, -tab
// before -text, -bu before -binary).
constexpr option_row kOptions[] = {
    {"-gateway", "-g", opt::gateway}, {"-q", "-q", opt::q},
    {"-user", "-u", opt::user},       {"-node", "-n", opt::node},
    {"-spool", "-sp", opt::spool},    {"-debug", "-d", opt::debug},
    {"-lrecl", "-l", opt::lrecl},     {"-tab", "-tab", opt::tab},
    {"-max", "-m", opt::max},         {"-job", "-j", opt::job, 0},
    {"-text", "-t", opt::format, 0},  {"-binary", "-b", opt::format, 1},
    {"-bu", "-bu", opt::format, 4},   {"-record", "-r", opt::format, 2},
    {"-start", "-s", opt::start},     {"-end", "-e", opt::end},
    {"-fixed", "-f", opt::fixed, 1},  {"-variable", "-v", opt::fixed, 0},
    {"-xlate", "-x", opt::xlate},     {"-", "-", opt::stdin_file},
};

const option_row *find_option(const char *arg)
{
    for (const option_row &row : kOptions) {
        if (match(row.long_form, row.short_form, arg))
            return &row;
    }
    return nullptr;
}

void close_jcl(run_settings &set)
{
    if (set.file_bjcl != nullptr)
        std::fclose(set.file_bjcl);
    if (set.file_ejcl != nullptr)
        std::fclose(set.file_ejcl);
    set.file_bjcl = nullptr;
    set.file_ejcl = nullptr;
}

// Opens the begin and end JCL files when either is named; both must be. `at_end` selects the
// spelling of the messages used for standard input at the end of the arguments.
void open_jcl(run_settings &set, bool at_end)
{
    if (set.beginjcl_filename == nullptr && set.endjcl_filename == nullptr)
        return;
    if (set.beginjcl_filename == nullptr || set.endjcl_filename == nullptr) {
        std::fprintf(stderr, _("%s: invalid '-s and '-e' combination\n"), set.pgm);
        usage();
    }
    set.file_bjcl = std::fopen(set.beginjcl_filename, "r");
    if (set.file_bjcl == nullptr) {
        std::fprintf(stderr,
                     at_end ? _("%s: could not open '-s=%s filename\n") : _("%s: could not open '-s=%s' filename\n"),
                     set.pgm, set.beginjcl_filename);
        fail_exit();
    }
    set.file_ejcl = std::fopen(set.endjcl_filename, "r");
    if (set.file_ejcl == nullptr) {
        std::fprintf(stderr,
                     at_end ? _("%s: could not open '-e=%s filename\n") : _("%s: could not open '-e=%s' filename\n"),
                     set.pgm, set.endjcl_filename);
        fail_exit();
    }
}

// The value of an option: the next argument, whatever it looks like.
const char *option_value(int argc, char **argv, int &i)
{
    if (i + 1 >= argc)
        usage();
    return argv[++i];
}

// A decimal number, read strictly: an optional sign, then digits to the end of the text.
// @return false when the text is not such a number or does not fit a long long (then *out is the
//         nearest long long, so that an overflow still compares as out of range).
bool read_number(const char *text, long long *out)
{
    const char *p = text[0] == '-' || text[0] == '+' ? text + 1 : text;
    if (*p < '0' || *p > '9')
        return false;
    char *end = nullptr;
    errno = 0;
    *out = std::strtoll(text, &end, 10);
    return *end == '\0' && errno == 0;
}

// A numeric option value in low..high; anything else prints "%s: %s: invalid value '%s'\n" and the
// usage text.
int number_in(const char *option, const char *value, long long low, long long high, const char *pgm)
{
    long long n = 0;
    if (!read_number(value, &n) || n < low || n > high) {
        std::fprintf(stderr, _("%s: %s: invalid value '%s'\n"), pgm, option, value);
        usage();
    }
    return static_cast<int>(n);
}

void set_debug(run_settings &set, const char *option, const char *value)
{
    set.debug = number_in(option, value, 0, INT_MAX, set.pgm);
    if (set.debug & DEBUG_LOCAL)
        std::fprintf(stderr, "%s: DEBUG_LOCAL turned on\n", set.pgm);
    if (set.debug & TRACE)
        std::fprintf(stderr, "%s: TRACE turned on\n", set.pgm);
}

void set_lrecl(run_settings &set, const char *value)
{
    long long n = 0;
    bool number = read_number(value, &n);
    if (n > 255) { // also a number too large to read
        std::fprintf(stderr, _("%s: lrecl must be less than 256\n"), set.pgm);
        usage();
    }
    if (!number || n <= 0) // 0, no number at all, or a negative length
        usage();
    set.lrecl = static_cast<int>(n);
}

// The largest data block a link uses; a larger upper bound only costs memory.
constexpr long long kMaxBlock = 65535;

void set_max(run_settings &set, const char *option, const char *value)
{
    set.jes2bufmax = number_in(option, value, 0, kMaxBlock, set.pgm);
    if ((set.debug & DEBUG_LOCAL) && local_job()) { // never the block size of a link's job
        set.maxdata = set.jes2bufmax;
        std::fprintf(stderr, "maxdata = %d\n", set.maxdata);
    }
}

void load_table(const char *dir)
{
    if (nje_load_ebcdic_tbl(dir) == 0)
        fail_exit();
}

void convert_stdin(run_settings &set, int &files)
{
    process_file(stdin, "STANDARD", "INPUT", set.file_bjcl, set.file_ejcl);
    ++files;
}

void convert_path(run_settings &set, const char *path, int &files)
{
    open_jcl(set, false);
    FILE *stream = std::fopen(path, "r");
    struct stat st;
    if (stream != nullptr && fstat(fileno(stream), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(stream); // a directory opens for reading but holds no data
        stream = nullptr;
    }
    if (stream == nullptr) {
        std::fprintf(stderr, _("%s: %s: could not open\n"), set.pgm, path);
        fail_exit();
    }
    // Large reads: the conversion walks the whole file once, front to back.
    std::setvbuf(stream, nullptr, _IOFBF, kInputBuffer);
    ibm_filename(path, set.filename, set.filetype);
    process_file(stream, set.filename, set.filetype, set.file_bjcl, set.file_ejcl);
    std::fclose(stream);
    ++files;
    close_jcl(set);
}

[[noreturn]] void refuse_job_option()
{
    std::fprintf(stderr, "%s: ", settings.pgm);
    std::fputs(_("-netdata and -job conflicting options\n"), stderr);
    fail_exit();
}

// A NETDATA job carries neither transparent chunks nor JCL, and is no job stream: such options are
// refused before the first file starts a job. The scan skips option values as the main loop does.
void refuse_netdata_options(int argc, char **argv)
{
    for (int i = 3; i < argc; ++i) {
        const option_row *row = find_option(argv[i]);
        if (row == nullptr)
            continue;
        if (row->what == opt::job)
            refuse_job_option();
        if ((row->what == opt::format && row->value == NJE_FORMAT_TRANSPARENT) || row->what == opt::start ||
            row->what == opt::end)
            refuse_netdata_option(argv[i]);
        switch (row->what) {
        case opt::q:
            i += 2;
            break;
        case opt::job:
        case opt::format:
        case opt::fixed:
        case opt::stdin_file:
            break;
        default:
            ++i;
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    open_standard_descriptors();
    install_signal_handlers();
    run_settings &set = settings;
    set.pgm = argv[0] != nullptr ? argv[0] : "jobpush";
    std::setlocale(LC_ALL, "");
    Init_I18N("rjecmd.messages", "SNARJEHOME", set.pgm, "/opt/QVTRconn/vorbelt");

    set.gateway = std::getenv("RJEGATEWAY");
    set.actual_name = std::getenv("RJEUSER");
    set.actual_node = std::getenv("RJENODE");
    const char *xlatedir = std::getenv("RJEXLATEDIR");

    if (argc < 6)
        usage();

    std::memset(set.save_remote_node, 0, sizeof set.save_remote_node);
    std::strncpy(set.save_remote_node, argv[2], NJE_NAME_CHARS);
    uppercase(set.remote_name, argv[1], NJE_NAME_CHARS);
    uppercase(set.remote_node, argv[2], NJE_NAME_CHARS);

    if (xlatedir != nullptr)
        load_table(xlatedir);

    if (netdata)
        refuse_netdata_options(argc, argv);

    int files = 0;
    for (int i = 3; i < argc; ++i) {
        const char *arg = argv[i];
        const option_row *row = find_option(arg);
        if (row == nullptr) {
            if (arg[0] == '-')
                usage();
            convert_path(set, arg, files);
            continue;
        }
        switch (row->what) {
        case opt::gateway:
            set.gateway = option_value(argc, argv, i);
            break;
        case opt::q: {
            if (i + 2 >= argc || set.nufields == kMaxUserFields)
                usage();
            set.ufields[set.nufields].name = argv[++i];
            set.ufields[set.nufields].value = argv[++i];
            ++set.nufields;
            break;
        }
        case opt::user:
            set.actual_name = option_value(argc, argv, i);
            break;
        case opt::node:
            set.actual_node = option_value(argc, argv, i);
            break;
        case opt::spool:
            set.spool_dir = option_value(argc, argv, i);
            break;
        case opt::debug:
            set_debug(set, arg, option_value(argc, argv, i));
            break;
        case opt::lrecl:
            set_lrecl(set, option_value(argc, argv, i));
            break;
        case opt::tab:
            set.tabs = number_in(arg, option_value(argc, argv, i), 0, 255, set.pgm);
            break;
        case opt::max:
            set_max(set, arg, option_value(argc, argv, i));
            break;
        case opt::job:
            if (netdata)
                refuse_job_option();
            set.data_format = row->value;
            break;
        case opt::format:
            set.data_format = row->value;
            break;
        case opt::start:
            set.beginjcl_filename = option_value(argc, argv, i);
            break;
        case opt::end:
            set.endjcl_filename = option_value(argc, argv, i);
            break;
        case opt::fixed:
            set.fixed = row->value;
            break;
        case opt::xlate:
            load_table(option_value(argc, argv, i));
            break;
        case opt::stdin_file:
            // The JCL streams are closed here, so standard input named by "-" is never wrapped.
            convert_stdin(set, files);
            break;
        }
    }

    if (files == 0) {
        open_jcl(set, true);
        convert_stdin(set, files);
        close_jcl(set);
    }

    if (local_job()) {
        close_local_job();
        std::exit(0);
    }
    if (!separate_jobs && !netdata)
        send_job(job.hf, job.df);
    end_link(job.link);
    for (int i = 0; i < kMaxUserFields && set.ufields[i].name != nullptr; ++i) {
        if (!set.ufields[i].used)
            std::fprintf(stderr, _("%s: can't change field %s\n"), set.pgm, set.ufields[i].name);
    }
    std::exit(0);
}
