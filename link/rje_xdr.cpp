// Link daemon protocol: XDR routines of every record, the client stubs of the link daemon and
// the registration of a user callback program. Encoding is plain XDR (RFC 4506) through libtirpc.
#include "link/rje_xdr.h"
#include "support/intl.h"

#include <rpc/pmap_clnt.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

unsigned long NJIUSER_PROGRAM = 0;

extern "C" void __lsan_disable() __attribute__((weak));
extern "C" void __lsan_enable() __attribute__((weak));

namespace
{

// Leak recording off for the lifetime of the object (see __lsan_default_suppressions below).
struct library_leaks_ignored {
    library_leaks_ignored()
    {
        if (__lsan_disable != nullptr)
            __lsan_disable();
    }
    ~library_leaks_ignored()
    {
        if (__lsan_enable != nullptr)
            __lsan_enable();
    }
    library_leaks_ignored(const library_leaks_ignored &) = delete;
    library_leaks_ignored &operator=(const library_leaks_ignored &) = delete;
};

// xdr_string refuses to encode a null pointer; a record built with an unset string field sends
// it as the empty string instead.
bool_t str(XDR *xdrs, char **sp, u_int bound)
{
    if (xdrs->x_op == XDR_ENCODE && *sp == nullptr) {
        static char empty[] = "";
        char *p = empty;
        return xdr_string(xdrs, &p, bound);
    }
    return xdr_string(xdrs, sp, bound);
}
// long and u_long are 4-byte units on the wire whatever their size in memory: a value that does
// not fit fails encoding, and a long comes back sign-extended (the library's routine on a 64-bit
// machine would return -1 as 4294967295).
bool_t long32(XDR *xdrs, long *lp)
{
    int32_t v = 0;
    switch (xdrs->x_op) {
    case XDR_ENCODE:
        if (*lp < INT32_MIN || *lp > INT32_MAX)
            return FALSE;
        v = static_cast<int32_t>(*lp);
        return xdr_int32_t(xdrs, &v);
    case XDR_DECODE:
        if (!xdr_int32_t(xdrs, &v))
            return FALSE;
        *lp = v;
        return TRUE;
    default:
        return TRUE;
    }
}
bool_t ulong32(XDR *xdrs, u_long *lp)
{
    uint32_t v = 0;
    switch (xdrs->x_op) {
    case XDR_ENCODE:
        if (*lp > UINT32_MAX)
            return FALSE;
        v = static_cast<uint32_t>(*lp);
        return xdr_uint32_t(xdrs, &v);
    case XDR_DECODE:
        if (!xdr_uint32_t(xdrs, &v))
            return FALSE;
        *lp = v;
        return TRUE;
    default:
        return TRUE;
    }
}

bool_t name(XDR *xdrs, char **sp)
{
    return str(xdrs, sp, NJE_NAME_MAX);
}
bool_t alias(XDR *xdrs, char **sp)
{
    return str(xdrs, sp, NJE_ALIAS_MAX);
}
bool_t path(XDR *xdrs, char **sp)
{
    return str(xdrs, sp, NJE_PATH_MAX);
}
bool_t text(XDR *xdrs, char **sp)
{
    return str(xdrs, sp, NJE_TEXT_MAX);
}
bool_t jobid(XDR *xdrs, char **sp)
{
    return str(xdrs, sp, NJE_JOBID_MAX);
}

template <class F> xdrproc_t proc(F f)
{
    return nje_xdrproc(f);
}

const timeval call_timeout{NJE_CALL_TIMEOUT, 0};
const timeval bye_timeout{NJE_BYE_TIMEOUT, 0};

// One call on `clnt`; true when it completed with RPC success.
bool call(CLIENT *clnt, u_long procedure, xdrproc_t xargs, void *args, xdrproc_t xres, void *res,
          timeval timeout = call_timeout)
{
    if (clnt == nullptr)
        return false;
    return clnt_call(clnt, procedure, xargs, args, xres, res, timeout) == RPC_SUCCESS;
}

// Copies `src` into the field `dst` of `size` bytes; false (and dst empty) when it does not fit.
bool copy_field(char *dst, std::size_t size, const char *src)
{
    std::size_t n = src ? std::strlen(src) : 0;
    if (n >= size) {
        dst[0] = '\0';
        return false;
    }
    std::memcpy(dst, src ? src : "", n + 1);
    return true;
}

// Records in *refused (when given) that the answered `field` holds `value` and is refused. @return bad.
bool refuse(nje_refusal *refused, const char *field, const char *value, bool bad)
{
    if (!bad || refused == nullptr)
        return bad;
    refused->field = field;
    char *out = refused->value;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(value); *p != '\0'; ++p) {
        if (*p == '"' || *p == '\\')
            out += std::sprintf(out, "\\%c", *p);
        else if (*p < 0x20 || *p > 0x7E)
            out += std::sprintf(out, "\\x%02x", *p);
        else
            *out++ = static_cast<char>(*p);
    }
    *out = '\0';
    return true;
}

} // namespace

