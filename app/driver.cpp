#include "app/driver.h"

#include <cstring>
#include <string>

#include "app/driver_choices.h"
#include "app/driver_facts.h"
#include "app/driver_test_page.h"
#include "app/job_callbacks.h"
#include "app/job_raw.h"

namespace quillfern {

namespace {

void SetMediaCol(pappl_media_col_t& media, const std::string& size, const std::string& source,
                 const std::string& type) {
  pwg_media_t* pwg = pwgMediaForPWG(size.c_str());
  memset(&media, 0, sizeof media);
  snprintf(media.size_name, sizeof media.size_name, "%s", size.c_str());
  snprintf(media.source, sizeof media.source, "%s", source.c_str());
  snprintf(media.type, sizeof media.type, "%s", type.c_str());
  if (pwg != nullptr) {
    media.size_width = pwg->width;
    media.size_length = pwg->length;
  }
  media.bottom_margin = media.top_margin = kUnmarkedBorder;
  media.left_margin = media.right_margin = kUnmarkedBorder;
}

// Sizes, trays, media types and resolutions: the PPD's, under their PWG
// names.  The raster covers the whole sheet, as in the PPD; the margins are
// the engine's unmarked border.  The manual feed holds no loaded media: it
// is used only when a job asks for it.
bool SetMedia(pappl_pr_driver_data_t* data) {
  const PrinterChoices& choices = BuiltInChoices();
  if (choices.sizes.empty() || choices.sizes.size() > PAPPL_MAX_MEDIA ||
      choices.sources.size() > PAPPL_MAX_SOURCE || choices.types.size() > PAPPL_MAX_TYPE ||
      choices.resolutions.size() > PAPPL_MAX_RESOLUTION) {
    return false;
  }
  data->num_media = 0;
  for (const PrinterChoice& size : choices.sizes) data->media[data->num_media++] = size.pwg.c_str();
  data->num_source = 0;
  for (const PrinterChoice& source : choices.sources) {
    data->source[data->num_source++] = source.pwg.c_str();
  }
  data->num_type = 0;
  for (const PrinterChoice& type : choices.types) data->type[data->num_type++] = type.pwg.c_str();
  data->num_resolution = 0;
  for (int dpi : choices.resolutions) {
    data->x_resolution[data->num_resolution] = data->y_resolution[data->num_resolution] = dpi;
    ++data->num_resolution;
  }
  data->x_default = data->y_default = choices.defaultResolution;
  data->borderless = false;
  data->left_right = kUnmarkedBorder;
  data->bottom_top = kUnmarkedBorder;
  SetMediaCol(data->media_default, choices.defaultSize, choices.defaultSource, choices.defaultType);
  SetMediaCol(data->media_ready[0], choices.defaultSize, choices.defaultSource, choices.defaultType);
  return true;
}

// The printer's icons (a page printer drawn in black), at PAPPL's three
// sizes, for its web pages and for clients that show printer-icons.
void SetIcons(pappl_pr_driver_data_t* data) {
  const struct {
    const unsigned char* png;
    unsigned long size;
  } kIcons[] = {{kIconSmall, kIconSmallSize},
                {kIconMedium, kIconMediumSize},
                {kIconLarge, kIconLargeSize}};
  for (int i = 0; i < 3; ++i) {
    data->icons[i].data = kIcons[i].png;
    data->icons[i].datalen = kIcons[i].size;
  }
}

void SetCallbacks(pappl_pr_driver_data_t* data) {
  data->format = kPrintStreamFormat;
  data->printfile_cb = PrintRawStream;
  data->rstartjob_cb = StartAppJob;
  data->rstartpage_cb = StartAppPage;
  data->rwriteline_cb = WriteAppLine;
  data->rendpage_cb = EndAppPage;
  data->rendjob_cb = EndAppJob;
}

// The feed edge, the PPD's FeedEdge.
void AddFeedEdge(pappl_pr_driver_data_t* data, ipp_t** attrs) {
  data->vendor[data->num_vendor++] = kFeedEdge;
  if (*attrs == nullptr) *attrs = ippNew();
  ippAddStrings(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "feed-edge-supported", 2, nullptr,
                kFeedEdges);
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "feed-edge-default", nullptr,
               kFeedEdges[0]);
}

// The printer cannot report its toner over this stream: one black toner
// cartridge of unknown level, as IPP Everywhere clients expect a supply.
bool UpdateStatus(pappl_printer_t* printer) {
  pappl_supply_t toner = {};
  toner.color = PAPPL_SUPPLY_COLOR_BLACK;
  snprintf(toner.description, sizeof toner.description, "%s", "Black Toner");
  toner.is_consumed = true;
  toner.level = -1;
  toner.type = PAPPL_SUPPLY_TYPE_TONER_CARTRIDGE;
  papplPrinterSetSupplies(printer, 1, &toner);
  return true;
}

// Identify-Printer: the printer has no panel or sound of its own, so the
// request is shown where the administrator looks, the printer's log.
void Identify(pappl_printer_t* printer, pappl_identify_actions_t, const char* message) {
  papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify-Printer: %s",
                  message != nullptr ? message : "");
}

// What IPP Everywhere asks every printer to state, beyond PAPPL's own.
void AddEverywhereAttributes(ipp_t* attrs) {
  ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr,
               "auto");
  ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr,
               "auto");
  ippAddBoolean(attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
}

}  // namespace

bool QuillfernDriver(pappl_system_t*, const char* driver_name, const char*, const char*,
                     pappl_pr_driver_data_t* data, ipp_t** attrs, void*) {
  if (strcmp(driver_name, kDriverName) != 0) return false;
  snprintf(data->make_and_model, sizeof data->make_and_model, "%s", kMakeAndModel);
  data->ppm = 20;
  data->kind = PAPPL_KIND_DOCUMENT;
  data->color_supported = PAPPL_COLOR_MODE_MONOCHROME;
  data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
  // Raster is taken as eight-bit gray (PWG sgray_8, Apple W8): PAPPL then
  // hands the driver the client's own page header, so that a page is
  // printed at the resolution it was rendered at, and the driver turns gray
  // into black and white itself.
  data->raster_types = PAPPL_PWG_RASTER_TYPE_SGRAY_8;
  data->duplex = PAPPL_DUPLEX_NORMAL;
  data->sides_supported =
      PAPPL_SIDES_ONE_SIDED | PAPPL_SIDES_TWO_SIDED_LONG_EDGE | PAPPL_SIDES_TWO_SIDED_SHORT_EDGE;
  data->sides_default = PAPPL_SIDES_ONE_SIDED;
  // PAPPL maps print-quality draft to the first resolution and normal and
  // high to the last; the printer's default is the PPD's, 600 dpi.
  data->quality_default = IPP_QUALITY_DRAFT;
  data->orient_default = IPP_ORIENT_PORTRAIT;
  data->has_supplies = true;
  data->status_cb = UpdateStatus;
  data->identify_cb = Identify;
  data->identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  data->identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  data->testpage_cb = MakeTestPage;
  if (!SetMedia(data)) return false;
  SetIcons(data);
  SetCallbacks(data);
  AddFeedEdge(data, attrs);
  AddEverywhereAttributes(*attrs);
  return true;
}

}  // namespace quillfern
