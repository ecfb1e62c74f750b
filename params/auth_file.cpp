#include "params/auth_file.h"

#include <cjson/cJSON.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "common/unique_file.h"
#include "params/secret_mask.h"
#include "params/text_field.h"

namespace {

struct JsonDeleter {
  void operator()(cJSON* tree) const { cJSON_Delete(tree); }
};
using UniqueJson = std::unique_ptr<cJSON, JsonDeleter>;

// The size of an open regular file, found by seeking to its end; the stream
// is left at its start.  -1 for anything else or a stream that cannot be
// positioned.
long FileSize(FILE* file) {
  struct stat status;
  if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) return -1;
  if (fseek(file, 0, SEEK_END) != 0) return -1;
  long size = ftell(file);
  if (size < 0 || fseek(file, 0, SEEK_SET) != 0) return -1;
  return size;
}

int ExitWithError() {
  fputs("DEBUG: Exit  getAuthInfo with error!\n", stderr);
  return 0;
}

// The text of a string member, or null when it is missing or not a string.
const char* StringMember(const cJSON* tree, const char* name) {
  const cJSON* item = cJSON_GetObjectItemCaseSensitive(tree, name);
  return cJSON_IsString(item) ? item->valuestring : nullptr;
}

}  // namespace

int getAuthInfo(const char* path, char* id, char* password, size_t fieldSize) {
  fputs("DEBUG: Enter getAuthInfo!\n", stderr);

  UniqueFile file = OpenFile(path, "rb");
  if (!file) {
    fputs("DEBUG: auth_file is not found!\n", stderr);
    return 0;
  }

  // A path that names something without a size (a directory, a pipe) is not
  // an authentication file.
  long size = FileSize(file.get());
  if (size < 0) {
    fputs("DEBUG: Error reading auth_file\n", stderr);
    return ExitWithError();
  }

  MallocPtr<char[]> text(static_cast<char*>(malloc(static_cast<size_t>(size) + 1)));
  if (!text) {
    fputs("DEBUG: Error allocating memory\n", stderr);
    file.reset();
    return ExitWithError();
  }

  fputs("DEBUG: create  json_string!\n", stderr);
  size_t length = fread(text.get(), 1, static_cast<size_t>(size), file.get());
  text[length] = '\0';

  UniqueJson tree(cJSON_Parse(text.get()));
  if (!tree) {
    fputs("DEBUG: Error parsing JSON\n", stderr);
    text.reset();
    file.reset();
    return ExitWithError();
  }
  fputs("DEBUG: Parse  json_string!\n", stderr);

  if (const char* authId = StringMember(tree.get(), "AuthID")) {
    fprintf(stderr, "DEBUG: AuthID: %s\n", authId);
    CopyTextField(id, fieldSize, authId);
  }
  if (const char* secret = StringMember(tree.get(), "Password")) {
    fprintf(stderr, "DEBUG: Password: %s\n", LoggableValue(kSecretKey, secret));
    CopyTextField(password, fieldSize, secret);
  }

  tree.reset();
  text.reset();
  file.reset();
  fputs("DEBUG: Exit  getAuthInfo!\n", stderr);
  return 1;
}