bool nje_safe_path_component(const char *s)
{
    if (s == nullptr || s[0] == '\0')
        return false;
    if (std::strcmp(s, ".") == 0 || std::strcmp(s, "..") == 0)
        return false;
    return std::strchr(s, '/') == nullptr;
}

// ---- Records -------------------------------------------------------------------------------

bool_t xdr_d_msgarray(XDR *xdrs, d_msgarray *objp)
{
    return xdr_array(xdrs, reinterpret_cast<char **>(&objp->msg_val), &objp->msg_len, NJE_MSG_MAX,
                     sizeof(u_char), proc(xdr_u_char));
}

bool_t xdr_d_userinfo(XDR *xdrs, d_userinfo *objp)
{
    return ulong32(xdrs, &objp->program) && xdr_u_char(xdrs, &objp->byte1) &&
           xdr_u_char(xdrs, &objp->byte2) && xdr_u_char(xdrs, &objp->byte3);
}

bool_t xdr_d_userparms(XDR *xdrs, d_userparms *objp)
{
    return name(xdrs, &objp->node) && name(xdrs, &objp->user);
}

bool_t xdr_d_destname(XDR *xdrs, d_destname *objp)
{
    return name(xdrs, &objp->name);
}

bool_t xdr_d_jobid(XDR *xdrs, d_jobid *objp)
{
    return xdr_int(xdrs, &objp->status) && name(xdrs, &objp->linkname) && jobid(xdrs, &objp->jobid);
}

bool_t xdr_d_sendjob(XDR *xdrs, d_sendjob *objp)
{
    return xdr_u_char(xdrs, &objp->type) && name(xdrs, &objp->node) && name(xdrs, &objp->user) &&
           jobid(xdrs, &objp->jobid);
}

bool_t xdr_d_linkinfo(XDR *xdrs, d_linkinfo *objp)
{
    if (!name(xdrs, &objp->link) || !xdr_int(xdrs, &objp->state) || !name(xdrs, &objp->node) ||
        !path(xdrs, &objp->host) || !alias(xdrs, &objp->alias))
        return FALSE;
    for (int &c : objp->counters)
        if (!xdr_int(xdrs, &c))
            return FALSE;
    if (!ulong32(xdrs, &objp->program))
        return FALSE;
    for (char *&t : objp->text)
        if (!path(xdrs, &t))
            return FALSE;
    return TRUE;
}

bool_t xdr_l_stats(XDR *xdrs, l_stats *objp)
{
    for (u_int &c : objp->counts)
        if (!xdr_u_int(xdrs, &c))
            return FALSE;
    for (long &t : objp->totals)
        if (!long32(xdrs, &t))
            return FALSE;
    return xdr_u_int(xdrs, &objp->flags) && xdr_int(xdrs, &objp->blocksize);
}

bool_t xdr_d_linkparms(XDR *xdrs, d_linkparms *objp)
{
    return ulong32(xdrs, &objp->program) && name(xdrs, &objp->link);
}

bool_t xdr_d_nodeparms(XDR *xdrs, d_nodeparms *objp)
{
    return xdr_int(xdrs, &objp->kind) && name(xdrs, &objp->node) && xdr_int(xdrs, &objp->port) &&
           xdr_d_linkinfo(xdrs, &objp->info);
}

bool_t xdr_d_rcvjob(XDR *xdrs, d_rcvjob *objp)
{
    return name(xdrs, &objp->link) && text(xdrs, &objp->jobid);
}

bool_t xdr_d_rcvmsg(XDR *xdrs, d_rcvmsg *objp)
{
    return name(xdrs, &objp->link) && xdr_d_msgarray(xdrs, &objp->msg);
}

