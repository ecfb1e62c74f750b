// Whatever bytes an administrator (or anyone else) leaves in the
// authentication file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "params/auth_file.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

std::string ScratchPath() {
  return "/tmp/quillfern-fuzz-auth-" + std::to_string(getpid());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ScratchPath();
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) abort();
  if (size > 0 && fwrite(data, 1, size, file) != size) abort();
  fclose(file);

  char id[kAuthFieldSize + 16];
  char password[kAuthFieldSize + 16];
  memset(id, 0, kAuthFieldSize);
  memset(password, 0, kAuthFieldSize);
  memset(id + kAuthFieldSize, 0x5a, 16);
  memset(password + kAuthFieldSize, 0x5a, 16);
  int result = getAuthInfo(path.c_str(), id, password, kAuthFieldSize);
  if (result != 0 && result != 1) abort();
  if (strnlen(id, kAuthFieldSize) > kAuthFieldSize - 1) abort();
  if (strnlen(password, kAuthFieldSize) > kAuthFieldSize - 1) abort();
  for (size_t i = kAuthFieldSize; i < kAuthFieldSize + 16; ++i) {
    if (id[i] != 0x5a || password[i] != 0x5a) abort();
  }
  if (result == 0 && (id[0] != '\0' || password[0] != '\0')) abort();
  unlink(path.c_str());
  return 0;
}
