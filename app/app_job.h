// One print job of the printer application: the PAPPL side of the
// conversion core.  PAPPL's raster callbacks push the job's pages into a
// ConversionJob set up exactly as the CUPS filter sets up its jobs; the
// printer's bytes go to the device, the log to the job's log, and a cancel
// from any client ends the job after the page in hand.  A job first takes
// its printer's turn (app/printer_turns.h), and owns a scratch directory
// that no other job ever sees.
#ifndef QUILLFERN_APP_APP_JOB_H_
#define QUILLFERN_APP_APP_JOB_H_

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

// Removes the scratch directories an earlier run of the application left in
// `spool` (a crash, a kill): only directories of its own naming.  Returns
// how many it removed.
int RemoveLeftoverJobDirectories(const std::string& spool);

// Ends a job that cannot be printed whole: `reason` in the job's log as an
// error and as the message the client sees.  Returns false, the result of
// the callback that gives up.
bool FailJob(pappl_job_t* job, const std::string& reason);

// The resolution a PDF or an image is rendered at.  An explicit
// printer-resolution wins; then print-quality: high is 1200 dpi, draft and
// normal 600 dpi (PAPPL 1.3.1 maps normal to the last resolution, and CUPS
// sends normal with every job); a job that asks for neither gets the
// printer's default resolution, which PAPPL itself leaves unused.  Raster
// prints at the resolution it was rendered at.
int JobResolution(pappl_job_t* job, const pappl_pr_options_t* options);

// The raster callbacks of the driver, in PAPPL's order.  Each returns false
// once the job has ended (failed, or cancelled after its page in hand), so
// that PAPPL stops feeding it.
bool StartAppJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
// After StartAppJob: true when this is a second start of a job PAPPL started
// twice, which the first start prints; the callbacks then do nothing.
bool IsRepeatedStart(pappl_job_t* job);
bool StartAppPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                  unsigned page);
bool WriteAppLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned y,
                  const unsigned char* line);
bool EndAppPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                unsigned page);
// Ends the job; false when it could not be printed whole, with the reason
// set as the job's message.
bool EndAppJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

// The printer's own format (a stream as the CUPS filter writes it), sent to
// the device as it is, in the job's turn.
bool PrintRawStream(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

}  // namespace quillfern

#endif  // QUILLFERN_APP_APP_JOB_H_