bool_t xdr_d_u_stat(XDR *xdrs, d_u_stat *objp)
{
    return xdr_enum(xdrs, objp);
}

bool_t xdr_d_userstat(XDR *xdrs, d_userstat *objp)
{
    return xdr_d_u_stat(xdrs, &objp->stat) && xdr_int(xdrs, &objp->count) && ulong32(xdrs, &objp->program) &&
           text(xdrs, &objp->text);
}

bool_t xdr_d_l_stat(XDR *xdrs, d_l_stat *objp)
{
    return xdr_enum(xdrs, objp);
}

bool_t xdr_d_linkstat(XDR *xdrs, d_linkstat *objp)
{
    return xdr_d_l_stat(xdrs, &objp->stat) && name(xdrs, &objp->link);
}

bool_t xdr_d_checkroute(XDR *xdrs, d_checkroute *objp)
{
    return name(xdrs, &objp->from) && name(xdrs, &objp->to);
}

bool_t xdr_d_setport(XDR *xdrs, d_setport *objp)
{
    return name(xdrs, &objp->link) && xdr_int(xdrs, &objp->port);
}

bool_t xdr_d_setlogging(XDR *xdrs, d_setlogging *objp)
{
    return xdr_int(xdrs, &objp->level) && path(xdrs, &objp->path) && xdr_int(xdrs, &objp->flags);
}

bool_t xdr_d_nodeinfo(XDR *xdrs, d_nodeinfo *objp)
{
    return path(xdrs, &objp->path) && xdr_int(xdrs, &objp->flags);
}

bool_t xdr_d_stoplink(XDR *xdrs, d_stoplink *objp)
{
    return xdr_int(xdrs, &objp->how) && name(xdrs, &objp->link);
}

bool_t xdr_d_starttrace(XDR *xdrs, d_starttrace *objp)
{
    return xdr_int(xdrs, &objp->level) && name(xdrs, &objp->link) && path(xdrs, &objp->path);
}

bool_t xdr_d_route(XDR *xdrs, d_route *objp)
{
    return name(xdrs, &objp->node) && name(xdrs, &objp->link);
}

bool_t xdr_d_alias(XDR *xdrs, d_alias *objp)
{
    return name(xdrs, &objp->link) && alias(xdrs, &objp->alias);
}

bool_t xdr_d_username(XDR *xdrs, d_username *objp)
{
    return name(xdrs, &objp->name);
}

bool_t xdr_d_canceljob(XDR *xdrs, d_canceljob *objp)
{
    return name(xdrs, &objp->link) && text(xdrs, &objp->jobid);
}

bool_t xdr_d_cancelstat(XDR *xdrs, d_cancelstat *objp)
{
    return xdr_enum(xdrs, objp);
}

bool_t xdr_d_cancelled(XDR *xdrs, d_cancelled *objp)
{
    return name(xdrs, &objp->link) && text(xdrs, &objp->jobid) && xdr_int(xdrs, &objp->code) &&
           xdr_d_cancelstat(xdrs, &objp->stat);
}

bool_t xdr_d_log(XDR *xdrs, d_log *objp)
{
    return text(xdrs, &objp->text);
}

// ---- Call queue records ----------------------------------------------------------------------

bool_t xdr_cq_caller_type(XDR *xdrs, cq_caller_type *objp)
{
    return xdr_enum(xdrs, objp);
}

bool_t xdr_cq_link_id(XDR *xdrs, cq_link_id *objp)
{
    return ulong32(xdrs, &objp->program) && name(xdrs, &objp->link);
}

bool_t xdr_cq_user_id(XDR *xdrs, cq_user_id *objp)
{
    return ulong32(xdrs, &objp->program) && xdr_int(xdrs, &objp->uid) && alias(xdrs, &objp->name);
}

bool_t xdr_d_callerid(XDR *xdrs, d_callerid *objp)
{
    if (!xdr_cq_caller_type(xdrs, &objp->type))
        return FALSE;
    switch (objp->type) {
    case NJE_CALLER_LINK:
        return xdr_cq_link_id(xdrs, &objp->u.link);
    case NJE_CALLER_USER:
        return xdr_cq_user_id(xdrs, &objp->u.user);
    default:
        return long32(xdrs, &objp->u.other);
    }
}

