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

// The job's choices from PAPPL's resolved `options` and its attributes,
// with the copies and the resolution it prints at.  A job that names no
// tray prints from the printer's default tray: PAPPL would pick the first
// tray whose ready media has the job's size, and the manual feed (which
// turns duplex off) is used only when a job asks for it.
IppJobChoices JobChoices(pappl_job_t* job, const pappl_pr_options_t* options, int copies,
                         int resolution);

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
