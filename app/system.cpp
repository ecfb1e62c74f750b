#include "app/system.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/driver.h"
#include "app/driver_facts.h"
#include "app/job_connection.h"
#include "app/job_formats.h"
#include "app/job_image.h"
#include "app/job_pdf.h"
#include "app/state_file.h"
#include "app/state_interrupted_jobs.h"
#include "app/system_access.h"
#include "app/system_dnssd.h"
#include "app/system_operations.h"
#include "app/system_paths.h"
#include "app/system_stop.h"
#include "app/web_add_printer.h"
#include "app/web_printer_login.h"

namespace quillfern {

namespace {

pappl_pr_driver_t drivers[] = {
    {kDriverName, kMakeAndModel, kDeviceId, nullptr},
};

const char* Option(int count, cups_option_t* options, const char* name, const char* fallback) {
  const char* value = cupsGetOption(name, count, options);
  return value != nullptr ? value : fallback;
}

// The log level named, or PAPPL_LOGLEVEL_UNSPEC for a name it has not.
pappl_loglevel_t LogLevel(const char* name) {
  static const struct {
    const char* name;
    pappl_loglevel_t level;
  } kLevels[] = {{"debug", PAPPL_LOGLEVEL_DEBUG},
                 {"info", PAPPL_LOGLEVEL_INFO},
                 {"warn", PAPPL_LOGLEVEL_WARN},
                 {"error", PAPPL_LOGLEVEL_ERROR},
                 {"fatal", PAPPL_LOGLEVEL_FATAL}};
  for (const auto& level : kLevels) {
    if (strcmp(name, level.name) == 0) return level.level;
  }
  return PAPPL_LOGLEVEL_UNSPEC;
}

// The IPP port asked for: 0 for PAPPL's choice, -1 when it is no port.
int ServerPort(const char* text) {
  char* end = nullptr;
  const long port = strtol(text, &end, 10);
  return end != text && *end == '\0' && port >= 0 && port <= 65535 ? static_cast<int>(port) : -1;
}

// A server option that is not what it may be stops the start with a word,
// instead of the server running on a default nobody asked for.
bool OptionsUsable(int count, cups_option_t* options) {
  const char* level = Option(count, options, "log-level", "info");
  const char* port = Option(count, options, "server-port", "0");
  if (LogLevel(level) == PAPPL_LOGLEVEL_UNSPEC) {
    fprintf(stderr, "%s: log-level is debug, info, warn, error or fatal, not '%s'.\n", kProgramName,
            level);
    return false;
  }
  if (ServerPort(port) < 0) {
    fprintf(stderr, "%s: server-port is a port number (1 to 65535), not '%s'.\n", kProgramName,
            port);
    return false;
  }
  return true;
}

void SetVersion(pappl_system_t* system) {
  pappl_version_t version = {};
  snprintf(version.name, sizeof version.name, "%s", kProgramName);
  snprintf(version.sversion, sizeof version.sversion, "%s", kVersion);
  sscanf(kVersion, "%hu.%hu.%hu", &version.version[0], &version.version[1], &version.version[2]);
  papplSystemSetVersions(system, 1, &version);
}

// Where the server listens: every address unless told otherwise; a private
// server, which PAPPL starts for a sub-command that found none, on
// loopback.
const char* ListenHostname(int count, cups_option_t* options) {
  const bool privateServer = cupsGetOption("private-server", count, options) != nullptr;
  return Option(count, options, "listen-hostname", privateServer ? "localhost" : "*");
}

// Where the server listens.  The local socket for the sub-commands is added
// by PAPPL's main loop, under the user's TMPDIR.  The system service also
// listens in its runtime directory, which the unit links to where root's
// and lp's commands look for it.
void AddListeners(pappl_system_t* system, int count, cups_option_t* options) {
  const char* hostname = ListenHostname(count, options);
  papplSystemAddListeners(system, hostname);
  // With a port given, PAPPL 1.3.1 binds a name's IPv6 addresses only when
  // it has no IPv4 one, and of each only the first: IPv6 is added here.
  if (cupsGetOption("server-port", count, options) != nullptr) {
    if (strcmp(hostname, "*") == 0) papplSystemAddListeners(system, "[::]");
    if (strcmp(hostname, "localhost") == 0) papplSystemAddListeners(system, "[::1]");
  }
  const std::string socket = ServiceSocketPath();
  if (!socket.empty()) papplSystemAddListeners(system, socket.c_str());
}

// PAPPL 1.3.1 labels the driver's own option on the Printing Defaults page
// by its attribute name ("feed-edge:") unless the system has strings of
// its own, and with any it repeats printer-strings-languages-supported in
// every Get-Printer-Attributes answer.  The footer, at the end of every
// page, puts the label in words instead.
constexpr char kFeedEdgeLabel[] =
    "<script>document.querySelectorAll('th').forEach(function (label) {"
    " if (label.textContent === 'feed-edge:') label.textContent = 'Feed edge:'; });</script>";

// The application's own parts of the web interface.
void AddWebInterface(pappl_system_t* system) {
  // PAPPL 1.3.1's web pages end with the system's footer and crash when
  // there is none.
  papplSystemSetFooterHTML(system, (ProgramAndVersion() + kFeedEdgeLabel).c_str());
  AddPrinterPage(system);
  // The application's icon in the web interface's title bar and tab.
  papplSystemAddResourceData(system, "/favicon.png", "image/png", kIconSmall, kIconSmallSize);
  papplSystemAddResourceData(system, "/navicon.png", "image/png", kIconNavigation,
                             kIconNavigationSize);
}

// PAPPL's event callback, called with the system locked for reading and
// the event's printer and job locked.
void OnEvent(pappl_system_t* system, pappl_printer_t* printer, pappl_job_t* job,
             pappl_event_t event, void* data) {
  ForgetDeletedPrinter(system, printer, job, event, data);
  NoteUnprintableJob(system, printer, job, event);
}

// The printers and jobs of the last run.  What a crash left: jobs that were
// printing end aborted, scratch goes.
// Then what is advertised: nothing from a server on loopback only.
void LoadState(pappl_system_t* system, const char* spool, bool shared) {
  const std::vector<InterruptedJob> interrupted =
      SetInterruptedJobsAside(StateFile(), spool, StateDirectory());
  // Printers on socket: devices from before the application's own scheme
  // move to it.
  const std::string stateText = LoadStateFile(system, WithOwnNetworkUris);
  MarkInterruptedJobs(system, interrupted);
  ReleaseMarkedHolds(system, StateDirectory());
  PrepareAdvertising(system, shared, stateText);
}

}  // namespace

pappl_system_t* CreateSystem(int count, cups_option_t* options, void*) {
  if (!OptionsUsable(count, options)) return nullptr;
  // A server that cannot keep its state would start empty and lose what it
  // is given: it does not start.
  ServerPaths paths;
  if (!PrepareServerPaths(Option(count, options, "spool-directory", nullptr),
                          Option(count, options, "log-file", nullptr), &paths)) {
    return nullptr;
  }
  const char* spool = paths.spool.c_str();
  pappl_system_t* system = papplSystemCreate(
      PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG,
      kProgramName, ServerPort(Option(count, options, "server-port", "0")), "_print,_universal",
      spool, paths.logFile.empty() ? nullptr : paths.logFile.c_str(),
      LogLevel(Option(count, options, "log-level", "info")), nullptr, false);
  if (system == nullptr) return nullptr;
  AddNetworkScheme();
  AddListeners(system, count, options);
  papplSystemSetPrinterDrivers(system, static_cast<int>(sizeof drivers / sizeof drivers[0]),
                               drivers, nullptr, AddPrinterPages, QuillfernDriver, nullptr);
  papplSystemSetEventCallback(system, OnEvent, nullptr);
  papplSystemSetAuthCallback(system, nullptr, AuthorizeClient, nullptr);
  papplSystemSetOperationCallback(system, HandleOwnOperation, nullptr);
  papplSystemAddMIMEFilter(system, "application/pdf", kPrintStreamFormat, FilterPdf, nullptr);
  papplSystemAddMIMEFilter(system, "image/jpeg", kPrintStreamFormat, FilterJpeg, nullptr);
  papplSystemAddMIMEFilter(system, "image/png", kPrintStreamFormat, FilterPng, nullptr);
  SetVersion(system);
  AddWebInterface(system);
  LoadState(system, spool, ListensOnNetwork(ListenHostname(count, options)));
  papplSystemSetSaveCallback(system, SaveState, nullptr);
  papplSystemAddTimerCallback(system, 0, 1, Tick, nullptr);
  return system;
}

}  // namespace quillfern
