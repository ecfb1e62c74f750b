#include "app/job_options.h"

namespace quillfern {

const std::vector<NamedChoice> kMediaSizes = {
    {"iso_a4_210x297mm", "A4"},          {"iso_a5_148x210mm", "A5"},
    {"jis_b5_182x257mm", "B5"},          {"om_16k_195x270mm", "16k"},
    {"na_letter_8.5x11in", "Letter"},    {"na_invoice_5.5x8.5in", "Statement"},
    {"na_legal_8.5x14in", "Legal"},      {"na_executive_7.25x10.5in", "Executive"},
    {"iso_a6_105x148mm", "A6"},          {"jis_b6_128x182mm", "B6"},
    {"iso_b5_176x250mm", "B5ISO"},       {"custom_bank1_210x99mm", "BANK1"},
    {"custom_bank2_210x140mm", "BANK2"},
};

const std::vector<NamedChoice> kMediaSources = {
    {"main", "MainTray"},
    {"manual", "ManualTray"},
};

const std::vector<NamedChoice> kMediaTypes = {
    {"stationery", "Plain"},
    {"stationery-recycled", "Recycled"},
    {"stationery-lightweight", "Thin"},
    {"stationery-heavyweight", "Thick"},
};

namespace {

// The PPD's name for a PWG name, or empty when the printer has none.
std::string PpdName(const std::vector<NamedChoice>& choices, const std::string& pwg) {
  for (const NamedChoice& choice : choices) {
    if (pwg == choice.pwg) return choice.ppd;
  }
  return "";
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

std::string FilterOptionsText(const IppJobChoices& choices) {
  std::string text;
  Add(text, "PageSize", PpdName(kMediaSizes, choices.media));
  Add(text, "InputSlot", PpdName(kMediaSources, choices.mediaSource));
  Add(text, "MediaType", PpdName(kMediaTypes, choices.mediaType));
  Add(text, "Resolution", choices.resolution >= 1200 ? "1200dpi" : "600dpi");
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

std::vector<std::string> FilterArguments(const IppJobChoices& choices) {
  return {"quillfern-printer-app", std::to_string(choices.jobId),  choices.user,
          choices.jobName,         std::to_string(choices.copies), FilterOptionsText(choices)};
}

}  // namespace quillfern
