#include "app/system_commands.h"

#include <pappl/pappl.h>
#include <pwd.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/job_connection.h"
#include "app/system_arguments.h"
#include "app/system_checks.h"
#include "app/system_client.h"
#include "app/system_devices.h"
#include "app/system_login.h"
#include "app/system_paths.h"
#include "app/system_status.h"

namespace quillfern {

namespace {

// A sub-command with its arguments and what it does, for --help; the
// application's own (login) among PAPPL's.  PAPPL's autoadd is left out:
// it needs a callback the application has not.
struct SubCommand {
  const char* name;
  const char* arguments;
  const char* summary;
};
constexpr SubCommand kSubCommands[] = {
    {"add", "-d PRINTER -v DEVICE-URI -m DRIVER", "Add a printer."},
    {"cancel", "[-d PRINTER] -j JOB-ID | -a", "Cancel a job, or all of the printer's jobs."},
    {"default", "[-d PRINTER]", "Show the default printer, or make PRINTER the default."},
    {"delete", "-d PRINTER", "Delete a printer and its login."},
    {"devices", "[--verbose]",
     "List the printers on USB, and on the network when avahi-daemon runs."},
    {"drivers", "", "List the drivers."},
    {"jobs", "[-d PRINTER]", "List the printer's jobs."},
    {"login", "-d PRINTER LOGIN-NAME | --remove",
     "Set the login the printer takes with every job (the password from the\n"
     "      terminal or standard input), or remove it."},
    {"modify", "-d PRINTER -o NAME=VALUE ...", "Change a printer's settings."},
    {"options", "[-d PRINTER]", "List the options a job and the printer take."},
    {"pause", "-d PRINTER", "Stop printing."},
    {"printers", "", "List the printers."},
    {"resume", "-d PRINTER", "Resume printing."},
    {"server", "[-o NAME=VALUE ...]", "Run the server."},
    {"shutdown", "", "Stop the running server."},
    {"status", "[-d PRINTER]", "Show the state of the server, or of the printer."},
    {"submit", "[-d PRINTER] [-o NAME=VALUE ...] [-t TITLE] [FILE ...]",
     "Print PDF, JPEG, PNG, PWG or Apple raster files (standard input when\n"
     "      there are none)."},
};

// An option with what it means, for --help.
struct OptionHelp {
  const char* option;
  const char* summary;
};
constexpr OptionHelp kOptionHelp[] = {
    {"-a", "All of the printer's jobs (cancel)."},
    {"-d PRINTER", "The printer; without it, the default printer."},
    {"-j JOB-ID", "The job (cancel)."},
    {"-m DRIVER", "The driver, as \"drivers\" lists it (add)."},
    {"-o NAME=VALUE",
     "A job option (submit; \"options\" lists them), a printer setting (modify)\n"
     "      or a server setting (server)."},
    {"-t TITLE", "The job's name (submit)."},
    {"-u URI", "A printer or server elsewhere, ipp://HOST[:PORT]/... or ipps://..."},
    {"-v DEVICE-URI",
     "The printer's device (add): socket://HOST[:PORT], file:///PATH, or a\n"
     "      usb:// or dnssd:// URI as \"devices\" lists it."},
    {"--help", "Show this help."},
    {"--version", "Show the version."},
};

// The options that take a value, as PAPPL's main loop reads them.
constexpr char kValueOptions[] = "dhjmnotuv";

bool IsSubCommand(const std::string& word) {
  for (const SubCommand& command : kSubCommands) {
    if (word == command.name) return true;
  }
  return false;
}

// A word PAPPL takes for a file to print: "-" (standard input) or a file
// the user may read.
bool IsDocument(const std::string& word) {
  return word == "-" || access(word.c_str(), R_OK) == 0;
}

// Keeps what the application needs of option `letter`'s value.
void SetOption(CommandLine* line, char letter, const std::string& value) {
  if (letter == 'd') line->printer = value;
  if (letter == 'u') line->printerUri = value;
  if (letter == 'v') line->deviceUri = value;
  if (letter == 'n') line->copies = true;
  if (letter != 'o') return;
  cups_option_t* options = nullptr;
  const int count = cupsParseOptions(value.c_str(), 0, &options);
  const char* format = cupsGetOption("document-format", count, options);
  if (format != nullptr) line->documentFormat = format;
  cupsFreeOptions(count, options);
}

// The sub-command among the words, as PAPPL finds it: the first word, or
// after files to print anywhere; files alone are "submit".  A first word
// that is neither is unknown (PAPPL would say it cannot read such a file).
void FindCommand(CommandLine* line, std::vector<std::string> words) {
  if (words.empty()) {
    line->command = isatty(STDIN_FILENO) ? "" : "submit";  // PAPPL prints standard input
    return;
  }
  if (!IsSubCommand(words[0]) && !IsDocument(words[0])) {
    line->unknown = words[0];
    return;
  }
  line->command = "submit";
  for (size_t i = 0; i < words.size(); ++i) {
    if (!IsSubCommand(words[i])) continue;
    line->command = words[i];
    words.erase(words.begin() + static_cast<std::ptrdiff_t>(i));
    break;
  }
  line->words = std::move(words);
}

CommandLine Parse(int argc, char* argv[]) {
  CommandLine line;
  line.program = argv[0];
  const char* slash = strrchr(argv[0], '/');
  line.base = slash != nullptr ? slash + 1 : argv[0];
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "--version") {
      line.help = true;
    } else if (arg == "-" || arg == "--") {
      if (i + 1 < argc) words.push_back(argv[++i]);  // a word, even with a "-"
    } else if (arg.size() >= 2 && arg[0] == '-' && arg[1] != '-') {
      if (strchr(kValueOptions, arg[1]) == nullptr) continue;  // -a
      SetOption(&line, arg[1], arg.size() > 2 ? arg.substr(2) : (i + 1 < argc ? argv[++i] : ""));
    } else {
      words.push_back(arg);  // and the application's --verbose, --remove
    }
  }
  FindCommand(&line, std::move(words));
  return line;
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
  // A service run by hand, whose socket root's commands are not led to.
  const std::string socket = SocketInRuntimeDirectory(kServiceRuntimeDirectory);
  const UniqueHttp service(httpConnect2(socket.c_str(), 0, nullptr, AF_UNSPEC,
                                        HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr));
  if (service) {
    const std::string link = LocalSocketPath(line.base, 0);
    Fail(line, "the printer application service runs, but " + link +
                   " does not lead to it; as root: ln -sfn " + socket + " " + link);
    return true;
  }
  Fail(line, std::string("the printer application service is not running; start it with "
                         "\"systemctl start ") +
                 kProgramName +
                 "\" (a command does not start a second server on the service's printers).");
  return true;
}

