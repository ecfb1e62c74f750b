#include "app/job_callbacks.h"

#include <unistd.h>

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
  bool failed = false;      // the job ended before its first page; message set
  int copies = 1;           // what the job asks for; the printer makes them
  unsigned resolution = 0;  // the job's, from its first page
  PagePlan plan;            // the page in hand, as the printer takes it
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
bool SetUp(AppJob& app, pappl_job_t* job, const pappl_pr_options_t* options, int resolution) {
  const IppJobChoices choices = JobChoices(job, options, app.copies, resolution);
  const PrinterChoices& printer = BuiltInChoices();
  if (SizeFor(printer, choices.media) == nullptr) {
    // Printed on another size the page would come out wrong.
    papplJobSetMessage(job, "The printer has no paper of the job's size (%s).",
                       choices.media.c_str());
    return false;
  }
  std::string problem;
  const std::string spool = SpoolDirectory(job);
  if (spool.empty() || !app.work.Create(spool, papplPrinterGetID(papplJobGetPrinter(job)),
                                        papplJobGetID(job), &problem)) {
    papplJobSetMessage(job, "No scratch directory: %s", problem.c_str());
    return false;
  }
  pappl_device_t* device = app.device.Open();
  if (device == nullptr) {
    papplJobSetMessage(job, "%s", AsSentence(kDeviceCannotBeOpened).c_str());
    return false;
  }
  app.sink = std::make_unique<PapplDeviceSink>(device);
  app.output = std::make_unique<PrinterOutput>(*app.sink);
  return RunFilterSetup(app, job, FilterArguments(choices, printer));
}

// The conversion, made at the job's first page.
bool StartConversion(AppJob& app, pappl_job_t* job, const pappl_pr_options_t* options,
                     int resolution) {
  if (!SetUp(app, job, options, resolution)) return false;
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

// A printer that stopped taking data is reported in the printer's state.
void ReportDevice(pappl_job_t* job, const AppJob& app) {
  pappl_printer_t* printer = papplJobGetPrinter(job);
  if (app.output->failed()) {
    papplPrinterSetReasons(printer, PAPPL_PREASON_OTHER, PAPPL_PREASON_NONE);
  } else {
    papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, PAPPL_PREASON_OTHER);
  }
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
  app->copies = options->copies > 0 ? options->copies : 1;
  options->copies = 1;
  papplJobSetData(job, app.release());
  return true;
}

bool IsRepeatedStart(pappl_job_t* job) {
  const AppJob* app = JobOf(job);
  return app != nullptr && app->alreadyPrinted;
}

bool StartAppPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned page) {
  AppJob* app = JobOf(job);
  if (app == nullptr || app->failed) return false;
  if (app->alreadyPrinted) return true;
  ScopedLog log(app->log);
  app->plan = PlanPage(options->header, BuiltInChoices().resolutions);
  if (!app->plan.problem.empty()) return RefusePage(*app, job, page, app->plan.problem);
  const unsigned resolution = app->plan.printed.HWResolution[0];
  if (!app->conversion) {
    if (!StartConversion(*app, job, options, static_cast<int>(resolution))) {
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
  return app->conversion->StartPage(app->plan.printed);
}

// Rows are repeated where the page's resolution down is a part of its
// resolution across.
bool WriteAppLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned y,
                  const unsigned char* line) {
  AppJob* app = JobOf(job);
  if (app == nullptr) return false;
  if (app->alreadyPrinted) return true;
  if (!app->conversion) return false;
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
  return app != nullptr && (app->alreadyPrinted || (app->conversion && !app->conversion->ended()));
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
    if (!app->failed) papplJobSetMessage(job, "%s", AsSentence(kNoPageToPrint).c_str());
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
