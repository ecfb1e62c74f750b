#include "app/system.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "app/app_job.h"
#include "app/devices.h"
#include "app/driver.h"
#include "app/image_filter.h"
#include "app/interrupted_jobs.h"
#include "app/pdf_filter.h"
#include "app/printer_pages.h"
#include "app/printer_turns.h"
#include "common/child_process.h"

namespace quillfern {

namespace {

constexpr char kName[] = "quillfern-printer-app";

pappl_pr_driver_t drivers[] = {
    {kDriverName, kMakeAndModel, "MFG:Quillfern;MDL:JBIG Page Printer;", nullptr},
};

const char* Option(int count, cups_option_t* options, const char* name, const char* fallback) {
  const char* value = cupsGetOption(name, count, options);
  return value != nullptr ? value : fallback;
}

pappl_loglevel_t LogLevel(const char* name) {
  if (strcmp(name, "debug") == 0) return PAPPL_LOGLEVEL_DEBUG;
  if (strcmp(name, "warn") == 0) return PAPPL_LOGLEVEL_WARN;
  if (strcmp(name, "error") == 0) return PAPPL_LOGLEVEL_ERROR;
  if (strcmp(name, "fatal") == 0) return PAPPL_LOGLEVEL_FATAL;
  return PAPPL_LOGLEVEL_INFO;
}

const std::string& StateFile() {
  static const std::string path = StateDirectory() + "/" + kName + ".state";
  return path;
}

// PAPPL's save callback: the state is written beside the file and renamed
// over it, so that a crash while saving leaves the last whole state.
bool SaveState(pappl_system_t* system, void*) {
  return SaveStateNow(system);
}

void SetVersion(pappl_system_t* system) {
  pappl_version_t version = {};
  snprintf(version.name, sizeof version.name, "%s", kName);
  snprintf(version.sversion, sizeof version.sversion, "%s", QUILLFERN_VERSION);
  sscanf(QUILLFERN_VERSION, "%hu.%hu.%hu", &version.version[0], &version.version[1],
         &version.version[2]);
  papplSystemSetVersions(system, 1, &version);
}

// Stopping.  PAPPL 1.3.1 notices a Shutdown-System request only when its
// main loop wakes (up to 30 s when idle), then waits up to 60 s for every
// active job, pending ones included.  The application wakes it every
// second, cancels the job that is printing, and once that job has ended
// (or after kStopDeadline in any case) saves the state, with the pending
// jobs still pending for the next start, stops its children and exits.
constexpr auto kStopDeadline = std::chrono::milliseconds(4000);
volatile sig_atomic_t stopSignalled = 0;

// SIGTERM (systemctl stop) and SIGINT: the same as a Shutdown request.  It
// only sets a flag; the next tick acts on it.
void StopSignal(int) {
  stopSignalled = 1;
}

void InstallStopSignals() {
  struct sigaction action = {};
  action.sa_handler = StopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

// Cancels the printer's processing jobs; counts those still processing.
void CancelProcessingJobs(pappl_printer_t* printer, void* processing) {
  for (int id : ActiveJobIds(printer, IPP_JSTATE_PROCESSING)) {
    ++*static_cast<int*>(processing);
    pappl_job_t* job = papplPrinterFindJob(printer, id);
    if (job == nullptr || papplJobIsCanceled(job)) continue;
    papplJobSetMessage(job, "canceled: the printer application was stopped");
    papplJobCancel(job);
  }
}

// Runs every second in PAPPL's main loop.
bool Tick(pappl_system_t* system, void*) {
  static bool signalsInstalled = false;
  static bool stopping = false;
  static std::chrono::steady_clock::time_point stopAsked;
  if (!signalsInstalled) {
    // PAPPL installs its own handlers when its loop starts; these replace them.
    InstallStopSignals();
    signalsInstalled = true;
  }
  papplSystemIteratePrinters(
      system, [](pappl_printer_t* printer, void*) { ReleaseIdleHolds(printer); }, nullptr);
  if (stopSignalled && !papplSystemIsShutdown(system)) papplSystemShutdown(system);
  if (!papplSystemIsShutdown(system)) return true;
  if (!stopping) {
    stopping = true;
    stopAsked = std::chrono::steady_clock::now();
    papplLog(system, PAPPL_LOGLEVEL_INFO,
             "Stopping: new jobs are refused, printing jobs cancelled.");
  }
  int processing = 0;
  papplSystemIteratePrinters(system, CancelProcessingJobs, &processing);
  if (processing > 0 && std::chrono::steady_clock::now() - stopAsked < kStopDeadline) return true;
  SaveStateNow(system);
  ChildProcess::KillAll();
  papplLog(system, PAPPL_LOGLEVEL_INFO, "Stopped; pending jobs print after the next start.");
  _exit(0);
}

// Where the server listens.  The local socket for the sub-commands is added
// by PAPPL's main loop, under the user's TMPDIR.  The system service
// (systemd's RUNTIME_DIRECTORY) also listens in its runtime directory, which
// the unit links to where root's and lp's commands look for it.
void AddListeners(pappl_system_t* system, int count, cups_option_t* options) {
  papplSystemAddListeners(system, Option(count, options, "listen-hostname", "localhost"));
  if (const char* runtime = getenv("RUNTIME_DIRECTORY")) {
    const std::string socket = std::string(runtime) + "/" + kName + ".sock";
    papplSystemAddListeners(system, socket.c_str());
  }
}

// The application's own parts of the web interface.
void AddWebInterface(pappl_system_t* system) {
  // PAPPL 1.3.1's web pages end with the system's footer and crash when
  // there is none.
  papplSystemSetFooterHTML(system, "quillfern-printer-app " QUILLFERN_VERSION);
  AddPrinterPage(system);
  // The application's icon in the web interface's title bar and tab.
  papplSystemAddResourceData(system, "/favicon.png", "image/png", kIconSmall, kIconSmallSize);
  papplSystemAddResourceData(system, "/navicon.png", "image/png", kIconNavigation,
                             kIconNavigationSize);
}

}  // namespace

const std::string& StateDirectory() {
  static const std::string directory = [] {
    const char* systemd = getenv("STATE_DIRECTORY");
    const char* home = getenv("HOME");
    std::string path;
    if (systemd != nullptr) {
      path = systemd;
    } else if (geteuid() == 0) {
      path = std::string("/var/lib/") + kName;
    } else {
      path = std::string(home != nullptr ? home : "/tmp") + "/.config";
    }
    mkdir(path.c_str(), 0700);
    return path;
  }();
  return directory;
}

bool SaveStateNow(pappl_system_t* system) {
  static std::mutex saving;
  std::lock_guard<std::mutex> lock(saving);
  const std::string next = StateFile() + ".new";
  return papplSystemSaveState(system, next.c_str()) &&
         rename(next.c_str(), StateFile().c_str()) == 0;
}

pappl_system_t* CreateSystem(int count, cups_option_t* options, void*) {
  // The web interface administers printers from this host only: the
  // login of Debian 12's PAPPL 1.3.1 takes any password.
  pappl_system_t* system = papplSystemCreate(
      PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG, kName,
      atoi(Option(count, options, "server-port", "0")), "_print,_universal",
      Option(count, options, "spool-directory", nullptr),
      Option(count, options, "log-file", nullptr),
      LogLevel(Option(count, options, "log-level", "info")), nullptr, false);
  if (system == nullptr) return nullptr;
  AddListeners(system, count, options);
  papplSystemSetPrinterDrivers(system, static_cast<int>(sizeof drivers / sizeof drivers[0]),
                               drivers, nullptr, AddPrinterPages, QuillfernDriver, nullptr);
  papplSystemSetEventCallback(system, ForgetDeletedPrinter, nullptr);
  papplSystemAddMIMEFilter(system, "application/pdf", kPrintStreamFormat, FilterPdf, nullptr);
  papplSystemAddMIMEFilter(system, "image/jpeg", kPrintStreamFormat, FilterJpeg, nullptr);
  papplSystemAddMIMEFilter(system, "image/png", kPrintStreamFormat, FilterPng, nullptr);
  SetVersion(system);
  AddWebInterface(system);
  // What a crash left: jobs that were printing end aborted, scratch goes.
  const char* spool = Option(count, options, "spool-directory", nullptr);
  const std::vector<InterruptedJob> interrupted =
      SetInterruptedJobsAside(StateFile(), spool != nullptr ? spool : "");
  papplSystemLoadState(system, StateFile().c_str());
  MarkInterruptedJobs(system, interrupted);
  papplSystemSetSaveCallback(system, SaveState, nullptr);
  papplSystemAddTimerCallback(system, 0, 1, Tick, nullptr);
  return system;
}

}  // namespace quillfern
