// What a command line says, as the application's sub-commands read it
// (app/system_commands.h reads it from argv), and the lines they answer
// with: a message naming the program, and the line confirming a change.
#ifndef QUILLFERN_APP_SYSTEM_ARGUMENTS_H_
#define QUILLFERN_APP_SYSTEM_ARGUMENTS_H_

#include <string>
#include <vector>

namespace quillfern {

// What a command line says: its sub-command, -d PRINTER, -u URI, -v
// DEVICE-URI, -o document-format, and the words after the sub-command.
struct CommandLine {
  std::string program;  // argv[0], which a server is started as
  std::string base;     // the program's name, which PAPPL names its socket by
  std::string command;  // the sub-command; "submit" for files alone
  std::string unknown;  // a first word that is neither a sub-command nor a file
  std::string printer;
  std::string printerUri;
  std::string deviceUri;
  std::string documentFormat;
  bool copies = false;  // -n
  bool help = false;
  std::vector<std::string> words;

  bool remote() const { return !printerUri.empty(); }
};

// "PROGRAM: MESSAGE" on standard error; returns 1, the command's exit
// status.
int Fail(const CommandLine& line, const std::string& message);

// The line that confirms a change the command line made; empty for a
// command that changes nothing.
std::string Confirmation(const CommandLine& line);

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_ARGUMENTS_H_
