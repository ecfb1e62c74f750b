#include "app/system_arguments.h"

#include <cstdio>

namespace quillfern {

namespace {

// The printer a command line names, for its messages.
std::string Subject(const CommandLine& line) {
  return line.printer.empty() ? line.printerUri : line.printer;
}

}  // namespace

int Fail(const CommandLine& line, const std::string& message) {
  fprintf(stderr, "%s: %s\n", line.base.c_str(), message.c_str());
  return 1;
}

std::string Confirmation(const CommandLine& line) {
  const std::string printer = Subject(line);
  if (line.command == "add") return "printer " + printer + " added (" + line.deviceUri + ")";
  if (line.command == "modify") return "printer " + printer + " modified";
  if (line.command == "delete") return "printer " + printer + " deleted";
  if (line.command == "default" && !line.printer.empty()) {
    return printer + " is the default printer";
  }
  return "";
}

}  // namespace quillfern
