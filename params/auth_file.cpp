#include "params/auth_file.h"

#include <cjson/cJSON.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/log.h"
#include "common/owners.h"
#include "common/log_text.h"
#include "params/secret_mask.h"
#include "params/text_field.h"

namespace quillfern {

namespace {

struct JsonDeleter {
  void operator()(cJSON* tree) const { cJSON_Delete(tree); }
};
using UniqueJson = std::unique_ptr<cJSON, JsonDeleter>;

constexpr long kAuthFileMaxBytes = 64 * 1024;

// Opens the file without blocking: a FIFO planted at the path must not hang
// every job.
UniqueFile OpenWithoutBlocking(const char* path) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  UniqueFile file(fdopen(fd, "rb"));
  if (!file) close(fd);
  return file;
}

// The size of an open regular file of at most 64 KiB, -1 for anything else.
long FileSize(FILE* file) {
  struct stat status;
  if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) return -1;
  if (status.st_size > kAuthFileMaxBytes) return -1;
  return static_cast<long>(status.st_size);
}

// Why `path` (the file, or the directory it is in) could have been written
// by someone other than root and the filter's user, or empty.
std::string PlantingRisk(const char* path, const struct stat& status) {
  std::string shown = LogText(path);
  if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) return shown + " is writable by group or others";
  if (status.st_uid != 0 && status.st_uid != geteuid()) {
    return shown + " belongs to another user (uid " + std::to_string(status.st_uid) + ")";
  }
  return "";
}

// The file is still used, but an administrator should know that anyone on
// the host could have put it there.
void WarnWhenOthersCouldWrite(const char* path, FILE* file) {
  std::string risks;
  struct stat status;
  if (fstat(fileno(file), &status) == 0) risks = PlantingRisk(path, status);
  std::string directory(path);
  const size_t slash = directory.rfind('/');
  directory = slash == std::string::npos ? "." : slash == 0 ? "/" : directory.substr(0, slash);
  if (stat(directory.c_str(), &status) == 0) {
    std::string risk = PlantingRisk(directory.c_str(), status);
    if (!risk.empty()) risks += (risks.empty() ? "" : " and ") + risk;
  }
  if (risks.empty()) return;
  LogPrintf("WARNING: the authentication file is used although %s\n", risks.c_str());
}

// Logs the end of a read that gave no credentials; returns getAuthInfo's 0.
int ReadFailed() {
  LogPuts("DEBUG: Exit  getAuthInfo with error!\n");
  return 0;
}

// The text of a string member, or null when it is missing or not a string.
const char* StringMember(const cJSON* tree, const char* name) {
  const cJSON* item = cJSON_GetObjectItemCaseSensitive(tree, name);
  return cJSON_IsString(item) ? item->valuestring : nullptr;
}

// Reads the whole open file as text; null (and the failure logged) when it
// is not a small regular file or memory cannot be had.
MallocPtr<char[]> ReadText(const char* path, FILE* file) {
  // A path that names something without a size (a directory, a pipe), or
  // a file far larger than an ID and a password, is not an authentication
  // file.
  long size = FileSize(file);
  if (size < 0) {
    LogPuts("DEBUG: Error reading auth_file\n");
    return nullptr;
  }
  WarnWhenOthersCouldWrite(path, file);

  MallocPtr<char[]> text(static_cast<char*>(malloc(static_cast<size_t>(size) + 1)));
  if (!text) {
    LogPuts("DEBUG: Error allocating memory\n");
    return nullptr;
  }
  LogPuts("DEBUG: create  json_string!\n");
  size_t length = fread(text.get(), 1, static_cast<size_t>(size), file);
  text[length] = '\0';
  return text;
}

// Copies the two members that are strings into the caller's buffers.
void TakeCredentials(const cJSON* tree, char* id, char* password, size_t fieldSize) {
  if (const char* authId = StringMember(tree, "AuthID")) {
    LogPrintf("DEBUG: AuthID: %s\n", LogText(authId).c_str());
    CopyTextField(id, fieldSize, authId);
  }
  if (const char* secret = StringMember(tree, "Password")) {
    LogPrintf("DEBUG: Password: %s\n", LoggableValue(kSecretKey, secret));
    CopyTextField(password, fieldSize, secret);
  }
}

}  // namespace

int getAuthInfo(const char* path, char* id, char* password, size_t fieldSize) {
  LogPuts("DEBUG: Enter getAuthInfo!\n");

  UniqueFile file = OpenWithoutBlocking(path);
  if (!file) {
    LogPuts("DEBUG: auth_file is not found!\n");
    return 0;
  }
  MallocPtr<char[]> text = ReadText(path, file.get());
  file.reset();
  if (!text) return ReadFailed();

  UniqueJson tree(cJSON_Parse(text.get()));
  if (!tree) {
    LogPuts("DEBUG: Error parsing JSON\n");
    return ReadFailed();
  }
  LogPuts("DEBUG: Parse  json_string!\n");
  TakeCredentials(tree.get(), id, password, fieldSize);
  LogPuts("DEBUG: Exit  getAuthInfo!\n");
  return 1;
}

}  // namespace quillfern
