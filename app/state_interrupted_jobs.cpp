#include "app/state_interrupted_jobs.h"

#include <cups/cups.h>
#include <cups/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

#include "app/job_seams.h"
#include "app/state_job_marks.h"
#include "common/owners.h"

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

// The span of the value of option `name` in a state file line of
// NAME=VALUE options (values may be quoted), or false.
bool FindOptionValue(const std::string& line, const std::string& name, size_t* begin, size_t* end) {
  size_t at = line.find(' ');
  while (at != std::string::npos && at < line.size()) {
    while (at < line.size() && line[at] == ' ') ++at;
    const size_t equals = line.find('=', at);
    if (equals == std::string::npos) return false;
    size_t stop = equals + 1;
    for (char quote = 0; stop < line.size() && (quote != 0 || line[stop] != ' '); ++stop) {
      if (line[stop] == '\\') {
        ++stop;
      } else if (line[stop] == '"' || line[stop] == '\'') {
        quote = quote == 0 ? line[stop] : (quote == line[stop] ? 0 : quote);
      }
    }
    if (line.compare(at, equals - at, name) == 0) {
      *begin = equals + 1;
      *end = std::min(stop, line.size());
      return true;
    }
    at = stop;
  }
  return false;
}

// Rewrites the state file with `jobs` (printer id, job id) pending again:
// they were processing for PAPPL but only waiting for their turn, and
// PAPPL would reload them as processing, never to finish.
void ReturnToPending(const std::string& stateFile, const std::set<std::pair<int, int>>& jobs) {
  if (jobs.empty()) return;
  UniqueFile in = OpenFile(stateFile.c_str(), "r");
  const std::string next = stateFile + ".pending";
  UniqueFile out = OpenFile(next.c_str(), "w");
  if (!in || !out) return;
  char buffer[8192];
  int printerId = 0;
  while (fgets(buffer, sizeof buffer, in.get()) != nullptr) {
    std::string line = buffer;
    const bool ended = !line.empty() && line.back() == '\n';
    if (ended) line.pop_back();
    size_t begin = 0, end = 0;
    if (line.rfind("<Printer ", 0) == 0 && FindOptionValue(line, "id", &begin, &end)) {
      printerId = atoi(line.substr(begin, end - begin).c_str());
    } else if (line.rfind("Job ", 0) == 0 && FindOptionValue(line, "id", &begin, &end) &&
               jobs.count({printerId, atoi(line.substr(begin, end - begin).c_str())}) != 0 &&
               FindOptionValue(line, "state", &begin, &end)) {
      line = line.substr(0, begin) + std::to_string(IPP_JSTATE_PENDING) + line.substr(end);
    }
    fprintf(out.get(), "%s%s", line.c_str(), ended ? "\n" : "");
  }
  if (fclose(out.release()) == 0) rename(next.c_str(), stateFile.c_str());
}

}  // namespace

std::vector<InterruptedJob> SetInterruptedJobsAside(const std::string& stateFile,
                                                    const std::string& spool,
                                                    const std::string& stateDirectory) {
  std::set<std::pair<int, int>> started = JobsWithScratch(spool);
  const std::set<std::pair<int, int>> sending =
      TakeJobMarks(stateDirectory, JobMark::kSending, true);
  started.insert(sending.begin(), sending.end());
  std::vector<InterruptedJob> interrupted;
  std::set<std::pair<int, int>> waiting;
  for (const SavedJob& job : ReadSavedJobs(stateFile)) {
    const bool processing = job.state == IPP_JSTATE_PROCESSING || job.state == IPP_JSTATE_STOPPED;
    const bool unfinished = job.state < IPP_JSTATE_CANCELED;
    const bool wasSending = started.count({job.printerId, job.jobId}) != 0;
    if (unfinished && processing && !wasSending) waiting.insert({job.printerId, job.jobId});
    if (!unfinished || !wasSending) continue;
    if (!job.document.empty())
      rename(job.document.c_str(), (job.document + ".interrupted").c_str());
    interrupted.push_back({job.printer, job.jobId, job.document});
  }
  ReturnToPending(stateFile, waiting);
  if (!spool.empty()) RemoveLeftoverJobDirectories(spool);
  return interrupted;
}

void ReleaseMarkedHolds(pappl_system_t* system, const std::string& stateDirectory) {
  for (const auto& [printerId, jobId] : TakeJobMarks(stateDirectory, JobMark::kHeld, true)) {
    pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, printerId, nullptr);
    pappl_job_t* job = printer != nullptr ? papplPrinterFindJob(printer, jobId) : nullptr;
    if (job != nullptr) papplJobRelease(job, nullptr);
  }
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
