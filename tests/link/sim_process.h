// Test helper: runs the link daemon simulator (jobpush_sim) as a child process, waits until it
// is registered with rpcbind, collects its standard output (one line per job) and stops it.
// Tests that use it must hold the CTest resource lock "rpcbind"; against other test runs on the same
// machine (other build trees) start() also takes a machine-wide lock, held until the process ends.
#pragma once

#include <fcntl.h>
#include <rpc/pmap_clnt.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/frontend/jobpush_run.h"

// Port that the portmapper on loopback maps (program, version, TCP) to, 0 when none.
inline u_short port_of(unsigned long program, unsigned long version = 1)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return pmap_getport(&a, program, version, IPPROTO_TCP);
}

// Takes the machine-wide lock of the tests that register with rpcbind, once per process; it is
// released when the process ends.
inline void hold_rpcbind_lock()
{
    static const int fd = [] {
        int f = open("/tmp/jobpush-rpcbind.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (f >= 0)
            while (flock(f, LOCK_EX) != 0 && errno == EINTR) {
            }
        return f;
    }();
    (void)fd;
}

// sim_process sim({"--spool", dir}); ASSERT_TRUE(sim.start()) << sim.error();
// ... run the client against "localhost" ...; sim.output() holds its lines; sim.stop() == 0.
class sim_process
{
  public:
    explicit sim_process(std::vector<std::string> args) : args_(std::move(args)) {}
    ~sim_process() { stop(); }
    sim_process(const sim_process &) = delete;
    sim_process &operator=(const sim_process &) = delete;

    // Starts the simulator and waits (at most timeout_ms) for its ready line.
    // @return true when it is registered; else false with error() telling why.
    bool start(int timeout_ms = 15000)
    {
        hold_rpcbind_lock();
        run_ = jobpush_test::spawn(args_, {.binary = JOBPUSH_SIM_BIN, .argv0 = "jobpush_sim"}, false, "sim");
        for (int waited = 0; run_.pid > 0 && waited < timeout_ms; waited += 20) {
            const std::string text = slurp(run_.io + "/out");
            if (text.compare(0, 6, "ready ") == 0 && text.find('\n') != std::string::npos) {
                link_program_ = std::strtoul(text.c_str() + 6, nullptr, 10);
                ready_ = text.find('\n') + 1;
                return true;
            }
            if (wait_exit(0))
                return fail("simulator ended before it was ready, exit status " + std::to_string(status_));
            usleep(20000);
        }
        stop();
        return fail("simulator not ready in time");
    }

    // Stops it with SIGTERM (SIGKILL after 5 s).
    // @return its exit status, or 128 + signal, or -1 when it was never running.
    int stop()
    {
        if (run_.pid > 0)
            kill(run_.pid, SIGTERM);
        if (!wait_exit(5000)) {
            kill(run_.pid, SIGKILL);
            wait_exit(-1);
        }
        return status_;
    }

    // Waits (at most timeout_ms, -1 for ever) for the simulator to end by itself (for instance at its
    // time limit). @return true when it ended; its status is then what stop() returns.
    bool wait_exit(int timeout_ms)
    {
        for (int waited = 0, st = 0; run_.pid > 0; waited += 20) {
            if (waitpid(run_.pid, &st, timeout_ms < 0 ? 0 : WNOHANG) == run_.pid) {
                run_.pid = -1;
                status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            } else if (waited >= timeout_ms) {
                return false;
            } else {
                usleep(20000);
            }
        }
        return true;
    }

    // Standard output after the ready line, as far as written so far.
    std::string output() const { return slurp(run_.io + "/out").substr(ready_); }
    unsigned long link_program() const { return link_program_; }
    const std::string &error() const { return error_; }

  private:
    bool fail(std::string why)
    {
        error_ = std::move(why);
        return false;
    }

    std::vector<std::string> args_;
    jobpush_test::background_run run_;
    int status_ = -1;
    std::size_t ready_ = 0;
    unsigned long link_program_ = 0;
    std::string error_;
};
