// rastertoquillfern: the CUPS filter that turns one-bit CUPS raster pages
// into the printer's stream of JBIG-encoded pages.
//
// Usage (as CUPS runs it):
//   rastertoquillfern job user title copies options [file]
// with the PPD named by the PPD environment variable and the raster in
// `file` or, without it, on standard input.  The print stream goes to standard output, log lines
// with CUPS level prefixes to standard error.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/job_setup.h"
#include "filter/page_loop.h"
#include "filter/signals.h"
#include "params/auth_file.h"
#include "common/log_text.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

int main(int argc, char* argv[]) {
  InstallSignalHandlers();

  static JobSetup job;
  SetupSources sources;
  sources.ppdPath = getenv("PPD");
  sources.authPath = kAuthConfigPath;
  int status = SetupJob(argc, argv, sources, job);
  if (status != kSetupDone) return status;

  // The printer's bytes go out in large blocks; log lines stay unbuffered.
  static char outputBuffer[1 << 16];
  setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
  PageLoopPlaces places;
  places.work.privateRoot = PrivateWorkRoot();
  // CUPS names the document in argv[6] when this filter is the first of the
  // job's chain (a raster document printed as it is).
  if (argc == 7) {
    places.rasterFd = open(argv[6], O_RDONLY | O_CLOEXEC);
    if (places.rasterFd < 0) {
      fprintf(stderr, "ERROR: cannot open the raster file %s: %s\n", LogText(argv[6]).c_str(),
              strerror(errno));
      return 1;
    }
  }
  status = RunPageLoop(job, places);
  if (places.rasterFd != 0) close(places.rasterFd);
  return status;
}
