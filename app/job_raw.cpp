#include "app/job_raw.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/job_messages.h"
#include "app/job_seams.h"
#include "app/job_turns.h"
#include "app/state_file.h"

namespace quillfern {

bool PrintRawStream(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device) {
  PrinterTurn turn(job);
  const PrinterTurn::Result result = turn.Take();
  if (result != PrinterTurn::kGo) return result == PrinterTurn::kAlreadyPrinted;
  SaveStateNow(papplPrinterGetSystem(papplJobGetPrinter(job)));
  JobDevice jobDevice(job, device);
  pappl_device_t* output = jobDevice.Open();
  if (output == nullptr) {
    papplJobSetMessage(job, "%s", AsSentence(kDeviceCannotBeOpened).c_str());
    return false;
  }
  const int fd = open(papplJobGetFilename(job), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    papplJobSetMessage(job, "Unable to open the print stream: %s", strerror(errno));
    return false;
  }
  char buffer[65536];
  ssize_t got;
  bool ok = true;
  while (ok && (got = read(fd, buffer, sizeof buffer)) > 0) {
    ok = papplDeviceWrite(output, buffer, static_cast<size_t>(got)) >= 0;
  }
  close(fd);
  if (!ok) papplJobSetMessage(job, "%s", AsSentence(kPrinterStoppedTakingData).c_str());
  return ok;
}

}  // namespace quillfern
