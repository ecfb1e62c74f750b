// Who may do what.  Printing and job status are open to the network;
// changing the system or a printer (PAPPL's web pages and the
// application's, IPP Create-Printer, Delete-Printer, Set-*-Attributes,
// Pause/Resume, Disable/Enable, Cancel-Current-Job, Shutdown, ...) only
// from this host: its local socket and loopback.
//
// PAPPL 1.3.1 lets every client through its web pages when no password,
// authentication service or callback is set, and lets Disable-Printer,
// Enable-Printer and Cancel-Current-Job through from anywhere.  Its
// authentication callback is consulted by both its web pages and its IPP
// checks; with the callback set, PAPPL itself lets in only its local
// socket, and answers an unencrypted request from another address that
// needs authorizing (Print-Job included) with 426 Upgrade Required before
// the callback is called: remote clients print over TLS (ipps://, or
// HTTP's upgrade to TLS, which PAPPL and CUPS's clients support).
#ifndef QUILLFERN_APP_SYSTEM_ACCESS_H_
#define QUILLFERN_APP_SYSTEM_ACCESS_H_

#include <pappl/pappl.h>

namespace quillfern {

// What a client is and asks, for the decision.
struct AccessRequest {
  bool fromThisHost = false;  // loopback (the local socket never asks)
  bool ipp = false;           // an IPP request, else a web page
  ipp_op_t operation = IPP_OP_CUPS_INVALID;
  bool ownJob = false;      // a job operation on the requester's own job
  bool fileDevice = false;  // Create-Printer with a file: device
};

// Whether the request may go on.
bool MayProceed(const AccessRequest& request);

// PAPPL's authentication callback: MayProceed for the client's request,
// HTTP_STATUS_CONTINUE or HTTP_STATUS_FORBIDDEN.  Without avahi-daemon,
// PAPPL-Find-Devices from this host is narrowed to local devices, whose
// search does not touch DNS-SD (PAPPL 1.3.1's DNS-SD browse never lets go
// of its lock without avahi-daemon, and the next printer deletion hangs).
http_status_t AuthorizeClient(pappl_client_t* client, const char* group, gid_t groupid, void* data);

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_ACCESS_H_
