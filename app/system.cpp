#include "app/system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/driver.h"

namespace quillfern {

namespace {

constexpr char kName[] = "quillfern-printer-app";

pappl_pr_driver_t drivers[] = {
    {kDriverName, kMakeAndModel, "MFG:Quillfern;MDL:JBIG Page Printer;", nullptr},
};

const char* Option(int count, cups_option_t* options, const char* name, const char* fallback) {
  const char* value = cupsGetOption(name, count, options);
  return value != nullptr ? value : fallback;
}

pappl_loglevel_t LogLevel(const char* name) {
  if (strcmp(name, "debug") == 0) return PAPPL_LOGLEVEL_DEBUG;
  if (strcmp(name, "warn") == 0) return PAPPL_LOGLEVEL_WARN;
  if (strcmp(name, "error") == 0) return PAPPL_LOGLEVEL_ERROR;
  if (strcmp(name, "fatal") == 0) return PAPPL_LOGLEVEL_FATAL;
  return PAPPL_LOGLEVEL_INFO;
}

const std::string& StateFile() {
  static std::string path;
  if (!path.empty()) return path;
  const char* systemd = getenv("STATE_DIRECTORY");
  const char* home = getenv("HOME");
  std::string directory;
  if (systemd != nullptr) {
    directory = systemd;
  } else if (geteuid() == 0) {
    directory = std::string("/var/lib/") + kName;
  } else {
    directory = std::string(home != nullptr ? home : "/tmp") + "/.config";
  }
  mkdir(directory.c_str(), 0700);
  path = directory + "/" + kName + ".state";
  return path;
}

bool SaveState(pappl_system_t* system, void*) {
  return papplSystemSaveState(system, StateFile().c_str());
}

void SetVersion(pappl_system_t* system) {
  pappl_version_t version = {};
  snprintf(version.name, sizeof version.name, "%s", kName);
  snprintf(version.sversion, sizeof version.sversion, "%s", QUILLFERN_VERSION);
  sscanf(QUILLFERN_VERSION, "%hu.%hu.%hu", &version.version[0], &version.version[1],
         &version.version[2]);
  papplSystemSetVersions(system, 1, &version);
}

}  // namespace

pappl_system_t* CreateSystem(int count, cups_option_t* options, void*) {
  // The web interface administers printers from this host only: the
  // login of Debian 12's PAPPL 1.3.1 takes any password.
  pappl_system_t* system = papplSystemCreate(
      PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG, kName,
      atoi(Option(count, options, "server-port", "0")), "_print,_universal",
      Option(count, options, "spool-directory", nullptr),
      Option(count, options, "log-file", nullptr),
      LogLevel(Option(count, options, "log-level", "info")), nullptr, false);
  if (system == nullptr) return nullptr;
  // The local socket for the sub-commands is added by PAPPL's main loop.
  papplSystemAddListeners(system, Option(count, options, "listen-hostname", "localhost"));
  papplSystemSetPrinterDrivers(system, static_cast<int>(sizeof drivers / sizeof drivers[0]),
                               drivers, nullptr, nullptr, QuillfernDriver, nullptr);
  papplSystemAddMIMEFilter(system, "application/pdf", kPrintStreamFormat, FilterPdf, nullptr);
  SetVersion(system);
  papplSystemLoadState(system, StateFile().c_str());
  papplSystemSetSaveCallback(system, SaveState, nullptr);
  return system;
}

}  // namespace quillfern
