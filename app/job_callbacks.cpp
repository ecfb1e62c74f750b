#include "app/job_callbacks.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "app/driver_choices.h"
#include "app/job_messages.h"
#include "app/job_page.h"
#include "app/job_seams.h"
#include "app/job_settings.h"
#include "app/job_turns.h"
#include "app/state_file.h"
#include "app/state_logins.h"
#include "app/system_paths.h"
#include "core/job_setup.h"
#include "params/auth_file.h"

namespace quillfern {

extern const char kDriverPpd[];

namespace {

// Everything one job keeps between PAPPL's callbacks, in the order it is
// released: the conversion first, the turn last.
struct AppJob {
  AppJob(pappl_job_t* job, pappl_device_t* device) : turn(job), device(job, device), log(job) {}
  PrinterTurn turn;
  JobDevice device;
  bool alreadyPrinted = false;  // a second start of a job PAPPL started twice
  PapplJobLog log;
  std::unique_ptr<PapplDeviceSink> sink;
  std::unique_ptr<PrinterOutput> output;
  PbmtojbgEncoder encoder;
  JobDirectory work;
  JobSetup setup;
  std::unique_ptr<ConversionJob> conversion;
  ResolvedJob resolved;       // decided at the job's start
  bool failed = false;        // the job ended before its first page; message set
  unsigned resolution = 0;    // the job's, from its first page
  bool selectsPages = false;  // page-ranges applied here (PAPPL's raster and images)
  bool skipping = false;      // the page in hand is not in page-ranges
  int pagesSkipped = 0;
  unsigned sheetWidth = 0;  // the PDF filter's sheet, for pages of another size
  unsigned sheetHeight = 0;
  PagePlan plan;             // the page in hand, as the printer takes it
  long long placedRows = 0;  // rows of a placed page given to the conversion
  std::vector<unsigned char> row;
};

AppJob* JobOf(pappl_job_t* job) {
  return static_cast<AppJob*>(papplJobGetData(job));
}

// The filter's setup run on what CUPS would have handed the filter, with
// the PPD built in and the printer's login (else the host's authentication
// file, as the filter reads it).
bool RunFilterSetup(AppJob& app, pappl_job_t* job, std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  const std::string login =
      LoginPath(StateDirectory(), papplPrinterGetName(papplJobGetPrinter(job)));
  SetupSources sources;
  sources.ppdText = kDriverPpd;
  sources.authPath = access(login.c_str(), F_OK) == 0 ? login.c_str() : kAuthConfigPath;
  if (SetupJob(static_cast<int>(argv.size()), argv.data(), sources, app.setup) != kSetupDone) {
    papplJobSetMessage(job, "The job's settings cannot be resolved (see the job's log).");
    return false;
  }
  return true;
}

// The job's settings at the resolution of its first page, a size the
// printer has, its own scratch directory and device, and the filter's setup.
bool SetUp(AppJob& app, pappl_job_t* job, int resolution) {
  IppJobChoices choices = app.resolved.choices;
  choices.resolution = resolution;
  std::string problem;
  const std::string spool = SpoolDirectory(job);
  if (spool.empty() || !app.work.Create(spool, papplPrinterGetID(papplJobGetPrinter(job)),
                                        papplJobGetID(job), &problem)) {
    papplJobSetMessage(job, "No scratch directory: %s", problem.c_str());
    return false;
  }
  pappl_device_t* device = app.device.Open();
  if (device == nullptr) {
    papplJobSetMessage(job, "%s", app.device.problem().c_str());
    return false;
  }
  app.sink = std::make_unique<PapplDeviceSink>(device);
  app.output = std::make_unique<PrinterOutput>(*app.sink);
  return RunFilterSetup(app, job, FilterArguments(choices, BuiltInChoices()));
}

// The conversion, made at the job's first page.
bool StartConversion(AppJob& app, pappl_job_t* job, int resolution) {
  if (!SetUp(app, job, resolution)) return false;
  JobServices services;
  services.work = &app.work;
  services.encoder = &app.encoder;
  services.output = app.output.get();
  services.cancelled = [job] { return papplJobIsCanceled(job); };
  app.conversion = std::make_unique<ConversionJob>(app.setup, services);
  return true;
}

// A page the printer cannot take ends the job with the reason.
bool RefusePage(AppJob& app, pappl_job_t* job, unsigned page, const std::string& problem) {
  app.failed = true;
  return FailJob(job, "Page " + std::to_string(page) + ": " + problem + ".");
}

// Plans the page in hand (app.plan); why it cannot be printed, or empty.
std::string PageProblem(AppJob& app, pappl_job_t* job, const pappl_pr_options_t* options) {
  const bool raster = IsRasterFormat(papplJobGetFormat(job));
  if (raster && PageHeaderIsPapplsOwn(job, options)) {
    return "it is one-bit raster, which reaches the application without its page header; send "
           "8-bit gray raster (sgray_8, W8)";
  }
  app.plan = PlanPage(options->header, BuiltInChoices().resolutions);
  if (!app.plan.problem.empty()) return app.plan.problem;
  if (raster) {
    const pappl_media_col_t& media = options->media;
    return SizeProblem(options->header, media.size_name, media.size_width, media.size_length);
  }
  const unsigned width = app.sheetWidth, height = app.sheetHeight;
  const cups_page_header2_t& printed = app.plan.printed;
  if (width != 0 && app.plan.rowsAsReceived &&
      (printed.cupsWidth != width || printed.cupsHeight != height)) {
    PlaceOnSheet(width, height, &app.plan);
  }
  return "";
}

// Gives the conversion white rows of a placed page up to `rows`.
bool WriteWhiteRows(AppJob& app, long long rows) {
  std::fill(app.row.begin(), app.row.end(), 0);
  rows = std::min<long long>(rows, app.plan.printed.cupsHeight);
  for (; app.placedRows < rows; ++app.placedRows) {
    if (!app.conversion->WriteRow(app.row.data(), app.row.size())) return false;
  }
  return true;
}

// A row of a page laid on the sheet: the rows above it white, what falls
// outside the sheet cropped.
bool WritePlacedRow(AppJob& app, unsigned y, const unsigned char* line) {
  const PagePlan& plan = app.plan;
  const long long sheetRow = static_cast<long long>(y) + plan.yOffset;
  if (sheetRow < 0 || sheetRow >= static_cast<long long>(plan.printed.cupsHeight)) return true;
  if (!WriteWhiteRows(app, sheetRow)) return false;
  PlaceRow(line, plan.receivedWidth, plan.xOffset, app.row.data(), plan.printed.cupsWidth);
  ++app.placedRows;
  return app.conversion->WriteRow(app.row.data(), app.row.size());
}

// A printer that stopped taking data is reported in the printer's state.
void ReportDevice(pappl_job_t* job, const AppJob& app) {
  const bool stopped = app.output->failed();
  papplPrinterSetReasons(papplJobGetPrinter(job),
                         stopped ? PAPPL_PREASON_OTHER : PAPPL_PREASON_NONE,
                         stopped ? PAPPL_PREASON_NONE : PAPPL_PREASON_OTHER);
}

}  // namespace

bool StartAppJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  auto app = std::make_unique<AppJob>(job, device);
  const PrinterTurn::Result turn = app->turn.Take();
  if (turn == PrinterTurn::kAlreadyPrinted) {
    app->alreadyPrinted = true;
    papplJobSetData(job, app.release());
    return true;
  }
  if (turn == PrinterTurn::kCancelled) return false;
  SaveStateNow(papplPrinterGetSystem(papplJobGetPrinter(job)));
  app->resolved = ResolveJob(job, options, options->copies > 0 ? options->copies : 1);
  if (!app->resolved.refusal.empty()) return FailJob(job, app->resolved.refusal);
  const char* format = papplJobGetFormat(job);
  app->selectsPages = format == nullptr || strcmp(format, "application/pdf") != 0;
  options->copies = 1;
  papplJobSetData(job, app.release());
  return true;
}

