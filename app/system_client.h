// The sub-commands' side of talking to a server: the local server over its
// socket, where PAPPL's own sub-commands look for it (the user's own, else
// the system's), or started as PAPPL's sub-commands start one; the printer
// a command names there, or elsewhere with -u; and the system operations
// that name a printer by its id.
#ifndef QUILLFERN_APP_SYSTEM_CLIENT_H_
#define QUILLFERN_APP_SYSTEM_CLIENT_H_

#include <pappl/pappl.h>

#include <memory>
#include <string>
#include <vector>

#include "app/system_arguments.h"

namespace quillfern {

struct HttpCloser {
  void operator()(http_t* http) const { httpClose(http); }
};
using UniqueHttp = std::unique_ptr<http_t, HttpCloser>;
struct IppDeleter {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using UniqueIpp = std::unique_ptr<ipp_t, IppDeleter>;

// The server PAPPL's sub-commands would reach: the user's own, else the
// system's (root's).  None when neither answers.
UniqueHttp ConnectLocal(const std::string& base);

// Starts a server of the user's own, as PAPPL's sub-commands do when none
// answers, and waits up to 10 seconds for it to answer.  It keeps none of
// the command's standard files open (it logs to a file of its own).  None
// after saying why.
UniqueHttp StartServer(const CommandLine& line);

// A request of `operation` to the local server's system, as the user.
UniqueIpp SystemRequest(ipp_op_t operation);

// Where a command's printer is: the connection, its printer-uri, and the
// resource its requests go to.
struct PrinterTarget {
  UniqueHttp http;
  std::string uri;
  std::string resource;
  std::string name;  // for messages
};

// -u URI's printer, or on the local server (over `http`) -d PRINTER's, else
// the default printer; no connection after saying why not.
PrinterTarget FindTarget(const CommandLine& line, UniqueHttp http);

// The target's Get-Printer-Attributes response (all of them when
// `requested` is empty); cupsLastError() tells whether it failed.
UniqueIpp GetPrinterAttributes(const PrinterTarget& target,
                               const std::vector<const char*>& requested);

// A system operation that names -d PRINTER by its id: Delete-Printer, or
// Set-System-Attributes for the default printer.
struct PrinterIdOperation {
  ipp_op_t operation;
  ipp_tag_t group;
  const char* attribute;
  const char* what;  // for the message when it fails
};
constexpr PrinterIdOperation kDeletePrinter = {IPP_OP_DELETE_PRINTER, IPP_TAG_OPERATION,
                                               "printer-id", "delete printer"};
constexpr PrinterIdOperation kSetDefaultPrinter = {IPP_OP_SET_SYSTEM_ATTRIBUTES, IPP_TAG_SYSTEM,
                                                   "system-default-printer-id",
                                                   "set default printer"};

// Finds -d PRINTER's id on the running server and sends it the operation,
// then confirms the change; returns the exit status.  (The server removes
// a deleted printer's login with it.)
int SendWithPrinterId(const CommandLine& line, const PrinterIdOperation& kind);

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_CLIENT_H_
