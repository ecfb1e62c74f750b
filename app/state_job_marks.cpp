#include "app/state_job_marks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace quillfern {

namespace {

const char* Prefix(JobMark mark) {
  return mark == JobMark::kSending ? "sending-" : "held-";
}

std::string MarkPath(const std::string& stateDirectory, JobMark mark, int printerId, int jobId) {
  return JobMarksDirectory(stateDirectory) + "/" + Prefix(mark) + std::to_string(printerId) + "-" +
         std::to_string(jobId);
}

}  // namespace

std::string JobMarksDirectory(const std::string& stateDirectory) {
  return stateDirectory + "/job-marks";
}

bool SetJobMark(const std::string& stateDirectory, JobMark mark, int printerId, int jobId) {
  mkdir(JobMarksDirectory(stateDirectory).c_str(), 0700);
  const std::string path = MarkPath(stateDirectory, mark, printerId, jobId);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  return close(fd) == 0;
}

void ClearJobMark(const std::string& stateDirectory, JobMark mark, int printerId, int jobId) {
  unlink(MarkPath(stateDirectory, mark, printerId, jobId).c_str());
}

std::set<std::pair<int, int>> TakeJobMarks(const std::string& stateDirectory, JobMark mark,
                                           bool clear) {
  std::set<std::pair<int, int>> jobs;
  std::error_code error;
  const std::string format = std::string(Prefix(mark)) + "%d-%d%n";
  for (const auto& entry :
       std::filesystem::directory_iterator(JobMarksDirectory(stateDirectory), error)) {
    const std::string name = entry.path().filename().string();
    int printerId = 0, jobId = 0, length = 0;
    if (sscanf(name.c_str(), format.c_str(), &printerId, &jobId, &length) != 2 ||
        static_cast<size_t>(length) != name.size()) {
      continue;
    }
    jobs.insert({printerId, jobId});
    if (clear) unlink(entry.path().c_str());
  }
  return jobs;
}

}  // namespace quillfern
