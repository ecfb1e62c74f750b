// The login sub-command: the login name and password a printer takes with
// every job (app/state_logins.h), set or removed from the command line.
// The server that answers on the local socket stores it itself, in its own
// state directory, where it reads it (Set-Printer-Login,
// app/system_operations.h); only when none answers is the file written
// directly, so that a login can be set with the server stopped.
#ifndef QUILLFERN_APP_SYSTEM_LOGIN_H_
#define QUILLFERN_APP_SYSTEM_LOGIN_H_

#include "app/system_arguments.h"

namespace quillfern {

// login -d PRINTER NAME (the password from the terminal or standard input)
// or login -d PRINTER --remove.  Returns the exit status: 0 only when the
// login the printer takes is the one asked for.
int SetLogin(const CommandLine& line);

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_LOGIN_H_