void SetPageSheet(pappl_job_t* job, unsigned width, unsigned height) {
  AppJob* app = JobOf(job);
  if (app == nullptr) return;
  app->sheetWidth = width;
  app->sheetHeight = height;
}

const ResolvedJob* ResolvedJobOf(pappl_job_t* job) {
  const AppJob* app = JobOf(job);
  return app != nullptr ? &app->resolved : nullptr;
}

bool IsRepeatedStart(pappl_job_t* job) {
  const AppJob* app = JobOf(job);
  return app != nullptr && app->alreadyPrinted;
}

bool StartAppPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned page) {
  AppJob* app = JobOf(job);
  if (app == nullptr || app->failed) return false;
  if (app->alreadyPrinted) return true;
  app->skipping = app->selectsPages && !app->resolved.pages.Includes(static_cast<int>(page));
  if (app->skipping) {
    ++app->pagesSkipped;
    return true;
  }
  ScopedLog log(app->log);
  const std::string problem = PageProblem(*app, job, options);
  if (!problem.empty()) return RefusePage(*app, job, page, problem);
  const unsigned resolution = app->plan.printed.HWResolution[0];
  if (!app->conversion) {
    if (!StartConversion(*app, job, static_cast<int>(resolution))) {
      app->failed = true;
      return false;
    }
    app->resolution = resolution;
  } else if (resolution != app->resolution) {
    return RefusePage(*app, job, page,
                      "it is at " + std::to_string(resolution) + " dpi, the job's first page at " +
                          std::to_string(app->resolution) + " dpi");
  }
  app->row.assign(app->plan.printed.cupsBytesPerLine, 0);
  app->placedRows = 0;
  return app->conversion->StartPage(app->plan.printed);
}

