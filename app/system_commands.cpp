#include "app/system_commands.h"

#include <pappl/pappl.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/state_logins.h"
#include "app/system_devices.h"
#include "app/system_paths.h"

namespace quillfern {

namespace {

constexpr char kSystemUri[] = "ipp://localhost/ipp/system";

struct HttpCloser {
  void operator()(http_t* http) const { httpClose(http); }
};
using UniqueHttp = std::unique_ptr<http_t, HttpCloser>;
struct IppDeleter {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using UniqueIpp = std::unique_ptr<ipp_t, IppDeleter>;

// What a command line says: its sub-command, -d PRINTER, whether it names
// a remote printer (-u), and the words after the options.
struct CommandLine {
  std::string base;  // the program's name, which PAPPL names its socket by
  std::string command;
  std::string printer;
  bool remote = false;
  bool help = false;
  std::vector<std::string> words;
};

CommandLine Parse(int argc, char* argv[]) {
  CommandLine line;
  const char* slash = strrchr(argv[0], '/');
  line.base = slash != nullptr ? slash + 1 : argv[0];
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "--version") {
      line.help = true;
    } else if (arg.size() >= 2 && arg[0] == '-' && strchr("dhjmnotuv", arg[1]) != nullptr) {
      std::string value = arg.size() > 2 ? arg.substr(2) : (i + 1 < argc ? argv[++i] : "");
      if (arg[1] == 'd') line.printer = value;
      if (arg[1] == 'u') line.remote = true;
    } else if (line.command.empty()) {
      line.command = arg;
    } else {
      line.words.push_back(arg);
    }
  }
  return line;
}

// The server PAPPL's sub-commands would reach: the user's own, else the
// system's (root's).
UniqueHttp ConnectLocal(const std::string& base) {
  for (uid_t uid : {getuid(), static_cast<uid_t>(0)}) {
    http_t* http = httpConnect2(LocalSocketPath(base, uid).c_str(), 0, nullptr, AF_UNSPEC,
                                HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
    if (http != nullptr) return UniqueHttp(http);
    if (uid == 0) break;
  }
  return nullptr;
}

UniqueIpp SystemRequest(ipp_op_t operation) {
  ipp_t* request = ippNewRequest(operation);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "system-uri", nullptr, kSystemUri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  return UniqueIpp(request);
}

// The printer's id from the system's list of printers: PAPPL 1.3.1 reports
// a printer added since the server started with printer-id 0 in its own
// attributes, but lists it with its id here.  0 when there is none.
int ConfiguredPrinterId(http_t* http, const std::string& name) {
  UniqueIpp request = SystemRequest(IPP_OP_GET_SYSTEM_ATTRIBUTES);
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               "system-configured-printers");
  UniqueIpp response(cupsDoRequest(http, request.release(), "/ipp/system"));
  ipp_attribute_t* printers =
      ippFindAttribute(response.get(), "system-configured-printers", IPP_TAG_BEGIN_COLLECTION);
  for (int i = 0; i < ippGetCount(printers); ++i) {
    ipp_t* printer = ippGetCollection(printers, i);
    const char* printerName =
        ippGetString(ippFindAttribute(printer, "printer-name", IPP_TAG_ZERO), 0, nullptr);
    if (printerName != nullptr && name == printerName) {
      return ippGetInteger(ippFindAttribute(printer, "printer-id", IPP_TAG_INTEGER), 0);
    }
  }
  return 0;
}

int Fail(const CommandLine& line, const std::string& message) {
  fprintf(stderr, "%s: %s\n", line.base.c_str(), message.c_str());
  return 1;
}

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
constexpr PrinterIdOperation kSetDefaultPrinter = {
    IPP_OP_SET_SYSTEM_ATTRIBUTES, IPP_TAG_SYSTEM, "system-default-printer-id",
    "set default printer"};

// Finds -d PRINTER's id on the running server and sends it the operation.
// (The server removes a deleted printer's login with it.)
int SendWithPrinterId(const CommandLine& line, const PrinterIdOperation& kind) {
  if (line.printer.empty()) return Fail(line, "Missing '-d PRINTER'.");
  UniqueHttp http = ConnectLocal(line.base);
  if (!http) return Fail(line, "the server is not running.");
  const int id = ConfiguredPrinterId(http.get(), line.printer);
  if (id == 0) return Fail(line, "no printer named '" + line.printer + "'.");
  UniqueIpp request = SystemRequest(kind.operation);
  ippAddInteger(request.get(), kind.group, IPP_TAG_INTEGER, kind.attribute, id);
  UniqueIpp response(cupsDoRequest(http.get(), request.release(), "/ipp/system"));
  if (cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
    return Fail(line, std::string("Unable to ") + kind.what + ": " + cupsLastErrorString());
  }
  return 0;
}

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

// login -d PRINTER NAME (the password from the terminal or standard input)
// or login -d PRINTER --remove.  Written directly, so that it works with
// the server stopped; a running server is asked whether the printer exists.
int SetLogin(const CommandLine& line) {
  if (line.printer.empty()) return Fail(line, "Missing '-d PRINTER'.");
  if (UniqueHttp http = ConnectLocal(line.base)) {
    if (ConfiguredPrinterId(http.get(), line.printer) == 0) {
      return Fail(line, "no printer named '" + line.printer + "'.");
    }
  }
  if (line.words.size() == 1 && line.words[0] == "--remove") {
    return RemoveLogin(StateDirectory(), line.printer) ? 0 : Fail(line, "cannot remove the login");
  }
  if (line.words.size() != 1) {
    return Fail(line, "usage: login -d PRINTER NAME (the password is read from the terminal or "
                      "standard input), or login -d PRINTER --remove");
  }
  const std::string problem =
      SaveLogin(StateDirectory(), line.printer, line.words[0], ReadPassword());
  return problem.empty() ? 0 : Fail(line, problem);
}

bool ServiceInstalled() {
  for (const char* unit : kServiceUnitPaths) {
    if (access(unit, F_OK) == 0) return true;
  }
  return false;
}

bool IsServiceUser() {
  const passwd* service = getpwnam(kServiceUser);
  return geteuid() == 0 || (service != nullptr && geteuid() == service->pw_uid);
}

}  // namespace

