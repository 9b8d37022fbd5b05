// Link daemon simulator: serves the link daemon program (100212, version 1) and one link process
// program (a transient number, version 1) over ONC RPC on TCP, registered with the local rpcbind,
// so that the link client and the whole submission path run on one machine. Fault modes let tests
// reach every failure path of the client.
#include <getopt.h>
#include <poll.h>
#include <rpc/pmap_clnt.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "link/link_client.h"
#include "link/rje_xdr.h"
#include "sim/sim_jobcheck.h"

namespace fs = std::filesystem;

namespace
{

constexpr unsigned long LINKPROC_FIRST = 0x40021200; // first transient number tried
constexpr int LINKPROC_TRIES = 4096;
constexpr int CLOSE_ON_LINK = -2; // --close-on link: the link process's procedure 2

struct link_entry {
    std::string node; // destination node served
    std::string link; // link name
};

enum class bad_answer {
    none,
    long_jobid,
    long_link,
    slash_jobid,
    slash_link,
    dotdot_link,
    empty_jobid,
    quote_link,
    long_node,
    empty_node,
    empty_user
};

struct options {
    std::string node = "SIMNODE";
    std::string user = "SIMUSER";
    std::vector<link_entry> links;
    int block_size = 4096;
    unsigned long next_id = 1;
    std::string spool = "/var/spool/rje";
    int getid_status = -1;                 // answer procedure 3 with this status when >= 0
    int send_status = -1;                  // answer procedure 4 with this status when >= 0
    std::vector<std::string> zero_program; // nodes reported with program number 0
    bool no_link_process = false;
    int close_on = -1;  // daemon procedure (or CLOSE_ON_LINK) whose connection is closed
    int silent_on = -1; // daemon procedure that is never answered
    bad_answer bad = bad_answer::none;
    long time_limit = 0; // seconds, 0: none
    std::string ready_file;
};

options opt;
unsigned long link_program = 0;
volatile std::sig_atomic_t stop_requested = 0;

void on_signal(int)
{
    stop_requested = 1;
}

const char usage_text[] =
    "usage: jobpush_sim [options]\n"
    "Stands in for the link daemon (program 100212) and a link process on this machine, both\n"
    "registered with the local rpcbind. Prints \"ready <link process program>\" on standard\n"
    "output once registered, then one line per job sent and per message; exits on SIGTERM or\n"
    "SIGINT, or after --time-limit, withdrawing both registrations.\n"
    "  --node NAME          local node answered to procedure 2 (default SIMNODE)\n"
    "  --user NAME          local user answered to procedure 2 (default SIMUSER)\n"
    "  --link NODE=LINK     destination node served and its link name (repeatable;\n"
    "                       default NODEA=LINKA)\n"
    "  --block-size N       the link's block size (default 4096)\n"
    "  --first-id N         first job identifier handed out (default 1)\n"
    "  --spool DIR          spool directory; DIR/<node>/<link>/input is created for every link\n"
    "                       and sent jobs move to DIR/<node>/<link>/sent (default /var/spool/rje)\n"
    "  --time-limit S       exit after S seconds\n"
    "  --ready-file PATH    also write the ready line to PATH once registered\n"
    "fault modes:\n"
    "  --getid-status N     answer procedure 3 (job identifier) with status N\n"
    "  --send-status N      answer procedure 4 (send job) with status N\n"
    "  --zero-program NODE  report program number 0 for NODE (repeatable)\n"
    "  --no-link-process    register no link process; report an unregistered number\n"
    "  --close-on PROC      close the connection instead of answering daemon procedure PROC,\n"
    "                       or the link process's procedure 2 with PROC = link\n"
    "  --silent-on PROC     never answer daemon procedure PROC (the caller times out)\n"
    "  --bad-answer KIND    answer procedure 3 (or 2 for the *-node, *-user kinds) with a\n"
    "                       faulty value: long-jobid, long-link, slash-jobid, slash-link,\n"
    "                       dotdot-link, empty-jobid, quote-link, long-node, empty-node,\n"
    "                       empty-user\n"
    "  --help               this text\n";

[[noreturn]] void usage_exit(int status)
{
    std::fputs(usage_text, status == 0 ? stdout : stderr);
    std::exit(status);
}

long number_arg(const char *name, const char *value, long low, long high)
{
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(value, &end, 0);
    if (errno != 0 || end == value || *end != '\0' || v < low || v > high) {
        std::fprintf(stderr, "jobpush_sim: bad value for %s: %s\n", name, value);
        std::exit(2);
    }
    return v;
}

bad_answer bad_answer_arg(const std::string &kind)
{
    static const std::pair<const char *, bad_answer> kinds[] = {
        {"long-jobid", bad_answer::long_jobid},   {"long-link", bad_answer::long_link},
        {"slash-jobid", bad_answer::slash_jobid}, {"slash-link", bad_answer::slash_link},
        {"dotdot-link", bad_answer::dotdot_link}, {"empty-jobid", bad_answer::empty_jobid},
        {"quote-link", bad_answer::quote_link},   {"long-node", bad_answer::long_node},
        {"empty-node", bad_answer::empty_node},   {"empty-user", bad_answer::empty_user}};
    for (const auto &[n, k] : kinds)
        if (kind == n)
            return k;
    std::fprintf(stderr, "jobpush_sim: unknown --bad-answer kind: %s\n", kind.c_str());
    std::exit(2);
}

void parse_options(int argc, char **argv)
{
    enum {
        o_node = 1,
        o_user,
        o_link,
        o_block,
        o_first,
        o_spool,
        o_limit,
        o_ready,
        o_getid,
        o_send,
        o_zero,
        o_nolink,
        o_close,
        o_silent,
        o_bad,
        o_help
    };
    static const option longopts[] = {{"node", required_argument, nullptr, o_node},
                                      {"user", required_argument, nullptr, o_user},
                                      {"link", required_argument, nullptr, o_link},
                                      {"block-size", required_argument, nullptr, o_block},
                                      {"first-id", required_argument, nullptr, o_first},
                                      {"spool", required_argument, nullptr, o_spool},
                                      {"time-limit", required_argument, nullptr, o_limit},
                                      {"ready-file", required_argument, nullptr, o_ready},
                                      {"getid-status", required_argument, nullptr, o_getid},
                                      {"send-status", required_argument, nullptr, o_send},
                                      {"zero-program", required_argument, nullptr, o_zero},
                                      {"no-link-process", no_argument, nullptr, o_nolink},
                                      {"close-on", required_argument, nullptr, o_close},
                                      {"silent-on", required_argument, nullptr, o_silent},
                                      {"bad-answer", required_argument, nullptr, o_bad},
                                      {"help", no_argument, nullptr, o_help},
                                      {nullptr, 0, nullptr, 0}};
    int c;
    while ((c = getopt_long(argc, argv, "", longopts, nullptr)) != -1) {
        switch (c) {
        case o_node:
            opt.node = optarg;
            break;
        case o_user:
            opt.user = optarg;
            break;
        case o_link: {
            std::string v = optarg;
            auto eq = v.find('=');
            if (eq == std::string::npos || eq == 0 || eq + 1 == v.size()) {
                std::fprintf(stderr, "jobpush_sim: --link wants NODE=LINK: %s\n", optarg);
                std::exit(2);
            }
            opt.links.push_back({v.substr(0, eq), v.substr(eq + 1)});
            break;
        }
        case o_block:
            opt.block_size = static_cast<int>(number_arg("--block-size", optarg, -1000000, 1 << 30));
            break;
        case o_first:
            opt.next_id = static_cast<unsigned long>(number_arg("--first-id", optarg, 0, 999999999));
            break;
        case o_spool:
            opt.spool = optarg;
            break;
        case o_limit:
            opt.time_limit = number_arg("--time-limit", optarg, 1, 86400);
            break;
        case o_ready:
            opt.ready_file = optarg;
            break;
        case o_getid:
            opt.getid_status = static_cast<int>(number_arg("--getid-status", optarg, 0, 1000000));
            break;
        case o_send:
            opt.send_status = static_cast<int>(number_arg("--send-status", optarg, 0, 1000000));
            break;
        case o_zero:
            opt.zero_program.emplace_back(optarg);
            break;
        case o_nolink:
            opt.no_link_process = true;
            break;
        case o_close:
            opt.close_on = std::strcmp(optarg, "link") == 0
                               ? CLOSE_ON_LINK
                               : static_cast<int>(number_arg("--close-on", optarg, 0, 1000));
            break;
        case o_silent:
            opt.silent_on = static_cast<int>(number_arg("--silent-on", optarg, 0, 1000));
            break;
        case o_bad:
            opt.bad = bad_answer_arg(optarg);
            break;
        case o_help:
            usage_exit(0);
        default:
            usage_exit(2);
        }
    }
    if (optind < argc)
        usage_exit(2);
    if (opt.links.empty())
        opt.links.push_back({"NODEA", "LINKA"});
}

const link_entry *find_link(const char *node)
{
    for (const auto &l : opt.links)
        if (l.node == node)
            return &l;
    return nullptr;
}

bool zero_program_for(const char *node)
{
    for (const auto &n : opt.zero_program)
        if (n == node)
            return true;
    return false;
}

void log_line(const std::string &line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Drops the connection without an answer: the peer sees it end; the transport is destroyed by
// the server library when it next reads the closed socket.
void close_connection(SVCXPRT *xprt)
{
    shutdown(xprt->xp_fd, SHUT_RDWR);
}

// ---- Faulty answers to procedure 3 ----------------------------------------------------------
// Encodes the d_jobid layout without the bounds of the real routine, to send what a faulty link
// daemon might.
struct raw_jobid {
    int status;
    char *linkname;
    char *jobid;
};
bool_t xdr_raw_jobid(XDR *xdrs, raw_jobid *r)
{
    return xdr_int(xdrs, &r->status) && xdr_string(xdrs, &r->linkname, ~0u) &&
           xdr_string(xdrs, &r->jobid, ~0u);
}
struct raw_userparms {
    char *node;
    char *user;
};
bool_t xdr_raw_userparms(XDR *xdrs, raw_userparms *r)
{
    return xdr_string(xdrs, &r->node, ~0u) && xdr_string(xdrs, &r->user, ~0u);
}

// ---- Link daemon procedures -----------------------------------------------------------------

void proc_userparms(SVCXPRT *xprt)
{
    std::string node = opt.node, user = opt.user;
    if (opt.bad == bad_answer::long_node)
        node = "NODENAME10";
    if (opt.bad == bad_answer::empty_node)
        node.clear();
    if (opt.bad == bad_answer::empty_user)
        user.clear();
    raw_userparms res{node.data(), user.data()};
    svc_sendreply(xprt, nje_xdrproc(xdr_raw_userparms), &res);
}

// Decodes the destination node argument into `name`; false after a decoding error answer.
bool get_destname(SVCXPRT *xprt, char (&name)[NJE_NAME_FIELD])
{
    d_destname arg{name};
    if (svc_getargs(xprt, nje_xdrproc(xdr_d_destname), &arg))
        return true;
    svcerr_decode(xprt);
    return false;
}

void proc_getid(SVCXPRT *xprt)
{
    char name[NJE_NAME_FIELD] = {};
    if (!get_destname(xprt, name))
        return;
    const link_entry *link = find_link(name);
    std::string linkname = link ? link->link : "";
    std::string id;
    int status = 0;
    if (opt.getid_status >= 0) {
        status = opt.getid_status;
    } else if (link == nullptr) {
        status = NJE_E_UNKNOWN_LINK;
    } else {
        id = std::to_string(opt.next_id++);
        switch (opt.bad) {
        case bad_answer::long_jobid:
            id = std::string(40, '7');
            break;
        case bad_answer::long_link:
            linkname = "LINKNAME10";
            break;
        case bad_answer::slash_jobid:
            id = "../../etc/78";
            break;
        case bad_answer::slash_link:
            linkname = "../X";
            break;
        case bad_answer::dotdot_link:
            linkname = "..";
            break;
        case bad_answer::empty_jobid:
            id.clear();
            break;
        case bad_answer::quote_link:
            linkname = "a\\\"\x01/";
            break;
        default:
            break;
        }
    }
    if (status != 0)
        linkname.clear();
    if (status == 0)
        log_line("id " + id + " for " + name + " on link " + linkname);
    raw_jobid res{status, linkname.data(), id.data()};
    svc_sendreply(xprt, nje_xdrproc(xdr_raw_jobid), &res);
}

int send_job(const d_sendjob &job)
{
    if (opt.send_status >= 0)
        return opt.send_status;
    const link_entry *link = find_link(job.node);
    if (link == nullptr)
        return NJE_E_UNKNOWN_LINK;
    if (!nje_safe_path_component(job.jobid))
        return 20; // Invalid parameter
    fs::path dir = fs::path(opt.spool) / opt.node / link->link;
    fs::path input = dir / "input";
    sim_job_report report;
    int status = sim_check_job(input.string(), job.jobid, job.type, report);
    if (status != 0) {
        log_line("refused job " + std::string(job.jobid) + " for " + job.node + ": " + nje_errlist[status]);
        return status;
    }
    std::error_code ec;
    fs::create_directories(dir / "sent", ec);
    std::string njh = std::string("NJH") + job.jobid, njd = std::string("NJD") + job.jobid;
    fs::rename(input / njh, dir / "sent" / njh, ec);
    if (!ec)
        fs::rename(input / njd, dir / "sent" / njd, ec);
    if (ec) {
        log_line("cannot move job " + std::string(job.jobid) + ": " + ec.message());
        return NJE_E_NJE_FILE;
    }
    log_line("sent job " + std::string(job.jobid) + " type " + std::to_string(job.type) + " from " +
             job.user + "@" + opt.node + " to " + job.node + " via " + link->link + ": " +
             std::to_string(report.header_records) + " header records, " +
             std::to_string(report.data_records) + " data records, " + std::to_string(report.data_bytes) +
             " data bytes");
    return 0;
}

void proc_sendjob(SVCXPRT *xprt)
{
    char node[NJE_NAME_FIELD] = {}, user[NJE_NAME_FIELD] = {}, id[NJE_JOBID_FIELD] = {};
    d_sendjob arg{0, node, user, id};
    if (!svc_getargs(xprt, nje_xdrproc(xdr_d_sendjob), &arg)) {
        svcerr_decode(xprt);
        return;
    }
    int status = send_job(arg);
    svc_sendreply(xprt, nje_xdrproc(xdr_int), &status);
}

void proc_linkinfo(SVCXPRT *xprt)
{
    char name[NJE_NAME_FIELD] = {};
    if (!get_destname(xprt, name))
        return;
    const link_entry *link = find_link(name);
    std::string linkname = link ? link->link : "";
    d_linkinfo res{};
    char empty[] = "";
    res.link = linkname.data();
    res.node = name;
    res.host = empty;
    res.alias = empty;
    for (char *&t : res.text)
        t = empty;
    res.state = link ? 1 : 0;
    res.program = (link == nullptr || zero_program_for(name)) ? 0 : link_program;
    svc_sendreply(xprt, nje_xdrproc(xdr_d_linkinfo), &res);
}

void linkd_dispatch(svc_req *rq, SVCXPRT *xprt)
{
    int proc = static_cast<int>(rq->rq_proc);
    if (proc == opt.close_on)
        return close_connection(xprt);
    if (proc == opt.silent_on)
        return;
    switch (rq->rq_proc) {
    case NULLPROC:
        svc_sendreply(xprt, nje_xdrproc(xdr_void), nullptr);
        return;
    case NJE_PROC_USERHELLO: {
        d_userinfo arg{};
        if (!svc_getargs(xprt, nje_xdrproc(xdr_d_userinfo), &arg))
            return svcerr_decode(xprt);
        char line[128];
        std::snprintf(line, sizeof line, "hello from program %#lx: %02x %02x %02x", arg.program, arg.byte1,
                      arg.byte2, arg.byte3);
        log_line(line); // before the answer, so the caller finds it logged
        int status = 0;
        svc_sendreply(xprt, nje_xdrproc(xdr_int), &status);
        return;
    }
    case NJE_PROC_USERPARMS:
        return proc_userparms(xprt);
    case NJE_PROC_GETID:
        return proc_getid(xprt);
    case NJE_PROC_SENDJOB:
        return proc_sendjob(xprt);
    case NJE_PROC_SENDMSG: {
        d_msgarray arg{};
        if (!svc_getargs(xprt, nje_xdrproc(xdr_d_msgarray), &arg))
            return svcerr_decode(xprt);
        std::string text(reinterpret_cast<const char *>(arg.msg_val), arg.msg_len);
        svc_freeargs(xprt, nje_xdrproc(xdr_d_msgarray), &arg);
        log_line("message (" + std::to_string(text.size()) + " bytes): " + text);
        int status = 0;
        svc_sendreply(xprt, nje_xdrproc(xdr_int), &status);
        return;
    }
    case NJE_PROC_USERBYE: {
        int program = 0;
        if (!svc_getargs(xprt, nje_xdrproc(xdr_int), &program))
            return svcerr_decode(xprt);
        svc_sendreply(xprt, nje_xdrproc(xdr_void), nullptr);
        return;
    }
    case NJE_PROC_LINKINFO:
        return proc_linkinfo(xprt);
    default:
        svcerr_noproc(xprt);
    }
}

void linkproc_dispatch(svc_req *rq, SVCXPRT *xprt)
{
    switch (rq->rq_proc) {
    case NULLPROC:
        svc_sendreply(xprt, nje_xdrproc(xdr_void), nullptr);
        return;
    case NJE_LPROC_STATS: {
        if (opt.close_on == CLOSE_ON_LINK)
            return close_connection(xprt);
        l_stats res{};
        res.blocksize = opt.block_size;
        svc_sendreply(xprt, nje_xdrproc(xdr_l_stats), &res);
        return;
    }
    default:
        svcerr_noproc(xprt);
    }
}

// ---- Registration ---------------------------------------------------------------------------

sockaddr_in loopback()
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// True when a server registered for (program, 1) answers the null procedure.
bool answers(unsigned long program)
{
    sockaddr_in a = loopback();
    int sock = RPC_ANYSOCK;
    CLIENT *c = clnttcp_create(&a, program, 1, &sock, 0, 0);
    if (c == nullptr)
        return false;
    timeval t{2, 0};
    bool ok = clnt_call(c, NULLPROC, nje_xdrproc(xdr_void), nullptr, nje_xdrproc(xdr_void), nullptr, t) ==
              RPC_SUCCESS;
    clnt_destroy(c);
    return ok;
}

bool registered(unsigned long program)
{
    sockaddr_in a = loopback();
    return pmap_getport(&a, program, 1, IPPROTO_TCP) != 0;
}

// Claims the link daemon's program. A registration left behind by a simulator that was killed
// is taken over; a live one is an error (only one link daemon per machine).
bool register_linkd(SVCXPRT *xprt)
{
    if (registered(NJE_LINKD_PROGRAM)) {
        if (answers(NJE_LINKD_PROGRAM)) {
            std::fputs("jobpush_sim: a link daemon (program 100212) is already running here\n", stderr);
            return false;
        }
        pmap_unset(NJE_LINKD_PROGRAM, NJE_LINKD_VERSION);
    }
    if (!svc_register(xprt, NJE_LINKD_PROGRAM, NJE_LINKD_VERSION, linkd_dispatch, IPPROTO_TCP)) {
        std::fputs("jobpush_sim: cannot register program 100212 with rpcbind\n", stderr);
        return false;
    }
    return true;
}

bool register_linkproc(SVCXPRT *xprt)
{
    unsigned long number = LINKPROC_FIRST;
    for (int i = 0; i < LINKPROC_TRIES; ++i, ++number) {
        if (opt.no_link_process) {
            if (!registered(number)) {
                link_program = number; // reported, never served
                return true;
            }
            continue;
        }
        if (!pmap_set(number, NJE_LINKPROC_VERSION, IPPROTO_TCP, xprt->xp_port))
            continue;
        pmap_unset(number, NJE_LINKPROC_VERSION);
        if (svc_register(xprt, number, NJE_LINKPROC_VERSION, linkproc_dispatch, IPPROTO_TCP)) {
            link_program = number;
            return true;
        }
    }
    std::fputs("jobpush_sim: cannot register a link process program with rpcbind\n", stderr);
    return false;
}

void unregister_all(SVCXPRT *xprt)
{
    svc_unregister(NJE_LINKD_PROGRAM, NJE_LINKD_VERSION);
    pmap_unset(NJE_LINKD_PROGRAM, NJE_LINKD_VERSION);
    if (link_program != 0 && !opt.no_link_process) {
        svc_unregister(link_program, NJE_LINKPROC_VERSION);
        pmap_unset(link_program, NJE_LINKPROC_VERSION);
    }
    svc_destroy(xprt);
}

bool make_spool()
{
    for (const auto &l : opt.links) {
        std::error_code ec;
        fs::path input = fs::path(opt.spool) / opt.node / l.link / "input";
        fs::create_directories(input, ec);
        if (ec) {
            std::fprintf(stderr, "jobpush_sim: cannot create %s: %s\n", input.c_str(), ec.message().c_str());
            return false;
        }
    }
    return true;
}

void install_signals()
{
    struct sigaction sa {
    };
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no SA_RESTART: poll must return
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

void serve()
{
    const std::time_t deadline = opt.time_limit > 0 ? std::time(nullptr) + opt.time_limit : 0;
    std::vector<pollfd> fds;
    while (!stop_requested) {
        if (deadline != 0 && std::time(nullptr) >= deadline) {
            std::fputs("jobpush_sim: time limit reached\n", stderr);
            break;
        }
        fds.assign(svc_pollfd, svc_pollfd + svc_max_pollfd);
        int n = poll(fds.data(), fds.size(), 200);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::perror("jobpush_sim: poll");
            break;
        }
        if (n > 0)
            svc_getreq_poll(fds.data(), n);
    }
}

} // namespace

int main(int argc, char **argv)
{
    parse_options(argc, argv);
    install_signals();
    if (!make_spool())
        return 1;

    SVCXPRT *xprt = svctcp_create(RPC_ANYSOCK, 0, 0);
    if (xprt == nullptr) {
        std::fputs("jobpush_sim: cannot create tcp service\n", stderr);
        return 1;
    }
    if (!register_linkd(xprt)) {
        svc_destroy(xprt);
        return 1;
    }
    if (!register_linkproc(xprt)) {
        unregister_all(xprt);
        return 1;
    }

    char ready[64];
    std::snprintf(ready, sizeof ready, "ready %lu\n", link_program);
    if (!opt.ready_file.empty()) {
        if (FILE *f = std::fopen(opt.ready_file.c_str(), "w")) {
            std::fputs(ready, f);
            std::fclose(f);
        }
    }
    std::fputs(ready, stdout);
    std::fflush(stdout);

    serve();
    unregister_all(xprt);
    return 0;
}
