// The printer application's seams for a job: what the conversion core
// writes to, logs to and keeps its scratch files in, made of PAPPL's job,
// device and spool directory.
#ifndef QUILLFERN_APP_JOB_SEAMS_H_
#define QUILLFERN_APP_JOB_SEAMS_H_

#include <pappl/pappl.h>

#include <string>

#include "common/log.h"
#include "core/conversion_job.h"

namespace quillfern {

// The job's log lines into PAPPL's job log, at the level their prefix names.
class PapplJobLog : public LogSink {
 public:
  explicit PapplJobLog(pappl_job_t* job) : job_(job) {}
  ~PapplJobLog() override;
  void Write(std::string_view text) override;

 private:
  void WriteLine(const std::string& line);

  pappl_job_t* job_;
  std::string pending_;
};

// The printer's bytes through a PAPPL device.
class PapplDeviceSink : public ByteSink {
 public:
  explicit PapplDeviceSink(pappl_device_t* device) : device_(device) {}
  int Write(const void* data, size_t size) override;
  int Flush() override;

 private:
  pappl_device_t* device_;
};

// Whether a device took data within `seconds` (or a write to it began):
// a stop waits for a record in hand only while its device takes it.
bool DeviceTookDataWithin(int seconds);
// Notes that a device write begins or ended.
void NoteDeviceProgress();

// Scratch directories are named "quillfern-job-PRINTER-JOB-XXXXXX" in the
// application's spool directory.
constexpr char kJobDirectoryPrefix[] = "quillfern-job-";

// A new directory of the job's own under the spool directory, removed with
// everything in it when the job ends.  A page's files go as soon as the
// page has been handed on.
class JobDirectory : public WorkSpace {
 public:
  JobDirectory() = default;
  ~JobDirectory() override;
  JobDirectory(const JobDirectory&) = delete;
  JobDirectory& operator=(const JobDirectory&) = delete;
  // Creates it, never adopting one that exists; false with `problem` set.
  bool Create(const std::string& spool, int printerId, int jobId, std::string* problem);
  const std::string& directory() const override { return directory_; }
  bool keepsPageFiles() const override { return false; }

 private:
  std::string directory_;
};

// The application's spool directory, the one PAPPL keeps the printer's (or
// `job`'s) files in; empty when it cannot be found.
std::string SpoolDirectory(pappl_printer_t* printer);
std::string SpoolDirectory(pappl_job_t* job);

// Removes the scratch directories an earlier run of the application left in
// `spool` (a crash, a kill): only directories of its own naming.  Returns
// how many it removed.
int RemoveLeftoverJobDirectories(const std::string& spool);

// The device a job writes to.  PAPPL opens a printer's device when a job
// starts and may hand the same one to a job it started at the same time:
// for a file: device it is named after whichever job opened it and is
// closed when any job ends.  So a job on a file: device opens its own, named
// after itself, once it has its turn.  A network printer of the
// application's scheme is connected for the job alone (app/job_connection.h)
// and disconnected when the job ends.  Other devices (USB, PAPPL's network
// schemes) are one connection to the printer and are used as PAPPL opened
// them.
class JobDevice {
 public:
  JobDevice(pappl_job_t* job, pappl_device_t* device) : job_(job), device_(device) {}
  ~JobDevice();
  JobDevice(const JobDevice&) = delete;
  JobDevice& operator=(const JobDevice&) = delete;

  // The device to write to; null when the job's own cannot be opened (the
  // reason in the job's log) or its printer was not reached (problem()).
  pappl_device_t* Open();
  // Why Open() gave no device, as the job's message.
  const std::string& problem() const { return problem_; }

 private:
  pappl_job_t* job_;
  pappl_device_t* device_;
  pappl_device_t* own_ = nullptr;
  bool connected_ = false;
  std::string problem_;
};

// Whether the page header PAPPL hands the driver is the one PAPPL makes for
// the job itself.  PAPPL 1.3.1 passes a PWG or Apple raster page's own
// header only when the page is 8-bit; for a one-bit page it keeps a gray
// header of its own (its resolution and size) over the client's one-bit
// rows, and this is how such a page is told.
bool PageHeaderIsPapplsOwn(pappl_job_t* job, const pappl_pr_options_t* options);

// Ends a job that cannot be printed whole: `reason` in the job's log as an
// error and as the message the client sees.  Returns false, the result of
// the callback that gives up.
bool FailJob(pappl_job_t* job, const std::string& reason);

}  // namespace quillfern

#endif  // QUILLFERN_APP_JOB_SEAMS_H_
