#include "app/job_settings.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "app/driver_facts.h"
#include "app/system_paths.h"

namespace quillfern {

namespace {

std::string TextAttribute(pappl_job_t* job, const char* name) {
  ipp_attribute_t* attribute = papplJobGetAttribute(job, name);
  const char* text = attribute != nullptr ? ippGetString(attribute, 0, nullptr) : nullptr;
  return text != nullptr ? text : "";
}

std::string Text(const char* text) {
  return text != nullptr ? text : "";
}

const char* SidesName(pappl_sides_t sides) {
  if (sides == PAPPL_SIDES_TWO_SIDED_LONG_EDGE) return "two-sided-long-edge";
  if (sides == PAPPL_SIDES_TWO_SIDED_SHORT_EDGE) return "two-sided-short-edge";
  return "one-sided";
}

// Whether the job names its tray (media-col's media-source).
bool JobNamesSource(pappl_job_t* job) {
  ipp_attribute_t* mediaCol = papplJobGetAttribute(job, "media-col");
  ipp_t* collection = mediaCol != nullptr ? ippGetCollection(mediaCol, 0) : nullptr;
  return collection != nullptr &&
         ippFindAttribute(collection, "media-source", IPP_TAG_ZERO) != nullptr;
}

// The PPD's name for a PWG name, or empty when the printer has none.
std::string PpdName(const PrinterChoice* choice) {
  return choice != nullptr ? choice->ppd : "";
}

void Add(std::string& text, const std::string& name, const std::string& value) {
  if (value.empty()) return;
  if (!text.empty()) text += ' ';
  text += name + "=" + value;
}

const char* DuplexChoice(const std::string& sides) {
  if (sides == "two-sided-long-edge") return "DuplexNoTumble";
  if (sides == "two-sided-short-edge") return "DuplexTumble";
  return "None";
}

// The job's choices from PAPPL's resolved `options` and its attributes.
// A job that names no tray prints from the printer's default tray: PAPPL
// would pick the first tray whose ready media has the job's size, and the
// manual feed (which turns duplex off) is used only when a job asks for it.
IppJobChoices JobChoices(pappl_job_t* job, const pappl_pr_options_t* options, int copies,
                         int resolution) {
  IppJobChoices choices;
  choices.jobId = papplJobGetID(job);
  choices.user = Text(papplJobGetUsername(job));
  choices.jobName = Text(papplJobGetName(job));
  choices.copies = copies;
  choices.media = options->media.size_name;
  choices.mediaSource =
      JobNamesSource(job) ? options->media.source : BuiltInChoices().defaultSource;
  choices.mediaType = options->media.type;
  choices.resolution = resolution;
  choices.sides = SidesName(options->sides);
  choices.collate =
      TextAttribute(job, "multiple-document-handling") != "separate-documents-uncollated-copies";
  const char* feedEdge = cupsGetOption(kFeedEdge, options->num_vendor, options->vendor);
  choices.feedEdge = feedEdge != nullptr ? feedEdge : kFeedEdges[0];
  choices.uuid = TextAttribute(job, "job-uuid");
  choices.createdAt = static_cast<long long>(papplJobGetTimeCreated(job));
  choices.processedAt = static_cast<long long>(papplJobGetTimeProcessed(job));
  return choices;
}

// The job's page-ranges, all of them (PAPPL 1.3.1 resolves only a single
// range, and then prints every page).
PageSelection JobPages(pappl_job_t* job) {
  ipp_attribute_t* ranges = papplJobGetAttribute(job, "page-ranges");
  std::vector<std::pair<int, int>> selected;
  for (int i = 0; i < ippGetCount(ranges); ++i) {
    int last = 0;
    const int first = ippGetRange(ranges, i, &last);
    if (first >= 1 && last >= first) selected.emplace_back(first, last);
  }
  return PageSelection(std::move(selected));
}

PdfScaling Scaling(pappl_scaling_t scaling) {
  switch (scaling) {
    case PAPPL_SCALING_FIT:
      return PdfScaling::kFit;
    case PAPPL_SCALING_FILL:
      return PdfScaling::kFill;
    case PAPPL_SCALING_NONE:
      return PdfScaling::kNone;
    default:
      return PdfScaling::kFitIfLarger;
  }
}

// Why the printer cannot take the job's paper, or empty.
std::string MediaRefusal(pappl_job_t* job, const pappl_pr_options_t* options) {
  const PrinterChoices& printer = BuiltInChoices();
  const pappl_media_col_t& media = options->media;
  if (SizeFor(printer, media.size_name) == nullptr) {
    // Printed on another size the page would come out wrong.
    return std::string("The printer has no paper of the job's size (") + media.size_name + ").";
  }
  if (JobNamesSource(job) && ChoiceFor(printer.sources, media.source) == nullptr) {
    return std::string("the printer has no tray named ") + media.source;
  }
  if (ChoiceFor(printer.types, media.type) == nullptr) {
    return std::string("the printer has no media type named ") + media.type;
  }
  return "";
}

}  // namespace

PageSelection::PageSelection(std::vector<std::pair<int, int>> ranges) {
  std::sort(ranges.begin(), ranges.end());
  for (const auto& range : ranges) {
    if (!ranges_.empty() && range.first - 1 <= ranges_.back().second) {
      ranges_.back().second = std::max(ranges_.back().second, range.second);
    } else {
      ranges_.push_back(range);
    }
  }
}

bool PageSelection::Includes(int page) const {
  if (all()) return true;
  for (const auto& [first, last] : ranges_) {
    if (page >= first && page <= last) return true;
  }
  return false;
}

int PageSelection::NthPage(int n) const {
  if (all()) return n;
  for (const auto& [first, last] : ranges_) {
    if (n <= last - first + 1) return first + n - 1;
    n -= last - first + 1;
  }
  return INT_MAX;
}

std::string PageSelection::Text() const {
  std::string text;
  for (const auto& [first, last] : ranges_) {
    if (!text.empty()) text += ',';
    text += std::to_string(first);
    if (last != first) text += "-" + (last == INT_MAX ? std::string() : std::to_string(last));
  }
  return text;
}

bool IsRasterFormat(const char* format) {
  return format != nullptr &&
         (strcmp(format, "image/pwg-raster") == 0 || strcmp(format, "image/urf") == 0);
}

ResolvedJob ResolveJob(pappl_job_t* job, const pappl_pr_options_t* options, int copies) {
  ResolvedJob resolved;
  resolved.refusal = MediaRefusal(job, options);
  const int resolution =
      IsRasterFormat(papplJobGetFormat(job)) ? 0 : options->printer_resolution[0];
  resolved.choices = JobChoices(job, options, copies, resolution);
  resolved.pages = JobPages(job);
  resolved.scaling = Scaling(options->print_scaling);
  return resolved;
}

int JobResolution(pappl_job_t* job, const pappl_pr_options_t* options) {
  const PrinterChoices& printer = BuiltInChoices();
  int resolution = options->printer_resolution[0];
  if (papplJobGetAttribute(job, "printer-resolution") == nullptr) {
    ipp_attribute_t* quality = papplJobGetAttribute(job, "print-quality");
    if (quality != nullptr) {
      const bool high = ippGetInteger(quality, 0) == IPP_QUALITY_HIGH;
      resolution = high ? printer.resolutions.back() : printer.resolutions.front();
    } else {
      pappl_pr_driver_data_t data;
      papplPrinterGetDriverData(papplJobGetPrinter(job), &data);
      resolution = data.x_default;
    }
  }
  return PrinterResolution(printer, resolution);
}

std::string FilterOptionsText(const IppJobChoices& choices, const PrinterChoices& printer) {
  std::string text;
  Add(text, "PageSize", PpdName(SizeFor(printer, choices.media)));
  Add(text, "InputSlot", PpdName(ChoiceFor(printer.sources, choices.mediaSource)));
  Add(text, "MediaType", PpdName(ChoiceFor(printer.types, choices.mediaType)));
  Add(text, "Resolution", std::to_string(PrinterResolution(printer, choices.resolution)) + "dpi");
  Add(text, "Duplex", DuplexChoice(choices.sides));
  text += choices.collate ? " Collate" : " noCollate";
  Add(text, "FeedEdge", choices.feedEdge == kFeedEdges[1] ? "1" : "0");
  // The scheduler's own tokens, as CUPS adds them for every job.
  text += " job-uuid=" + choices.uuid;
  text += " job-originating-host-name=" + choices.originatingHost;
  text += " date-time-at-creation= date-time-at-processing=";
  text += " time-at-creation=" + std::to_string(choices.createdAt);
  text += " time-at-processing=" + std::to_string(choices.processedAt);
  return text;
}

std::vector<std::string> FilterArguments(const IppJobChoices& choices,
                                         const PrinterChoices& printer) {
  return {kProgramName,    std::to_string(choices.jobId),  choices.user,
          choices.jobName, std::to_string(choices.copies), FilterOptionsText(choices, printer)};
}

}  // namespace quillfern
