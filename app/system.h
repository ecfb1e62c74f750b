// The printer application's system: what "quillfern-printer-app server"
// runs.  It listens on every address and on its local socket unless told
// otherwise (printers advertised on DNS-SD only when other hosts can reach
// them), keeps its printers in a state file, and prints PDF, JPEG and
// PNG through its own filters besides PAPPL's raster formats.
#ifndef QUILLFERN_APP_SYSTEM_H_
#define QUILLFERN_APP_SYSTEM_H_

#include <pappl/pappl.h>

namespace quillfern {

// PAPPL's system callback.  Server options (-o NAME=VALUE):
//   listen-hostname  where to listen: "*" for every address (the default;
//                    "localhost" for a private server a sub-command
//                    started), "localhost" for loopback only (nothing is
//                    advertised then), or a host name or address
//   server-port      the IPP port (default: chosen by PAPPL)
//   spool-directory  where jobs are kept while they print
//   log-file, log-level (debug, info, warn, error, fatal)
// The state file is StateFile() (app/system_paths.h).
pappl_system_t* CreateSystem(int num_options, cups_option_t* options, void* data);

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_H_
