#include "app/job_raw.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/job_messages.h"
#include "app/job_seams.h"
#include "app/job_turns.h"
#include "app/state_file.h"
#include "common/owners.h"

namespace quillfern {

namespace {

// Sends the stream in `fd` to the device; false, with the job's message
// set, when it cannot be read or the device stops taking it.
bool SendStream(pappl_job_t* job, int fd, pappl_device_t* output) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      papplJobSetMessage(job, "Unable to read the print stream: %s", strerror(errno));
      return false;
    }
    if (got == 0) return true;
    NoteDeviceProgress();
    const bool written = papplDeviceWrite(output, buffer, static_cast<size_t>(got)) >= 0;
    NoteDeviceProgress();
    if (!written) {
      papplJobSetMessage(job, "%s", AsSentence(kPrinterStoppedTakingData).c_str());
      return false;
    }
  }
}

}  // namespace

bool PrintRawStream(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device) {
  PrinterTurn turn(job);
  const PrinterTurn::Result result = turn.Take();
  if (result != PrinterTurn::kGo) return result == PrinterTurn::kAlreadyPrinted;
  SaveStateNow(papplPrinterGetSystem(papplJobGetPrinter(job)));
  JobDevice jobDevice(job, device);
  pappl_device_t* output = jobDevice.Open();
  if (output == nullptr) {
    papplJobSetMessage(job, "%s", jobDevice.problem().c_str());
    return false;
  }
  UniqueFd fd(open(papplJobGetFilename(job), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    papplJobSetMessage(job, "Unable to open the print stream: %s", strerror(errno));
    return false;
  }
  // A stream is sent whole, even when cancelled: the printer must not be
  // left inside a record.
  return SendStream(job, fd.get(), output);
}

}  // namespace quillfern
