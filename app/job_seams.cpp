#include "app/job_seams.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "app/job_connection.h"
#include "app/job_messages.h"

namespace quillfern {

// A last piece without its line end is still logged.
PapplJobLog::~PapplJobLog() {
  if (!pending_.empty()) WriteLine(pending_);
}

void PapplJobLog::Write(std::string_view text) {
  pending_.append(text);
  for (size_t end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
    WriteLine(pending_.substr(0, end));
    pending_.erase(0, end + 1);
  }
}

// A line at the level its CUPS prefix names; unprefixed lines are debug.
void PapplJobLog::WriteLine(const std::string& line) {
  static const struct {
    const char* prefix;
    pappl_loglevel_t level;
  } kLevels[] = {{"DEBUG: ", PAPPL_LOGLEVEL_DEBUG},
                 {"INFO: ", PAPPL_LOGLEVEL_INFO},
                 {"WARNING: ", PAPPL_LOGLEVEL_WARN},
                 {"ERROR: ", PAPPL_LOGLEVEL_ERROR}};
  for (const auto& level : kLevels) {
    if (line.rfind(level.prefix, 0) != 0) continue;
    papplLogJob(job_, level.level, "%s", line.c_str() + strlen(level.prefix));
    return;
  }
  papplLogJob(job_, PAPPL_LOGLEVEL_DEBUG, "%s", line.c_str());
}

namespace {

std::atomic<long long> lastDeviceProgress{0};  // steady clock, milliseconds

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void NoteDeviceProgress() {
  lastDeviceProgress = NowMs();
}

bool DeviceTookDataWithin(int seconds) {
  return NowMs() - lastDeviceProgress.load() < seconds * 1000LL;
}

int PapplDeviceSink::Write(const void* data, size_t size) {
  NoteDeviceProgress();
  const bool written = papplDeviceWrite(device_, data, size) >= 0;
  NoteDeviceProgress();
  return written ? 0 : EIO;
}

int PapplDeviceSink::Flush() {
  papplDeviceFlush(device_);
  return 0;
}

JobDirectory::~JobDirectory() {
  if (directory_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

bool JobDirectory::Create(const std::string& spool, int printerId, int jobId,
                          std::string* problem) {
  std::string name = spool + "/" + kJobDirectoryPrefix + std::to_string(printerId) + "-" +
                     std::to_string(jobId) + "-XXXXXX";
  if (mkdtemp(name.data()) == nullptr) {
    *problem = "cannot create a scratch directory in " + spool + ": " + strerror(errno);
    return false;
  }
  directory_ = name + "/";
  return true;
}

// PAPPL names no call for it: the name it gives a printer's file there
// shows where (opening it for reading makes no file).
std::string SpoolDirectory(pappl_printer_t* printer) {
  char name[1024] = "";
  const int fd = papplPrinterOpenFile(printer, name, sizeof name, nullptr, "probe", nullptr, "r");
  if (fd >= 0) close(fd);
  const std::string path = name;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string SpoolDirectory(pappl_job_t* job) {
  return SpoolDirectory(papplJobGetPrinter(job));
}

int RemoveLeftoverJobDirectories(const std::string& spool) {
  int removed = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(spool, error)) {
    const std::string name = entry.path().filename().string();
    struct stat status;
    if (name.rfind(kJobDirectoryPrefix, 0) != 0 || lstat(entry.path().c_str(), &status) != 0 ||
        !S_ISDIR(status.st_mode) || status.st_uid != geteuid()) {
      continue;
    }
    std::error_code ignored;
    std::filesystem::remove_all(entry.path(), ignored);
    ++removed;
  }
  return removed;
}

namespace {

// Where the device cannot be opened, the job's log says why.
void LogDeviceError(const char* message, void* job) {
  papplLogJob(static_cast<pappl_job_t*>(job), PAPPL_LOGLEVEL_ERROR, "%s", message);
}

}  // namespace

JobDevice::~JobDevice() {
  if (own_ != nullptr) papplDeviceClose(own_);
  if (connected_) DisconnectJob(device_);
}

pappl_device_t* JobDevice::Open() {
  const char* uri = papplPrinterGetDeviceURI(papplJobGetPrinter(job_));
  if (IsOwnNetworkUri(uri)) {
    connected_ = ConnectJob(job_, device_, &problem_);
    return connected_ ? device_ : nullptr;
  }
  if (uri == nullptr || strncmp(uri, "file:", 5) != 0) return device_;
  const char* name = papplJobGetName(job_);
  own_ = papplDeviceOpen(uri, name != nullptr ? name : "job", LogDeviceError, job_);
  if (own_ == nullptr) problem_ = AsSentence(kDeviceCannotBeOpened);
  return own_;
}

bool PageHeaderIsPapplsOwn(pappl_job_t* job, const pappl_pr_options_t* options) {
  pappl_pr_options_t* own =
      papplJobCreatePrintOptions(job, static_cast<unsigned>(papplJobGetImpressions(job)), false);
  const bool same =
      own != nullptr && memcmp(&own->header, &options->header, sizeof own->header) == 0;
  papplJobDeletePrintOptions(own);
  return same;
}

bool FailJob(pappl_job_t* job, const std::string& reason) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", reason.c_str());
  papplJobSetMessage(job, "%s", reason.c_str());
  return false;
}

}  // namespace quillfern
