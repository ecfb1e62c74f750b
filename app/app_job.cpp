#include "app/app_job.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/job_options.h"
#include "app/printer_choices.h"
#include "app/printer_logins.h"
#include "app/printed_page.h"
#include "app/printer_turns.h"
#include "app/system.h"
#include "core/job_setup.h"
#include "params/auth_file.h"

namespace quillfern {

extern const char kDriverPpd[];

// A last piece without its line end is still logged.
PapplJobLog::~PapplJobLog() {
  if (!pending_.empty()) WriteLine(pending_);
}

void PapplJobLog::Write(std::string_view text) {
  pending_.append(text);
  for (size_t end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
    WriteLine(pending_.substr(0, end));
    pending_.erase(0, end + 1);
  }
}

// A line at the level its CUPS prefix names; unprefixed lines are debug.
void PapplJobLog::WriteLine(const std::string& line) {
  static const struct {
    const char* prefix;
    pappl_loglevel_t level;
  } kLevels[] = {{"DEBUG: ", PAPPL_LOGLEVEL_DEBUG},
                 {"INFO: ", PAPPL_LOGLEVEL_INFO},
                 {"WARNING: ", PAPPL_LOGLEVEL_WARN},
                 {"ERROR: ", PAPPL_LOGLEVEL_ERROR}};
  for (const auto& level : kLevels) {
    if (line.rfind(level.prefix, 0) != 0) continue;
    papplLogJob(job_, level.level, "%s", line.c_str() + strlen(level.prefix));
    return;
  }
  papplLogJob(job_, PAPPL_LOGLEVEL_DEBUG, "%s", line.c_str());
}

int PapplDeviceSink::Write(const void* data, size_t size) {
  return papplDeviceWrite(device_, data, size) < 0 ? EIO : 0;
}

int PapplDeviceSink::Flush() {
  papplDeviceFlush(device_);
  return 0;
}

JobDirectory::~JobDirectory() {
  if (directory_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

bool JobDirectory::Create(const std::string& spool, int printerId, int jobId,
                          std::string* problem) {
  std::string name = spool + "/" + kJobDirectoryPrefix + std::to_string(printerId) + "-" +
                     std::to_string(jobId) + "-XXXXXX";
  if (mkdtemp(name.data()) == nullptr) {
    *problem = "cannot create a scratch directory in " + spool + ": " + strerror(errno);
    return false;
  }
  directory_ = name + "/";
  return true;
}

int RemoveLeftoverJobDirectories(const std::string& spool) {
  int removed = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(spool, error)) {
    const std::string name = entry.path().filename().string();
    struct stat status;
    if (name.rfind(kJobDirectoryPrefix, 0) != 0 || lstat(entry.path().c_str(), &status) != 0 ||
        !S_ISDIR(status.st_mode) || status.st_uid != geteuid()) {
      continue;
    }
    std::error_code ignored;
    std::filesystem::remove_all(entry.path(), ignored);
    ++removed;
  }
  return removed;
}

namespace {

// Where the device cannot be opened, the job's log says why.
void LogDeviceError(const char* message, void* job) {
  papplLogJob(static_cast<pappl_job_t*>(job), PAPPL_LOGLEVEL_ERROR, "%s", message);
}

// The device a job writes to.  PAPPL opens a printer's device when a job
// starts and may hand the same one to a job it started at the same time:
// for a file: device it is named after whichever job opened it and is
// closed when any job ends.  So a job on a file: device opens its own, named
// after itself, once it has its turn; other devices (USB, network) are one
// connection to the printer and are used as PAPPL opened them.
class JobDevice {
 public:
  JobDevice(pappl_job_t* job, pappl_device_t* device) : job_(job), device_(device) {}
  ~JobDevice() {
    if (own_ != nullptr) papplDeviceClose(own_);
  }
  JobDevice(const JobDevice&) = delete;
  JobDevice& operator=(const JobDevice&) = delete;

  pappl_device_t* Open() {
    const char* uri = papplPrinterGetDeviceURI(papplJobGetPrinter(job_));
    if (uri == nullptr || strncmp(uri, "file:", 5) != 0) return device_;
    const char* name = papplJobGetName(job_);
    own_ = papplDeviceOpen(uri, name != nullptr ? name : "job", LogDeviceError, job_);
    return own_;
  }

 private:
  pappl_job_t* job_;
  pappl_device_t* device_;
  pappl_device_t* own_ = nullptr;
};

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
  bool failed = false;        // the job ended before its first page; message set
  int copies = 1;             // what the job asks for; the printer makes them
  unsigned resolution = 0;    // the job's, from its first page
  PagePlan plan;              // the page in hand, as the printer takes it
  std::vector<unsigned char> row;
};

AppJob* JobOf(pappl_job_t* job) {
  return static_cast<AppJob*>(papplJobGetData(job));
}

// The application's spool directory, the one PAPPL keeps job files in.
std::string SpoolDirectory(pappl_job_t* job) {
  char name[1024];
  const int fd = papplJobOpenFile(job, name, sizeof name, nullptr, "probe", "w");
  if (fd < 0) return "";
  close(fd);
  unlink(name);
  std::string path = name;
  return path.substr(0, path.rfind('/'));
}

std::string TextAttribute(pappl_job_t* job, const char* name) {
  ipp_attribute_t* attribute = papplJobGetAttribute(job, name);
  const char* text = attribute != nullptr ? ippGetString(attribute, 0, nullptr) : nullptr;
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

// The job's choices, as PAPPL resolved them.  A job that names no tray
// prints from the main tray: PAPPL would pick the first tray whose ready
// media has the job's size, and the manual feed (which turns duplex off) is
// used only when a job asks for it.
IppJobChoices ChoicesFor(pappl_job_t* job, const pappl_pr_options_t* options, int copies,
                         int resolution) {
  IppJobChoices choices;
  choices.jobId = papplJobGetID(job);
  choices.user = papplJobGetUsername(job) != nullptr ? papplJobGetUsername(job) : "";
  choices.jobName = papplJobGetName(job) != nullptr ? papplJobGetName(job) : "";
  choices.copies = copies;
  choices.media = options->media.size_name;
  choices.mediaSource = JobNamesSource(job) ? options->media.source : "main";
  choices.mediaType = options->media.type;
  choices.resolution = resolution;
  choices.sides = SidesName(options->sides);
  choices.collate =
      TextAttribute(job, "multiple-document-handling") != "separate-documents-uncollated-copies";
  const char* feedEdge = cupsGetOption("feed-edge", options->num_vendor, options->vendor);
  choices.feedEdge = feedEdge != nullptr ? feedEdge : "long-edge";
  choices.uuid = TextAttribute(job, "job-uuid");
  choices.createdAt = static_cast<long long>(papplJobGetTimeCreated(job));
  choices.processedAt = static_cast<long long>(papplJobGetTimeProcessed(job));
  return choices;
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
  const IppJobChoices choices = ChoicesFor(job, options, app.copies, resolution);
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
    papplJobSetMessage(job, "The printer's device cannot be opened.");
    return false;
  }
  app.sink = std::make_unique<PapplDeviceSink>(device);
  app.output = std::make_unique<PrinterOutput>(*app.sink);
  return RunFilterSetup(app, job, FilterArguments(choices, printer));
}

}  // namespace

// The job's start: its turn on the printer.  The settings are resolved and
// the stream opened at its first page, whose resolution is the job's (a
// PWG or Apple raster job is printed at the resolution it was rendered at).
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
  // The printer makes the copies: PAPPL must not repeat the pages.
  app->copies = options->copies > 0 ? options->copies : 1;
  options->copies = 1;
  papplJobSetData(job, app.release());
  return true;
}

