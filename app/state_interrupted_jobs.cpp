#include "app/state_interrupted_jobs.h"

#include <cups/cups.h>
#include <cups/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

#include "app/job_seams.h"

namespace quillfern {

namespace {

// The state file's printers (id to name) and jobs, as PAPPL writes them:
// "<Printer id=... name=...>" blocks holding "Job id=... state=... filename=...".
struct SavedJob {
  std::string printer;
  int printerId = 0;
  int jobId = 0;
  int state = 0;
  std::string document;
};

std::vector<SavedJob> ReadSavedJobs(const std::string& stateFile) {
  std::vector<SavedJob> jobs;
  cups_file_t* file = cupsFileOpen(stateFile.c_str(), "r");
  if (file == nullptr) return jobs;
  char line[2048];
  char* value = nullptr;
  int lineNumber = 0;
  std::string printer;
  int printerId = 0;
  while (cupsFileGetConf(file, line, sizeof line, &value, &lineNumber)) {
    if (value == nullptr) continue;
    const bool printerLine = strcasecmp(line, "<Printer") == 0;
    if (!printerLine && strcasecmp(line, "Job") != 0) continue;
    cups_option_t* options = nullptr;
    const int count = cupsParseOptions(value, 0, &options);
    auto option = [&](const char* name) {
      const char* text = cupsGetOption(name, count, options);
      return std::string(text != nullptr ? text : "");
    };
    if (printerLine) {
      printer = option("name");
      printerId = atoi(option("id").c_str());
    } else {
      jobs.push_back({printer, printerId, atoi(option("id").c_str()), atoi(option("state").c_str()),
                      option("filename")});
    }
    cupsFreeOptions(count, options);
  }
  cupsFileClose(file);
  return jobs;
}

// The (printer id, job id) of every scratch directory in `spool`.
std::set<std::pair<int, int>> JobsWithScratch(const std::string& spool) {
  std::set<std::pair<int, int>> jobs;
  std::error_code error;
  if (spool.empty()) return jobs;
  for (const auto& entry : std::filesystem::directory_iterator(spool, error)) {
    int printerId = 0, jobId = 0;
    const std::string name = entry.path().filename().string();
    const std::string format = std::string(kJobDirectoryPrefix) + "%d-%d-";
    if (sscanf(name.c_str(), format.c_str(), &printerId, &jobId) == 2) {
      jobs.insert({printerId, jobId});
    }
  }
  return jobs;
}

}  // namespace

std::vector<InterruptedJob> SetInterruptedJobsAside(const std::string& stateFile,
                                                    const std::string& spool) {
  const std::set<std::pair<int, int>> started = JobsWithScratch(spool);
  std::vector<InterruptedJob> interrupted;
  for (const SavedJob& job : ReadSavedJobs(stateFile)) {
    const bool processing = job.state == IPP_JSTATE_PROCESSING || job.state == IPP_JSTATE_STOPPED;
    const bool unfinished = job.state < IPP_JSTATE_CANCELED;
    if (!unfinished || (!processing && started.count({job.printerId, job.jobId}) == 0)) continue;
    if (!job.document.empty())
      rename(job.document.c_str(), (job.document + ".interrupted").c_str());
    interrupted.push_back({job.printer, job.jobId, job.document});
  }
  if (!spool.empty()) RemoveLeftoverJobDirectories(spool);
  return interrupted;
}

void MarkInterruptedJobs(pappl_system_t* system, const std::vector<InterruptedJob>& jobs) {
  struct Marking {
    const std::vector<InterruptedJob>* jobs;
  } marking{&jobs};
  papplSystemIteratePrinters(
      system,
      [](pappl_printer_t* printer, void* data) {
        for (const InterruptedJob& interrupted : *static_cast<Marking*>(data)->jobs) {
          if (interrupted.printer != papplPrinterGetName(printer)) continue;
          pappl_job_t* job = papplPrinterFindJob(printer, interrupted.jobId);
          if (job == nullptr) continue;
          papplJobSetMessage(job, "%s", kInterruptedMessage);
          papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Aborted: %s.", kInterruptedMessage);
        }
      },
      &marking);
  for (const InterruptedJob& interrupted : jobs) {
    if (!interrupted.document.empty()) unlink((interrupted.document + ".interrupted").c_str());
  }
}

}  // namespace quillfern
