#include "app/job_pdf.h"

#include <cups/raster.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "app/job_callbacks.h"
#include "app/job_messages.h"
#include "app/job_seams.h"
#include "app/job_settings.h"
#include "common/child_process.h"
#include "common/log.h"
#include "common/log_text.h"

namespace quillfern {

namespace {

constexpr std::chrono::milliseconds kStopGrace(1000);

// Stops Ghostscript as soon as its job is cancelled, while the job's thread
// may be waiting for its output: SIGTERM, then SIGKILL after a grace.  It
// ends before the job's thread reaps Ghostscript, so the process id it
// signals is always Ghostscript's.
class CancelWatch {
 public:
  CancelWatch(pappl_job_t* job, pid_t pid) : job_(job), pid_(pid), thread_([this] { Run(); }) {}
  ~CancelWatch() {
    done_ = true;
    thread_.join();
  }
  bool stoppedGhostscript() const { return signalled_; }

 private:
  void Run() {
    std::chrono::steady_clock::time_point terminatedAt;
    bool killed = false;
    while (!done_) {
      if (!signalled_ && papplJobIsCanceled(job_)) {
        kill(pid_, SIGTERM);
        signalled_ = true;
        terminatedAt = std::chrono::steady_clock::now();
      } else if (signalled_ && !killed &&
                 std::chrono::steady_clock::now() - terminatedAt > kStopGrace) {
        kill(pid_, SIGKILL);
        killed = true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  pappl_job_t* job_;
  pid_t pid_;
  std::atomic<bool> done_{false};
  std::atomic<bool> signalled_{false};
  std::thread thread_;
};

// How reading the rendered pages ended.
struct PagesRead {
  int pages = 0;
  bool jobEnded = false;  // a callback said the job can go no further
};

// Every page of the raster stream through the driver's page callbacks,
// until the stream ends or the job does.
PagesRead PrintPages(cups_raster_t* raster, pappl_job_t* job, pappl_pr_options_t* options,
                     pappl_device_t* device) {
  PagesRead read;
  cups_page_header2_t header;
  std::vector<unsigned char> line;
  while (cupsRasterReadHeader2(raster, &header)) {
    options->header = header;
    ++read.pages;
    if (!StartAppPage(job, options, device, static_cast<unsigned>(read.pages))) {
      read.jobEnded = true;
      return read;
    }
    line.assign(header.cupsBytesPerLine, 0);
    for (unsigned y = 0; y < header.cupsHeight; ++y) {
      if (cupsRasterReadPixels(raster, line.data(), header.cupsBytesPerLine) == 0) break;
      if (!WriteAppLine(job, options, device, y, line.data())) {
        read.jobEnded = true;
        return read;
      }
    }
    if (!EndAppPage(job, options, device, static_cast<unsigned>(read.pages))) {
      read.jobEnded = true;
      return read;
    }
  }
  return read;
}

void DrainPipe(int fd) {
  char buffer[65536];
  while (read(fd, buffer, sizeof buffer) > 0 || errno == EINTR) {
  }
}

// What Ghostscript said, in the job's log.
void LogGhostscriptMessages(pappl_job_t* job, const ChildProcess& gs) {
  PapplJobLog log(job);
  ScopedLog scoped(log);
  LogProgramMessages("Ghostscript", gs.messages(), gs.droppedBytes());
}

// The last page the job reached, for a message.
std::string AfterPages(int pages) {
  return pages == 0 ? "before its first page" : "after page " + std::to_string(pages);
}

}  // namespace

std::vector<std::string> GhostscriptArguments(const char* pdf, int resolution, int width,
                                              int length) {
  // The sheet in points, from hundredths of millimetres.
  const int widthPoints = (width * 72 + 1270) / 2540;
  const int lengthPoints = (length * 72 + 1270) / 2540;
  return {"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE",
          // Its messages on standard error: standard output is the raster.
          "-sstdout=%stderr", "-sDEVICE=pwgraster", "-dcupsColorSpace=3", "-dcupsBitsPerColor=1",
          "-r" + std::to_string(resolution), "-dDEVICEWIDTHPOINTS=" + std::to_string(widthPoints),
          "-dDEVICEHEIGHTPOINTS=" + std::to_string(lengthPoints), "-dFIXEDMEDIA", "-dPDFFitPage",
          "-sOutputFile=-", "-f", pdf};
}

std::string GhostscriptProblem(int status, const std::string& messages, int pages) {
  const bool unreadable = messages.find("Couldn't initialise file") != std::string::npos ||
                          messages.find("Unrecoverable error") != std::string::npos;
  const bool failed = unreadable || WIFSIGNALED(status) || !WIFEXITED(status) ||
                      WEXITSTATUS(status) != 0 || pages == 0;
  if (!failed) return "";
  if (messages.find("requires a password") != std::string::npos) return "the PDF is encrypted";
  if (unreadable) return "the document is not a printable PDF";
  if (WIFSIGNALED(status)) {
    return "Ghostscript was killed by signal " + std::to_string(WTERMSIG(status)) + " " +
           AfterPages(pages);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
    return "Ghostscript failed " + AfterPages(pages) + " (exit status " +
           std::to_string(WEXITSTATUS(status)) + ")";
  }
  return kNoPageToPrint;
}

namespace {

// How Ghostscript's run on a job's PDF went.
struct Rendering {
  int startError = 0;  // errno when it could not be started
  int status = 0;      // its wait status
  std::string messages;
  PagesRead read;
  bool stoppedByCancel = false;
};

// Reads Ghostscript's raster from `fd` into the driver's page callbacks,
// while a watch stops Ghostscript if the job is cancelled.
void ReadRenderedPages(int fd, pid_t gs, pappl_job_t* job, pappl_pr_options_t* options,
                       pappl_device_t* device, Rendering* rendering) {
  CancelWatch watch(job, gs);
  cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
  if (raster != nullptr) {
    rendering->read = PrintPages(raster, job, options, device);
    cupsRasterClose(raster);
  }
  // Whatever Ghostscript still writes is read, so that it ends by itself
  // and says why it stopped, unless the job needs no more of it.
  if (!rendering->read.jobEnded) DrainPipe(fd);
  rendering->stoppedByCancel = watch.stoppedGhostscript();
}

// Runs Ghostscript on the job's PDF and prints the pages it renders.
Rendering RenderAndPrint(const char* pdf, pappl_job_t* job, pappl_pr_options_t* options,
                         pappl_device_t* device) {
  Rendering rendering;
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    rendering.startError = errno;
    return rendering;
  }
  ChildProcess gs;
  rendering.startError =
      gs.Start(GhostscriptArguments(pdf, options->printer_resolution[0], options->media.size_width,
                                    options->media.size_length),
               pipeFds[1]);
  close(pipeFds[1]);
  if (rendering.startError == 0) {
    ReadRenderedPages(pipeFds[0], gs.pid(), job, options, device, &rendering);
  }
  close(pipeFds[0]);
  if (rendering.startError != 0) return rendering;
  // A job that ended early needs no more of Ghostscript's pages.
  if (rendering.read.jobEnded) gs.Stop(kStopGrace);
  rendering.status = gs.Wait();
  rendering.messages = gs.messages();
  LogGhostscriptMessages(job, gs);
  return rendering;
}

// The job's result once its pages are printed (`printed` is the core's): a
// cancelled or ended job is not Ghostscript's failure, a document it could
// not render whole aborts the job with the reason.
bool JudgeRendering(pappl_job_t* job, const Rendering& rendering, bool printed) {
  if (rendering.startError != 0) {
    papplJobSetMessage(job, "Ghostscript cannot be run: %s", strerror(rendering.startError));
    return false;
  }
  // A job the core ended (its message is set) or a cancel: not Ghostscript's.
  if (rendering.read.jobEnded || rendering.stoppedByCancel || papplJobIsCanceled(job)) {
    return printed;
  }
  const std::string problem =
      GhostscriptProblem(rendering.status, rendering.messages, rendering.read.pages);
  return problem.empty() ? printed : FailJob(job, problem);
}

}  // namespace

bool FilterPdf(pappl_job_t* job, pappl_device_t* device, void*) {
  pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 0, false);
  options->printer_resolution[0] = options->printer_resolution[1] = JobResolution(job, options);
  const char* pdf = papplJobGetFilename(job);
  bool ok = StartAppJob(job, options, device);
  if (ok && (IsRepeatedStart(job) || pdf == nullptr)) {
    const bool repeated = IsRepeatedStart(job);
    EndAppJob(job, options, device);
    ok = repeated;
  } else if (ok) {
    const Rendering rendering = RenderAndPrint(pdf, job, options, device);
    ok = JudgeRendering(job, rendering, EndAppJob(job, options, device));
  }
  papplJobDeletePrintOptions(options);
  return ok;
}

}  // namespace quillfern
