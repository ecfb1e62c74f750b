// The authentication pair (an ID and a password) that an administrator
// leaves for the printer in a small JSON file.  The file is only read.
#ifndef QUILLFERN_PARAMS_AUTH_FILE_H_
#define QUILLFERN_PARAMS_AUTH_FILE_H_

#include <cstddef>

namespace quillfern {

constexpr char kAuthConfigPath[] = "/tmp/auth/auth_config";
constexpr size_t kAuthFieldSize = 128;  // 127 characters and the terminator

// Reads the string members "AuthID" and "Password" of the JSON object in the
// file at `path` into `id` and `password` (each `fieldSize` bytes, cut at
// fieldSize - 1 characters).  A missing or non-string member leaves its
// buffer as it was.  Returns 1 when the file was read and parsed as JSON,
// 0 when it cannot be opened or read, or does not parse.
int getAuthInfo(const char* path, char* id, char* password, size_t fieldSize);

}  // namespace quillfern

#endif  // QUILLFERN_PARAMS_AUTH_FILE_H_
