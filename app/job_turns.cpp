#include "app/job_turns.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "app/state_job_marks.h"
#include "app/system_paths.h"

namespace quillfern {

namespace {

// The jobs of one printer that hold or wait for its turn, and the pending
// jobs a finished turn held back.
struct PrinterJobs {
  std::map<int, std::thread::id> taking;  // job id, the thread of the start that took it
  std::set<int> heldByUs;
};

std::mutex turnsMutex;
std::condition_variable turnEnded;
std::map<int, PrinterJobs>& Printers() {
  static std::map<int, PrinterJobs> printers;
  return printers;
}

bool OlderJobProcessing(pappl_printer_t* printer, int jobId) {
  for (int id : ActiveJobIds(printer, IPP_JSTATE_PROCESSING)) {
    if (id < jobId) return true;
  }
  return false;
}

// Gives back the pending jobs that an earlier turn held.
void ReleaseHeldJobs(pappl_printer_t* printer, std::set<int> held) {
  for (int id : held) {
    pappl_job_t* job = papplPrinterFindJob(printer, id);
    if (job != nullptr) papplJobRelease(job, nullptr);
    ClearJobMark(StateDirectory(), JobMark::kHeld, papplPrinterGetID(printer), id);
  }
}

// Holds every pending job but the oldest, so that PAPPL starts that one
// next; returns the ids held.
std::set<int> HoldNewerPendingJobs(pappl_printer_t* printer) {
  std::vector<int> pending = ActiveJobIds(printer, IPP_JSTATE_PENDING);
  std::set<int> held;
  if (pending.size() < 2) return held;
  const int oldest = *std::min_element(pending.begin(), pending.end());
  for (int id : pending) {
    pappl_job_t* job = id != oldest ? papplPrinterFindJob(printer, id) : nullptr;
    if (job == nullptr) continue;
    // Marked first: a hold nobody knows of after a crash would last for ever.
    SetJobMark(StateDirectory(), JobMark::kHeld, papplPrinterGetID(printer), id);
    if (papplJobHold(job, nullptr, nullptr, 0)) {
      held.insert(id);
    } else {
      ClearJobMark(StateDirectory(), JobMark::kHeld, papplPrinterGetID(printer), id);
    }
  }
  return held;
}

}  // namespace

std::vector<int> ActiveJobIds(pappl_printer_t* printer, ipp_jstate_t state) {
  struct Search {
    ipp_jstate_t state;
    std::vector<int> ids;
  } search{state, {}};
  papplPrinterIterateActiveJobs(
      printer,
      [](pappl_job_t* job, void* data) {
        auto* found = static_cast<Search*>(data);
        if (papplJobGetState(job) == found->state) found->ids.push_back(papplJobGetID(job));
      },
      &search, 1, 0);
  return search.ids;
}

PrinterTurn::Result PrinterTurn::Take() {
  pappl_printer_t* printer = papplJobGetPrinter(job_);
  const int printerId = papplPrinterGetID(printer);
  const int jobId = papplJobGetID(job_);
  std::set<int> held;
  {
    std::unique_lock<std::mutex> lock(turnsMutex);
    PrinterJobs& jobs = Printers()[printerId];
    const auto holder = jobs.taking.find(jobId);
    // The start that holds the turn, asking again from within: it goes on.
    if (holder != jobs.taking.end() && holder->second == std::this_thread::get_id()) return kGo;
    if (holder != jobs.taking.end()) {
      // The same job, started a second time: wait until the first start is done.
      turnEnded.wait(lock, [&] { return Printers()[printerId].taking.count(jobId) == 0; });
      return kAlreadyPrinted;
    }
    jobs.taking.emplace(jobId, std::this_thread::get_id());
    taken_ = true;
    held.swap(jobs.heldByUs);
  }
  ReleaseHeldJobs(printer, held);
  for (;;) {
    if (papplJobIsCanceled(job_)) return kCancelled;
    bool olderTaking;
    {
      std::lock_guard<std::mutex> lock(turnsMutex);
      olderTaking = Printers()[printerId].taking.begin()->first < jobId;
    }
    // Once the server stops, a job waiting for its turn waits for the next
    // start: it is pending again then, having sent nothing.
    const bool stopping = papplSystemIsShutdown(papplPrinterGetSystem(printer));
    if (!stopping && !olderTaking && !OlderJobProcessing(printer, jobId)) {
      // From here on the job may be on paper, should the server die.
      SetJobMark(StateDirectory(), JobMark::kSending, printerId, jobId);
      sending_ = true;
      return kGo;
    }
    std::unique_lock<std::mutex> lock(turnsMutex);
    turnEnded.wait_for(lock, std::chrono::milliseconds(100));
  }
}

PrinterTurn::~PrinterTurn() {
  if (!taken_) return;
  pappl_printer_t* printer = papplJobGetPrinter(job_);
  const int printerId = papplPrinterGetID(printer);
  if (sending_) ClearJobMark(StateDirectory(), JobMark::kSending, printerId, papplJobGetID(job_));
  std::set<int> held = HoldNewerPendingJobs(printer);
  {
    std::lock_guard<std::mutex> lock(turnsMutex);
    PrinterJobs& jobs = Printers()[printerId];
    jobs.taking.erase(papplJobGetID(job_));
    jobs.heldByUs.insert(held.begin(), held.end());
  }
  turnEnded.notify_all();
}

void ReleaseIdleHolds(pappl_printer_t* printer) {
  // PAPPL's locks are never taken while turnsMutex is held.
  if (!ActiveJobIds(printer, IPP_JSTATE_PROCESSING).empty()) return;
  const int printerId = papplPrinterGetID(printer);
  std::set<int> held;
  {
    std::lock_guard<std::mutex> lock(turnsMutex);
    PrinterJobs& jobs = Printers()[printerId];
    if (!jobs.taking.empty()) return;
    held.swap(jobs.heldByUs);
  }
  ReleaseHeldJobs(printer, held);
}

}  // namespace quillfern
