// Where the printer application keeps things, and what it is called: the
// one place for its name, its version, its state directory and state file,
// the logins directory, and the sockets its sub-commands talk to the server
// over.  CMake sets the name, the version and the system service's state
// directory (QUILLFERN_APP_NAME, QUILLFERN_VERSION,
// QUILLFERN_APP_STATE_DIR), and writes the same values into the systemd
// unit and the man page.
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
// The user the system service runs as.
constexpr char kServiceUser[] = "lp";

// "quillfern-printer-app 0.2.0", for the web interface and the test page.
std::string ProgramAndVersion();

// The directory of the state file and the printers' logins (made when
// first asked for): $STATE_DIRECTORY under systemd, kServiceStateDirectory
// for root, and ~/.config for anyone else.
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

// The system service's socket in its runtime directory (systemd's
// RUNTIME_DIRECTORY), which the unit links to /run/NAME.sock; empty when
// not run as the service.
std::string ServiceSocketPath();

// The paths where the system service's unit may be installed.
extern const char* const kServiceUnitPaths[3];

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_PATHS_H_
