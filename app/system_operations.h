// The application's own IPP operations, on its local socket only (where
// root and the server's user reach it: the socket is the server's user's
// and not writable by others).
//
//   Set-Printer-Login (0x4101), to a printer's URI: sets or removes the
//   login the printer takes with every job, in the server's own state
//   directory.  Operation attribute "quillfern-login-name" (name), with
//   the password as the request's data after its attributes (PAPPL logs
//   every attribute of a request at debug level), or
//   "quillfern-login-remove" (boolean true).
#ifndef QUILLFERN_APP_SYSTEM_OPERATIONS_H_
#define QUILLFERN_APP_SYSTEM_OPERATIONS_H_

#include <pappl/pappl.h>

namespace quillfern {

constexpr ipp_op_t kSetPrinterLogin = static_cast<ipp_op_t>(0x4101);
constexpr char kLoginNameAttribute[] = "quillfern-login-name";
constexpr char kLoginRemoveAttribute[] = "quillfern-login-remove";

// PAPPL's operation callback, for operations PAPPL does not know: true when
// it answered the request.
bool HandleOwnOperation(pappl_client_t* client, void* data);

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_OPERATIONS_H_
