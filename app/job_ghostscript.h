// Ghostscript for PDF jobs: its command lines, the runs that lay a
// document's pages on the sheet as print-scaling asks, running it with its
// raster read as it comes, and judging from its status and messages
// whether a document printed whole.
#ifndef QUILLFERN_APP_JOB_GHOSTSCRIPT_H_
#define QUILLFERN_APP_JOB_GHOSTSCRIPT_H_

#include <cups/raster.h>
#include <pappl/pappl.h>

#include <functional>
#include <string>
#include <vector>

#include "app/job_settings.h"

namespace quillfern {

// A size in points (1/72 inch).
struct PointSize {
  int width = 0;
  int length = 0;
};

// One run of Ghostscript over some of a document's pages.
struct GhostscriptRun {
  std::string pageList;  // -sPageList ("2-3,7"); empty for every page
  bool ownSize = false;  // each page at its own size, else fitted to `media`
  PointSize media;       // the media a page is fitted to
};

// A sheet of `width` x `length` hundredths of millimetres, in points.
PointSize SheetPoints(int width, int length);

// Ghostscript's command line for `run`: one-bit black PWG raster at
// `resolution` dpi on standard output.
std::vector<std::string> GhostscriptArguments(const char* pdf, int resolution,
                                              const GhostscriptRun& run);

// The runs that lay the selected pages, whose sizes are `pages` (in the
// order printed), on `sheet` as `scaling` asks: fit scales a page to the
// sheet keeping its shape; fill scales it to cover the sheet (the media it
// is fitted to is the sheet grown to the page's shape; the page is then
// cropped to the sheet); none keeps its size (it is centred and cropped
// afterwards); fit-if-larger fits a page larger than the sheet and keeps
// the size of one that fits (within a millimetre).  Neighbouring pages laid
// alike share a run.
std::vector<GhostscriptRun> PlanRuns(PdfScaling scaling, const std::vector<PointSize>& pages,
                                     PointSize sheet, const PageSelection& selection);

// How a run of Ghostscript went.
struct Rendering {
  int startError = 0;  // errno when it could not be started
  int status = 0;      // its wait status
  std::string messages;
  int pages = 0;          // pages read from it
  bool jobEnded = false;  // the reader said the job can go no further
  bool stoppedByCancel = false;
};

// Reads a run's raster: returns the pages read, setting `*jobEnded` when the
// job can go no further.
using RasterReader = std::function<int(cups_raster_t* raster, bool* jobEnded)>;

// Runs Ghostscript with `arguments`, hands its raster to `read`, and stops
// it at once when the job is cancelled (SIGTERM, SIGKILL after a second) or
// the reader ended the job.  Its messages go to the job's log.
Rendering RunGhostscript(pappl_job_t* job, const std::vector<std::string>& arguments,
                         const RasterReader& read);

// Why a document Ghostscript rendered into `pages` pages, ending with wait
// status `status` and saying `messages`, was not printed whole (the text
// for job-state-message), or empty when it was.  Ghostscript exits 0 for
// some documents it cannot open, so its messages count as much as its
// status.
std::string GhostscriptProblem(int status, const std::string& messages, int pages);

}  // namespace quillfern

#endif  // QUILLFERN_APP_JOB_GHOSTSCRIPT_H_
