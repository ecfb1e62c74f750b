// The job title, as the submitter chose it, made into the document name.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "params/doc_name.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string title(reinterpret_cast<const char*>(data), size);
  char name[kDocNameSize + 16];
  memset(name, 0, kDocNameSize);
  memset(name + kDocNameSize, 0x5a, 16);
  getDocumenName(title.c_str(), name, kDocNameSize);
  size_t length = strnlen(name, kDocNameSize);
  if (length > kDocNameSize - 1) abort();
  for (size_t i = kDocNameSize; i < sizeof name; ++i) {
    if (name[i] != 0x5a) abort();
  }
  // The name is part of the title: never text of its own making.
  if (strstr(title.c_str(), name) == nullptr) abort();
  if (strchr(name, '/') != nullptr) abort();
  return 0;
}