bool_t xdr_cq_call_type(XDR *xdrs, cq_call_type *objp)
{
    return xdr_enum(xdrs, objp);
}

bool_t xdr_cq_link_message(XDR *xdrs, cq_link_message *objp)
{
    return ulong32(xdrs, &objp->program) && name(xdrs, &objp->link) && xdr_d_msgarray(xdrs, &objp->msg);
}

bool_t xdr_cq_link_job(XDR *xdrs, cq_link_job *objp)
{
    return ulong32(xdrs, &objp->program) && name(xdrs, &objp->link) && xdr_u_char(xdrs, &objp->type) &&
           xdr_int(xdrs, &objp->flags) && text(xdrs, &objp->jobid);
}

bool_t xdr_cq_user_message(XDR *xdrs, cq_user_message *objp)
{
    return xdr_int(xdrs, &objp->uid) && ulong32(xdrs, &objp->program) && alias(xdrs, &objp->from) &&
           alias(xdrs, &objp->to) && xdr_d_msgarray(xdrs, &objp->msg);
}

bool_t xdr_cq_user_job(XDR *xdrs, cq_user_job *objp)
{
    return xdr_int(xdrs, &objp->uid) && ulong32(xdrs, &objp->program) && alias(xdrs, &objp->from) &&
           alias(xdrs, &objp->to) && name(xdrs, &objp->node) && xdr_int(xdrs, &objp->jobno);
}

bool_t xdr_cq_link_stop(XDR *xdrs, cq_link_stop *objp)
{
    return ulong32(xdrs, &objp->program) && name(xdrs, &objp->link) && xdr_int(xdrs, &objp->how);
}

bool_t xdr_cq_tracelink(XDR *xdrs, cq_tracelink *objp)
{
    return ulong32(xdrs, &objp->program) && name(xdrs, &objp->link) && xdr_int(xdrs, &objp->level) &&
           xdr_int(xdrs, &objp->flags) && text(xdrs, &objp->path);
}

bool_t xdr_cq_canceljob(XDR *xdrs, cq_canceljob *objp)
{
    return ulong32(xdrs, &objp->program) && name(xdrs, &objp->link) && xdr_int(xdrs, &objp->flags) &&
           text(xdrs, &objp->jobid);
}

bool_t xdr_cq_cancelall(XDR *xdrs, cq_cancelall *objp)
{
    return ulong32(xdrs, &objp->program) && name(xdrs, &objp->link);
}

bool_t xdr_d_callinfo(XDR *xdrs, d_callinfo *objp)
{
    if (!xdr_cq_call_type(xdrs, &objp->type))
        return FALSE;
    switch (objp->type) {
    case NJE_CALL_LINK_MESSAGE:
        return xdr_cq_link_message(xdrs, &objp->u.link_message);
    case NJE_CALL_LINK_JOB:
        return xdr_cq_link_job(xdrs, &objp->u.link_job);
    case NJE_CALL_USER_MESSAGE:
        return xdr_cq_user_message(xdrs, &objp->u.user_message);
    case NJE_CALL_USER_JOB:
        return xdr_cq_user_job(xdrs, &objp->u.user_job);
    case NJE_CALL_LINK_STOP:
        return xdr_cq_link_stop(xdrs, &objp->u.link_stop);
    case NJE_CALL_TRACELINK:
        return xdr_cq_tracelink(xdrs, &objp->u.tracelink);
    case NJE_CALL_CANCELJOB:
        return xdr_cq_canceljob(xdrs, &objp->u.canceljob);
    case NJE_CALL_CANCELALL:
        return xdr_cq_cancelall(xdrs, &objp->u.cancelall);
    default:
        return long32(xdrs, &objp->u.other);
    }
}

// ---- Link process work records ---------------------------------------------------------------

bool_t xdr_l_work_type(XDR *xdrs, l_work_type *objp)
{
    return xdr_enum(xdrs, objp);
}

bool_t xdr_l_outjob(XDR *xdrs, l_outjob *objp)
{
    return xdr_u_char(xdrs, &objp->type) && text(xdrs, &objp->jobid) && xdr_int(xdrs, &objp->flags);
}

bool_t xdr_l_outmsg(XDR *xdrs, l_outmsg *objp)
{
    return xdr_d_msgarray(xdrs, &objp->msg);
}

