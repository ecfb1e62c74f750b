#include "app/system_status.h"

#include <pappl/pappl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "app/driver_facts.h"
#include "app/system_client.h"

namespace quillfern {

namespace {

// "has been stopped since DATE (paused)": the state, its change and its
// reasons from a response's PREFIX-state, PREFIX-state-change-date-time
// and PREFIX-state-reasons (PREFIX "printer" or "system").
std::string StateText(ipp_t* response, const std::string& prefix) {
  const int state =
      ippGetInteger(ippFindAttribute(response, (prefix + "-state").c_str(), IPP_TAG_ENUM), 0);
  std::string text = state == IPP_PSTATE_PROCESSING ? "has been printing"
                     : state == IPP_PSTATE_STOPPED  ? "has been stopped"
                                                    : "has been idle";
  ipp_attribute_t* changed =
      ippFindAttribute(response, (prefix + "-state-change-date-time").c_str(), IPP_TAG_DATE);
  if (changed != nullptr) {
    char date[256];
    text += std::string(" since ") +
            httpGetDateString2(ippDateToTime(ippGetDate(changed, 0)), date, sizeof date);
  }
  ipp_attribute_t* reasons =
      ippFindAttribute(response, (prefix + "-state-reasons").c_str(), IPP_TAG_KEYWORD);
  std::string listed;
  for (int i = 0; i < ippGetCount(reasons); ++i) {
    const char* reason = ippGetString(reasons, i, nullptr);
    if (reason == nullptr || strcmp(reason, "none") == 0) continue;
    listed += (listed.empty() ? "" : ", ") + std::string(reason);
  }
  return listed.empty() ? text : text + " (" + listed + ")";
}

// status without -d or -u: the local server's state.
int PrintServerStatus(const CommandLine& line, http_t* http) {
  static const char* const kAttributes[] = {"system-state", "system-state-change-date-time",
                                            "system-state-reasons"};
  UniqueIpp request = SystemRequest(IPP_OP_GET_SYSTEM_ATTRIBUTES);
  ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3,
                nullptr, kAttributes);
  UniqueIpp response(cupsDoRequest(http, request.release(), "/ipp/system"));
  if (cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
    return Fail(line, std::string("cannot get the server's state: ") + cupsLastErrorString());
  }
  printf("The server is running and %s.\n", StateText(response.get(), "system").c_str());
  return 0;
}

// A media size's name with its dimensions, as PAPPL's options lists it.
std::string MediaText(const char* name) {
  const pwg_media_t* media = pwgMediaForPWG(name);
  if (media == nullptr) return name;
  char text[256];
  if (media->width % 100 == 0) {
    snprintf(text, sizeof text, "%s (%dx%dmm or %.2gx%.2gin)", name, media->width / 100,
             media->length / 100, media->width / 2540.0, media->length / 2540.0);
  } else {
    snprintf(text, sizeof text, "%s (%.2gx%.2gin or %dx%dmm)", name, media->width / 2540.0,
             media->length / 2540.0, media->width / 100, media->length / 100);
  }
  return text;
}

// Value `index` of `attribute` (of option `name`) as a command line gives
// it.
std::string ValueText(ipp_attribute_t* attribute, const char* name, int index) {
  char text[256] = "";
  int upper = 0;
  ipp_res_t units = IPP_RES_PER_INCH;
  switch (ippGetValueTag(attribute)) {
    case IPP_TAG_ENUM:
      return ippEnumString(name, ippGetInteger(attribute, index));
    case IPP_TAG_INTEGER:
      return std::to_string(ippGetInteger(attribute, index));
    case IPP_TAG_RANGE: {
      const int lower = ippGetRange(attribute, index, &upper);
      return std::to_string(lower) + " to " + std::to_string(upper);
    }
    case IPP_TAG_RESOLUTION: {
      const int x = ippGetResolution(attribute, index, &upper, &units);
      const char* unit = units == IPP_RES_PER_INCH ? "dpi" : "dpcm";
      if (x == upper) snprintf(text, sizeof text, "%d%s", x, unit);
      if (x != upper) snprintf(text, sizeof text, "%dx%d%s", x, upper, unit);
      return text;
    }
    default: {
      const char* value = ippGetString(attribute, index, nullptr);
      if (value == nullptr) return "";
      return strcmp(name, "media") == 0 ? MediaText(value) : value;
    }
  }
}

// An option's values as "-o NAME=VALUE" lines, the default first and
// marked; nothing when the printer does not list the option.
void PrintChoices(ipp_t* response, const char* name) {
  const std::string option = name;
  ipp_attribute_t* supported =
      ippFindAttribute(response, (option + "-supported").c_str(), IPP_TAG_ZERO);
  if (supported == nullptr) return;
  const std::string defaultName =
      option.rfind("media-", 0) == 0 ? "media-col-default/" + option : option + "-default";
  ipp_attribute_t* byDefault = ippFindAttribute(response, defaultName.c_str(), IPP_TAG_ZERO);
  const std::string fallback = byDefault != nullptr ? ValueText(byDefault, name, 0) : "";
  if (!fallback.empty()) printf("  -o %s=%s (default)\n", name, fallback.c_str());
  for (int i = 0; i < ippGetCount(supported); ++i) {
    const std::string value = ValueText(supported, name, i);
    if (value != fallback) printf("  -o %s=%s\n", name, value.c_str());
  }
}

// The options a job may be given (submit -o), those PAPPL's options lists
// and those it leaves out (sides, feed-edge, ...), and the printer setting
// modify keeps (PAPPL 1.3.1 drops the location and organization it also
// lists).
void PrintOptions(ipp_t* response) {
  static const char* const kJobOptions[] = {"copies",
                                            "media",
                                            "media-source",
                                            "media-type",
                                            "orientation-requested",
                                            "print-color-mode",
                                            "print-content-optimize",
                                            "print-quality",
                                            "printer-resolution",
                                            "sides",
                                            kFeedEdge,
                                            "multiple-document-handling",
                                            "print-scaling"};
  printf("Print job options:\n");
  for (const char* name : kJobOptions) PrintChoices(response, name);
  if (ippGetBoolean(ippFindAttribute(response, "page-ranges-supported", IPP_TAG_BOOLEAN), 0)) {
    printf("  -o page-ranges=FIRST-LAST\n");
  }
  printf("\nPrinter options:\n");
  printf("  -o printer-geo-location='geo:LATITUDE,LONGITUDE'\n");
  printf("  (location and organization: on the printer's Configuration web page)\n");
}

}  // namespace

