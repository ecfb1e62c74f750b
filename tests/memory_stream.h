// A print stream written into memory, for tests of the stream writers and
// of the conversion core.
#ifndef QUILLFERN_TESTS_MEMORY_STREAM_H_
#define QUILLFERN_TESTS_MEMORY_STREAM_H_

#include <string>

#include "core/stream_writer.h"

namespace testing_support {

class MemoryStream : public quillfern::ByteSink {
 public:
  MemoryStream() : output_(*this) {}
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  int Write(const void* data, size_t size) override {
    bytes_.append(static_cast<const char*>(data), size);
    return 0;
  }

  quillfern::PrinterOutput& output() { return output_; }

  // Everything written so far.
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
  quillfern::PrinterOutput output_;
};

}  // namespace testing_support

#endif  // QUILLFERN_TESTS_MEMORY_STREAM_H_
