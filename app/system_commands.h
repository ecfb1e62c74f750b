// Sub-commands the application runs itself, before PAPPL's main loop:
// those PAPPL 1.3.1 gets wrong or lacks.
//
//   devices [--verbose]        without aborting on a host without avahi
//   delete -d PRINTER          also for a printer added since the server
//   default -d PRINTER         started (PAPPL reports its printer-id as 0)
//   login -d PRINTER ...       the printer's login name and password
//
// They talk to the local server over its socket, where PAPPL's own
// sub-commands look for it, and never start a server.
#ifndef QUILLFERN_APP_SYSTEM_COMMANDS_H_
#define QUILLFERN_APP_SYSTEM_COMMANDS_H_

namespace quillfern {

// Runs argv's sub-command when it is one of these and returns true with
// its exit status in *status; false leaves the command to PAPPL.  PAPPL's
// sub-commands start a server of their own when none answers: for root and
// the service's user, with the system service installed, that would be a
// second server on the service's printers, so such a command is refused
// here (true, status 1) with a word on starting the service.
bool RunOwnCommand(int argc, char* argv[], int* status);

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_COMMANDS_H_
