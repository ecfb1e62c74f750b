// One print job of the printer application: the PAPPL side of the
// conversion core.  PAPPL's raster callbacks push the job's pages into a
// ConversionJob set up exactly as the CUPS filter sets up its jobs; the
// printer's bytes go to the PAPPL device, the log to the job's log, and a
// cancel from any client ends the job after the page in hand.
#ifndef QUILLFERN_APP_APP_JOB_H_
#define QUILLFERN_APP_APP_JOB_H_

#include <pappl/pappl.h>

#include <memory>
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
  // The text of the last "ERROR: " line, for the job's state message.
  const std::string& lastError() const { return lastError_; }

 private:
  void WriteLine(const std::string& line);

  pappl_job_t* job_;
  std::string pending_;
  std::string lastError_;
};

// The printer's bytes through the PAPPL device.
class PapplDeviceSink : public ByteSink {
 public:
  explicit PapplDeviceSink(pappl_device_t* device) : device_(device) {}
  int Write(const void* data, size_t size) override;
  int Flush() override;

 private:
  pappl_device_t* device_;
};

// A directory of the job's own under the application's spool directory,
// removed with everything in it when the job ends.
class JobDirectory : public WorkSpace {
 public:
  explicit JobDirectory(std::string directory) : directory_(std::move(directory)) {}
  ~JobDirectory() override;
  bool Create(std::string* problem);
  const std::string& directory() const override { return directory_; }

 private:
  std::string directory_;
};

// The raster callbacks of the driver, in PAPPL's order.
bool StartAppJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool StartAppPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                  unsigned page);
bool WriteAppLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned y,
                  const unsigned char* line);
bool EndAppPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                unsigned page);
bool EndAppJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

}  // namespace quillfern

#endif  // QUILLFERN_APP_APP_JOB_H_
