#include <cups/raster.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "app/app_job.h"
#include "app/driver.h"

extern char** environ;

namespace quillfern {

namespace {

// Ghostscript's command line: one-bit black PWG raster of the job's sheet
// at its resolution, on standard output.
std::vector<std::string> GhostscriptArguments(const char* pdf, const pappl_pr_options_t* options) {
  const int resolution = options->printer_resolution[0] > 0 ? options->printer_resolution[0] : 600;
  // The sheet in points, from hundredths of millimetres.
  const int width = (options->media.size_width * 72 + 1270) / 2540;
  const int length = (options->media.size_length * 72 + 1270) / 2540;
  return {"gs",
          "-q",
          "-dSAFER",
          "-dBATCH",
          "-dNOPAUSE",
          "-sDEVICE=pwgraster",
          "-dcupsColorSpace=3",
          "-dcupsBitsPerColor=1",
          "-r" + std::to_string(resolution),
          "-dDEVICEWIDTHPOINTS=" + std::to_string(width),
          "-dDEVICEHEIGHTPOINTS=" + std::to_string(length),
          "-dFIXEDMEDIA",
          "-dPDFFitPage",
          "-sOutputFile=-",
          "-f",
          pdf};
}

// Starts Ghostscript on the job's PDF, writing to a pipe; returns the read
// end, or -1.
int StartGhostscript(pappl_job_t* job, const pappl_pr_options_t* options, pid_t* pid) {
  const char* pdf = papplJobGetFilename(job);
  if (pdf == nullptr) return -1;
  std::vector<std::string> args = GhostscriptArguments(pdf, options);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const int spawned = posix_spawnp(pid, "gs", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (spawned != 0) {
    close(pipeFds[0]);
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unable to run Ghostscript: %s", strerror(spawned));
    return -1;
  }
  return pipeFds[0];
}

// Every page of the raster stream through the driver's page callbacks.
void PrintPages(cups_raster_t* raster, pappl_job_t* job, pappl_pr_options_t* options,
                pappl_device_t* device) {
  cups_page_header2_t header;
  std::vector<unsigned char> line;
  for (unsigned page = 1; cupsRasterReadHeader2(raster, &header); ++page) {
    options->header = header;
    StartAppPage(job, options, device, page);
    line.assign(header.cupsBytesPerLine, 0);
    for (unsigned y = 0; y < header.cupsHeight; ++y) {
      if (cupsRasterReadPixels(raster, line.data(), header.cupsBytesPerLine) == 0) break;
      WriteAppLine(job, options, device, y, line.data());
    }
    EndAppPage(job, options, device, page);
    if (papplJobIsCanceled(job)) break;
  }
}

}  // namespace

bool FilterPdf(pappl_job_t* job, pappl_device_t* device, void*) {
  pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 0, false);
  bool ok = StartAppJob(job, options, device);
  pid_t gs = -1;
  const int fd = ok ? StartGhostscript(job, options, &gs) : -1;
  if (fd >= 0) {
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    if (raster != nullptr) {
      PrintPages(raster, job, options, device);
      cupsRasterClose(raster);
    }
    close(fd);  // a cancelled job's Ghostscript stops on the closed pipe
    int status = 0;
    waitpid(gs, &status, 0);
  }
  ok = EndAppJob(job, options, device) && ok && fd >= 0;
  papplJobDeletePrintOptions(options);
  return ok;
}

}  // namespace quillfern
