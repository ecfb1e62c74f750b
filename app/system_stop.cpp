#include "app/system_stop.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>

#include "app/job_turns.h"
#include "app/state_file.h"
#include "common/child_process.h"

namespace quillfern {

namespace {

constexpr auto kStopDeadline = std::chrono::milliseconds(4000);
volatile sig_atomic_t stopSignalled = 0;

// It only sets a flag; the next tick acts on it.
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

// A stop: new jobs are refused, printing jobs cancelled; once none is
// processing (or at the deadline) the state is saved and the process ends.
bool CarryOutStop(pappl_system_t* system) {
  static bool stopping = false;
  static std::chrono::steady_clock::time_point stopAsked;
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

}  // namespace

bool Tick(pappl_system_t* system, void*) {
  static bool signalsInstalled = false;
  if (!signalsInstalled) {
    // PAPPL installs its own handlers when its loop starts; these replace them.
    InstallStopSignals();
    signalsInstalled = true;
  }
  papplSystemIteratePrinters(
      system, [](pappl_printer_t* printer, void*) { ReleaseIdleHolds(printer); }, nullptr);
  if (stopSignalled && !papplSystemIsShutdown(system)) papplSystemShutdown(system);
  if (!papplSystemIsShutdown(system)) return true;
  return CarryOutStop(system);
}

}  // namespace quillfern
