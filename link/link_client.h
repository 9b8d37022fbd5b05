// Link client: the calls of a run to the link daemon and the link process of the destination's
// link, and the error printers with the link error texts. Messages go to standard error.
#pragma once

#include <rpc/rpc.h>

#include "link/rje_xdr.h"
#include "support/intl.h"

// ---- Context of a run's calls --------------------------------------------------------------------
// What the link client needs of its caller, handed to every helper below. The strings are the
// caller's and must outlive the context.
struct link_context {
    const char *pgm = "jobpush";      // first word of every message
    const char *gateway = nullptr;    // host of the link daemon and the link processes
    const char *remote_node = "";     // destination node, uppercased
    const char *save_remote_node = ""; // the node as typed (at most 8 characters), for messages
    bool trace = false;               // progress traces on standard error
    CLIENT *clnt = nullptr;           // link daemon client handle, null until contacted
};

// ---- Link error codes ------------------------------------------------------------------------
extern const char *const nje_errlist[]; // text of each link error code 0..nje_nerr-1
extern const int nje_nerr;              // 23
inline constexpr int NJE_E_OK = 0, NJE_E_UNKNOWN_LINK = 1, NJE_E_NJE_FILE = 5, NJE_E_BAD_JOB = 7,
                     NJE_E_JOB_NOT_FOUND = 21;

// Message formats shared with the front end (msgids of the catalogue; pass through gettext).
// Both take pgm, save_remote_node, gateway.
inline constexpr const char NJE_MSG_CANNOT_CONTACT[] =
    N_("%s: Cannot contact SNA RJE Link: <%s> on machine: <%s>\n");
inline constexpr const char NJE_MSG_NOT_ACTIVE[] =
    N_("%s: SNA RJE Link: <%s> on machine: <%s> is not active\n");

// ---- Error printers --------------------------------------------------------------------------
// "%s: %s: %s\n" with pgm, text and strerror(errno); for an errno without system text
// "%s: %s: unknown error %d\n".
void myperror(const char *pgm, const char *text);

// code -1: "%s: %s\n" with pgm and clnt_sperror(clnt, text) (clnt_spcreateerror without a client);
// 0..22: "%s: %s: %s\n" with the code's text; any other code: "%s: %s: unknown error %d\n".
void rpcerr(const char *pgm, CLIENT *clnt, const char *text, int code);

// A refused answer (NJE_XDR_REFUSED from a stub): "%s: %s: refused %s \"%s\" in the link daemon's
// answer\n" with pgm, text, the field and its escaped value.
void refusal_error(const char *pgm, const char *text, const nje_refusal &refused);

// ---- Front-end helpers -----------------------------------------------------------------------
// Smallest block size taken from a link process: one worst-case compressed record (265 bytes)
// plus the 9 bytes the job builder keeps back. A smaller answer counts as a link not active.
inline constexpr int NJE_MIN_BLOCKSIZE = 265 + 9;

// Result of getmaxdata and contact_link's status when the gateway host cannot be resolved for the
// link process; the caller ends the run with exit status 255.
inline constexpr int NJE_GATEWAY_UNRESOLVED = -2;

// The link's data block size (procedure 2 of the link process serving ctx.remote_node).
// @return the block size (>= NJE_MIN_BLOCKSIZE); -1 after the not-active message(s);
//         NJE_GATEWAY_UNRESOLVED after contact_link's message.
int getmaxdata(link_context &ctx);

// Program number of the link process serving ctx.remote_node, through *program.
// @return 0, or -1 after the not-active message.
int getlinkrpcid(link_context &ctx, u_long *program);

// Client handle for link process `program` on ctx.gateway (its portmapper finds the port).
// @return the handle, or null after the cannot-contact message. When the gateway cannot be resolved
//         prints "%s: contact_link: cannot get address for gateway<%s>\n", sets *status (when given)
//         to NJE_GATEWAY_UNRESOLVED and returns null.
CLIENT *contact_link(link_context &ctx, u_long program, int *status = nullptr);

// Procedure `procedure` of the link daemon (23) with `destination`. The strings of *info point
// into storage of the link client, cleared before the call and valid until the next call.
// @return 0 when *info holds the answer, 1 after the not-active message.
int get_linkinfo(link_context &ctx, const char *destination, int procedure, d_linkinfo *info);

// Destroys the link daemon client handle with its credentials, when there is one; ctx.clnt is null
// afterwards.
void end_link(link_context &ctx);