int ShowStatus(const CommandLine& line) {
  UniqueHttp http = line.remote() ? nullptr : ConnectLocal(line.base);
  if (!line.remote() && !http) {
    printf("The server is not running.\n");
    return 0;
  }
  if (!line.remote() && line.printer.empty()) return PrintServerStatus(line, http.get());
  const PrinterTarget target = FindTarget(line, std::move(http));
  if (!target.http) return 1;
  UniqueIpp response = GetPrinterAttributes(
      target,
      {"printer-name", "printer-state", "printer-state-change-date-time", "printer-state-reasons"});
  if (cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
    return Fail(line, "cannot get the state of " + target.name + ": " + cupsLastErrorString());
  }
  const char* name =
      ippGetString(ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME), 0, nullptr);
  printf("Printer %s %s.\n", name != nullptr ? name : target.name.c_str(),
         StateText(response.get(), "printer").c_str());
  return 0;
}

int ShowOptions(const CommandLine& line) {
  UniqueHttp http;
  if (!line.remote()) {
    http = ConnectLocal(line.base);
    if (!http) http = StartServer(line);
    if (!http) return 1;
  }
  const PrinterTarget target = FindTarget(line, std::move(http));
  if (!target.http) return 1;
  UniqueIpp response = GetPrinterAttributes(target, {});
  if (cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
    return Fail(line, "cannot get the options of " + target.name + ": " + cupsLastErrorString());
  }
  PrintOptions(response.get());
  return 0;
}

int ShowDrivers() {
  printf("%s \"%s\" \"%s\"\n", kDriverName, kMakeAndModel, kDeviceId);
  return 0;
}

}  // namespace quillfern