namespace {

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

}  // namespace

bool FailJob(pappl_job_t* job, const std::string& reason) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", reason.c_str());
  papplJobSetMessage(job, "%s", reason.c_str());
  return false;
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

bool IsRepeatedStart(pappl_job_t* job) {
  const AppJob* app = JobOf(job);
  return app != nullptr && app->alreadyPrinted;
}

bool StartAppPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*,
                  unsigned page) {
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

// A received row, as the printer's row (repeated where the page's
// resolution down is a part of its resolution across).
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
  return app != nullptr &&
         (app->alreadyPrinted || (app->conversion && !app->conversion->ended()));
}

// The end of the job: the page in hand is its last.  A job that could not
// be printed whole is aborted with the core's reason as the message the
// client sees, and a printer that stopped taking data is reported in the
// printer's state.
bool EndAppJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
  std::unique_ptr<AppJob> app(JobOf(job));
  papplJobSetData(job, nullptr);
  if (!app) return false;
  if (app->alreadyPrinted) return true;
  if (!app->conversion) {
    // Nothing was sent: the job failed before its first page, or had none.
    if (!app->failed) papplJobSetMessage(job, "The document has no page to print.");
    return false;
  }
  int status = 0;
  {
    ScopedLog log(app->log);
    status = app->conversion->EndJob();
  }
  pappl_printer_t* printer = papplJobGetPrinter(job);
  if (app->output->failed()) {
    papplPrinterSetReasons(printer, PAPPL_PREASON_OTHER, PAPPL_PREASON_NONE);
  } else {
    papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, PAPPL_PREASON_OTHER);
  }
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

bool PrintRawStream(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device) {
  PrinterTurn turn(job);
  const PrinterTurn::Result result = turn.Take();
  if (result != PrinterTurn::kGo) return result == PrinterTurn::kAlreadyPrinted;
  SaveStateNow(papplPrinterGetSystem(papplJobGetPrinter(job)));
  JobDevice jobDevice(job, device);
  pappl_device_t* output = jobDevice.Open();
  if (output == nullptr) {
    papplJobSetMessage(job, "The printer's device cannot be opened.");
    return false;
  }
  const int fd = open(papplJobGetFilename(job), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    papplJobSetMessage(job, "Unable to open the print stream: %s", strerror(errno));
    return false;
  }
  char buffer[65536];
  ssize_t got;
  bool ok = true;
  // A stream is sent whole, even when cancelled: the printer must not be
  // left inside a record.
  while (ok && (got = read(fd, buffer, sizeof buffer)) > 0) {
    ok = papplDeviceWrite(output, buffer, static_cast<size_t>(got)) >= 0;
  }
  close(fd);
  if (!ok) papplJobSetMessage(job, "The printer stopped taking data.");
  return ok;
}

}  // namespace quillfern