// Rows are repeated where the page's resolution down is a part of its
// resolution across.
bool WriteAppLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned y,
                  const unsigned char* line) {
  AppJob* app = JobOf(job);
  if (app == nullptr) return false;
  if (app->alreadyPrinted || app->skipping) return true;
  if (!app->conversion) return false;
  if (app->plan.placed) return WritePlacedRow(*app, y, line);
  // Ghostscript's pages are already the printer's.
  if (app->plan.rowsAsReceived) return app->conversion->WriteRow(line, app->row.size());
  for (unsigned copy = 0; copy < app->plan.repeat; ++copy) {
    const unsigned printedRow = y * app->plan.repeat + copy;
    PrinterRow(options->header, line, options->dither[printedRow & 15], app->row.data());
    if (!app->conversion->WriteRow(app->row.data(), app->row.size())) return false;
  }
  return true;
}

bool EndAppPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned) {
  AppJob* app = JobOf(job);
  // The rows of a placed page below the received page are white.
  if (app != nullptr && app->conversion && app->plan.placed && !app->skipping &&
      !WriteWhiteRows(*app, app->plan.printed.cupsHeight)) {
    return false;
  }
  return app != nullptr &&
         (app->alreadyPrinted || app->skipping || (app->conversion && !app->conversion->ended()));
}

// The page in hand is the job's last.  A job that could not be printed
// whole is aborted with the core's reason as the message the client sees.
bool EndAppJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
  std::unique_ptr<AppJob> app(JobOf(job));
  papplJobSetData(job, nullptr);
  if (!app) return false;
  if (app->alreadyPrinted) return true;
  if (!app->conversion) {
    // Nothing was sent: the job failed before its first page, or had none.
    if (app->failed) return false;
    if (app->pagesSkipped > 0) return FailJob(job, NoPageInRanges(app->resolved.pages.Text()));
    papplJobSetMessage(job, "%s", AsSentence(NoPageReason(papplJobGetReasons(job))).c_str());
    return false;
  }
  int status = 0;
  {
    ScopedLog log(app->log);
    status = app->conversion->EndJob();
  }
  ReportDevice(job, *app);
  if (status != 0) papplJobSetMessage(job, "%s", app->conversion->error().c_str());
  // PAPPL counts the pages of the raster and image formats it reads itself;
  // a PDF's pages are counted here, as they were sent.
  const char* format = papplJobGetFormat(job);
  if (format != nullptr && strcmp(format, "application/pdf") == 0) {
    papplJobSetImpressions(job, app->conversion->pagesSent());
    papplJobSetImpressionsCompleted(job, app->conversion->pagesSent());
  }
  return status == 0;
}

}  // namespace quillfern
