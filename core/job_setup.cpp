#include "core/job_setup.h"

#include "common/log.h"

// The PPD interface is deprecated in libcups in favour of the IPP
// destination API, but it is what a PPD-based driver reads its marks with.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/cups.h>
#include <cups/ppd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/log_text.h"
#include "core/ppd_file.h"
#include "params/auth_file.h"
#include "params/doc_name.h"
#include "params/secret_mask.h"
#include "params/text_field.h"

namespace quillfern {

namespace {

constexpr size_t kHostNameSize = 65;

// A parsed CUPS option list, freed with the job's setup.
class OptionList {
 public:
  explicit OptionList(const char* text) { count_ = cupsParseOptions(text, 0, &options_); }
  ~OptionList() { cupsFreeOptions(count_, options_); }
  OptionList(const OptionList&) = delete;
  OptionList& operator=(const OptionList&) = delete;

  const char* Get(const char* name) const { return cupsGetOption(name, count_, options_); }
  int count() const { return count_; }
  cups_option_t* options() const { return options_; }

 private:
  int count_ = 0;
  cups_option_t* options_ = nullptr;
};

// A value of the table, read without the lookup's log line.
const char* TableValue(const JobParamTable& table, const char* key) {
  for (const PARAM_KEY_SPERATOR_VALUE& record : table) {
    if (strcmp(record.key, key) == 0) return record.value;
  }
  return "";
}

bool Marked(ppd_file_t* ppd, const char* option, const char* choice) {
  return ppdIsMarked(ppd, option, choice) != 0;
}

// Every argument, before anything is checked, so that a wrong command line
// shows in full.  The password in the options is masked.
void LogArguments(int argc, char* argv[]) {
  for (int i = 0; i < argc; ++i) {
    const std::string shown = i == 5 ? MaskSecretsInOptions(argv[i]) : argv[i];
    LogPrintf("DEBUG: printerdriver_quillfern argv[%d]=%s \n", i, LogText(shown).c_str());
  }
}

// Job id, user, document name, copies and host name into the table.  All
// but the host name come with the job.
void SetJobIdentity(char* argv[], JobParamTable& table) {
  SetJobValue("jobId", argv[1], table);
  SetJobValue("LoginName", argv[2], table);

  char docName[kDocNameSize] = {};
  getDocumenName(argv[3], docName, sizeof docName);
  SetJobValue("DocName", docName, table);

  SetJobValue("copies", argv[4], table);

  char hostName[kHostNameSize] = {};
  if (gethostname(hostName, sizeof hostName) != 0) hostName[0] = '\0';
  hostName[kHostNameSize - 1] = '\0';
  LogPrintf("HostName: %s\n", LogText(hostName).c_str());
  SetJobParam("HostName", hostName, table);
}

// Collation from the raw options text: CUPS spells a false boolean as
// "no" + name.
bool ResolveCollate(const char* options) {
  bool collate = true;
  if (strstr(options, "noCollate") != nullptr) {
    LogPuts("DEBUG: option nocollate found\n");
    collate = false;
  } else if (strstr(options, "Collate") != nullptr) {
    LogPuts("DEBUG: option collate found\n");
    collate = true;
  }
  LogPrintf("DEBUG: collate is %d\n", collate ? 1 : 0);
  return collate;
}

void ResolvePageSize(ppd_file_t* ppd, const OptionList& options, JobParamTable& table) {
  static const char* const kKnownSizes[] = {"A4",        "A5",    "B5",        "16k", "Letter",
                                            "Statement", "Legal", "Executive", "A6",  "B6",
                                            "B5ISO",     "BANK1", "BANK2"};
  if (const char* pageSize = options.Get("PageSize")) {
    LogPrintf("DEBUG: option PageSize,value=%s\n", LogText(pageSize).c_str());
    SetJobValue("PageSize", pageSize, table);
    return;
  }
  for (const char* size : kKnownSizes) {
    if (!Marked(ppd, "PageSize", size)) continue;
    LogPrintf("DEBUG: ppd PageSize,value=%s\n", size);
    SetJobParam("PageSize", size, table);
    return;
  }
}

void ResolveInputSlot(ppd_file_t* ppd, const OptionList& options, JobParamTable& table) {
  if (const char* slot = options.Get("InputSlot")) {
    LogPrintf("DEBUG: option PaperBox,value=%s\n", LogText(slot).c_str());
    SetJobValue("InputSlot", slot, table);
  }
  if (Marked(ppd, "InputSlot", "ManualTray")) {
    SetJobParam("InputSlot", "ManualTray", table);
    LogPuts("DEBUG: InputSlot is ManualTray.\n");
  } else {
    LogPuts("DEBUG: InputSlot is Default(MainTray).\n");
  }
}

void ResolveResolution(ppd_file_t* ppd, JobParamTable& table) {
  if (Marked(ppd, "Resolution", "1200dpi")) {
    SetJobParam("Resolution", "1200dpi", table);
    LogPuts("DEBUG: Resolution is 1200dpi. \n");
  }
  LogPuts("DEBUG: resX is default(600dpi).\n");
}

void ResolveDuplex(ppd_file_t* ppd, JobSettings& settings, JobParamTable& table) {
  if (Marked(ppd, "Duplex", "None")) {
    settings.duplexMode = 0;
    SetJobParam("Duplex", "None", table);
  } else if (Marked(ppd, "Duplex", "DuplexNoTumble")) {
    settings.duplexMode = 1;
    SetJobParam("Duplex", "DuplexNoTumble", table);
  } else {
    settings.duplexMode = 2;
    SetJobParam("Duplex", "DuplexTumble", table);
  }
  LogPrintf("DEBUG: duplex is %d \n", settings.duplexMode);
}

void ResolveFeedAndOrientation(ppd_file_t* ppd, JobSettings& settings, JobParamTable& table) {
  if (Marked(ppd, "FeedEdge", "1")) {
    settings.feedEdge = 1;
    SetJobParam("FeedEdge", "1", table);
  } else {
    settings.feedEdge = 0;
  }
  LogPrintf("DEBUG: ppdIsMarked FeedEdge,value=%d\n", settings.feedEdge);

  settings.Flag_Page_A5 = Marked(ppd, "PageSize", "A5") ? 1 : 0;
  LogPrintf("DEBUG: ppdIsMarked Flag_Page_A5,value=%d\n", settings.Flag_Page_A5);

  LogPrintf("DEBUG: ppdIsMarked Orientation,value=%d\n",
            Marked(ppd, "Orientation", "Landscape") ? 1 : 0);
}

// Recycled paper is reported to the printer as plain.
void ResolveMedia(ppd_file_t* ppd, JobSettings& settings, JobParamTable& table) {
  if (Marked(ppd, "MediaType", "Plain") || Marked(ppd, "MediaType", "Recycled")) {
    settings.mediaClass = 0;
    SetJobParam("MediaType", "Plain", table);
  } else if (Marked(ppd, "MediaType", "Thin")) {
    settings.mediaClass = 1;
    SetJobParam("MediaType", "Thin", table);
  } else {
    settings.mediaClass = 2;
    SetJobParam("MediaType", "Thick", table);
  }
  LogPrintf("DEBUG: ppdIsMarked MediaType,value=%d\n", settings.mediaClass);
}

// The requested count reaches the printer only as the "copies" parameter:
// the printer makes the copies, and the filter writes every side once.
void ResolveCopies(const char* copiesArgument, JobSettings& settings, JobParamTable& table) {
  const int32_t requested = LeadingInteger(copiesArgument);
  LogPrintf("DEBUG: input copies is %d \n", requested);
  SetJobValue("copies", copiesArgument, table);
  settings.copies = 1;
  settings.requestedCopies = requested > 1 ? requested : 1;
}

// The two bank-slip forms are known to the printer as custom sizes.
void MapCustomSizes(JobParamTable& table) {
  const char* pageSize = nullptr;
  GetJobParam("PageSize", &pageSize, table);
  if (pageSize == nullptr) return;
  if (strcmp(pageSize, "BANK1") == 0) SetJobParam("PageSize", "CUS_1", table);
  if (strcmp(pageSize, "BANK2") == 0) SetJobParam("PageSize", "CUS_2", table);
}

void ReadAuthentication(const char* authPath, JobParamTable& table) {
  char id[kAuthFieldSize] = {};
  char password[kAuthFieldSize] = {};
  if (getAuthInfo(authPath, id, password, kAuthFieldSize) == 1) {
    SetJobParam("AuthID", id, table);
    SetJobParam("AuthPassword", password, table);
  }
}

// The printer duplexes only plain paper from the main tray, in a few sizes
// and not A5 fed by its short edge.  The first rule that holds turns duplex
// off.
void ApplyDuplexConstraints(JobSettings& settings, JobParamTable& table) {
  LogPuts("DEBUG: Verify the Params Constraint. \n");
  if (settings.duplexMode == 0) return;
  LogPuts("DEBUG: Verifying Duplex Constraint... \n");

  const char* reason = nullptr;
  if (strcmp(TableValue(table, "InputSlot"), "ManualTray") == 0) {
    reason = "DEBUG: Duplex is amend to OFF. Cause of Duplex ON + ManualTray. \n";
  } else if (settings.mediaClass != 0) {
    reason = "DEBUG: Duplex is amend to OFF. Cause of Duplex ON + No Plain. \n";
  } else if (settings.Flag_Page_A5 == 1 && settings.feedEdge == 1) {
    reason = "DEBUG: Duplex is amend to OFF. Cause of Duplex ON + A5L. \n";
  } else {
    static const char* const kDuplexSizes[] = {"A4", "Letter", "A5", "B5", "B5ISO", "16k"};
    const char* pageSize = TableValue(table, "PageSize");
    LogPrintf("DEBUG: PageSize:%s. \n", LogText(pageSize).c_str());
    bool supported = false;
    for (const char* size : kDuplexSizes) supported = supported || strcmp(pageSize, size) == 0;
    if (!supported) {
      reason = "DEBUG: Duplex is amend to OFF. Cause of Duplex ON + Unsupport Media Size. \n";
    }
  }
  if (reason == nullptr) return;
  LogPuts(reason);
  settings.duplexMode = 0;
  SetJobParam("Duplex", "None", table);
}

// Everything the PPD's marks (its defaults and the job's options) decide.
void ResolveFromPpd(ppd_file_t* ppd, const OptionList& options, const char* copiesArgument,
                    JobSettings& settings, JobParamTable& table) {
  ResolvePageSize(ppd, options, table);
  ResolveInputSlot(ppd, options, table);
  ResolveResolution(ppd, table);
  ResolveDuplex(ppd, settings, table);
  ResolveFeedAndOrientation(ppd, settings, table);
  ResolveMedia(ppd, settings, table);
  ResolveCopies(copiesArgument, settings, table);
  MapCustomSizes(table);
}

// The table as the printer reads it, and as it may be logged.
void SerialiseTable(JobSetup& job) {
  BuildJobParams(job.job_params, sizeof job.job_params, job.table);
  job.job_params_size = static_cast<int32_t>(strlen(job.job_params));
  FormatJobParams(job.loggedJobParams, sizeof job.loggedJobParams, job.table,
                  /*maskSecrets=*/true);
}

// The job's own PPD object (setup marks options in it): from the file the
// PPD variable names, or from the text a front end carries.
UniquePpd OpenPpd(const SetupSources& sources) {
  if (sources.ppdPath != nullptr) return UniquePpd(ppdOpenFile(sources.ppdPath));
  return OpenPpdText(sources.ppdText);
}

}  // namespace

int32_t LeadingInteger(const char* text) {
  errno = 0;
  long long value = strtoll(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

int SetupJob(int argc, char* argv[], const SetupSources& sources, JobSetup& job) {
  LogArguments(argc, argv);
  if (argc != 6 && argc != 7) {
    LogPrintf("Usage: %s job user title copies options [file]\n",
              LogText(argc > 0 ? argv[0] : "rastertoquillfern").c_str());
    return 1;
  }

  JobSettings& settings = job.settings;
  JobParamTable& table = job.table;
  const char* optionsText = argv[5];

  settings.jobId = LeadingInteger(argv[1]);
  table = tblDefParam;
  GetJobParamFromCups(optionsText, table);
  SetJobIdentity(argv, table);
  settings.collate = ResolveCollate(optionsText);

  job.buffers = AllocatePairBuffers();
  if (!job.buffers.buff1) {
    LogPuts("Buff1 or Buff2 malloc failed\n");
    return 1;
  }

  OptionList options(optionsText);
  UniquePpd ppd = OpenPpd(sources);
  if (!ppd) {
    LogPuts("ERROR: Unable to open PPD file!\n");
    return 1;
  }
  ppdMarkDefaults(ppd.get());
  cupsMarkOptions(ppd.get(), options.count(), options.options());
  ResolveFromPpd(ppd.get(), options, argv[4], settings, table);
  ReadAuthentication(sources.authPath, table);
  ApplyDuplexConstraints(settings, table);
  SerialiseTable(job);
  return kSetupDone;
}

}  // namespace quillfern

#pragma GCC diagnostic pop
