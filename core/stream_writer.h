// The byte stream the printer reads: one Job header carrying the job
// parameters as text, then one Page record (a 32-byte header and a JBIG
// file) per page side, back to back, integers 32-bit little-endian.
#ifndef QUILLFERN_CORE_STREAM_WRITER_H_
#define QUILLFERN_CORE_STREAM_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace quillfern {

constexpr char kJobTag[] = "rv7731_param";       // then zero bytes up to 16
constexpr char kPageMagic[] = "rv7731_printer";  // then zero bytes up to 16
constexpr size_t kJobTagBytes = 16;
constexpr size_t kPageHeaderBytes = 32;

// The header that opens every Page record, in wire order.
class printer_header {
 public:
  printer_header();

  char magic[16];
  int32_t firstpage;
  int32_t lastpage;
  int32_t datasize;
  int32_t pageno;
};

// Where the printer's bytes go: a stdio stream (the filter's standard
// output, memory in tests), a descriptor, or a device of another front end.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all of `data`; returns 0, or the errno of the failure.
  virtual int Write(const void* data, size_t size) = 0;
  // Pushes buffered bytes out; returns 0, or the errno of the failure.
  virtual int Flush() { return 0; }
};

class FileSink : public ByteSink {
 public:
  explicit FileSink(FILE* file) : file_(file) {}
  int Write(const void* data, size_t size) override;
  int Flush() override;

 private:
  FILE* file_;
};

// The print stream.  Every write is checked; after the first failure
// nothing more is written and the cause is kept for the job to report.
class PrinterOutput {
 public:
  explicit PrinterOutput(ByteSink& sink) : sink_(sink) {}

  bool Write(const void* data, size_t size);
  // Pushes buffered bytes out; false (and the cause kept) when that fails.
  bool Flush();

  bool failed() const { return error_ != 0; }
  int error() const { return error_; }  // errno of the first failure, or 0

 private:
  ByteSink& sink_;
  int error_ = 0;
};

// Writes the job tag, job_params_size and the text without its terminator,
// then logs the text (as `loggedText`, with secrets masked) and its size.
void WriteJobHeader(PrinterOutput& out, const char* jobParams, int32_t jobParamsSize,
                    const char* loggedText);

// Writes a Page record's 32-byte header with `lastpage` in place of the
// header's own, which some sequencing paths leave unchanged.
void WritePageHeader(PrinterOutput& out, const printer_header& header, int32_t lastpage);

// Writes the page data that follows a Page record's header.
void WritePageData(PrinterOutput& out, const unsigned char* data, size_t size);

}  // namespace quillfern

#endif  // QUILLFERN_CORE_STREAM_WRITER_H_
