// jobpush: submits workstation files as one NJE job through an SNA RJE/NJE gateway.
// This unit holds the entry point: environment, command line, the file loop and the end of the run.
#include <libintl.h>
#include <sys/stat.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "convert/translate.h"
#include "frontend/job_builder.h"
#include "frontend/jobpush.h"
#include "support/rundir.h"

#define _(text) gettext(text)

// Run settings with their initial values.
const char *spool_dir = "/var/spool/rje";
const char *actual_name = nullptr;
const char *actual_node = nullptr;
char remote_name[kNameField];
int lrecl = 80;
int tabs = 8;
int data_format = 0;
int fixed = 0;
int jes2bufmax = 3820;
int maxdata = 3820;
int buffersize = 8192;
char filename[kNameField];
char filetype[kNameField];
user_field ufields[kMaxUserFields + 1];

namespace
{

const char *beginjcl_filename = nullptr;
const char *endjcl_filename = nullptr;
FILE *file_bjcl = nullptr;
FILE *file_ejcl = nullptr;
int nufields = 0;
constexpr size_t kInputBuffer = 1 << 16;

// The usage lines after the first, each led by 20 spaces.
constexpr const char *kUsageLines[] = {
    "[-sp spool-directory]\n",
    "[-l record-size]\n",
    "[-job]\n",
    "[-text | -binary | -bu | -record]\n",
    "[-tab]\n",
    "[-fixed | -variable]\n",
    "[-s beginjcl_filename]\n",
    "[-e endjcl_filename]\n",
    "filenames... | - \n",
};

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

void close_jcl()
{
    if (file_bjcl != nullptr)
        std::fclose(file_bjcl);
    if (file_ejcl != nullptr)
        std::fclose(file_ejcl);
    file_bjcl = nullptr;
    file_ejcl = nullptr;
}

// Opens the begin and end JCL files when either is named; both must be. `at_end` selects the
// spelling of the messages used for standard input at the end of the arguments.
void open_jcl(bool at_end)
{
    if (beginjcl_filename == nullptr && endjcl_filename == nullptr)
        return;
    if (beginjcl_filename == nullptr || endjcl_filename == nullptr) {
        std::fprintf(stderr, _("%s: invalid '-s and '-e' combination\n"), pgm);
        usage();
    }
    file_bjcl = std::fopen(beginjcl_filename, "r");
    if (file_bjcl == nullptr) {
        std::fprintf(stderr,
                     at_end ? _("%s: could not open '-s=%s filename\n")
                            : _("%s: could not open '-s=%s' filename\n"),
                     pgm, beginjcl_filename);
        fail_exit();
    }
    file_ejcl = std::fopen(endjcl_filename, "r");
    if (file_ejcl == nullptr) {
        std::fprintf(stderr,
                     at_end ? _("%s: could not open '-e=%s filename\n")
                            : _("%s: could not open '-e=%s' filename\n"),
                     pgm, endjcl_filename);
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

void set_debug(const char *value)
{
    debug = std::atoi(value);
    if (debug & DEBUG_LOCAL)
        std::fprintf(stderr, "%s: DEBUG_LOCAL turned on\n", pgm);
    if (debug & TRACE)
        std::fprintf(stderr, "%s: TRACE turned on\n", pgm);
}

void set_lrecl(const char *value)
{
    lrecl = std::atoi(value);
    if (lrecl <= 0) // 0, no number at all, or a negative length
        usage();
    if (lrecl > 255) {
        std::fprintf(stderr, _("%s: lrecl must be less than 256\n"), pgm);
        usage();
    }
}

void set_max(const char *value)
{
    jes2bufmax = std::atoi(value);
    if ((debug & DEBUG_LOCAL) && local_job()) { // never the block size of a link's job
        maxdata = jes2bufmax;
        std::fprintf(stderr, "maxdata = %d\n", maxdata);
    }
}

void load_table(const char *dir)
{
    if (nje_load_ebcdic_tbl(dir) == 0)
        fail_exit();
}

int files = 0;

void convert_stdin()
{
    process_file(stdin, "STANDARD", "INPUT", file_bjcl, file_ejcl);
    ++files;
}

void convert_path(const char *path)
{
    open_jcl(false);
    FILE *stream = std::fopen(path, "r");
    struct stat st;
    if (stream != nullptr && fstat(fileno(stream), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(stream); // a directory opens for reading but holds no data
        stream = nullptr;
    }
    if (stream == nullptr) {
        std::fprintf(stderr, _("%s: %s: could not open\n"), pgm, path);
        fail_exit();
    }
    // Large reads: the conversion walks the whole file once, front to back.
    std::setvbuf(stream, nullptr, _IOFBF, kInputBuffer);
    ibm_filename(path, filename, filetype);
    process_file(stream, filename, filetype, file_bjcl, file_ejcl);
    std::fclose(stream);
    ++files;
    close_jcl();
}

} // namespace

void usage()
{
    std::fprintf(stderr, "usage: %s System gateway_name -g hostname\n", pgm);
    for (const char *line : kUsageLines)
        std::fprintf(stderr, "%20s%s", "", line);
    fail_exit();
}

int main(int argc, char **argv)
{
    pgm = argv[0] != nullptr ? argv[0] : "jobpush";
    std::setlocale(LC_ALL, "");
    Init_I18N("rjecmd.messages", "SNARJEHOME", pgm, "/opt/QVTRconn/vorbelt");

    gateway = std::getenv("RJEGATEWAY");
    actual_name = std::getenv("RJEUSER");
    actual_node = std::getenv("RJENODE");
    const char *xlatedir = std::getenv("RJEXLATEDIR");

    if (argc < 6)
        usage();

    std::memset(save_remote_node, 0, sizeof save_remote_node);
    std::strncpy(save_remote_node, argv[2], kNameChars);
    uppercase(remote_name, argv[1], kNameChars);
    uppercase(remote_node, argv[2], kNameChars);

    if (xlatedir != nullptr)
        load_table(xlatedir);

    for (int i = 3; i < argc; ++i) {
        const char *arg = argv[i];
        const option_row *row = find_option(arg);
        if (row == nullptr) {
            if (arg[0] == '-')
                usage();
            convert_path(arg);
            continue;
        }
        switch (row->what) {
        case opt::gateway:
            gateway = option_value(argc, argv, i);
            break;
        case opt::q: {
            if (i + 2 >= argc || nufields == kMaxUserFields)
                usage();
            ufields[nufields].name = argv[++i];
            ufields[nufields].value = argv[++i];
            ++nufields;
            break;
        }
        case opt::user:
            actual_name = option_value(argc, argv, i);
            break;
        case opt::node:
            actual_node = option_value(argc, argv, i);
            break;
        case opt::spool:
            spool_dir = option_value(argc, argv, i);
            break;
        case opt::debug:
            set_debug(option_value(argc, argv, i));
            break;
        case opt::lrecl:
            set_lrecl(option_value(argc, argv, i));
            break;
        case opt::tab:
            tabs = std::atoi(option_value(argc, argv, i));
            break;
        case opt::max:
            set_max(option_value(argc, argv, i));
            break;
        case opt::job:
            if (netdata) {
                std::fprintf(stderr, "%s: ", pgm);
                std::fputs(_("-netdata and -job conflicting options\n"), stderr);
                fail_exit();
            }
            data_format = row->value;
            break;
        case opt::format:
            data_format = row->value;
            break;
        case opt::start:
            beginjcl_filename = option_value(argc, argv, i);
            break;
        case opt::end:
            endjcl_filename = option_value(argc, argv, i);
            break;
        case opt::fixed:
            fixed = row->value;
            break;
        case opt::xlate:
            load_table(option_value(argc, argv, i));
            break;
        case opt::stdin_file:
            // The JCL streams are closed here, so standard input named by "-" is never wrapped.
            convert_stdin();
            break;
        }
    }

    if (files == 0) {
        open_jcl(true);
        convert_stdin();
        close_jcl();
    }

    if (local_job())
        finish_local_job();
    if (!separate_jobs && !netdata)
        send_job(hf, df);
    end_link();
    for (int i = 0; i < kMaxUserFields && ufields[i].name != nullptr; ++i) {
        if (!ufields[i].used)
            std::fprintf(stderr, _("%s: can't change field %s\n"), pgm, ufields[i].name);
    }
    std::exit(0);
}
