// Test helper: runs the link daemon simulator (jobpush_sim) as a child process, waits until it
// is registered with rpcbind, collects its standard output (one line per job) and stops it.
// Tests that use it must hold the CTest resource lock "rpcbind"; against other test runs on the same
// machine (other build trees) start() also takes a machine-wide lock, held until the process ends.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <rpc/pmap_clnt.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/test_util.h"

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

// sim_process sim({"--spool", dir.path()}); ASSERT_TRUE(sim.start()) << sim.error();
// ... run the client against "localhost" ...; sim.output() holds its lines; sim.stop() == 0.
class sim_process
{
  public:
    explicit sim_process(std::vector<std::string> args, std::string binary = JOBPUSH_SIM_BIN)
        : args_(std::move(args)), binary_(std::move(binary))
    {
    }
    ~sim_process() { stop(); }
    sim_process(const sim_process &) = delete;
    sim_process &operator=(const sim_process &) = delete;

    // Starts the simulator and waits (at most timeout_ms) for its ready line.
    // @return true when it is registered; else false with error() telling why.
    bool start(int timeout_ms = 15000)
    {
        hold_rpcbind_lock();
        int fds[2];
        if (pipe(fds) != 0 || (pid_ = fork()) < 0)
            return fail("pipe or fork failed");
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM); // never outlive a test process that crashed
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            std::vector<char *> argv{binary_.data()};
            for (auto &a : args_)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(binary_.c_str(), argv.data());
            _exit(127);
        }
        close(fds[1]);
        out_fd_ = fds[0];
        fcntl(out_fd_, F_SETFL, fcntl(out_fd_, F_GETFL) | O_NONBLOCK);
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (std::chrono::steady_clock::now() < until) {
            pollfd p{out_fd_, POLLIN, 0};
            poll(&p, 1, 100);
            bool open = drain();
            auto nl = buffer_.find('\n');
            if (nl != std::string::npos && buffer_.compare(0, 6, "ready ") == 0) {
                link_program_ = std::strtoul(buffer_.c_str() + 6, nullptr, 10);
                buffer_.erase(0, nl + 1);
                return true;
            }
            if (!open) {
                stop();
                return fail("simulator ended before it was ready, exit status " + std::to_string(status_));
            }
        }
        stop();
        return fail("simulator not ready in time");
    }

    // Stops it with SIGTERM (SIGKILL after 5 s) and collects the rest of its output.
    // @return its exit status, or 128 + signal, or -1 when it was never running.
    int stop()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            if (!wait_exit(5000)) {
                kill(pid_, SIGKILL);
                reap(0);
            }
        }
        return status_;
    }

    // Waits (at most timeout_ms) for the simulator to end by itself (for instance at its time
    // limit). @return true when it ended; its status is then what stop() returns.
    bool wait_exit(int timeout_ms)
    {
        for (int waited = 0; pid_ > 0; waited += 50) {
            if (reap(WNOHANG))
                return true;
            if (waited >= timeout_ms)
                return false;
            usleep(50000);
        }
        return true;
    }

    // Standard output after the ready line, as far as written so far.
    const std::string &output()
    {
        drain();
        return buffer_;
    }
    unsigned long link_program() const { return link_program_; }
    const std::string &error() const { return error_; }

  private:
    // Reads what is available; false once the pipe is closed.
    bool drain()
    {
        char chunk[4096];
        ssize_t n = 0;
        while (out_fd_ >= 0 && (n = read(out_fd_, chunk, sizeof chunk)) > 0)
            buffer_.append(chunk, static_cast<std::size_t>(n));
        return out_fd_ >= 0 && n < 0 && (errno == EAGAIN || errno == EINTR);
    }
    // Collects the ended child (waitpid with `flags`). @return true when it has ended.
    bool reap(int flags)
    {
        drain();
        int st = 0;
        if (waitpid(pid_, &st, flags) != pid_)
            return false;
        pid_ = -1;
        drain();
        close(out_fd_);
        out_fd_ = -1;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return true;
    }
    bool fail(std::string why)
    {
        error_ = std::move(why);
        return false;
    }

    std::vector<std::string> args_;
    std::string binary_;
    pid_t pid_ = -1;
    int out_fd_ = -1;
    int status_ = -1;
    unsigned long link_program_ = 0;
    std::string buffer_;
    std::string error_;
};