// The commands the application runs itself whether or not -u names a
// printer elsewhere: true with the exit status in *status.
bool RunAnywhere(const CommandLine& line, int* status) {
  if (line.command == "drivers") {
    *status = ShowDrivers();
  } else if (line.command == "devices") {
    bool verbose = false;
    for (const std::string& word : line.words) verbose = verbose || word == "--verbose";
    *status = ListDevices(verbose);
  } else if (line.command == "login") {
    *status = SetLogin(line);
  } else if (line.command == "status") {
    *status = ShowStatus(line);
  } else if (line.command == "options" && line.remote()) {
    *status = ShowOptions(line);
  } else {
    return false;
  }
  return true;
}

// The commands the application runs itself on the local server: true with
// the exit status in *status, false for PAPPL's.
bool RunLocalCommand(const CommandLine& line, int* status) {
  if (line.command == "delete") {
    *status = SendWithPrinterId(line, kDeletePrinter);
  } else if (line.command == "default" && !line.printer.empty()) {
    *status = SendWithPrinterId(line, kSetDefaultPrinter);
  } else if (RefuseSecondServer(line)) {
    *status = 1;
  } else if (line.command == "options") {
    *status = ShowOptions(line);
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool RunOwnCommand(int argc, char* argv[], int* status) {
  const CommandLine line = Parse(argc, argv);
  if (line.help) return false;
  std::string problem = LineProblem(line);
  if (problem.empty() && line.command == "submit" && !line.remote()) {
    problem = SubmitProblem(line);
  }
  if (!problem.empty()) {
    *status = Fail(line, problem);
    return true;
  }
  if (RunAnywhere(line, status)) return true;
  return !line.remote() && RunLocalCommand(line, status);
}

std::vector<char*> PapplArguments(int argc, char* argv[], std::vector<std::string>* kept) {
  std::vector<char*> args(argv, argv + argc);
  const CommandLine line = Parse(argc, argv);
  kept->reserve(1);  // its string stays where args points
  // PAPPL takes the device only as "-v URI".
  for (int i = 1; i + 1 < argc && line.command == "add" && !line.remote(); ++i) {
    if (strcmp(argv[i], "-v") != 0) continue;
    kept->push_back(OwnNetworkUri(argv[i + 1]));
    args[i + 1] = kept->back().data();
    break;
  }
  args.push_back(nullptr);
  return args;
}

void ConfirmChange(int argc, char* argv[], int status) {
  if (status != 0) return;
  const CommandLine line = Parse(argc, argv);
  const std::string confirmation = line.help ? "" : Confirmation(line);
  if (!confirmation.empty()) printf("%s\n", confirmation.c_str());
}

void PrintUsage(void*) {
  printf("Usage: %s SUB-COMMAND [OPTIONS] [FILE ...]\n", kProgramName);
  printf("       %s [OPTIONS] FILE ...    (the same as submit)\n\n", kProgramName);
  printf("Sub-commands:\n");
  for (const SubCommand& command : kSubCommands) {
    printf("  %s%s%s\n      %s\n", command.name, command.arguments[0] != '\0' ? " " : "",
           command.arguments, command.summary);
  }
  printf("\nOptions:\n");
  for (const OptionHelp& option : kOptionHelp) {
    printf("  %s\n      %s\n", option.option, option.summary);
  }
}

}  // namespace quillfern