namespace {

// PAPPL's sub-commands start a server of their own when none answers.  For
// root and the service's user, with the system service installed, that
// would be a second server on the service's printers: true (after saying
// so) when the command must not run.
bool RefuseSecondServer(const CommandLine& line) {
  static const char* const kNeverStart[] = {"", "server", "shutdown", "drivers"};
  for (const char* command : kNeverStart) {
    if (line.command == command) return false;
  }
  if (!IsServiceUser() || !ServiceInstalled()) return false;
  if (ConnectLocal(line.base)) return false;
  Fail(line, std::string("the printer application service is not running; start it with "
                         "\"systemctl start ") +
                 kProgramName +
                 "\" (a command does not start a second server on the service's printers).");
  return true;
}

}  // namespace

bool RunOwnCommand(int argc, char* argv[], int* status) {
  const CommandLine line = Parse(argc, argv);
  if (line.help || line.remote) return false;
  if (line.command == "devices") {
    bool verbose = false;
    for (const std::string& word : line.words) verbose = verbose || word == "--verbose";
    *status = ListDevices(verbose);
  } else if (line.command == "delete") {
    *status = SendWithPrinterId(line, kDeletePrinter);
  } else if (line.command == "default" && !line.printer.empty()) {
    *status = SendWithPrinterId(line, kSetDefaultPrinter);
  } else if (line.command == "login") {
    *status = SetLogin(line);
  } else if (RefuseSecondServer(line)) {
    *status = 1;
  } else {
    return false;
  }
  return true;
}

}  // namespace quillfern
