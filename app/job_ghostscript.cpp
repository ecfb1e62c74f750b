#include "app/job_ghostscript.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "app/job_messages.h"
#include "app/job_seams.h"
#include "common/child_process.h"
#include "common/log.h"
#include "common/log_text.h"

namespace quillfern {

namespace {

constexpr std::chrono::milliseconds kStopGrace(1000);
// A page within a millimetre of the sheet fits it.
constexpr int kFitSlackPoints = 3;

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

// Reads what is left until the writer closes its end.
void DrainPipe(int fd) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0 || (got < 0 && errno == EINTR)) continue;
    return;
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

// Whether `page` fits `sheet`, either way up no turning.
bool Fits(PointSize page, PointSize sheet) {
  return page.width <= sheet.width + kFitSlackPoints &&
         page.length <= sheet.length + kFitSlackPoints;
}

// The media a page is fitted to so that it covers the sheet: the sheet
// grown to the page's shape.
PointSize Cover(PointSize page, PointSize sheet) {
  if (page.width <= 0 || page.length <= 0) return sheet;
  // Compare sheet.width / page.width with sheet.length / page.length in 64 bits.
  const long long across = static_cast<long long>(sheet.width) * page.length;
  const long long down = static_cast<long long>(sheet.length) * page.width;
  if (across >= down) {
    return {sheet.width, static_cast<int>((across + page.width - 1) / page.width)};
  }
  return {static_cast<int>((down + page.length - 1) / page.length), sheet.length};
}

// How one page is laid: its own size, or fitted to a media.
GhostscriptRun RunFor(PdfScaling scaling, PointSize page, PointSize sheet) {
  GhostscriptRun run;
  run.media = sheet;
  if (scaling == PdfScaling::kNone || (scaling == PdfScaling::kFitIfLarger && Fits(page, sheet))) {
    run.ownSize = true;
  } else if (scaling == PdfScaling::kFill) {
    run.media = Cover(page, sheet);
  }
  return run;
}

bool SameLayout(const GhostscriptRun& a, const GhostscriptRun& b) {
  return a.ownSize == b.ownSize && a.media.width == b.media.width &&
         a.media.length == b.media.length;
}

// Adds `page` to a page list, as part of a range where it follows the last.
void AddPage(std::string* list, int* last, int page) {
  if (*last != 0 && page == *last + 1) {
    const size_t dash = list->rfind('-');
    const size_t comma = list->rfind(',');
    if (dash != std::string::npos && (comma == std::string::npos || dash > comma)) {
      list->erase(dash);
    }
    *list += "-" + std::to_string(page);
  } else {
    if (!list->empty()) *list += ',';
    *list += std::to_string(page);
  }
  *last = page;
}

}  // namespace

PointSize SheetPoints(int width, int length) {
  return {(width * 72 + 1270) / 2540, (length * 72 + 1270) / 2540};
}

std::vector<std::string> GhostscriptArguments(const char* pdf, int resolution,
                                              const GhostscriptRun& run) {
  std::vector<std::string> args = {"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE",
                                   // Its messages on standard error: standard output is the raster.
                                   "-sstdout=%stderr", "-sDEVICE=pwgraster", "-dcupsColorSpace=3",
                                   "-dcupsBitsPerColor=1", "-r" + std::to_string(resolution)};
  if (!run.ownSize) {
    args.push_back("-dDEVICEWIDTHPOINTS=" + std::to_string(run.media.width));
    args.push_back("-dDEVICEHEIGHTPOINTS=" + std::to_string(run.media.length));
    args.push_back("-dFIXEDMEDIA");
    args.push_back("-dPDFFitPage");
  }
  if (!run.pageList.empty()) args.push_back("-sPageList=" + run.pageList);
  args.insert(args.end(), {"-sOutputFile=-", "-f", pdf});
  return args;
}

std::vector<GhostscriptRun> PlanRuns(PdfScaling scaling, const std::vector<PointSize>& pages,
                                     PointSize sheet, const PageSelection& selection) {
  std::vector<GhostscriptRun> runs;
  int last = 0;
  for (size_t i = 0; i < pages.size(); ++i) {
    GhostscriptRun run = RunFor(scaling, pages[i], sheet);
    if (runs.empty() || !SameLayout(runs.back(), run)) {
      runs.push_back(run);
      last = 0;
    }
    AddPage(&runs.back().pageList, &last, selection.NthPage(static_cast<int>(i) + 1));
  }
  return runs;
}

Rendering RunGhostscript(pappl_job_t* job, const std::vector<std::string>& arguments,
                         const RasterReader& read) {
  Rendering rendering;
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    rendering.startError = errno;
    return rendering;
  }
  ChildProcess gs;
  rendering.startError = gs.Start(arguments, pipeFds[1]);
  close(pipeFds[1]);
  if (rendering.startError == 0) {
    CancelWatch watch(job, gs.pid());
    cups_raster_t* raster = cupsRasterOpen(pipeFds[0], CUPS_RASTER_READ);
    if (raster != nullptr) {
      rendering.pages = read(raster, &rendering.jobEnded);
      cupsRasterClose(raster);
    }
    // Whatever Ghostscript still writes is read, so that it ends by itself
    // and says why it stopped, unless the job needs no more of it.
    if (!rendering.jobEnded) DrainPipe(pipeFds[0]);
    rendering.stoppedByCancel = watch.stoppedGhostscript();
  }
  close(pipeFds[0]);
  if (rendering.startError != 0) return rendering;
  if (rendering.jobEnded) gs.Stop(kStopGrace);
  rendering.status = gs.Wait();
  rendering.messages = gs.messages();
  LogGhostscriptMessages(job, gs);
  return rendering;
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

}  // namespace quillfern
