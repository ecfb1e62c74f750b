#include "app/state_logins.h"

#include <cjson/cJSON.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/system_paths.h"
#include "common/owners.h"
#include "params/auth_file.h"

namespace quillfern {

namespace {

struct JsonDeleter {
  void operator()(cJSON* tree) const { cJSON_Delete(tree); }
};
using UniqueJson = std::unique_ptr<cJSON, JsonDeleter>;

// What the printer cannot take in a login field, or empty.
std::string FieldProblem(const char* what, const std::string& value) {
  if (value.size() >= kAuthFieldSize) {
    return std::string("the ") + what + " is longer than " + std::to_string(kAuthFieldSize - 1) +
           " bytes";
  }
  for (unsigned char c : value) {
    if (c < 0x20 || c == 0x7f) return std::string("the ") + what + " has a control character";
  }
  return "";
}

std::string Failed(const char* action, const std::string& path) {
  return std::string("cannot ") + action + " " + path + ": " + strerror(errno);
}

// The file name of `printer`'s login in the logins directory.
std::string LoginFileName(const std::string& printer) {
  std::string name;
  for (unsigned char c : printer) {
    if (isalnum(c) || c == '-' || c == '_' || c == '.') {
      name += static_cast<char>(c);
    } else {
      char escaped[4];
      snprintf(escaped, sizeof escaped, "%%%02X", c);
      name += escaped;
    }
  }
  return name + ".json";
}

// The logins directory, opened without following a link, owned by the
// owner of the state directory: root, writing for the server's user, must
// not be led elsewhere by what that user left there.  Made 0700 when it is
// missing (`create`).  Empty with `problem` set when it cannot be used.
UniqueFd OpenLoginsDirectory(const std::string& stateDirectory, bool create, std::string* problem) {
  const std::string path = LoginsDirectory(stateDirectory);
  UniqueFd state(open(stateDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat owner;
  if (!state || fstat(state.get(), &owner) != 0) {
    *problem = Failed("read", stateDirectory);
    return UniqueFd();
  }
  const bool made = create && mkdirat(state.get(), kLoginsFolder, 0700) == 0;
  if (create && !made && errno != EEXIST) {
    *problem = Failed("create", path);
    return UniqueFd();
  }
  UniqueFd logins(
      openat(state.get(), kLoginsFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat status;
  if (!logins || fstat(logins.get(), &status) != 0) {
    *problem = Failed("open", path);
    return UniqueFd();
  }
  if (made && geteuid() == 0 && fchown(logins.get(), owner.st_uid, owner.st_gid) != 0) {
    *problem = Failed("give", path);
    return UniqueFd();
  }
  if (!made && status.st_uid != owner.st_uid) {
    *problem = path + " is not owned by the owner of " + stateDirectory;
    return UniqueFd();
  }
  return logins;
}

// Writes `text` to a new file in `directory` beside `name`, owned like the
// directory, and renames it over `name`.
std::string WriteReplacing(int directory, const std::string& path, const std::string& name,
                           const std::string& text) {
  struct stat owner;
  if (fstat(directory, &owner) != 0) return Failed("read", path);
  const std::string next = name + ".new";
  unlinkat(directory, next.c_str(), 0);
  const int fd =
      openat(directory, next.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return Failed("create", path + ".new");
  bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (written && geteuid() == 0) written = fchown(fd, owner.st_uid, owner.st_gid) == 0;
  const std::string problem = written ? "" : Failed("write", path + ".new");
  if (close(fd) != 0 && problem.empty()) return Failed("write", path + ".new");
  if (problem.empty() && renameat(directory, next.c_str(), directory, name.c_str()) == 0) {
    return "";
  }
  const std::string why = problem.empty() ? Failed("rename", path + ".new") : problem;
  unlinkat(directory, next.c_str(), 0);
  return why;
}

}  // namespace

std::string LoginPath(const std::string& stateDirectory, const std::string& printer) {
  return LoginsDirectory(stateDirectory) + "/" + LoginFileName(printer);
}

std::string SaveLogin(const std::string& stateDirectory, const std::string& printer,
                      const std::string& name, const std::string& password) {
  std::string problem = FieldProblem("login name", name);
  if (problem.empty()) problem = FieldProblem("password", password);
  if (!problem.empty()) return problem;
  UniqueFd logins = OpenLoginsDirectory(stateDirectory, true, &problem);
  if (!logins) return problem;
  UniqueJson tree(cJSON_CreateObject());
  cJSON_AddStringToObject(tree.get(), "AuthID", name.c_str());
  cJSON_AddStringToObject(tree.get(), "Password", password.c_str());
  std::unique_ptr<char, decltype(&cJSON_free)> text(cJSON_Print(tree.get()), cJSON_free);
  if (!text) return "out of memory";
  return WriteReplacing(logins.get(), LoginPath(stateDirectory, printer), LoginFileName(printer),
                        std::string(text.get()) + "\n");
}

bool RemoveLogin(const std::string& stateDirectory, const std::string& printer) {
  std::string problem;
  UniqueFd logins = OpenLoginsDirectory(stateDirectory, false, &problem);
  if (!logins) return errno == ENOENT;
  return unlinkat(logins.get(), LoginFileName(printer).c_str(), 0) == 0 || errno == ENOENT;
}

bool ReadLogin(const std::string& stateDirectory, const std::string& printer, std::string* name,
               std::string* password) {
  std::string problem;
  UniqueFd logins = OpenLoginsDirectory(stateDirectory, false, &problem);
  if (!logins) return false;
  const int fd = openat(logins.get(), LoginFileName(printer).c_str(),
                        O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[4096];
  const ssize_t got = read(fd, buffer, sizeof buffer - 1);
  close(fd);
  if (got <= 0) return false;
  buffer[got] = '\0';
  UniqueJson tree(cJSON_Parse(buffer));
  const cJSON* id = cJSON_GetObjectItemCaseSensitive(tree.get(), "AuthID");
  const cJSON* secret = cJSON_GetObjectItemCaseSensitive(tree.get(), "Password");
  if (!cJSON_IsString(id) || !cJSON_IsString(secret)) return false;
  *name = id->valuestring;
  *password = secret->valuestring;
  return true;
}

}  // namespace quillfern
