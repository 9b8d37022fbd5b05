// Early ends of a jobpush run: usage text, failure and spool-full exits, and the clean-up of an
// unfinished job, shared with the signal handlers.
#include "frontend/exits.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "frontend/run_state.h"
#include "support/intl.h"

namespace
{

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

constexpr int kCaught[] = {SIGINT, SIGTERM, SIGHUP};

// Removes the spool files of the unfinished job. Async-signal-safe: reads only the paths that `files`
// says are complete.
void remove_job_files()
{
    const std::sig_atomic_t n = job.files;
    job.files = 0;
    if (n >= 1)
        unlink(job.NJH_filename);
    if (n >= 2)
        unlink(job.NJD_filename);
}

extern "C" void on_signal(int sig)
{
    int saved = errno;
    remove_job_files();
    errno = saved;
    // The handler was installed with SA_RESETHAND: the signal, blocked until the handler returns, then
    // takes its default action.
    raise(sig);
}

} // namespace

void usage()
{
    std::fprintf(stderr, "usage: %s System gateway_name -g hostname\n", settings.pgm);
    for (const char *line : kUsageLines)
        std::fprintf(stderr, "%20s%s", "", line);
    fail_exit();
}

void fail_exit()
{
    fatal_exit(1);
}

void write_error_exit(const char *what)
{
    std::fprintf(stderr, _("%s: %s: \n\tfile write ERROR: spool directory is full.\n"), settings.pgm, what);
    fail_exit();
}

void fatal_exit(int status)
{
    hold_signals(true);
    remove_job_files();
    end_link(job.link);
    std::exit(status);
}

void open_standard_descriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free descriptor is the closed one.
        int got = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (got != fd) {
            if (got >= 0)
                close(got);
            std::_Exit(1); // nowhere to report it
        }
    }
}

void install_signal_handlers()
{
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    for (int sig : kCaught)
        sigaddset(&sa.sa_mask, sig);
    for (int sig : kCaught) {
        struct sigaction old {};
        // A signal ignored by whoever started the run (nohup, a shell's background job) stays ignored.
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        sigaction(sig, &sa, nullptr);
    }
    std::signal(SIGXFSZ, SIG_IGN);
}

void hold_signals(bool hold)
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kCaught)
        sigaddset(&set, sig);
    sigprocmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}
