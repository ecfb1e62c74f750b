#include "app/system_operations.h"

#include <sys/socket.h>

#include <string>

#include "app/state_logins.h"
#include "app/system_paths.h"

namespace quillfern {

namespace {

std::string StringAttribute(ipp_t* request, const char* name) {
  const char* value = ippGetString(ippFindAttribute(request, name, IPP_TAG_ZERO), 0, nullptr);
  return value != nullptr ? value : "";
}

// The request's data after its attributes, its first 1024 bytes at most
// (a password that long is refused all the same; PAPPL reads past the
// rest).
std::string RequestData(pappl_client_t* client) {
  http_t* http = papplClientGetHTTP(client);
  if (httpGetState(http) != HTTP_STATE_POST_RECV) return "";
  char buffer[1024];
  size_t kept = 0;
  ssize_t got = 0;
  while (kept < sizeof buffer && (got = httpRead2(http, buffer + kept, sizeof buffer - kept)) > 0) {
    kept += static_cast<size_t>(got);
  }
  return std::string(buffer, kept);
}

// Set-Printer-Login: the server writes the login where it reads it.
void SetPrinterLogin(pappl_client_t* client) {
  pappl_printer_t* printer = papplClientGetPrinter(client);
  if (printer == nullptr) {
    papplClientRespondIPP(client, IPP_STATUS_ERROR_NOT_FOUND, "No such printer.");
    return;
  }
  ipp_t* request = papplClientGetRequest(client);
  const std::string name = papplPrinterGetName(printer);
  if (ippGetBoolean(ippFindAttribute(request, kLoginRemoveAttribute, IPP_TAG_BOOLEAN), 0)) {
    if (RemoveLogin(StateDirectory(), name)) {
      papplClientRespondIPP(client, IPP_STATUS_OK, nullptr);
    } else {
      papplClientRespondIPP(client, IPP_STATUS_ERROR_INTERNAL, "The login cannot be removed.");
    }
    return;
  }
  const std::string problem = SaveLogin(
      StateDirectory(), name, StringAttribute(request, kLoginNameAttribute), RequestData(client));
  if (problem.empty()) {
    papplClientRespondIPP(client, IPP_STATUS_OK, nullptr);
  } else {
    papplClientRespondIPP(client, IPP_STATUS_ERROR_NOT_POSSIBLE, "%s", problem.c_str());
  }
}

}  // namespace

bool HandleOwnOperation(pappl_client_t* client, void*) {
  if (ippGetOperation(papplClientGetRequest(client)) != kSetPrinterLogin) return false;
  if (httpAddrFamily(httpGetAddress(papplClientGetHTTP(client))) != AF_LOCAL) {
    papplClientRespondIPP(client, IPP_STATUS_ERROR_FORBIDDEN,
                          "A printer's login is set on the server's local socket only.");
    return true;
  }
  SetPrinterLogin(client);
  return true;
}

}  // namespace quillfern
