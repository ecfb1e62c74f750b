#include "filter/page_loop.h"

#include <cups/raster.h>

#include <memory>
#include <string>

#include "common/log.h"
#include "core/conversion_job.h"
#include "filter/signals.h"
#include "common/log_text.h"

namespace quillfern {

namespace {

struct RasterCloser {
  void operator()(cups_raster_t* raster) const { cupsRasterClose(raster); }
};
using UniqueRaster = std::unique_ptr<cups_raster_t, RasterCloser>;

// Pulls every page's pixels in one read, then reads the next header ahead:
// a page is the last when no usable header follows it.
int PullPages(cups_raster_t* raster, cups_page_header2_t& header, ConversionJob& job) {
  if (!job.StartPage(header)) return job.exitStatus();
  while (true) {
    const unsigned got =
        cupsRasterReadPixels(raster, job.PageBuffer(), static_cast<unsigned>(job.PageBytes()));
    if (!job.PageFilled(got)) return job.exitStatus();
    if (job.pageCut() || !cupsRasterReadHeader2(raster, &header)) return job.EndJob();
    if (!job.StartPage(header)) return job.exitStatus();
  }
}

}  // namespace

int RunPageLoop(JobSetup& job, const PageLoopPlaces& places) {
  std::string problem;
  std::unique_ptr<WorkDirectory> work =
      OpenWorkDirectory(places.work, job.settings.jobId, &problem);
  if (!work) {
    LogPrintf("ERROR: %s\n", LogText(problem).c_str());
    return 1;
  }
  UniqueRaster raster(cupsRasterOpen(places.rasterFd, CUPS_RASTER_READ));
  cups_page_header2_t header;
  if (!raster || !cupsRasterReadHeader2(raster.get(), &header)) {
    LogPuts("DEBUG: First page header is null \n");
    return 0;
  }

  PbmtojbgEncoder pbmtojbg;
  FileSink printer(places.output);
  PrinterOutput output(printer);
  JobServices services;
  services.work = work.get();
  services.encoder = places.encoder != nullptr ? places.encoder : &pbmtojbg;
  services.output = &output;
  services.cancelled = [] { return cancel_job != 0; };
  ConversionJob conversion(job, services);
  return PullPages(raster.get(), header, conversion);
}

}  // namespace quillfern
