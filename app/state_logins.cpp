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

// Writes `text` to a new file beside `path`, owned like `directory`, and
// renames it over `path`.
std::string WriteReplacing(const std::string& directory, const std::string& path,
                           const std::string& text) {
  struct stat owner;
  if (stat(directory.c_str(), &owner) != 0) return Failed("read", directory);
  const std::string next = path + ".new";
  unlink(next.c_str());
  const int fd = open(next.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return Failed("create", next);
  bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (written && geteuid() == 0) written = fchown(fd, owner.st_uid, owner.st_gid) == 0;
  const std::string problem = written ? "" : Failed("write", next);
  if (close(fd) != 0 && problem.empty()) return Failed("write", next);
  if (problem.empty() && rename(next.c_str(), path.c_str()) == 0) return "";
  const std::string why = problem.empty() ? Failed("rename", next) : problem;
  unlink(next.c_str());
  return why;
}

// Makes the logins directory, 0700 and owned like the state directory.
std::string MakeLoginDirectory(const std::string& stateDirectory) {
  const std::string directory = LoginsDirectory(stateDirectory);
  struct stat owner;
  if (stat(stateDirectory.c_str(), &owner) != 0) return Failed("read", stateDirectory);
  if (mkdir(directory.c_str(), 0700) != 0) {
    return errno == EEXIST ? "" : Failed("create", directory);
  }
  if (geteuid() == 0 && chown(directory.c_str(), owner.st_uid, owner.st_gid) != 0) {
    return Failed("give", directory);
  }
  return "";
}

}  // namespace

std::string LoginPath(const std::string& stateDirectory, const std::string& printer) {
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
  return LoginsDirectory(stateDirectory) + "/" + name + ".json";
}

std::string SaveLogin(const std::string& stateDirectory, const std::string& printer,
                      const std::string& name, const std::string& password) {
  std::string problem = FieldProblem("login name", name);
  if (problem.empty()) problem = FieldProblem("password", password);
  if (problem.empty()) problem = MakeLoginDirectory(stateDirectory);
  if (!problem.empty()) return problem;
  UniqueJson tree(cJSON_CreateObject());
  cJSON_AddStringToObject(tree.get(), "AuthID", name.c_str());
  cJSON_AddStringToObject(tree.get(), "Password", password.c_str());
  std::unique_ptr<char, decltype(&cJSON_free)> text(cJSON_Print(tree.get()), cJSON_free);
  if (!text) return "out of memory";
  return WriteReplacing(LoginsDirectory(stateDirectory), LoginPath(stateDirectory, printer),
                        std::string(text.get()) + "\n");
}

bool RemoveLogin(const std::string& stateDirectory, const std::string& printer) {
  return unlink(LoginPath(stateDirectory, printer).c_str()) == 0 || errno == ENOENT;
}

bool ReadLogin(const std::string& stateDirectory, const std::string& printer, std::string* name,
               std::string* password) {
  const std::string path = LoginPath(stateDirectory, printer);
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
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
