// Runs the programs for the tests and reads back the spool files they write.
#include "jobpush_run.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "convert/rje_fromibm.h"
#include "spool/rje_data.h"
#include "spool/rje_fields.h"
#include "spool/rje_header.h"
#include "support/spool_job.h"

namespace fs = std::filesystem;

namespace jobpush_test
{

bool exists(const std::string &path)
{
    return fs::exists(fs::symlink_status(path));
}

void LocalJob::SetUp()
{
    dir = fresh_dir();
    spool = dir + "/spool";
    indir = spool + "/MYNODE/rje/input";
    fs::create_directories(indir);
    njh = indir + "/NJH78";
    njd = indir + "/NJD78";
}

std::string LocalJob::file(const std::string &name, const std::string &data) const
{
    write_file(dir + "/" + name, data);
    return dir + "/" + name;
}

v LocalJob::local(const v &tail, const std::string &user, const std::string &node) const
{
    v a = {user, node, "-g", "gw", "-sp", spool, "-n", "mynode", "-d", "2"};
    a.insert(a.end(), tail.begin(), tail.end());
    return a;
}

// Starts the program in a bare environment with argv[0] options.argv0, the arguments, standard output
// and error into files under `io` and standard input from /dev/null, or from a pipe whose write end
// comes back in *input. A run directory without catalogues: messages as they stand. Sanitizer builds:
// keep the leak checker's statistics out of the compared messages. A run that hangs is killed after
// two minutes.
background_run spawn(const v &args, const run_options &options, bool piped, const std::string &io_name)
{
    background_run b{-1, -1, fresh_dir("io-" + std::to_string(getpid()) + "-" + io_name)};
    std::map<std::string, std::string> env = {
        {"PATH", "/usr/bin:/bin"}, {"SNARJEHOME", b.io}, {"LSAN_OPTIONS", "print_suppressions=0"}};
    for (const auto &[name, value] : options.env)
        env[name] = value;
    v argv = {options.argv0}, envv;
    argv.insert(argv.end(), args.begin(), args.end());
    for (const auto &[name, value] : env)
        envv.push_back(name + "=" + value);
    int fds[2] = {-1, -1};
    if (piped && pipe2(fds, O_CLOEXEC) != 0)
        return b;
    if ((b.pid = fork()) == 0) {
        dup2(piped ? fds[0] : open("/dev/null", O_RDONLY), 0);
        dup2(open((b.io + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        if (options.close_stderr)
            close(2);
        else
            dup2(open((b.io + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        const rlim_t limit = options.file_limit_kb > 0 ? rlim_t(options.file_limit_kb) * 1024 : RLIM_INFINITY;
        const rlimit fsize{limit, limit};
        setrlimit(RLIMIT_FSIZE, &fsize);
        alarm(120);
        std::vector<char *> a, e;
        for (std::string &s : argv)
            a.push_back(s.data());
        for (std::string &s : envv)
            e.push_back(s.data());
        a.push_back(nullptr);
        e.push_back(nullptr);
        execve(options.binary.empty() ? JOBPUSH_BIN : options.binary.c_str(), a.data(), e.data());
        _exit(127);
    }
    if (piped) {
        close(fds[0]);
        b.input = fds[1];
    }
    return b;
}

run_result finish(background_run &b, int *signal)
{
    if (b.input >= 0)
        close(b.input);
    b.input = -1;
    int status = 0;
    if (b.pid <= 0 || waitpid(b.pid, &status, 0) != b.pid)
        return {};
    b.pid = -1;
    if (signal != nullptr)
        *signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(b.io + "/out"), slurp(b.io + "/err")};
}

run_result run(const v &args, const run_options &options)
{
    background_run b = spawn(args, options, options.pipe, "run");
    for (std::size_t at = 0; b.input >= 0 && at < options.stdin_data.size();) {
        const ssize_t n = write(b.input, options.stdin_data.data() + at, options.stdin_data.size() - at);
        if (n <= 0)
            break;
        at += static_cast<std::size_t>(n);
    }
    return finish(b);
}

std::string expand(std::string s, const vars_t &vars)
{
    for (const auto &[name, value] : vars)
        for (std::size_t at; (at = s.find(name)) != std::string::npos;)
            s.replace(at, name.size(), value);
    return s;
}

run_result run_failure(const Vector &f, const vars_t &vars, run_options o)
{
    o.pipe = f.has("stdin");
    o.stdin_data = f.str("stdin");
    o.file_limit_kb = f.num("limit", 0);
    for (const std::string &e : f.all("env"))
        o.env[e.substr(0, e.find('='))] = expand(e.substr(e.find('=') + 1), vars);
    const run_result r = run(words(expand(f.get("args"), vars)), o);
    const std::string want = expand(f.str("err"), vars);
    EXPECT_EQ(r.status, 1) << want;
    EXPECT_EQ(f.has("part") ? r.err.substr(0, want.size()) : r.err, want) << f.file << ": " << f.get("args");
    EXPECT_EQ(r.out, "");
    return r;
}

header_file read_header_file(const std::string &path)
{
    header_file file;
    FILE *stream = nje_header_open(path.c_str(), &file.mark);
    if (stream == nullptr)
        return file;
    Bytes buffer(8192);
    int length;
    while ((length = nje_header_read_next(stream, buffer.data(), buffer.size())) > 0) {
        header_record record{nje_header_offset(buffer.data()), nje_header_type(buffer.data()), {}};
        for (const unsigned char *s = nullptr; (s = nje_section_read_next(buffer.data(), s)) != nullptr;)
            record.fields["sections"] +=
                std::to_string(nje_section_id(s)) + ":" + std::to_string(nje_section_length(s)) + " ";
        spool_record_fields(
            Bytes(buffer.begin(), buffer.begin() + 12 + length),
            [](const spool_field &f, void *r) {
                static_cast<header_record *>(r)->fields[f.name] =
                    f.type == NJE_FIELD_CHARACTER ? f.text : std::to_string(f.number);
            },
            &record);
        file.records.push_back(std::move(record));
    }
    file.clean_end = length == 0;
    std::fclose(stream);
    return file;
}

void expect_fields(const header_record &record, const std::map<std::string, std::string> &want)
{
    for (const auto &[name, value] : want)
        EXPECT_EQ(record.fields.count(name) ? record.fields.at(name) : "(none)", value) << name;
}

data_file read_data_file(const std::string &path)
{
    data_file file{path, {}};
    FILE *stream = nje_data_open(path.c_str());
    if (stream == nullptr)
        return file;
    Bytes out(70000);
    for (;;) {
        const long offset = std::ftell(stream);
        int control = 0, count = 0;
        const int n = nje_data_read_next(stream, out.data(), out.size(), &control, &count);
        if (n <= 0) {
            file.eod = n == 0;
            file.trailing = n == 0 && std::fgetc(stream) != EOF;
            break;
        }
        file.blocks.push_back({offset, Bytes(out.begin(), out.begin() + n)});
    }
    std::fclose(stream);
    return file;
}

std::size_t largest_block(const data_file &file)
{
    std::size_t m = 0;
    for (const data_block &b : file.blocks)
        m = std::max(m, b.data.size());
    return m;
}

v records_from(const data_file &file, long from, long to)
{
    v records;
    std::FILE *f = std::fopen(file.path.c_str(), "rb");
    nje_dataset_reader reader;
    const unsigned char *r = nullptr;
    int n = 0, control = 0;
    if (f != nullptr &&
        nje_dataset_open(&reader, f, static_cast<uint64_t>(from),
                         to < (1L << 40) ? static_cast<uint64_t>(to) : NJE_DATASET_TO_EOD, true) == 0)
        while (nje_dataset_next(&reader, &r, &n, &control) == 1)
            records.emplace_back(reinterpret_cast<const char *>(r), static_cast<std::size_t>(n));
    if (f == nullptr || reader.failure != NJE_DATASET_OK)
        records.push_back("<unreadable>");
    if (f != nullptr)
        std::fclose(f);
    return records;
}

} // namespace jobpush_test
