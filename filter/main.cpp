// rastertoquillfern: the CUPS filter that turns one-bit CUPS raster pages
// into the printer's stream of JBIG-encoded pages.
//
// Usage (as CUPS runs it):
//   rastertoquillfern job user title copies options [file]
// with the PPD named by the PPD environment variable and the raster on
// standard input.  The print stream goes to standard output, log lines with
// CUPS level prefixes to standard error.

#include <cstdio>
#include <cstdlib>

#include "filter/job_setup.h"
#include "filter/page_loop.h"
#include "filter/signals.h"
#include "params/auth_file.h"

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
  return RunPageLoop(job, places);
}
