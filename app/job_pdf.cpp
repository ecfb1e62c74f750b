#include "app/job_pdf.h"

#include <cups/raster.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/job_callbacks.h"
#include "app/job_ghostscript.h"
#include "app/job_messages.h"
#include "app/job_seams.h"
#include "app/job_settings.h"

namespace quillfern {

namespace {

// The resolution page sizes are read at: enough for the page header, which
// gives the size in points, and little work for any size of page.
constexpr int kProbeResolution = 10;

// Every page of the raster stream through the driver's page callbacks,
// numbered on from `pagesBefore`, until the stream ends or the job does.
int PrintPages(cups_raster_t* raster, pappl_job_t* job, pappl_pr_options_t* options,
               pappl_device_t* device, int pagesBefore, bool* jobEnded) {
  int pages = 0;
  cups_page_header2_t header;
  std::vector<unsigned char> line;
  while (cupsRasterReadHeader2(raster, &header)) {
    options->header = header;
    ++pages;
    const unsigned page = static_cast<unsigned>(pagesBefore + pages);
    *jobEnded = !StartAppPage(job, options, device, page);
    if (*jobEnded) return pages;
    line.assign(header.cupsBytesPerLine, 0);
    for (unsigned y = 0; y < header.cupsHeight; ++y) {
      if (cupsRasterReadPixels(raster, line.data(), header.cupsBytesPerLine) == 0) break;
      *jobEnded = !WriteAppLine(job, options, device, y, line.data());
      if (*jobEnded) return pages;
    }
    *jobEnded = !EndAppPage(job, options, device, page);
    if (*jobEnded) return pages;
  }
  return pages;
}

// The sizes of the pages the job prints, in the order printed, read from
// Ghostscript's page headers at a low resolution; empty when they cannot be
// read (the render that follows then says why).
std::vector<PointSize> PageSizes(pappl_job_t* job, const char* pdf, const std::string& pageList) {
  GhostscriptRun probe;
  probe.ownSize = true;
  probe.pageList = pageList;
  std::vector<PointSize> sizes;
  const Rendering rendering = RunGhostscript(
      job, GhostscriptArguments(pdf, kProbeResolution, probe),
      [&sizes](cups_raster_t* raster, bool*) {
        cups_page_header2_t header;
        std::vector<unsigned char> line;
        while (cupsRasterReadHeader2(raster, &header)) {
          sizes.push_back(
              {static_cast<int>(header.PageSize[0]), static_cast<int>(header.PageSize[1])});
          line.resize(header.cupsBytesPerLine);
          for (unsigned y = 0; y < header.cupsHeight; ++y) {
            if (cupsRasterReadPixels(raster, line.data(), header.cupsBytesPerLine) == 0) break;
          }
        }
        return static_cast<int>(sizes.size());
      });
  if (!GhostscriptProblem(rendering.status, rendering.messages, rendering.pages).empty()) {
    sizes.clear();
  }
  return sizes;
}

// The runs that print the job: one for fit and none, else one a layout.
std::vector<GhostscriptRun> RunsFor(pappl_job_t* job, const char* pdf, const ResolvedJob& resolved,
                                    PointSize sheet) {
  GhostscriptRun whole;
  whole.media = sheet;
  whole.pageList = resolved.pages.Text();
  whole.ownSize = resolved.scaling == PdfScaling::kNone;
  if (resolved.scaling == PdfScaling::kFit || resolved.scaling == PdfScaling::kNone) return {whole};
  const std::vector<PointSize> sizes = PageSizes(job, pdf, whole.pageList);
  if (sizes.empty() || papplJobIsCanceled(job)) return {whole};
  return PlanRuns(resolved.scaling, sizes, sheet, resolved.pages);
}

// The job's result once its pages are printed (`printed` is the core's): a
// cancelled or ended job is not Ghostscript's failure, a document it could
// not render whole aborts the job with the reason.
bool JudgeRendering(pappl_job_t* job, const Rendering& rendering, int pages,
                    const PageSelection& selection, bool printed) {
  if (rendering.startError != 0) {
    papplJobSetMessage(job, "Ghostscript cannot be run: %s", strerror(rendering.startError));
    return false;
  }
  // A job the core ended (its message is set) or a cancel: not Ghostscript's.
  if (rendering.jobEnded || rendering.stoppedByCancel || papplJobIsCanceled(job)) return printed;
  const std::string problem = GhostscriptProblem(rendering.status, rendering.messages, pages);
  if (problem.empty()) return printed;
  if (pages == 0 && !selection.all() && rendering.status == 0) {
    return FailJob(job, NoPageInRanges(selection.Text()));
  }
  return FailJob(job, problem);
}

// Renders the job's pages run after run; the last run's rendering, the
// pages counted over all of them.
Rendering RenderAndPrint(pappl_job_t* job, const char* pdf, pappl_pr_options_t* options,
                         pappl_device_t* device, int* pages) {
  const ResolvedJob& resolved = *ResolvedJobOf(job);
  const int resolution = options->printer_resolution[0];
  const PointSize sheet = SheetPoints(options->media.size_width, options->media.size_length);
  if (resolved.scaling != PdfScaling::kFit) {
    // Pages of another size are laid centred on the sheet, at Ghostscript's rounding.
    SetPageSheet(job, static_cast<unsigned>((sheet.width * resolution + 36) / 72),
                 static_cast<unsigned>((sheet.length * resolution + 36) / 72));
  }
  Rendering rendering;
  for (const GhostscriptRun& run : RunsFor(job, pdf, resolved, sheet)) {
    if (papplJobIsCanceled(job)) break;
    rendering = RunGhostscript(job, GhostscriptArguments(pdf, resolution, run),
                               [&](cups_raster_t* raster, bool* jobEnded) {
                                 return PrintPages(raster, job, options, device, *pages, jobEnded);
                               });
    *pages += rendering.pages;
    if (rendering.startError != 0 || rendering.jobEnded || rendering.stoppedByCancel ||
        !GhostscriptProblem(rendering.status, rendering.messages, rendering.pages).empty()) {
      break;
    }
  }
  return rendering;
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
    int pages = 0;
    const Rendering rendering = RenderAndPrint(job, pdf, options, device, &pages);
    const PageSelection selection = ResolvedJobOf(job)->pages;
    ok = JudgeRendering(job, rendering, pages, selection, EndAppJob(job, options, device));
  }
  papplJobDeletePrintOptions(options);
  return ok;
}

}  // namespace quillfern
