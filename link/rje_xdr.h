// Link daemon protocol: the ONC RPC programs of the gateway, the XDR routines of every record
// they exchange (RFC 4506 encoding, big-endian 4-byte units) and the client stubs of the calls.
// Wire layouts are fixed by the routines below; the structs are only their in-memory form.
#pragma once

#include <rpc/rpc.h>

#include <cstddef>
#include <span>

#include "support/wire.h"

// ---- RPC programs, versions and procedures --------------------------------------------------
inline constexpr unsigned long NJE_LINKD_PROGRAM = 100212; // 0x18774, the link daemon
inline constexpr unsigned long NJE_LINKD_VERSION = 1;
inline constexpr unsigned long NJE_LINKPROC_VERSION = 1; // every link process program
inline constexpr unsigned long NJIUSER_VERSION = 1;
inline constexpr unsigned long NJIUSER_PROGRAM_FIRST = 0x4BADBEEF; // first number tried

// Link daemon procedures.
inline constexpr unsigned long NJE_PROC_USERHELLO = 1; // d_userinfo -> int
inline constexpr unsigned long NJE_PROC_USERPARMS = 2; // void -> d_userparms
inline constexpr unsigned long NJE_PROC_GETID = 3;     // d_destname -> d_jobid
inline constexpr unsigned long NJE_PROC_SENDJOB = 4;   // d_sendjob -> int
inline constexpr unsigned long NJE_PROC_SENDMSG = 5;   // d_msgarray -> int
inline constexpr unsigned long NJE_PROC_USERBYE = 6;   // int -> void
inline constexpr unsigned long NJE_PROC_LINKINFO = 23; // d_destname -> d_linkinfo
// Link process procedure.
inline constexpr unsigned long NJE_LPROC_STATS = 2; // void -> l_stats

// Call time-outs in seconds.
inline constexpr long NJE_CALL_TIMEOUT = 30;
inline constexpr long NJE_BYE_TIMEOUT = 10;

// ---- String and array bounds ------------------------------------------------------------------
// A bounded string<N> is decoded into N + 1 bytes of storage; a longer string fails the routine.
inline constexpr unsigned NJE_NAME_MAX = 9;   // string<9>: node, user and link names
inline constexpr unsigned NJE_ALIAS_MAX = 33; // string<33>
inline constexpr unsigned NJE_PATH_MAX = 256; // string<256>
inline constexpr unsigned NJE_MSG_MAX = 256;  // array<256> of u_char
// The job identifier is string<> on the wire but names a 32-byte field and a spool file: the
// records d_jobid and d_sendjob take at most 31 characters.
inline constexpr unsigned NJE_JOBID_MAX = 31;
// Every other string<> is decoded with this practical bound, so that a hostile length cannot
// make the decoder allocate gigabytes.
inline constexpr unsigned NJE_TEXT_MAX = 65535;

// Sizes of the caller fields the strings are decoded into (bound + 1).
static_assert(NJE_NAME_FIELD == NJE_NAME_MAX + 1);
inline constexpr std::size_t NJE_JOBID_FIELD = NJE_JOBID_MAX + 1; // 32

// The NJIUSER_PROGRAM number in use by this process; 0 before the first registration.
// Read by nje_xdr_userhello, nje_xdr_userbye and nje_xdr_unregisteruser.
extern unsigned long NJIUSER_PROGRAM;

// ---- Records -------------------------------------------------------------------------------
// Strings are char pointers: on decoding a null pointer makes the routine allocate (free it with
// xdr_free), a non-null pointer must address at least bound + 1 bytes. The message array holds
// the element count and the address of the bytes.

struct d_msgarray {
    u_int msg_len;
    u_char *msg_val;
};

struct d_userinfo {
    u_long program; // the caller's NJIUSER_PROGRAM number
    u_char byte1, byte2, byte3;
};

struct d_userparms {
    char *node; // string<9>: local node
    char *user; // string<9>: local user
};

struct d_destname {
    char *name; // string<9>: destination node
};

// On decoding a d_jobid with status 0, the link name and the job identifier must each be one
// harmless path component (not empty, not "." or "..", no '/'); otherwise decoding fails.
struct d_jobid {
    int status;     // 0: success, else a link error code
    char *linkname; // string<9>
    char *jobid;    // string<> (at most NJE_JOBID_MAX)
};

struct d_sendjob {
    u_char type; // job type code
    char *node;  // string<9>: destination node
    char *user;  // string<9>: local user
    char *jobid; // string<> (at most NJE_JOBID_MAX)
};

