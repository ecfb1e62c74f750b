#include "app/system_login.h"

#include <pappl/pappl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <utility>

#include "app/state_logins.h"
#include "app/system_client.h"
#include "app/system_operations.h"
#include "app/system_paths.h"

namespace quillfern {

namespace {

constexpr char kLoginUsage[] =
    "usage: login -d PRINTER NAME (the password is read from the terminal or standard input), or "
    "login -d PRINTER --remove";

// The password: from the terminal without echo, or the first line of
// standard input.
std::string ReadPassword() {
  if (isatty(STDIN_FILENO)) {
    const char* typed = cupsGetPassword("Password: ");
    return typed != nullptr ? typed : "";
  }
  std::string password;
  std::getline(std::cin, password);
  return password;
}

// The line that says the login was set or removed; returns 0, the exit
// status.
int ConfirmLogin(const CommandLine& line, bool remove) {
  printf("login of %s %s\n", line.printer.c_str(), remove ? "removed" : "saved");
  return 0;
}

// Set-Printer-Login for the target printer: its new login name, or its
// removal when `remove`.  The password goes as the request's data.
UniqueIpp LoginRequest(const PrinterTarget& target, bool remove, const std::string& name) {
  UniqueIpp request(ippNewRequest(kSetPrinterLogin));
  ipp_t* ipp = request.get();
  ippAddString(ipp, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, target.uri.c_str());
  ippAddString(ipp, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  if (remove) {
    ippAddBoolean(ipp, IPP_TAG_OPERATION, kLoginRemoveAttribute, 1);
  } else {
    ippAddString(ipp, IPP_TAG_OPERATION, IPP_TAG_NAME, kLoginNameAttribute, nullptr, name.c_str());
  }
  return request;
}

// Sends `request` to the target with `data` after its attributes, and
// returns the server's response; none when it did not answer.
UniqueIpp SendWithData(const PrinterTarget& target, ipp_t* request, const std::string& data) {
  http_t* http = target.http.get();
  const char* resource = target.resource.c_str();
  http_status_t status = cupsSendRequest(http, request, resource, ippLength(request) + data.size());
  if (status == HTTP_STATUS_CONTINUE && !data.empty()) {
    status = cupsWriteRequestData(http, data.data(), data.size());
  }
  if (status != HTTP_STATUS_CONTINUE && status != HTTP_STATUS_OK) return nullptr;
  return UniqueIpp(cupsGetResponse(http, resource));
}

// Asks the server that answered (over `http`) to set or remove the
// printer's login: it writes the login in its own state directory, which
// may not be the caller's (root's command on a server run with another
// one).  Says the server's reason when it refuses.
int SetThroughServer(const CommandLine& line, UniqueHttp http, bool remove) {
  const PrinterTarget target = FindTarget(line, std::move(http));
  if (!target.http) return 1;
  if (!remove && line.words.size() != 1) return Fail(line, kLoginUsage);
  const std::string password = remove ? "" : ReadPassword();
  UniqueIpp request = LoginRequest(target, remove, remove ? "" : line.words[0]);
  UniqueIpp response = SendWithData(target, request.get(), password);
  if (!response) return Fail(line, "the server did not answer the login request");
  if (cupsLastError() > IPP_STATUS_OK_CONFLICTING) return Fail(line, cupsLastErrorString());
  return ConfirmLogin(line, remove);
}

// With no server answering: sets or removes the login in the caller's
// state directory, where the server reads it when it starts.
int SetInStateDirectory(const CommandLine& line, bool remove) {
  if (remove) {
    if (!RemoveLogin(StateDirectory(), line.printer)) return Fail(line, "cannot remove the login");
    return ConfirmLogin(line, remove);
  }
  if (line.words.size() != 1) return Fail(line, kLoginUsage);
  const std::string problem =
      SaveLogin(StateDirectory(), line.printer, line.words[0], ReadPassword());
  if (!problem.empty()) return Fail(line, problem);
  return ConfirmLogin(line, remove);
}

}  // namespace

int SetLogin(const CommandLine& line) {
  if (line.printer.empty()) return Fail(line, "Missing '-d PRINTER'.");
  const bool remove = line.words.size() == 1 && line.words[0] == "--remove";
  UniqueHttp http = ConnectLocal(line.base);
  if (http) return SetThroughServer(line, std::move(http), remove);
  return SetInStateDirectory(line, remove);
}

}  // namespace quillfern
