#include "app/app_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "app/job_options.h"
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
    const std::string text = line.substr(strlen(level.prefix));
    if (level.level == PAPPL_LOGLEVEL_ERROR) lastError_ = text;
    papplLogJob(job_, level.level, "%s", text.c_str());
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
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

bool JobDirectory::Create(std::string* problem) {
  if (mkdir(directory_.c_str(), 0700) != 0 && errno != EEXIST) {
    *problem = "cannot create " + directory_ + ": " + strerror(errno);
    return false;
  }
  struct stat status;
  if (lstat(directory_.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
      status.st_uid != geteuid() || (status.st_mode & 077) != 0) {
    *problem = directory_ + " is not a private directory of this user";
    return false;
  }
  return true;
}

namespace {

// Everything one job keeps between PAPPL's callbacks.
struct AppJob {
  AppJob(pappl_job_t* job, pappl_device_t* device) : log(job), sink(device), output(sink) {}
  PapplJobLog log;
  PapplDeviceSink sink;
  PrinterOutput output;
  PbmtojbgEncoder encoder;
  std::unique_ptr<JobDirectory> work;
  JobSetup setup;
  std::unique_ptr<ConversionJob> conversion;
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

// The job's choices, as PAPPL resolved them.
IppJobChoices ChoicesFor(pappl_job_t* job, const pappl_pr_options_t* options) {
  IppJobChoices choices;
  choices.jobId = papplJobGetID(job);
  choices.user = papplJobGetUsername(job) != nullptr ? papplJobGetUsername(job) : "";
  choices.jobName = papplJobGetName(job) != nullptr ? papplJobGetName(job) : "";
  choices.copies = options->copies > 0 ? options->copies : 1;
  choices.media = options->media.size_name;
  choices.mediaSource = options->media.source;
  choices.mediaType = options->media.type;
  choices.resolution = options->printer_resolution[0];
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

// The filter's setup, run on what CUPS would have handed the filter.
bool SetUp(AppJob& app, pappl_job_t* job, const pappl_pr_options_t* options) {
  std::string problem;
  const std::string spool = SpoolDirectory(job);
  app.work = std::make_unique<JobDirectory>(spool + "/quillfern-job-" +
                                            std::to_string(papplJobGetID(job)) + "/");
  if (spool.empty() || !app.work->Create(&problem)) {
    papplJobSetMessage(job, "No work directory: %s", problem.c_str());
    return false;
  }
  const std::string ppd = app.work->directory() + "driver.ppd";
  FILE* file = fopen(ppd.c_str(), "w");
  if (file == nullptr) return false;
  fputs(kDriverPpd, file);
  fclose(file);

  std::vector<std::string> args = FilterArguments(ChoicesFor(job, options));
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  SetupSources sources{ppd.c_str(), kAuthConfigPath};
  if (SetupJob(static_cast<int>(argv.size()), argv.data(), sources, app.setup) != kSetupDone) {
    papplJobSetMessage(job, "%s", app.log.lastError().c_str());
    return false;
  }
  return true;
}

}  // namespace

bool StartAppJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  auto app = std::make_unique<AppJob>(job, device);
  ScopedLog log(app->log);
  if (!SetUp(*app, job, options)) return false;
  JobServices services;
  services.work = app->work.get();
  services.encoder = &app->encoder;
  services.output = &app->output;
  services.cancelled = [job] { return papplJobIsCanceled(job); };
  app->conversion = std::make_unique<ConversionJob>(app->setup, services);
  // The printer makes the copies: PAPPL must not repeat the pages.
  options->copies = 1;
  papplJobSetData(job, app.release());
  return true;
}

bool StartAppPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned) {
  AppJob* app = JobOf(job);
  if (app == nullptr) return false;
  ScopedLog log(app->log);
  app->conversion->StartPage(options->header);
  return true;
}

bool WriteAppLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned,
                  const unsigned char* line) {
  AppJob* app = JobOf(job);
  if (app == nullptr) return false;
  app->conversion->WriteRow(line, options->header.cupsBytesPerLine);
  return true;
}

bool EndAppPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned) {
  return JobOf(job) != nullptr;
}

// The end of the job: the page in hand is its last.  A job that could not
// be printed whole is aborted with the reason the client sees, and a
// printer that stopped taking data is reported in the printer's state.
bool EndAppJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
  std::unique_ptr<AppJob> app(JobOf(job));
  papplJobSetData(job, nullptr);
  if (!app) return false;
  int status = 0;
  {
    ScopedLog log(app->log);
    status = app->conversion->EndJob();
  }
  pappl_printer_t* printer = papplJobGetPrinter(job);
  if (app->output.failed()) {
    papplPrinterSetReasons(printer, PAPPL_PREASON_OTHER, PAPPL_PREASON_NONE);
  } else {
    papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, PAPPL_PREASON_OTHER);
  }
  if (status != 0) papplJobSetMessage(job, "%s", app->log.lastError().c_str());
  return status == 0;
}

}  // namespace quillfern
