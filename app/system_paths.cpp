#include "app/system_paths.h"

#include <fcntl.h>
#include <pappl/pappl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quillfern {

const char* const kServiceUnitPaths[3] = {"/etc/systemd/system/" QUILLFERN_APP_NAME ".service",
                                          "/lib/systemd/system/" QUILLFERN_APP_NAME ".service",
                                          "/usr/lib/systemd/system/" QUILLFERN_APP_NAME ".service"};

namespace {

// systemd's directory variable: the first of its colon-separated paths.
std::string SystemdDirectory(const char* name) {
  const char* value = getenv(name);
  if (value == nullptr) return "";
  const std::string paths = value;
  return paths.substr(0, paths.find(':'));
}

// The user's ~/.config, where state lived before it had a folder of its own.
std::string UserConfigDirectory(const std::string& home) {
  return (home.empty() ? std::string("/tmp") : home) + "/.config";
}

// Why `path` cannot be a directory the server writes in (made with `mode`
// when missing), or empty.
std::string DirectoryProblem(const std::string& path, mode_t mode) {
  struct stat info;
  if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) return strerror(errno);
  if (stat(path.c_str(), &info) != 0) return strerror(errno);
  if (!S_ISDIR(info.st_mode)) return strerror(ENOTDIR);
  if (access(path.c_str(), W_OK | X_OK) != 0) return strerror(errno);
  return "";
}

// Why the server cannot write the log file `path`, or empty.  PAPPL takes
// "-" for standard error and "syslog" for the system log.
std::string LogFileProblem(const std::string& path) {
  if (path.empty() || path == "-" || path == "syslog") return "";
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return strerror(errno);
  close(fd);
  return "";
}

bool Refuse(const char* what, const std::string& path, const std::string& problem) {
  fprintf(stderr, "%s: cannot use the %s %s: %s\n", kProgramName, what, path.c_str(),
          problem.c_str());
  return false;
}

// Root's commands (PAPPL's among them) look for the server only at
// /run/NAME.sock, which the unit links to the runtime directory; run by
// hand, the link is root's to make.
void CheckRootsLink(const std::string& runtime) {
  const std::string link = LocalSocketPath(kProgramName, 0);
  const std::string socket = SocketInRuntimeDirectory(runtime);
  char target[1024];
  const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
  if (length >= 0 && std::string(target, static_cast<size_t>(length)) == socket) return;
  fprintf(stderr,
          "%s: root's commands will not find this server until root links %s to it: "
          "ln -sfn %s %s\n",
          kProgramName, link.c_str(), socket.c_str(), link.c_str());
}

}  // namespace

std::string ProgramAndVersion() {
  return std::string(kProgramName) + " " + kVersion;
}

PathsContext ThisProcess() {
  PathsContext context;
  context.stateDirectory = SystemdDirectory("STATE_DIRECTORY");
  context.logsDirectory = SystemdDirectory("LOGS_DIRECTORY");
  context.runtimeDirectory = SystemdDirectory("RUNTIME_DIRECTORY");
  context.uid = geteuid();
  const char* home = getenv("HOME");
  const passwd* user = getpwuid(context.uid);
  if (home != nullptr) {
    context.home = home;
  } else if (user != nullptr) {
    context.home = user->pw_dir;
  }
  const passwd* service = getpwnam(kServiceUser);
  context.serviceUser = context.uid == 0 || (service != nullptr && service->pw_uid == context.uid);
  return context;
}

ServerPaths ChooseServerPaths(const PathsContext& context) {
  ServerPaths paths;
  if (!context.stateDirectory.empty()) {
    paths.state = context.stateDirectory;
  } else if (context.serviceUser) {
    paths.state = kServiceStateDirectory;
  } else {
    paths.state = UserConfigDirectory(context.home) + "/" + kProgramName;
  }
  paths.spool = paths.state + "/spool";
  const std::string logName = std::string("/") + kProgramName + ".log";
  if (!context.logsDirectory.empty()) {
    paths.logFile = context.logsDirectory + logName;
  } else if (context.serviceUser) {
    paths.logFile = kServiceLogDirectory + logName;
  }
  if (!context.runtimeDirectory.empty()) {
    paths.runtime = context.runtimeDirectory;
  } else if (context.serviceUser && context.uid != 0) {
    // Root's own server listens at /run/NAME.sock itself (PAPPL's rule).
    paths.runtime = kServiceRuntimeDirectory;
  }
  return paths;
}

bool PrepareServerPaths(const char* spoolOption, const char* logOption, ServerPaths* paths) {
  const PathsContext context = ThisProcess();
  *paths = ChooseServerPaths(context);
  if (spoolOption != nullptr) paths->spool = spoolOption;
  if (logOption != nullptr) paths->logFile = logOption;
  if (!context.serviceUser && context.stateDirectory.empty()) {
    mkdir(UserConfigDirectory(context.home).c_str(), 0700);
  }
  std::string problem = DirectoryProblem(paths->state, 0700);
  if (!problem.empty()) return Refuse("state directory", paths->state, problem);
  problem = DirectoryProblem(paths->spool, 0700);
  if (!problem.empty()) return Refuse("spool directory", paths->spool, problem);
  if (logOption == nullptr && !paths->logFile.empty()) {
    const std::string directory = paths->logFile.substr(0, paths->logFile.rfind('/'));
    problem = DirectoryProblem(directory, 0750);
    if (!problem.empty()) return Refuse("log directory", directory, problem);
  }
  problem = LogFileProblem(paths->logFile);
  if (!problem.empty()) return Refuse("log file", paths->logFile, problem);
  if (!paths->runtime.empty()) {
    problem = DirectoryProblem(paths->runtime, 0755);
    if (!problem.empty()) return Refuse("runtime directory", paths->runtime, problem);
    CheckRootsLink(paths->runtime);
  }
  return true;
}

bool MoveEarlierUserState(const std::string& config, const std::string& directory) {
  const std::string stateName = std::string("/") + kProgramName + ".state";
  if (access((config + stateName).c_str(), F_OK) != 0 ||
      access((directory + stateName).c_str(), F_OK) == 0) {
    return false;
  }
  if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return false;
  // job-marks/ is JobMarksDirectory's folder (app/state_job_marks.h).
  for (const char* name : {kLoginsFolder, "job-marks"}) {
    const std::string from = config + "/" + name;
    if (access(from.c_str(), F_OK) == 0) rename(from.c_str(), (directory + "/" + name).c_str());
  }
  return rename((config + stateName).c_str(), (directory + stateName).c_str()) == 0;
}

const std::string& StateDirectory() {
  static const std::string directory = [] {
    const PathsContext context = ThisProcess();
    const std::string path = ChooseServerPaths(context).state;
    if (!context.serviceUser && context.stateDirectory.empty()) {
      const std::string config = UserConfigDirectory(context.home);
      mkdir(config.c_str(), 0700);
      MoveEarlierUserState(config, path);
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

std::string SocketInRuntimeDirectory(const std::string& runtime) {
  return runtime + "/" + kProgramName + ".sock";
}

std::string ServiceSocketPath() {
  static const std::string socket = [] {
    const std::string runtime = ChooseServerPaths(ThisProcess()).runtime;
    return runtime.empty() ? std::string() : SocketInRuntimeDirectory(runtime);
  }();
  return socket;
}

}  // namespace quillfern
