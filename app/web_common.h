// What the application's own web pages share.
#ifndef QUILLFERN_APP_WEB_COMMON_H_
#define QUILLFERN_APP_WEB_COMMON_H_

#include <pappl/pappl.h>

#include <string>

namespace quillfern {

// Whether the client is on this host: loopback or the local socket.
// PAPPL 1.3.1's web login takes any password, so what only the
// administrator may change is changed only from this host.
bool FromThisHost(pappl_client_t* client);

// `text` in a banner at the top of a page; nothing when it is empty.
void PrintBanner(pappl_client_t* client, const std::string& text);

// The printer whose page `page` (papplPrinterGetPath's subpath) the client
// asked for, or null when it has been deleted.  (A page stays registered
// after its printer is gone: PAPPL 1.3.1 removes no resource.)
pappl_printer_t* PrinterOfPage(pappl_client_t* client, const char* page);

// The text of a form PAPPL cannot read or that fails its session check,
// or empty when `count` fields were read and the form is valid.
std::string FormProblem(pappl_client_t* client, int count, cups_option_t* form);

}  // namespace quillfern

#endif  // QUILLFERN_APP_WEB_COMMON_H_
