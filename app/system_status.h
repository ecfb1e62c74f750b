// The sub-commands that say what the server and its printers are and take:
// status, the state as a sentence (PAPPL 1.3.1 runs the reasons into the
// date, and reports a printer that does not exist as idle since 1970);
// options, the job options with sides and feed-edge (PAPPL's own cannot be
// told of them); and drivers, without making a second system.
#ifndef QUILLFERN_APP_SYSTEM_STATUS_H_
#define QUILLFERN_APP_SYSTEM_STATUS_H_

#include "app/system_arguments.h"

namespace quillfern {

// status: the server's state, or with -d or -u the printer's.  Never
// starts a server.  Returns the exit status.
int ShowStatus(const CommandLine& line);

// options: the options a job and the printer take.  Starts a server when
// none answers, as PAPPL's does.  Returns the exit status.
int ShowOptions(const CommandLine& line);

// drivers: the application's driver, as PAPPL lists drivers.  (PAPPL's own
// makes a whole second system from the state file beside the running
// server, leaves its spool directory and log in TMPDIR, and has been seen
// to crash ending it.)
int ShowDrivers();

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_STATUS_H_
