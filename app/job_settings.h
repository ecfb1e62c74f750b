// A job's settings: what an IPP job asks for, as PAPPL resolved it and as
// its own attributes say where PAPPL resolves nothing, turned into what
// CUPS would hand the filter for the same job (the options text of its
// fifth argument and the arguments around it), and the resolution it is
// printed at.  The printer application runs the filter's own setup on
// them, so that there is one mapping from choices to what the printer is
// sent.  A job's IPP attributes are read here and nowhere else.
#ifndef QUILLFERN_APP_JOB_SETTINGS_H_
#define QUILLFERN_APP_JOB_SETTINGS_H_

#include <pappl/pappl.h>

#include <string>
#include <utility>
#include <vector>

#include "app/driver_choices.h"

namespace quillfern {

// A job's choices, as PAPPL resolved them from its IPP attributes and the
// printer's defaults.
struct IppJobChoices {
  int jobId = 0;
  std::string user;
  std::string jobName;
  int copies = 1;
  std::string media;            // PWG media size name ("iso_a4_210x297mm")
  std::string mediaSource;      // "main", "manual"
  std::string mediaType;        // "stationery", ...
  int resolution = 600;         // dots per inch
  std::string sides;            // "one-sided", "two-sided-long-edge", ...
  bool collate = true;          // multiple-document-handling
  std::string feedEdge;         // the vendor option: "long-edge" or "short-edge"
  std::string uuid;             // job-uuid
  std::string originatingHost;  // job-originating-host-name, when known
  long long createdAt = 0;      // time-at-creation
  long long processedAt = 0;    // time-at-processing
};

// The pages of a document a job prints (page-ranges), numbered from 1.
class PageSelection {
 public:
  PageSelection() = default;  // every page
  // Ranges as IPP gives them (first <= last, in any order).
  explicit PageSelection(std::vector<std::pair<int, int>> ranges);

  bool all() const { return ranges_.empty(); }
  bool Includes(int page) const;
  // The document's page printed n-th (from 1).
  int NthPage(int n) const;
  // "2-3,7": Ghostscript's -sPageList, and the ranges in a message.
  std::string Text() const;

 private:
  std::vector<std::pair<int, int>> ranges_;  // sorted, not overlapping
};

// How a PDF's pages are laid on the sheet (print-scaling).  The sheet is
// the printer's whole bitmap: a page of the sheet's size fits.
enum class PdfScaling {
  kFit,          // fit: scaled up or down to fit, keeping its shape
  kFill,         // fill: scaled to cover the sheet, keeping its shape, cropped
  kNone,         // none: as it is, centred, cropped where larger
  kFitIfLarger,  // auto, auto-fit: fit when larger than the sheet, else none
};

// Everything a job prints with, decided when it starts, before anything is
// rendered or sent; or why it cannot print.
struct ResolvedJob {
  IppJobChoices choices;  // resolution 0 for raster: the first page's own
  PageSelection pages;
  PdfScaling scaling = PdfScaling::kFitIfLarger;
  std::string refusal;  // the job-state-message of a job that cannot print
};

// Resolves the job from PAPPL's `options` and the attributes PAPPL does not
// resolve: a tray or media type the printer does not have, or a size it
// does not have (by name or within a millimetre), is refused.  `copies` is
// what the job asks for.  PDF and images print at options'
// printer_resolution (JobResolution), raster at its own.
ResolvedJob ResolveJob(pappl_job_t* job, const pappl_pr_options_t* options, int copies);

// Whether PAPPL reads the format itself and hands the driver its pages
// (PWG and Apple raster).
bool IsRasterFormat(const char* format);

// The resolution a PDF or an image is rendered at.  An explicit
// printer-resolution wins; then print-quality: high is 1200 dpi, draft and
// normal 600 dpi (PAPPL 1.3.1 maps normal to the last resolution, and CUPS
// sends normal with every job); a job that asks for neither gets the
// printer's default resolution, which PAPPL itself leaves unused.  Raster
// prints at the resolution it was rendered at.
int JobResolution(pappl_job_t* job, const pappl_pr_options_t* options);

// The options text CUPS would write for these choices on this printer.  A
// size is found by name or by its dimensions; what the printer does not
// know is left out (the PPD's default applies).
std::string FilterOptionsText(const IppJobChoices& choices, const PrinterChoices& printer);

// The filter's command line for the job: program, job id, user, title,
// copies, options.
std::vector<std::string> FilterArguments(const IppJobChoices& choices,
                                         const PrinterChoices& printer);

}  // namespace quillfern

#endif  // QUILLFERN_APP_JOB_SETTINGS_H_
