// Link client: the calls of a run to the link daemon and the link process of the destination's
// link, and the error printers with the link error texts. Messages go to standard error.
#pragma once

#include <rpc/rpc.h>

#include "link/rje_xdr.h"

// ---- Run settings read by the link client ----------------------------------------------------
// Defined in link_client.cpp (so the record library links on its own) and set by the front end.
extern const char *pgm;           // command name, first word of every message
extern const char *gateway;       // host of the link daemon
extern char remote_node[10];      // destination node, uppercased
extern char save_remote_node[15]; // first 8 characters of the node as typed
extern int debug;                 // debug bits
extern CLIENT *clnt;              // link daemon client handle, null until contacted

inline constexpr int TRACE = 1;       // debug bit: progress traces
inline constexpr int DEBUG_LOCAL = 2; // debug bit: build the job locally, no link daemon

// ---- Link error codes ------------------------------------------------------------------------
extern const char *const nje_errlist[]; // text of each link error code 0..nje_nerr-1
extern const int nje_nerr;              // 23
inline constexpr int NJE_E_OK = 0, NJE_E_UNKNOWN_LINK = 1, NJE_E_NJE_FILE = 5, NJE_E_BAD_JOB = 7,
                     NJE_E_JOB_NOT_FOUND = 21;

// Message formats shared with the front end (msgids of the catalogue; pass through gettext).
// Both take pgm, save_remote_node, gateway.
inline constexpr const char NJE_MSG_CANNOT_CONTACT[] =
    "%s: Cannot contact SNA RJE Link: <%s> on machine: <%s>\n";
inline constexpr const char NJE_MSG_NOT_ACTIVE[] = "%s: SNA RJE Link: <%s> on machine: <%s> is not active\n";

// ---- Error printers --------------------------------------------------------------------------
// "%s: %s: %s\n" with pgm, text and strerror(errno); for an errno without system text
// "%s: %s: unknown error %d\n".
void myperror(const char *text);

// code -1: "%s: %s\n" with pgm and clnt_sperror(clnt, text); 0..22: "%s: %s: %s\n" with the
// code's text; any other code: "%s: %s: unknown error %d\n".
void rpcerr(CLIENT *clnt, const char *text, int code);

// ---- Front-end helpers -----------------------------------------------------------------------
// Smallest block size taken from a link process: one worst-case compressed record (265 bytes)
// plus the 9 bytes the job builder keeps back. A smaller answer counts as a link not active.
inline constexpr int NJE_MIN_BLOCKSIZE = 265 + 9;

// The link's data block size (procedure 2 of the link process serving remote_node).
// @return the block size (>= NJE_MIN_BLOCKSIZE), or -1 after the not-active message(s).
int getmaxdata();

// Program number of the link process serving remote_node, through *program.
// @return 0, or -1 after the not-active message.
int getlinkrpcid(u_long *program);

// Client handle for link process `program` on gateway (its portmapper finds the port).
// @return the handle, or null after the cannot-contact message. When gateway cannot be resolved
//         prints "%s: contact_link: cannot get address for gateway<%s>\n" and exits 255.
CLIENT *contact_link(u_long program);

// Procedure `procedure` of the link daemon (23) with `destination`. The strings of *info point
// into storage of the link client, cleared before the call and valid until the next call.
// @return 0 when *info holds the answer, 1 after the not-active message.
int get_linkinfo(const char *destination, int procedure, d_linkinfo *info);
