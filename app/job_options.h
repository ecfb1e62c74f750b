// What an IPP job asks for, turned into what CUPS would hand the filter for
// the same job: the options text of its fifth argument and the arguments
// around it.  The printer application runs the filter's own setup on them,
// so that there is one mapping from choices to what the printer is sent.
#ifndef QUILLFERN_APP_JOB_OPTIONS_H_
#define QUILLFERN_APP_JOB_OPTIONS_H_

#include <string>
#include <vector>

#include "app/printer_choices.h"

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

// The options text CUPS would write for these choices on this printer.  A
// size is found by name or by its dimensions; what the printer does not
// know is left out (the PPD's default applies).
std::string FilterOptionsText(const IppJobChoices& choices, const PrinterChoices& printer);

// The filter's command line for the job: program, job id, user, title,
// copies, options.
std::vector<std::string> FilterArguments(const IppJobChoices& choices,
                                         const PrinterChoices& printer);

}  // namespace quillfern

#endif  // QUILLFERN_APP_JOB_OPTIONS_H_
