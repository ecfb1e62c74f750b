#include "app/system_stop.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "app/job_messages.h"
#include "app/job_seams.h"
#include "app/job_turns.h"
#include "app/state_file.h"
#include "app/state_job_marks.h"
#include "app/system_dnssd.h"
#include "app/system_paths.h"
#include "common/child_process.h"

namespace quillfern {

namespace {

constexpr auto kStopDeadline = std::chrono::milliseconds(4000);
// A device that takes nothing for this long is abandoned at a stop.
constexpr int kStalledSeconds = 10;
volatile sig_atomic_t stopSignalled = 0;
// The server's command line, for a restart.
std::vector<char*> commandLine;

// It only sets a flag; the next tick acts on it.
void StopSignal(int) {
  stopSignalled = 1;
}

void InstallStopSignals() {
  struct sigaction action = {};
  action.sa_handler = StopSignal;
  // PAPPL's threads' reads and writes go on; the next tick sees the flag.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

// The jobs sending to their printers, and how many of them still are.
struct Sending {
  std::set<std::pair<int, int>> marked;
  int count = 0;
};

// Cancels the printer's job that is sending (the page in hand becomes its
// last); jobs still waiting for their turn are left to the next start.
void CancelSendingJobs(pappl_printer_t* printer, void* data) {
  auto* sending = static_cast<Sending*>(data);
  const int printerId = papplPrinterGetID(printer);
  for (int id : ActiveJobIds(printer, IPP_JSTATE_PROCESSING)) {
    if (sending->marked.count({printerId, id}) == 0) continue;
    ++sending->count;
    pappl_job_t* job = papplPrinterFindJob(printer, id);
    if (job == nullptr || papplJobIsCanceled(job)) continue;
    papplJobSetMessage(job, "%s", kCanceledByStop);
    papplJobCancel(job);
  }
}

// PAPPL starts no new job on a paused printer.  (PAPPL 1.3.1 does not save
// the paused state: the printers come back running.)
void PausePrinter(pappl_printer_t* printer, void*) {
  papplPrinterPause(printer);
}

// A stop: the printers paused, new jobs refused, the sending jobs
// cancelled; once none is sending (or at the deadline, unless a device is
// still taking a record) the state is saved and the process ends.
bool CarryOutStop(pappl_system_t* system) {
  static bool stopping = false;
  static std::chrono::steady_clock::time_point stopAsked;
  if (!stopping) {
    stopping = true;
    stopAsked = std::chrono::steady_clock::now();
    papplSystemIteratePrinters(system, PausePrinter, nullptr);
    papplLog(system, PAPPL_LOGLEVEL_INFO,
             "Stopping: new jobs are refused, printing jobs cancelled.");
  }
  Sending sending;
  sending.marked = TakeJobMarks(StateDirectory(), JobMark::kSending, false);
  papplSystemIteratePrinters(system, CancelSendingJobs, &sending);
  const bool early = std::chrono::steady_clock::now() - stopAsked < kStopDeadline;
  // A record is never cut while its device takes data.
  if (sending.count > 0 && (early || DeviceTookDataWithin(kStalledSeconds))) return true;
  SaveStateNow(system);
  ChildProcess::KillAll();
  papplLog(system, PAPPL_LOGLEVEL_INFO, "Stopped; pending jobs print after the next start.");
  _exit(0);
}

// Nothing of this process but the standard streams outlives an exec: the
// listeners above all, which the new server binds again.
void CloseOnExec() {
  DIR* fds = opendir("/proc/self/fd");
  if (fds == nullptr) return;
  const int own = dirfd(fds);
  while (const dirent* entry = readdir(fds)) {
    const int fd = atoi(entry->d_name);
    if (fd > 2 && fd != own) fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  closedir(fds);
}

void CountProcessingJobs(pappl_printer_t* printer, void* data) {
  *static_cast<size_t*>(data) += ActiveJobIds(printer, IPP_JSTATE_PROCESSING).size();
}

// Has an idle printer look at its pending jobs.  A printer paused since
// the start (PAPPL does not reload a pause) stays paused, and one that
// already prints is left to it.
void ResumeIdlePrinter(pappl_printer_t* printer) {
  if (papplPrinterGetState(printer) == IPP_PSTATE_IDLE) papplPrinterResume(printer);
}

// A restart: the printers paused so that nothing new starts, and once no
// job is printing the state is saved and the program runs itself again.
// Jobs waiting print after it, as after a stop.
bool CarryOutRestart(pappl_system_t* system) {
  static bool pausing = false;
  if (!pausing) {
    pausing = true;
    papplSystemIteratePrinters(system, PausePrinter, nullptr);
    papplLog(system, PAPPL_LOGLEVEL_INFO,
             "avahi-daemon is back: restarting once no job is printing, to advertise the "
             "printers again.");
  }
  size_t processing = 0;
  papplSystemIteratePrinters(system, CountProcessingJobs, &processing);
  if (processing > 0) return true;
  SaveStateNow(system);
  ChildProcess::KillAll();
  papplLog(system, PAPPL_LOGLEVEL_INFO, "Restarting.");
  CloseOnExec();
  execv("/proc/self/exe", commandLine.data());
  papplLog(system, PAPPL_LOGLEVEL_ERROR, "Unable to restart: %s", strerror(errno));
  _exit(1);
}

}  // namespace

void RememberCommandLine(int argc, char* argv[]) {
  commandLine.assign(argv, argv + argc);
  commandLine.push_back(nullptr);
}

bool Tick(pappl_system_t* system, void*) {
  static bool signalsInstalled = false;
  if (!signalsInstalled) {
    // PAPPL installs its own handlers when its loop starts; these replace them.
    InstallStopSignals();
    signalsInstalled = true;
    // PAPPL 1.3.1 starts the jobs it reloaded pending only when something
    // else makes it look (a new job): resuming a printer does.
    papplSystemIteratePrinters(
        system, [](pappl_printer_t* printer, void*) { ResumeIdlePrinter(printer); }, nullptr);
  }
  papplSystemIteratePrinters(
      system, [](pappl_printer_t* printer, void*) { ReleaseIdleHolds(printer); }, nullptr);
  static bool restarting = false;
  if (KeepAdvertising(system)) restarting = true;
  if (stopSignalled && !papplSystemIsShutdown(system)) papplSystemShutdown(system);
  if (papplSystemIsShutdown(system)) return CarryOutStop(system);
  return restarting && !commandLine.empty() ? CarryOutRestart(system) : true;
}

}  // namespace quillfern