inline constexpr int NJE_LINKINFO_COUNTERS = 14;
inline constexpr int NJE_LINKINFO_TEXTS = 10;
struct d_linkinfo {
    char *link;                          // string<9>
    int state;                           // int
    char *node;                          // string<9>
    char *host;                          // string<256>
    char *alias;                         // string<33>
    int counters[NJE_LINKINFO_COUNTERS]; // 14 ints
    u_long program;                      // RPC program number of the link process, 0: none
    char *text[NJE_LINKINFO_TEXTS];      // 10 string<256>
};
inline constexpr std::size_t NJE_LINKINFO_EMPTY_SIZE = 120; // encoded size, all strings empty

struct l_stats {
    u_int counts[5];
    long totals[4];
    u_int flags;
    int blocksize; // largest data block the link takes
};
inline constexpr std::size_t NJE_L_STATS_SIZE = 44; // encoded size

struct d_linkparms {
    u_long program;
    char *link;
};
struct d_nodeparms {
    int kind;
    char *node;
    int port;
    d_linkinfo info;
};
struct d_rcvjob {
    char *link;
    char *jobid;
};
struct d_rcvmsg {
    char *link;
    d_msgarray msg;
};

// Open enumerations: 32-bit values on the wire.
enum : enum_t { NJE_U_CONNECTED = 0, NJE_U_DISCONNECTED = 1, NJE_U_UNKNOWN = 2 }; // d_u_stat
enum : enum_t { NJE_L_ACTIVE = 0, NJE_L_STOPPED = 1, NJE_L_STARTING = 2 };        // d_l_stat
enum : enum_t { NJE_C_CANCELLED = 0, NJE_C_NOT_FOUND = 1, NJE_C_ACTIVE = 2 };     // d_cancelstat
using d_u_stat = enum_t;
using d_l_stat = enum_t;
using d_cancelstat = enum_t;

struct d_userstat {
    d_u_stat stat;
    int count;
    u_long program;
    char *text;
};
struct d_linkstat {
    d_l_stat stat;
    char *link;
};
struct d_checkroute {
    char *from;
    char *to;
};
struct d_setport {
    char *link;
    int port;
};
struct d_setlogging {
    int level;
    char *path;
    int flags;
};
struct d_nodeinfo {
    char *path;
    int flags;
};
struct d_stoplink {
    int how;
    char *link;
};
struct d_starttrace {
    int level;
    char *link;
    char *path;
};
struct d_route {
    char *node;
    char *link;
};
struct d_alias {
    char *link;
    char *alias;
};
struct d_username {
    char *name;
};
struct d_canceljob {
    char *link;
    char *jobid;
};
struct d_cancelled {
    char *link;
    char *jobid;
    int code;
    d_cancelstat stat;
};
struct d_log {
    char *text;
};

// Call queue records.
using cq_caller_type = enum_t;
inline constexpr enum_t NJE_CALLER_LINK = 1, NJE_CALLER_USER = 2;
struct cq_link_id {
    u_long program;
    char *link;
};
struct cq_user_id {
    u_long program;
    int uid;
    char *name;
};

using cq_call_type = enum_t;
inline constexpr enum_t NJE_CALL_LINK_MESSAGE = 1, NJE_CALL_LINK_JOB = 2, NJE_CALL_USER_MESSAGE = 3,
                        NJE_CALL_USER_JOB = 4, NJE_CALL_LINK_STOP = 5, NJE_CALL_TRACELINK = 6,
                        NJE_CALL_CANCELJOB = 7, NJE_CALL_CANCELALL = 8;
struct cq_link_message {
    u_long program;
    char *link;
    d_msgarray msg;
};
struct cq_link_job {
    u_long program;
    char *link;
    u_char type;
    int flags;
    char *jobid;
};
struct cq_user_message {
    int uid;
    u_long program;
    char *from;
    char *to;
    d_msgarray msg;
};
struct cq_user_job {
    int uid;
    u_long program;
    char *from;
    char *to;
    char *node;
    int jobno;
};
struct cq_link_stop {
    u_long program;
    char *link;
    int how;
};
struct cq_tracelink {
    u_long program;
    char *link;
    int level;
    int flags;
    char *path;
};
struct cq_canceljob {
    u_long program;
    char *link;
    int flags;
    char *jobid;
};
struct cq_cancelall {
    u_long program;
    char *link;
};

// Link process work records.
using l_work_type = enum_t;
inline constexpr enum_t NJE_WORK_OUTJOB = 1, NJE_WORK_OUTMSG = 2, NJE_WORK_FLAG = 3, NJE_WORK_TRACELINK = 4;
struct l_outjob {
    u_char type;
    char *jobid;
    int flags;
};
struct l_outmsg {
    d_msgarray msg;
};
struct l_tracelink {
    int level;
    int flags;
    char *path;
};
struct l_canceljob {
    char *jobid;
    int flags;
};