bool_t xdr_l_tracelink(XDR *xdrs, l_tracelink *objp)
{
    return xdr_int(xdrs, &objp->level) && xdr_int(xdrs, &objp->flags) && text(xdrs, &objp->path);
}

bool_t xdr_l_canceljob(XDR *xdrs, l_canceljob *objp)
{
    return text(xdrs, &objp->jobid) && xdr_int(xdrs, &objp->flags);
}

bool_t xdr_l_work(XDR *xdrs, l_work *objp)
{
    if (!xdr_l_work_type(xdrs, &objp->type))
        return FALSE;
    switch (objp->type) {
    case NJE_WORK_OUTJOB:
        return xdr_l_outjob(xdrs, &objp->u.outjob);
    case NJE_WORK_OUTMSG:
        return xdr_l_outmsg(xdrs, &objp->u.outmsg);
    case NJE_WORK_FLAG:
        return xdr_u_char(xdrs, &objp->u.flag);
    case NJE_WORK_TRACELINK:
        return xdr_l_tracelink(xdrs, &objp->u.tracelink);
    default:
        return long32(xdrs, &objp->u.other);
    }
}

// ---- Client stubs --------------------------------------------------------------------------

bool nje_default_credentials(CLIENT *c)
{
    AUTH *credentials = authsys_create_default();
    if (credentials == nullptr) { // a call without credentials would crash the library
        clnt_destroy(c);
        return false;
    }
    if (c->cl_auth != nullptr)
        auth_destroy(c->cl_auth);
    c->cl_auth = credentials;
    return true;
}

CLIENT *nje_xdr_contactdisp(const char *host)
{
    if (host == nullptr)
        return nullptr;
    for (int tries = 1;; ++tries) {
        CLIENT *c = nullptr;
        {
            library_leaks_ignored lookup;
            c = clnt_create(host, NJE_LINKD_PROGRAM, NJE_LINKD_VERSION, "tcp");
        }
        if (c != nullptr)
            return nje_default_credentials(c) ? c : nullptr;
        bool interrupted = rpc_createerr.cf_stat == RPC_SYSTEMERROR &&
                           (rpc_createerr.cf_error.re_errno == EINTR || errno == EINTR);
        if (!interrupted || tries >= NJE_CONTACT_RETRIES)
            return nullptr;
    }
}

int nje_xdr_userhello(CLIENT *clnt, int byte1, int byte2, int byte3)
{
    d_userinfo arg{NJIUSER_PROGRAM, static_cast<u_char>(byte1 & 0xFF), static_cast<u_char>(~byte2 & 0xFF),
                   static_cast<u_char>(~byte3 & 0xFF)};
    int result = 0;
    if (!call(clnt, NJE_PROC_USERHELLO, proc(xdr_d_userinfo), &arg, proc(xdr_int), &result))
        return -1;
    return result;
}

int nje_xdr_userparms(CLIENT *clnt, char *node, char *user, nje_refusal *refused)
{
    node[0] = user[0] = '\0';
    d_userparms res{node, user};
    if (!call(clnt, NJE_PROC_USERPARMS, proc(xdr_void), nullptr, proc(xdr_d_userparms), &res)) {
        node[0] = user[0] = '\0';
        return -1;
    }
    // The node names a spool directory; neither name may be empty.
    if (refuse(refused, N_("local node"), node, node[0] == '\0') ||
        refuse(refused, N_("local user"), user, user[0] == '\0')) {
        node[0] = user[0] = '\0';
        return NJE_XDR_REFUSED;
    }
    return 0;
}

int nje_xdr_getid(CLIENT *clnt, const char *destination, char *linkname, char *jobid_out, nje_refusal *refused)
{
    std::memset(linkname, 0, NJE_NAME_FIELD);
    std::memset(jobid_out, 0, NJE_JOBID_FIELD);
    char dest[NJE_NAME_FIELD];
    if (!copy_field(dest, sizeof dest, destination))
        return -1;
    d_destname arg{dest};
    d_jobid res{0, linkname, jobid_out};
    if (!call(clnt, NJE_PROC_GETID, proc(xdr_d_destname), &arg, proc(xdr_d_jobid), &res)) {
        std::memset(linkname, 0, NJE_NAME_FIELD);
        std::memset(jobid_out, 0, NJE_JOBID_FIELD);
        return -1;
    }
    // The link name and the identifier become spool path components of the caller.
    if (res.status == 0 &&
        (refuse(refused, N_("link name"), linkname, !nje_safe_path_component(linkname)) ||
         refuse(refused, N_("job identifier"), jobid_out, !nje_safe_path_component(jobid_out)))) {
        std::memset(linkname, 0, NJE_NAME_FIELD);
        std::memset(jobid_out, 0, NJE_JOBID_FIELD);
        return NJE_XDR_REFUSED;
    }
    return res.status;
}

