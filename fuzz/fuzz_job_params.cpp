// The options text, as whoever submits a job writes it, through the token
// rules into a job's table and out as job_params.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "params/job_params.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string options(reinterpret_cast<const char*>(data), size);
  JobParamTable table = tblDefParam;
  GetJobParamFromCups(options.c_str(), table);

  for (int i = 0; i < kJobParamCount; ++i) {
    // No field is overrun: every value is terminated inside its field, and
    // keys and separators are never touched.
    if (strnlen(table[i].value, sizeof table[i].value) > kJobParamValueMax) abort();
    if (memcmp(table[i].key, tblDefParam[i].key, sizeof table[i].key) != 0) abort();
    if (memcmp(table[i].separator, tblDefParam[i].separator, sizeof table[i].separator) != 0) {
      abort();
    }
  }

  char text[kJobParamsBufferSize + 16];
  memset(text, 0x5a, sizeof text);
  BuildJobParams(text, kJobParamsBufferSize, table);
  size_t length = strnlen(text, kJobParamsBufferSize);
  if (length > kJobParamsBufferSize - 1) abort();
  for (size_t i = kJobParamsBufferSize; i < sizeof text; ++i) {
    if (text[i] != 0x5a) abort();  // nothing written past the buffer
  }
  if (strncmp(text, "PageSize=", 9) != 0) abort();
  return 0;
}
