#include "app/system_client.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "app/system_paths.h"

extern char** environ;

namespace quillfern {

namespace {

constexpr char kSystemUri[] = "ipp://localhost/ipp/system";

// The system's list of printers, and the entry of the printer named
// `name` in it (or none).
struct ConfiguredPrinter {
  UniqueIpp response;
  ipp_t* printer = nullptr;
};

ConfiguredPrinter FindConfiguredPrinter(http_t* http, const std::string& name) {
  UniqueIpp request = SystemRequest(IPP_OP_GET_SYSTEM_ATTRIBUTES);
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               "system-configured-printers");
  ConfiguredPrinter found;
  found.response.reset(cupsDoRequest(http, request.release(), "/ipp/system"));
  ipp_attribute_t* printers = ippFindAttribute(found.response.get(), "system-configured-printers",
                                               IPP_TAG_BEGIN_COLLECTION);
  for (int i = 0; i < ippGetCount(printers); ++i) {
    ipp_t* printer = ippGetCollection(printers, i);
    const char* printerName =
        ippGetString(ippFindAttribute(printer, "printer-name", IPP_TAG_ZERO), 0, nullptr);
    if (printerName != nullptr && name == printerName) found.printer = printer;
  }
  return found;
}

// The printer's id from the system's list of printers: PAPPL 1.3.1 reports
// a printer added since the server started with printer-id 0 in its own
// attributes, but lists it with its id here.  0 when there is none.
int ConfiguredPrinterId(http_t* http, const std::string& name) {
  const ConfiguredPrinter found = FindConfiguredPrinter(http, name);
  return ippGetInteger(ippFindAttribute(found.printer, "printer-id", IPP_TAG_INTEGER), 0);
}

// The path of the printer's IPP resource, from its printer-xri-supported
// in the system's list ("/ipp/print/NAME", which PAPPL makes from the name
// by a rule of its own); empty when there is no such printer.
std::string PrinterResource(http_t* http, const std::string& name) {
  const ConfiguredPrinter found = FindConfiguredPrinter(http, name);
  ipp_attribute_t* xri = ippFindAttribute(found.printer, "printer-xri-supported", IPP_TAG_ZERO);
  const char* uri =
      ippGetString(ippFindAttribute(ippGetCollection(xri, 0), "xri-uri", IPP_TAG_URI), 0, nullptr);
  char scheme[32], user[256], host[256], resource[1024];
  int port = 0;
  if (uri == nullptr ||
      httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, user, sizeof user, host,
                      sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK) {
    return "";
  }
  return resource;
}

// The local server's default printer, or empty.
std::string DefaultPrinter(http_t* http) {
  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_DEFAULT);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  UniqueIpp response(cupsDoRequest(http, request, "/ipp/system"));
  const char* name =
      ippGetString(ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME), 0, nullptr);
  return name != nullptr ? name : "";
}

// The printer -u URI names (ipp: or ipps:); no connection after saying
// why not.
PrinterTarget RemoteTarget(const CommandLine& line) {
  PrinterTarget target;
  char scheme[32], user[256], host[256], resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, line.printerUri.c_str(), scheme, sizeof scheme, user,
                      sizeof user, host, sizeof host, &port, resource,
                      sizeof resource) < HTTP_URI_STATUS_OK ||
      (strcmp(scheme, "ipp") != 0 && strcmp(scheme, "ipps") != 0)) {
    Fail(line, "-u '" + line.printerUri + "': the URI must be ipp://HOST[:PORT]/... or ipps://...");
    return target;
  }
  const bool tls = strcmp(scheme, "ipps") == 0 || port == 443;
  target.http.reset(httpConnect2(host, port, nullptr, AF_UNSPEC,
                                 tls ? HTTP_ENCRYPTION_ALWAYS : HTTP_ENCRYPTION_IF_REQUESTED, 1,
                                 30000, nullptr));
  if (!target.http) {
    Fail(line, std::string("cannot connect to ") + host + ": " + cupsLastErrorString());
  }
  target.uri = line.printerUri;
  target.resource = resource;
  target.name = line.printerUri;
  return target;
}

}  // namespace

UniqueHttp ConnectLocal(const std::string& base) {
  for (uid_t uid : {getuid(), static_cast<uid_t>(0)}) {
    http_t* http = httpConnect2(LocalSocketPath(base, uid).c_str(), 0, nullptr, AF_UNSPEC,
                                HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
    if (http != nullptr) return UniqueHttp(http);
    if (uid == 0) break;
  }
  return nullptr;
}

UniqueHttp StartServer(const CommandLine& line) {
  char* const args[] = {const_cast<char*>(line.program.c_str()), const_cast<char*>("server"),
                        const_cast<char*>("-o"), const_cast<char*>("private-server=true"), nullptr};
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    posix_spawn_file_actions_addopen(&files, fd, "/dev/null", O_RDWR, 0);
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, "/proc/self/exe", &files, &attributes, args, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&files);
  if (failed != 0) {
    Fail(line, std::string("cannot start the server: ") + strerror(failed));
    return nullptr;
  }
  for (int attempt = 0; attempt < 40; ++attempt) {
    usleep(250000);
    if (UniqueHttp http = ConnectLocal(line.base)) return http;
  }
  Fail(line, "the server did not start.");
  return nullptr;
}

UniqueIpp SystemRequest(ipp_op_t operation) {
  ipp_t* request = ippNewRequest(operation);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "system-uri", nullptr, kSystemUri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  return UniqueIpp(request);
}

PrinterTarget FindTarget(const CommandLine& line, UniqueHttp http) {
  if (line.remote()) return RemoteTarget(line);
  PrinterTarget target;
  target.name = line.printer.empty() ? DefaultPrinter(http.get()) : line.printer;
  if (target.name.empty()) {
    Fail(line, "there is no default printer; name one with -d PRINTER.");
    return target;
  }
  target.resource = PrinterResource(http.get(), target.name);
  if (target.resource.empty()) {
    Fail(line, "no printer named '" + target.name + "'.");
    return target;
  }
  target.uri = std::string("ipp://localhost") + target.resource;
  target.http = std::move(http);
  return target;
}

UniqueIpp GetPrinterAttributes(const PrinterTarget& target,
                               const std::vector<const char*>& requested) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, target.uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  if (!requested.empty()) {
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(requested.size()), nullptr, requested.data());
  }
  return UniqueIpp(cupsDoRequest(target.http.get(), request, target.resource.c_str()));
}

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
  printf("%s\n", Confirmation(line).c_str());
  return 0;
}

}  // namespace quillfern