// Unions: a discriminant, then the arm it selects; any unlisted discriminant selects a long.
struct d_callerid {
    cq_caller_type type;
    union {
        cq_link_id link; // 1
        cq_user_id user; // 2
        long other;
    } u;
};
struct d_callinfo {
    cq_call_type type;
    union {
        cq_link_message link_message; // 1
        cq_link_job link_job;         // 2
        cq_user_message user_message; // 3
        cq_user_job user_job;         // 4
        cq_link_stop link_stop;       // 5
        cq_tracelink tracelink;       // 6
        cq_canceljob canceljob;       // 7
        cq_cancelall cancelall;       // 8
        long other;
    } u;
};
struct l_work {
    l_work_type type;
    union {
        l_outjob outjob;       // 1
        l_outmsg outmsg;       // 2
        u_char flag;           // 3
        l_tracelink tracelink; // 4
        long other;
    } u;
};

// ---- XDR routines ------------------------------------------------------------------------------
// Each encodes, decodes or frees its record on `xdrs`; @return TRUE on success, FALSE when the
// stream runs out, a string or array exceeds its bound, or (d_jobid) a name is unsafe.
bool_t xdr_d_msgarray(XDR *xdrs, d_msgarray *objp);
bool_t xdr_d_userinfo(XDR *xdrs, d_userinfo *objp);
bool_t xdr_d_userparms(XDR *xdrs, d_userparms *objp);
bool_t xdr_d_destname(XDR *xdrs, d_destname *objp);
bool_t xdr_d_jobid(XDR *xdrs, d_jobid *objp);
bool_t xdr_d_sendjob(XDR *xdrs, d_sendjob *objp);
bool_t xdr_d_linkinfo(XDR *xdrs, d_linkinfo *objp);
bool_t xdr_l_stats(XDR *xdrs, l_stats *objp);
bool_t xdr_d_linkparms(XDR *xdrs, d_linkparms *objp);
bool_t xdr_d_nodeparms(XDR *xdrs, d_nodeparms *objp);
bool_t xdr_d_rcvjob(XDR *xdrs, d_rcvjob *objp);
bool_t xdr_d_rcvmsg(XDR *xdrs, d_rcvmsg *objp);
bool_t xdr_d_u_stat(XDR *xdrs, d_u_stat *objp);
bool_t xdr_d_userstat(XDR *xdrs, d_userstat *objp);
bool_t xdr_d_l_stat(XDR *xdrs, d_l_stat *objp);
bool_t xdr_d_linkstat(XDR *xdrs, d_linkstat *objp);
bool_t xdr_d_checkroute(XDR *xdrs, d_checkroute *objp);
bool_t xdr_d_setport(XDR *xdrs, d_setport *objp);
bool_t xdr_d_setlogging(XDR *xdrs, d_setlogging *objp);
bool_t xdr_d_nodeinfo(XDR *xdrs, d_nodeinfo *objp);
bool_t xdr_d_stoplink(XDR *xdrs, d_stoplink *objp);
bool_t xdr_d_starttrace(XDR *xdrs, d_starttrace *objp);
bool_t xdr_d_route(XDR *xdrs, d_route *objp);
bool_t xdr_d_alias(XDR *xdrs, d_alias *objp);
bool_t xdr_d_username(XDR *xdrs, d_username *objp);
bool_t xdr_d_canceljob(XDR *xdrs, d_canceljob *objp);
bool_t xdr_d_cancelstat(XDR *xdrs, d_cancelstat *objp);
bool_t xdr_d_cancelled(XDR *xdrs, d_cancelled *objp);
bool_t xdr_d_log(XDR *xdrs, d_log *objp);
bool_t xdr_cq_caller_type(XDR *xdrs, cq_caller_type *objp);
bool_t xdr_cq_link_id(XDR *xdrs, cq_link_id *objp);
bool_t xdr_cq_user_id(XDR *xdrs, cq_user_id *objp);
bool_t xdr_d_callerid(XDR *xdrs, d_callerid *objp);
bool_t xdr_cq_call_type(XDR *xdrs, cq_call_type *objp);
bool_t xdr_cq_link_message(XDR *xdrs, cq_link_message *objp);
bool_t xdr_cq_link_job(XDR *xdrs, cq_link_job *objp);
bool_t xdr_cq_user_message(XDR *xdrs, cq_user_message *objp);
bool_t xdr_cq_user_job(XDR *xdrs, cq_user_job *objp);
bool_t xdr_cq_link_stop(XDR *xdrs, cq_link_stop *objp);
bool_t xdr_cq_tracelink(XDR *xdrs, cq_tracelink *objp);
bool_t xdr_cq_canceljob(XDR *xdrs, cq_canceljob *objp);
bool_t xdr_cq_cancelall(XDR *xdrs, cq_cancelall *objp);
bool_t xdr_d_callinfo(XDR *xdrs, d_callinfo *objp);
bool_t xdr_l_work_type(XDR *xdrs, l_work_type *objp);
bool_t xdr_l_outjob(XDR *xdrs, l_outjob *objp);
bool_t xdr_l_outmsg(XDR *xdrs, l_outmsg *objp);
bool_t xdr_l_tracelink(XDR *xdrs, l_tracelink *objp);
bool_t xdr_l_canceljob(XDR *xdrs, l_canceljob *objp);
bool_t xdr_l_work(XDR *xdrs, l_work *objp);

