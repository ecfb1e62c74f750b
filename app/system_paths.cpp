#include "app/system_paths.h"

#include <pappl/pappl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace quillfern {

const char* const kServiceUnitPaths[3] = {"/etc/systemd/system/" QUILLFERN_APP_NAME ".service",
                                          "/lib/systemd/system/" QUILLFERN_APP_NAME ".service",
                                          "/usr/lib/systemd/system/" QUILLFERN_APP_NAME ".service"};

std::string ProgramAndVersion() {
  return std::string(kProgramName) + " " + kVersion;
}

const std::string& StateDirectory() {
  static const std::string directory = [] {
    const char* systemd = getenv("STATE_DIRECTORY");
    const char* home = getenv("HOME");
    std::string path;
    if (systemd != nullptr) {
      path = systemd;
    } else if (geteuid() == 0) {
      path = kServiceStateDirectory;
    } else {
      path = std::string(home != nullptr ? home : "/tmp") + "/.config";
    }
    mkdir(path.c_str(), 0700);
    return path;
  }();
  return directory;
}

const std::string& StateFile() {
  static const std::string path = StateDirectory() + "/" + kProgramName + ".state";
  return path;
}

std::string LoginsDirectory(const std::string& stateDirectory) {
  return stateDirectory + "/" + kLoginsFolder;
}

std::string LocalSocketPath(const std::string& programBase, uid_t uid) {
  if (uid == 0) return "/run/" + programBase + ".sock";
  return std::string(papplGetTempDir()) + "/" + programBase + std::to_string(uid) + ".sock";
}

std::string ServiceSocketPath() {
  const char* runtime = getenv("RUNTIME_DIRECTORY");
  if (runtime == nullptr) return "";
  return std::string(runtime) + "/" + kProgramName + ".sock";
}

}  // namespace quillfern