int nje_xdr_sendjob(CLIENT *clnt, int type, const char *node, const char *user, const char *jobid_in)
{
    char n[NJE_NAME_FIELD], u[NJE_NAME_FIELD], j[NJE_JOBID_FIELD];
    if (!copy_field(n, sizeof n, node) || !copy_field(u, sizeof u, user) ||
        !copy_field(j, sizeof j, jobid_in))
        return -1;
    d_sendjob arg{static_cast<u_char>(type & 0xFF), n, u, j};
    int result = 0;
    if (!call(clnt, NJE_PROC_SENDJOB, proc(xdr_d_sendjob), &arg, proc(xdr_int), &result))
        return -1;
    return result;
}

int nje_xdr_sendmsg(CLIENT *clnt, std::span<const unsigned char> message)
{
    std::vector<u_char> bytes(message.begin(), message.end());
    d_msgarray arg{static_cast<u_int>(bytes.size()), bytes.data()};
    int result = 0;
    if (!call(clnt, NJE_PROC_SENDMSG, proc(xdr_d_msgarray), &arg, proc(xdr_int), &result))
        return -1;
    return result;
}

int nje_xdr_userbye(CLIENT *clnt)
{
    int program = static_cast<int>(NJIUSER_PROGRAM);
    if (!call(clnt, NJE_PROC_USERBYE, proc(xdr_int), &program, proc(xdr_void), nullptr, bye_timeout))
        return -1;
    return 0;
}

// ---- Server side ---------------------------------------------------------------------------

SVCXPRT *nje_xdr_registeruser(nje_dispatch_t dispatch)
{
    NJIUSER_PROGRAM = NJIUSER_PROGRAM_FIRST;
    SVCXPRT *transport = svctcp_create(RPC_ANYSOCK, 0, 0);
    if (transport == nullptr) {
        std::fputs("cannot create tcp service.\n", stderr);
        return nullptr;
    }
    // The first number the portmapper accepts; bounded so that a portmapper that refuses every
    // request (or does not answer) cannot keep us here for ever.
    int tries = 1;
    while (!pmap_set(NJIUSER_PROGRAM, NJIUSER_VERSION, IPPROTO_TCP, transport->xp_port)) {
        if (tries++ >= NJE_REGISTER_TRIES) {
            std::fputs("Unable to register (NJIUSER_PROGRAM).\n", stderr);
            svc_destroy(transport);
            return nullptr;
        }
        ++NJIUSER_PROGRAM;
    }
    pmap_unset(NJIUSER_PROGRAM, NJIUSER_VERSION);
    if (!svc_register(transport, NJIUSER_PROGRAM, NJIUSER_VERSION, dispatch, IPPROTO_TCP)) {
        std::fputs("Unable to register (NJIUSER_PROGRAM).\n", stderr);
        svc_destroy(transport);
        return nullptr;
    }
    return transport;
}

void nje_xdr_unregisteruser(SVCXPRT *transport)
{
    pmap_unset(NJIUSER_PROGRAM, NJIUSER_VERSION);
    svc_unregister(NJIUSER_PROGRAM, NJIUSER_VERSION);
    if (transport != nullptr)
        svc_destroy(transport);
}

int validate_user()
{
    return 0;
}

// Leak checking in sanitizer builds (no-ops without LSan). libtirpc 1.3 loses memory of its own
// that this program never holds: pmap_set frees the netbuf that uaddr2taddr made but not its
// address buffer (every registration), and the rpcbind lookup inside clnt_create orphans an
// address-cache netbuf and, for a program not registered, the empty universal address. The first
// is suppressed by name; the second comes from unnamed static functions, so nje_xdr_contactdisp
// makes that one call with leak recording switched off. A module-wide suppression would also hide
// every client, credential, transport and decoded string of ours, all allocated in the library.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:__rpc_uaddr2taddr_af\n";
}
