// Link client: the link daemon and link process calls of a run (identity, block size), the
// error printers and the link error texts. Everything it prints goes to standard error.
#include "link/link_client.h"

#include "support/rje_util.h"

#include <libintl.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char *pgm = "jobpush";
const char *gateway = nullptr;
char remote_node[10];
char save_remote_node[15];
int debug = 0;
CLIENT *clnt = nullptr;

const char *const nje_errlist[] = {
    "No error",          "Unknown link",       "Unknown user",      "Too many users",   "Unknown host",
    "NJE file error",    "User not connected", "Bad job",           "Not ready",        "Already started",
    "Already stopped",   "Not consistent",     "Link exists",       "Link not stopped", "Alias exists",
    "Invalid alias",     "Alias not found",    "Route exists",      "Invalid route",    "Route not found",
    "Invalid parameter", "Job not found",      "Permission denied",
};
const int nje_nerr = static_cast<int>(sizeof nje_errlist / sizeof nje_errlist[0]);
static_assert(sizeof nje_errlist / sizeof nje_errlist[0] == 23);

namespace
{

const char *str_or_empty(const char *s)
{
    return s ? s : "";
}

void not_active()
{
    std::fprintf(stderr, gettext(NJE_MSG_NOT_ACTIVE), pgm, save_remote_node, str_or_empty(gateway));
}

void trace(const char *text)
{
    if (debug & TRACE)
        std::fputs(text, stderr);
}

// Storage the string fields of a link information answer are decoded into (bound + 1 each).
struct linkinfo_storage {
    char link[NJE_NAME_MAX + 1];
    char node[NJE_NAME_MAX + 1];
    char host[NJE_PATH_MAX + 1];
    char alias[NJE_ALIAS_MAX + 1];
    char text[NJE_LINKINFO_TEXTS][NJE_PATH_MAX + 1];
};
linkinfo_storage linkinfo_strings;

void destroy_client(CLIENT *c)
{
    if (c->cl_auth != nullptr)
        auth_destroy(c->cl_auth);
    clnt_destroy(c);
}

} // namespace

void myperror(const char *text)
{
    int e = errno;
    if (strerrordesc_np(e) == nullptr)
        std::fprintf(stderr, gettext("%s: %s: unknown error %d\n"), pgm, text, e);
    else
        std::fprintf(stderr, "%s: %s: %s\n", pgm, text, std::strerror(e));
}

void rpcerr(CLIENT *c, const char *text, int code)
{
    if (code == -1) {
        const char *why = c != nullptr ? clnt_sperror(c, text) : clnt_spcreateerror(text);
        std::fprintf(stderr, "%s: %s\n", pgm, why);
    } else if (code >= 0 && code < nje_nerr) {
        std::fprintf(stderr, "%s: %s: %s\n", pgm, text, gettext(nje_errlist[code]));
    } else {
        std::fprintf(stderr, gettext("%s: %s: unknown error %d\n"), pgm, text, code);
    }
}

int get_linkinfo(const char *destination, int procedure, d_linkinfo *info)
{
    std::memset(&linkinfo_strings, 0, sizeof linkinfo_strings);
    *info = d_linkinfo{};
    info->link = linkinfo_strings.link;
    info->node = linkinfo_strings.node;
    info->host = linkinfo_strings.host;
    info->alias = linkinfo_strings.alias;
    for (int i = 0; i < NJE_LINKINFO_TEXTS; ++i)
        info->text[i] = linkinfo_strings.text[i];

    char dest[NJE_NAME_FIELD] = {};
    const char *d = str_or_empty(destination);
    for (std::size_t i = 0; i < NJE_NAME_MAX && d[i] != '\0'; ++i)
        dest[i] = d[i];
    d_destname arg{dest};
    const timeval timeout{NJE_CALL_TIMEOUT, 0};
    if (clnt == nullptr || clnt_call(clnt, static_cast<rpcproc_t>(procedure), nje_xdrproc(xdr_d_destname),
                                     &arg, nje_xdrproc(xdr_d_linkinfo), info, timeout) != RPC_SUCCESS) {
        not_active();
        return 1;
    }
    return 0;
}

int getlinkrpcid(u_long *program)
{
    char destination[NJE_NAME_FIELD] = {};
    for (std::size_t i = 0; i < 8 && remote_node[i] != '\0'; ++i)
        destination[i] = remote_node[i];
    rje_uppercase(destination);
    d_linkinfo info;
    if (get_linkinfo(destination, static_cast<int>(NJE_PROC_LINKINFO), &info) != 0)
        return -1;
    *program = info.program;
    return 0;
}

CLIENT *contact_link(u_long program)
{
    const hostent *host = gateway ? gethostbyname(gateway) : nullptr;
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_length != 4 ||
        host->h_addr_list[0] == nullptr) {
        std::fprintf(stderr, gettext("%s: contact_link: cannot get address for gateway<%s>\n"), pgm,
                     str_or_empty(gateway));
        std::exit(255);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0; // looked up with the gateway host's portmapper
    std::memcpy(&address.sin_addr, host->h_addr_list[0], 4);
    int sock = RPC_ANYSOCK;
    CLIENT *c = clnttcp_create(&address, program, NJE_LINKPROC_VERSION, &sock, 0, 0);
    if (c == nullptr) {
        std::fprintf(stderr, gettext(NJE_MSG_CANNOT_CONTACT), pgm, save_remote_node, str_or_empty(gateway));
        return nullptr;
    }
    return nje_default_credentials(c) ? c : nullptr;
}

int getmaxdata()
{
    u_long program = 0;
    if (getlinkrpcid(&program) != 0) {
        trace("-1 return from 'getlinkrpcid'\n");
        not_active();
        return -1;
    }
    if (program == 0) {
        not_active();
        return -1;
    }
    CLIENT *link = contact_link(program);
    if (link == nullptr) {
        trace("Zero return from 'contact_link'\n");
        not_active();
        return -1;
    }
    l_stats stats{};
    const timeval timeout{NJE_CALL_TIMEOUT, 0};
    enum clnt_stat status = clnt_call(link, NJE_LPROC_STATS, nje_xdrproc(xdr_void), nullptr,
                                      nje_xdrproc(xdr_l_stats), &stats, timeout);
    destroy_client(link);
    // A block that cannot hold one record with its headroom is as good as no link.
    if (status != RPC_SUCCESS || stats.blocksize < NJE_MIN_BLOCKSIZE) {
        not_active();
        return -1;
    }
    if (debug & TRACE)
        std::fprintf(stderr, "maxdata = %d\n", stats.blocksize);
    return stats.blocksize;
}
