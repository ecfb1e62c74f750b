// Where the printer application keeps things, and what it is called: the
// one place for its name, its version, its state, spool, log and runtime
// directories, its state file, the logins directory, and the sockets its
// sub-commands talk to the server over.  CMake sets the name, the version
// and the system service's state directory (QUILLFERN_APP_NAME,
// QUILLFERN_VERSION, QUILLFERN_APP_STATE_DIR), and writes the same values
// into the systemd unit and the man page.
//
// The directories come, each on its own, from systemd's variables when
// the process has them (STATE_DIRECTORY, LOGS_DIRECTORY,
// RUNTIME_DIRECTORY); else, for root and the service's user (lp), from the
// fixed paths the unit gives the service; else from the user's own
// ~/.config/NAME/.
#ifndef QUILLFERN_APP_SYSTEM_PATHS_H_
#define QUILLFERN_APP_SYSTEM_PATHS_H_

#include <sys/types.h>

#include <string>

namespace quillfern {

// The program's name: PAPPL's system name, the state file's and the
// service's name.
constexpr char kProgramName[] = QUILLFERN_APP_NAME;
constexpr char kVersion[] = QUILLFERN_VERSION;
// The system service's state directory, where root's commands find it too.
constexpr char kServiceStateDirectory[] = QUILLFERN_APP_STATE_DIR;
// The system service's log and runtime directories (the unit's
// LogsDirectory= and RuntimeDirectory=).
constexpr char kServiceLogDirectory[] = "/var/log/" QUILLFERN_APP_NAME;
constexpr char kServiceRuntimeDirectory[] = "/run/" QUILLFERN_APP_NAME;
// The user the system service runs as.
constexpr char kServiceUser[] = "lp";

// "quillfern-printer-app 0.2.0", for the web interface and the test page.
std::string ProgramAndVersion();

// What a process says about where it runs: the seam between the choice of
// directories and the process's environment, so that tests choose for any
// user.
struct PathsContext {
  std::string stateDirectory;  // systemd's, empty when not set
  std::string logsDirectory;
  std::string runtimeDirectory;
  std::string home;  // $HOME, else the user's home in passwd
  uid_t uid = 0;
  bool serviceUser = false;  // root or kServiceUser
};

// This process's context.
PathsContext ThisProcess();

// The directories a server uses.
struct ServerPaths {
  std::string state;    // the state file, the logins, the job marks
  std::string spool;    // the jobs' documents and scratch
  std::string logFile;  // empty: PAPPL's own choice (pappl<PID>.log in TMPDIR)
  // Where the server also listens for root's and lp's commands (the link
  // /run/NAME.sock leads there); empty: only PAPPL's own socket.
  std::string runtime;
};

// The directories for `context`, before any command-line option.
ServerPaths ChooseServerPaths(const PathsContext& context);

// The server's directories: ChooseServerPaths for this process, with the
// spool directory and log file given on the command line (null when not
// given) in place of its own.  Each directory is made as needed and must be
// writable; false, after one line on standard error saying which cannot be
// used and why, when one is not.  Says so, too, when root's commands will
// not find the server (the link to the runtime directory is missing).
bool PrepareServerPaths(const char* spoolOption, const char* logOption, ServerPaths* paths);

// Moves the state earlier versions kept directly in a user's ~/.config
// (`config`): NAME.state, logins/ and job-marks/, into `directory`, when
// `config` has a state file and `directory` none.  True when moved.
bool MoveEarlierUserState(const std::string& config, const std::string& directory);

// The directory of the state file and the printers' logins (made when
// first asked for); a user's earlier state is moved into it first.
const std::string& StateDirectory();

// The state file in StateDirectory().
const std::string& StateFile();

// The printers' logins: a folder of the state directory.
constexpr char kLoginsFolder[] = "logins";
std::string LoginsDirectory(const std::string& stateDirectory);

// The socket PAPPL's main loop listens on for the sub-commands of a
// program named `programBase` run by `uid`: /run/NAME.sock for root, else
// NAMEUID.sock in PAPPL's temporary directory.  (PAPPL 1.3.1's own rule,
// which its sub-commands follow; it offers no call for it.)
std::string LocalSocketPath(const std::string& programBase, uid_t uid);

// The server's socket in its runtime directory, which /run/NAME.sock links
// to; empty when it has none (an ordinary user's server, or root's).
std::string ServiceSocketPath();

// The server's socket in the runtime directory `runtime`.
std::string SocketInRuntimeDirectory(const std::string& runtime);

// The paths where the system service's unit may be installed.
extern const char* const kServiceUnitPaths[3];

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_PATHS_H_
