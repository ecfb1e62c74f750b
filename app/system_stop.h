// The server's one-second timer, and stopping.
//
// PAPPL 1.3.1 notices a Shutdown-System request only when its main loop
// wakes (up to 30 s when idle), then waits up to 60 s for every active
// job, pending ones included.  The application wakes it every second,
// pauses the printers (so that PAPPL starts nothing new), cancels the job
// that is sending (its page in hand becomes its last), and once that job
// has ended saves the state and exits: after 4 s at most, unless the
// device is still taking the record in hand (a record is never cut; a
// device that takes nothing for 10 s is abandoned).  Jobs pending, and
// jobs PAPPL started that were only waiting for their turn, print after
// the next start.  SIGTERM (systemctl stop)
// and SIGINT are taken as a Shutdown-System request.
#ifndef QUILLFERN_APP_SYSTEM_STOP_H_
#define QUILLFERN_APP_SYSTEM_STOP_H_

#include <pappl/pappl.h>

namespace quillfern {

// Keeps the server's command line, for a restart (main's argv, which
// outlives the server).
void RememberCommandLine(int argc, char* argv[]);

// PAPPL's timer callback, every second in its main loop, which runs it
// under the system's read lock: it may read and act on printers and jobs
// (whose own locks it takes), never change the system's.  It does four
// jobs: at its first run installs the stop signals (over PAPPL's own, once
// its loop has started) and has each printer start the jobs reloaded
// pending; releases the holds of printers whose turn ended idle
// (app/job_turns.h); keeps the printers advertised (app/system_dnssd.h),
// restarting the server when that needs a new start (once no job prints:
// the printers are paused meanwhile, and jobs waiting print after it); and
// carries out a stop.
bool Tick(pappl_system_t* system, void* data);

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_STOP_H_
