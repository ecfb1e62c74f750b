#include "app/job_options.h"

namespace quillfern {

namespace {

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

}  // namespace

std::string FilterOptionsText(const IppJobChoices& choices, const PrinterChoices& printer) {
  std::string text;
  Add(text, "PageSize", PpdName(SizeFor(printer, choices.media)));
  Add(text, "InputSlot", PpdName(ChoiceFor(printer.sources, choices.mediaSource)));
  Add(text, "MediaType", PpdName(ChoiceFor(printer.types, choices.mediaType)));
  Add(text, "Resolution", std::to_string(PrinterResolution(printer, choices.resolution)) + "dpi");
  Add(text, "Duplex", DuplexChoice(choices.sides));
  text += choices.collate ? " Collate" : " noCollate";
  Add(text, "FeedEdge", choices.feedEdge == "short-edge" ? "1" : "0");
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
  return {"quillfern-printer-app",        std::to_string(choices.jobId), choices.user,
          choices.jobName,                std::to_string(choices.copies),
          FilterOptionsText(choices, printer)};
}

}  // namespace quillfern
