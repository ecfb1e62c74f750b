// A network printer's connection, made by the job that prints to it.
//
// PAPPL 1.3.1 opens a printer's device before the job's first callback,
// holding the printer's write lock; when the open fails it tries again only
// every 5 seconds, and looks for a cancel or the printer's deletion only
// between tries; its socket: device waits up to 30 seconds for each
// connection, and keeps one connection for jobs that follow each other.
// So network printers the application adds use a device scheme of its own,
// kNetworkScheme ("quillfern-socket://HOST:PORT"): opening such a device
// connects nothing and always succeeds, and the job connects once it has
// its printer's turn (ConnectJob).  There the job's message and the
// printer's state say why the printer cannot be reached, and a cancel (a
// stop of the server cancels the job too) or the printer's deletion ends
// the wait within a fraction of a second.  Each job has a connection of its own, closed when
// the job ends.
//
// PAPPL 1.3.1 cannot give "socket" itself to the application: a scheme
// registered twice keeps the first, and a scheme registered before PAPPL
// has added its own keeps PAPPL from adding any (file:, usb:, ...).
#ifndef QUILLFERN_APP_JOB_CONNECTION_H_
#define QUILLFERN_APP_JOB_CONNECTION_H_

#include <pappl/pappl.h>

#include <string>

namespace quillfern {

constexpr char kNetworkScheme[] = "quillfern-socket";
constexpr int kDefaultNetworkPort = 9100;
// How long one connection attempt may take, and the pause between attempts.
constexpr int kConnectTimeoutMs = 10000;
constexpr int kRetryPauseMs = 5000;

// Registers kNetworkScheme with PAPPL, after PAPPL's own schemes.
void AddNetworkScheme();

// `uri` with the socket: scheme replaced by the application's, so that the
// printer is reached through it; any other URI as it is.
std::string OwnNetworkUri(const std::string& uri);

// `stateText` (the state file) with the socket: devices of its printers
// on the application's scheme: printers added before it had one reach
// their printers through it too.
std::string WithOwnNetworkUris(const std::string& stateText);

// Whether `uri` is of the application's network scheme.
bool IsOwnNetworkUri(const char* uri);

// Connects `device` (of the application's scheme) for `job`, trying again
// every kRetryPauseMs while the printer cannot be reached.  Meanwhile the
// job's message is "Waiting for the printer at HOST:PORT: REASON." and the
// printer's state reasons hold "offline"; a connection clears both.  False,
// with `problem` set, when the job is cancelled or the printer deleted
// before the printer answered.  A host name is looked up before each
// attempt, and a cancel waits for the lookup.
bool ConnectJob(pappl_job_t* job, pappl_device_t* device, std::string* problem);

// Closes the connection ConnectJob made; the device stays PAPPL's.
void DisconnectJob(pappl_device_t* device);

}  // namespace quillfern

#endif  // QUILLFERN_APP_JOB_CONNECTION_H_
