// Cancellation: CUPS stops a job by sending its filter SIGTERM.  The handler
// only notes it; the page loop looks at the flag at fixed points.
#ifndef QUILLFERN_FILTER_SIGNALS_H_
#define QUILLFERN_FILTER_SIGNALS_H_

#include <csignal>

namespace quillfern {

extern volatile sig_atomic_t cancel_job;

// Logs the cancellation and sets cancel_job.  Only async-signal-safe calls.
void sighandler(int signal);

// Ignores SIGPIPE, so that a write to a printer that went away fails with
// EPIPE instead of ending the process, and installs sighandler for SIGTERM.
void InstallSignalHandlers();

}  // namespace quillfern

#endif  // QUILLFERN_FILTER_SIGNALS_H_