// An XDR routine in the form the RPC library takes (its xdrproc_t is variadic).
template <class F> inline xdrproc_t nje_xdrproc(F *routine)
{
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(routine));
}

// True when `name` may stand as one component of a spool path: not empty, not "." or "..",
// no '/'.
bool nje_safe_path_component(const char *name);

// ---- Client stubs --------------------------------------------------------------------------
// Every stub makes one call on `clnt` with its time-out and prints nothing.
// @return -1 when the call does not complete with RPC success (clnt_sperror tells why),
//         otherwise the status the server answered (0: success).

// Replaces the credentials of `c` with the default AUTH_SYS credentials of the calling user.
// @return true, or false when none can be made (`c` is then destroyed).
bool nje_default_credentials(CLIENT *c);

// Client handle for the link daemon on `host` over TCP with AUTH_SYS credentials, or null
// (rpc_createerr tells why, unless the credentials could not be made). An interrupted creation
// is retried up to NJE_CONTACT_RETRIES times.
inline constexpr int NJE_CONTACT_RETRIES = 300;
CLIENT *nje_xdr_contactdisp(const char *host);

// Procedure 1: announces NJIUSER_PROGRAM with the low 8 bits of byte1 and the complemented low
// 8 bits of byte2 and byte3.
int nje_xdr_userhello(CLIENT *clnt, int byte1, int byte2, int byte3);

// An answer that arrived whole but holds a value the caller cannot use: which field, and its value
// escaped for a message (printable ASCII as it is, '"' and '\\' led by '\\', other bytes as \xNN).
struct nje_refusal {
    const char *field = nullptr; // "local node", "local user", "link name" or "job identifier"
    char value[4 * NJE_JOBID_MAX + 1] = {};
};
// Result of a stub that refused such an answer (never a status of the link daemon).
inline constexpr int NJE_XDR_REFUSED = -3;

// Procedure 2: local node and user into `node` and `user` (NJE_NAME_FIELD bytes each, always
// NUL-terminated on success). @return 0; -1 when the call fails (a longer name fails decoding);
// NJE_XDR_REFUSED, with *refused filled when given, when either name is empty (both cleared).
int nje_xdr_userparms(CLIENT *clnt, char *node, char *user, nje_refusal *refused = nullptr);

// Procedure 3: job identifier for `destination` (at most 9 characters). `linkname` holds
// NJE_NAME_FIELD bytes, `jobid` NJE_JOBID_FIELD bytes; both are cleared first. @return the answered
// status; -1 when the call fails (also for a link name or identifier too long to decode);
// NJE_XDR_REFUSED, with *refused filled when given, for an answer of status 0 whose link name or
// identifier is unsafe as a path component (empty, ".", ".." or holding '/'); both are then cleared.
int nje_xdr_getid(CLIENT *clnt, const char *destination, char *linkname, char *jobid,
                  nje_refusal *refused = nullptr);

// Procedure 4: asks the link daemon to send the finished job. `type` is sent as its low 8 bits.
int nje_xdr_sendjob(CLIENT *clnt, int type, const char *node, const char *user, const char *jobid);

// Procedure 5: sends a message of at most NJE_MSG_MAX bytes (a longer one fails with -1).
int nje_xdr_sendmsg(CLIENT *clnt, std::span<const unsigned char> message);

// Procedure 6 (10 s time-out): withdraws NJIUSER_PROGRAM from the link daemon. @return 0 or -1.
int nje_xdr_userbye(CLIENT *clnt);

// ---- Server side ---------------------------------------------------------------------------
using nje_dispatch_t = void (*)(struct svc_req *, SVCXPRT *);

// Registers this process as NJIUSER_PROGRAM (the first number from NJIUSER_PROGRAM_FIRST that
// the portmapper accepts, at most NJE_REGISTER_TRIES numbers) over TCP with `dispatch`.
// @return the server transport, or null after printing "cannot create tcp service.\n" or
//         "Unable to register (NJIUSER_PROGRAM).\n" to standard error.
inline constexpr int NJE_REGISTER_TRIES = 1000;
SVCXPRT *nje_xdr_registeruser(nje_dispatch_t dispatch);

// Removes the portmapper mapping of (NJIUSER_PROGRAM, 1), unregisters it and destroys
// `transport` (may be null).
void nje_xdr_unregisteruser(SVCXPRT *transport);

// Caller check of the callback program: accepts everyone. @return 0.
int validate_user();
