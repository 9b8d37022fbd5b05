// Link client: the link daemon and link process calls of a run (identity, block size), the
// error printers and the link error texts. Everything it prints goes to standard error.
#include "link/link_client.h"

#include "support/intl.h"
#include "support/rje_util.h"

#include <libintl.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char *const nje_errlist[] = {
    N_("No error"),          N_("Unknown link"),     N_("Unknown user"),       N_("Too many users"),
    N_("Unknown host"),      N_("NJE file error"),   N_("User not connected"), N_("Bad job"),
    N_("Not ready"),         N_("Already started"),  N_("Already stopped"),    N_("Not consistent"),
    N_("Link exists"),       N_("Link not stopped"), N_("Alias exists"),       N_("Invalid alias"),
    N_("Alias not found"),   N_("Route exists"),     N_("Invalid route"),      N_("Route not found"),
    N_("Invalid parameter"), N_("Job not found"),    N_("Permission denied"),
};
const int nje_nerr = static_cast<int>(sizeof nje_errlist / sizeof nje_errlist[0]);
static_assert(sizeof nje_errlist / sizeof nje_errlist[0] == 23);

namespace
{

const char *str_or_empty(const char *s)
{
    return s ? s : "";
}

void not_active(const link_context &ctx)
{
    std::fprintf(stderr, gettext(NJE_MSG_NOT_ACTIVE), ctx.pgm, ctx.save_remote_node, str_or_empty(ctx.gateway));
}

void trace(const link_context &ctx, const char *text)
{
    if (ctx.trace)
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

void myperror(const char *pgm, const char *text)
{
    int e = errno;
    if (strerrordesc_np(e) == nullptr)
        std::fprintf(stderr, gettext("%s: %s: unknown error %d\n"), pgm, text, e);
    else
        std::fprintf(stderr, "%s: %s: %s\n", pgm, text, std::strerror(e));
}

void rpcerr(const char *pgm, CLIENT *c, const char *text, int code)
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

void refusal_error(const char *pgm, const char *text, const nje_refusal &refused)
{
    std::fprintf(stderr, gettext("%s: %s: refused %s \"%s\" in the link daemon's answer\n"), pgm, text,
                 gettext(refused.field != nullptr ? refused.field : N_("answer")), refused.value);
}

int get_linkinfo(link_context &ctx, const char *destination, int procedure, d_linkinfo *info)
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
    if (ctx.clnt == nullptr ||
        clnt_call(ctx.clnt, static_cast<rpcproc_t>(procedure), nje_xdrproc(xdr_d_destname), &arg,
                  nje_xdrproc(xdr_d_linkinfo), info, timeout) != RPC_SUCCESS) {
        not_active(ctx);
        return 1;
    }
    return 0;
}

int getlinkrpcid(link_context &ctx, u_long *program)
{
    char destination[NJE_NAME_FIELD] = {};
    const char *node = str_or_empty(ctx.remote_node);
    for (std::size_t i = 0; i < NJE_NAME_CHARS && node[i] != '\0'; ++i)
        destination[i] = node[i];
    rje_uppercase(destination);
    d_linkinfo info;
    if (get_linkinfo(ctx, destination, static_cast<int>(NJE_PROC_LINKINFO), &info) != 0)
        return -1;
    *program = info.program;
    return 0;
}

CLIENT *contact_link(link_context &ctx, u_long program, int *status)
{
    const hostent *host = ctx.gateway ? gethostbyname(ctx.gateway) : nullptr;
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_length != 4 ||
        host->h_addr_list[0] == nullptr) {
        std::fprintf(stderr, gettext("%s: contact_link: cannot get address for gateway<%s>\n"), ctx.pgm,
                     str_or_empty(ctx.gateway));
        if (status != nullptr)
            *status = NJE_GATEWAY_UNRESOLVED;
        return nullptr;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0; // looked up with the gateway host's portmapper
    std::memcpy(&address.sin_addr, host->h_addr_list[0], 4);
    int sock = RPC_ANYSOCK;
    CLIENT *c = clnttcp_create(&address, program, NJE_LINKPROC_VERSION, &sock, 0, 0);
    if (c == nullptr) {
        std::fprintf(stderr, gettext(NJE_MSG_CANNOT_CONTACT), ctx.pgm, ctx.save_remote_node,
                     str_or_empty(ctx.gateway));
        return nullptr;
    }
    return nje_default_credentials(c) ? c : nullptr;
}

int getmaxdata(link_context &ctx)
{
    u_long program = 0;
    if (getlinkrpcid(ctx, &program) != 0) {
        trace(ctx, "-1 return from 'getlinkrpcid'\n");
        not_active(ctx);
        return -1;
    }
    if (program == 0) {
        not_active(ctx);
        return -1;
    }
    int status = -1;
    CLIENT *link = contact_link(ctx, program, &status);
    if (link == nullptr && status == NJE_GATEWAY_UNRESOLVED)
        return NJE_GATEWAY_UNRESOLVED;
    if (link == nullptr) {
        trace(ctx, "Zero return from 'contact_link'\n");
        not_active(ctx);
        return -1;
    }
    l_stats stats{};
    const timeval timeout{NJE_CALL_TIMEOUT, 0};
    enum clnt_stat call = clnt_call(link, NJE_LPROC_STATS, nje_xdrproc(xdr_void), nullptr,
                                      nje_xdrproc(xdr_l_stats), &stats, timeout);
    destroy_client(link);
    // A block that cannot hold one record with its headroom is as good as no link.
    if (call != RPC_SUCCESS || stats.blocksize < NJE_MIN_BLOCKSIZE) {
        not_active(ctx);
        return -1;
    }
    if (ctx.trace)
        std::fprintf(stderr, "maxdata = %d\n", stats.blocksize);
    return stats.blocksize;
}

void end_link(link_context &ctx)
{
    if (ctx.clnt != nullptr) {
        destroy_client(ctx.clnt);
        ctx.clnt = nullptr;
    }
}
