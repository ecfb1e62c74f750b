// The command line, before and after PAPPL's main loop: what PAPPL 1.3.1
// gets wrong or lacks.
//
//   devices [--verbose]        without aborting on a host without avahi
//   delete -d PRINTER          also for a printer added since the server
//   default -d PRINTER         started (PAPPL reports its printer-id as 0)
//   login -d PRINTER ...       the printer's login name and password
//   status [-d PRINTER]        the state as a sentence
//   options [-d PRINTER]       the job options, sides and feed-edge included
//   drivers                    without making a second system
//
// Before PAPPL sees it, a command line is refused when its sub-command is
// unknown (PAPPL would take the word for a file to print), when add's
// device URI is not one the printer can be reached by, when modify is
// asked to change the device (PAPPL drops -v there), when -n is given
// (PAPPL drops the copies), and when submit's document is of a type the
// printer cannot print (PAPPL would accept the job and abort it).
//
// The commands talk to the local server over its socket, where PAPPL's own
// sub-commands look for it; only options starts a server, as PAPPL's does.
//
// This unit reads the command line, holds the one list of sub-commands and
// options (--help) and runs each command; the checks are in
// app/system_checks.h, the talking to a server in app/system_client.h,
// status, options and drivers in app/system_status.h, and login in
// app/system_login.h.
#ifndef QUILLFERN_APP_SYSTEM_COMMANDS_H_
#define QUILLFERN_APP_SYSTEM_COMMANDS_H_

#include <string>
#include <vector>

namespace quillfern {

// Runs argv's sub-command when it is one of these, or refuses the command
// line, and returns true with the exit status in *status; false leaves the
// command to PAPPL.  PAPPL's sub-commands start a server of their own when
// none answers: for root and the service's user, with the system service
// installed, that would be a second server on the service's printers, so
// such a command is refused here (true, status 1) with a word on starting
// the service.  A document read from standard input is kept for PAPPL in a
// temporary file that becomes standard input.
bool RunOwnCommand(int argc, char* argv[], int* status);

// The arguments PAPPL runs: argv, but for add on this host a socket:
// device is named in the application's own scheme (app/job_connection.h),
// which reaches a printer that is down without holding PAPPL up.  The
// strings changed live in `kept`; the list ends with a null pointer, which
// is not counted in what papplMainloop is told.
std::vector<char*> PapplArguments(int argc, char* argv[], std::vector<std::string>* kept);

// After PAPPL ran argv's sub-command with exit status `status`: the line
// confirming a change PAPPL makes without a word (add, modify, and delete
// and default with -u), when `status` is 0.
void ConfirmChange(int argc, char* argv[], int status);

// PAPPL's usage callback (--help): the sub-commands and options, the
// application's own included.
void PrintUsage(void* data);

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_COMMANDS_H_
