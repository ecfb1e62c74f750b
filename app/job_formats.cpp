#include "app/job_formats.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "app/driver_facts.h"

namespace quillfern {

namespace {

struct UnprintableJob {
  pappl_system_t* system;
  int printerId;
  int jobId;
  std::string format;
};

// The jobs waiting for their message, and the thread that gives it.  Never
// destroyed: the thread may still wait when the process exits.
class MessageQueue {
 public:
  MessageQueue() {
    std::thread([this] { Run(); }).detach();
  }

  void Add(UnprintableJob job) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    added_.notify_one();
  }

 private:
  void Run() {
    for (;;) {
      UnprintableJob next;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        added_.wait(lock, [this] { return !jobs_.empty(); });
        next = std::move(jobs_.front());
        jobs_.pop_front();
      }
      SetMessage(next);
    }
  }

  static void SetMessage(const UnprintableJob& unprintable) {
    pappl_printer_t* printer =
        papplSystemFindPrinter(unprintable.system, nullptr, unprintable.printerId, nullptr);
    pappl_job_t* job =
        printer != nullptr ? papplPrinterFindJob(printer, unprintable.jobId) : nullptr;
    if (job == nullptr) return;
    papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
    papplJobSetMessage(job, "%s", UnsupportedFormatMessage(unprintable.format).c_str());
  }

  std::mutex mutex_;
  std::condition_variable added_;
  std::deque<UnprintableJob> jobs_;
};

MessageQueue& Queue() {
  static MessageQueue* queue = new MessageQueue;
  return *queue;
}

}  // namespace

bool IsPrintableFormat(const char* format) {
  static const char* const kFormats[] = {"application/pdf",  "image/jpeg", "image/png",
                                         "image/pwg-raster", "image/urf",  kPrintStreamFormat};
  for (const char* printable : kFormats) {
    if (format != nullptr && strcmp(format, printable) == 0) return true;
  }
  return false;
}

std::string UnsupportedFormatMessage(const std::string& format) {
  return "the printer cannot print documents of type " + format;
}

void NoteUnprintableJob(pappl_system_t* system, pappl_printer_t* printer, pappl_job_t* job,
                        pappl_event_t event) {
  const pappl_event_t kJobEvents = static_cast<pappl_event_t>(
      PAPPL_EVENT_JOB_CREATED | PAPPL_EVENT_JOB_STATE_CHANGED | PAPPL_EVENT_JOB_COMPLETED);
  if ((event & kJobEvents) == 0 || printer == nullptr || job == nullptr) return;
  const char* format = papplJobGetFormat(job);
  if (format == nullptr || IsPrintableFormat(format)) return;
  Queue().Add({system, papplPrinterGetID(printer), papplJobGetID(job), format});
}

}  // namespace quillfern
