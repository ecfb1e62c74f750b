// The printer application's system: what "quillfern-printer-app server"
// runs.  It listens on loopback and on its local socket unless told
// otherwise, keeps its printers in a state file, and prints PDF through
// Ghostscript besides PAPPL's own formats.
#ifndef QUILLFERN_APP_SYSTEM_H_
#define QUILLFERN_APP_SYSTEM_H_

#include <pappl/pappl.h>

#include <string>

namespace quillfern {

// PAPPL's system callback.  Server options (-o NAME=VALUE):
//   listen-hostname  where to listen: "localhost" (the default), a host
//                    name or address, or "*" for every interface
//   server-port      the IPP port (default: chosen by PAPPL)
//   spool-directory  where jobs are kept while they print
//   log-file, log-level (debug, info, warn, error, fatal)
// The state file is $STATE_DIRECTORY/quillfern-printer-app.state under
// systemd, /var/lib/quillfern-printer-app/... for root, and
// ~/.config/quillfern-printer-app.state for anyone else.
pappl_system_t* CreateSystem(int num_options, cups_option_t* options, void* data);

// The directory of the state file and the printers' logins (made when
// first asked for).
const std::string& StateDirectory();

// Writes the state file now (PAPPL writes it only when its main loop next
// wakes): a job that starts is on record as processing, so that a crash at
// any moment of it is found at the next start.
bool SaveStateNow(pappl_system_t* system);

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_H_
