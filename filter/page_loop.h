// The filter's page loop: the CUPS front end of the conversion core.  It
// prepares the shared work directory, pulls raster pages from the CUPS
// raster stream, and pushes them into a ConversionJob, reading each next
// page header ahead so that the core knows which page is the last.
#ifndef QUILLFERN_FILTER_PAGE_LOOP_H_
#define QUILLFERN_FILTER_PAGE_LOOP_H_

#include <cstdio>

#include "core/job_setup.h"
#include "core/page_encoder.h"
#include "filter/work_dir.h"

namespace quillfern {

// Where the page loop reads, writes and keeps its files.  The filter uses
// the defaults; tests point them elsewhere.
struct PageLoopPlaces {
  WorkPlaces work;                 // the work directory, its lock, the fallback
  int rasterFd = 0;                // the CUPS raster stream
  FILE* output = stdout;           // the printer
  PageEncoder* encoder = nullptr;  // pbmtojbg unless a test says otherwise
};

// Runs the job to its end and returns main's exit status: 0 for a normal
// end, a cancellation or an empty raster stream; 1 for an unusable work
// directory, an unusable raster header, memory that cannot be had, a raster
// that ends inside a page, or a printer that stopped reading; -1 when a
// page's files cannot be made, encoded or read back.
int RunPageLoop(JobSetup& job, const PageLoopPlaces& places);

}  // namespace quillfern

#endif  // QUILLFERN_FILTER_PAGE_LOOP_H_
