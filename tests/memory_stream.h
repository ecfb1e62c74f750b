// A print stream written into memory, for tests of the stream writers.
#ifndef QUILLFERN_TESTS_MEMORY_STREAM_H_
#define QUILLFERN_TESTS_MEMORY_STREAM_H_

#include <cstdio>
#include <cstdlib>
#include <string>

#include "filter/printer_stream.h"

namespace testing_support {

class MemoryStream {
 public:
  MemoryStream() : file_(open_memstream(&buffer_, &size_)), output_(file_) {}
  ~MemoryStream() {
    fclose(file_);
    free(buffer_);
  }
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  PrinterOutput& output() { return output_; }

  // Everything written so far.
  std::string bytes() {
    fflush(file_);
    return std::string(buffer_, size_);
  }

 private:
  char* buffer_ = nullptr;
  size_t size_ = 0;
  FILE* file_;
  PrinterOutput output_;
};

}  // namespace testing_support

#endif  // QUILLFERN_TESTS_MEMORY_STREAM_H_
