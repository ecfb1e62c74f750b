#include "core/stream_writer.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "common/log.h"
#include "common/log_text.h"

namespace quillfern {

static_assert(std::is_standard_layout_v<printer_header>);
static_assert(sizeof(printer_header) == kPageHeaderBytes);
static_assert(offsetof(printer_header, magic) == 0);
static_assert(offsetof(printer_header, firstpage) == 16);
static_assert(offsetof(printer_header, lastpage) == 20);
static_assert(offsetof(printer_header, datasize) == 24);
static_assert(offsetof(printer_header, pageno) == 28);

namespace {

void PutLittleEndian32(unsigned char* at, int32_t value) {
  uint32_t bits = static_cast<uint32_t>(value);
  at[0] = static_cast<unsigned char>(bits);
  at[1] = static_cast<unsigned char>(bits >> 8);
  at[2] = static_cast<unsigned char>(bits >> 16);
  at[3] = static_cast<unsigned char>(bits >> 24);
}

}  // namespace

// The magic with its zero padding, first and last page cleared, record 1.
// datasize is set by every producer before the header is written; it starts
// at 0 so that a header is never read uninitialised.
printer_header::printer_header() : magic{}, firstpage(0), lastpage(0), datasize(0), pageno(1) {
  memcpy(magic, kPageMagic, sizeof kPageMagic - 1);
}

int FileSink::Write(const void* data, size_t size) {
  errno = 0;
  if (fwrite(data, 1, size, file_) == size) return 0;
  return errno != 0 ? errno : EIO;
}

int FileSink::Flush() {
  errno = 0;
  if (fflush(file_) == 0) return 0;
  return errno != 0 ? errno : EIO;
}

bool PrinterOutput::Write(const void* data, size_t size) {
  if (error_ != 0) return false;
  if (size == 0) return true;
  error_ = sink_.Write(data, size);
  return error_ == 0;
}

bool PrinterOutput::Flush() {
  if (error_ != 0) return false;
  error_ = sink_.Flush();
  return error_ == 0;
}

void WriteJobHeader(PrinterOutput& out, const char* jobParams, int32_t jobParamsSize,
                    const char* loggedText) {
  unsigned char head[kJobTagBytes + 4] = {};
  memcpy(head, kJobTag, sizeof kJobTag - 1);
  PutLittleEndian32(head + kJobTagBytes, jobParamsSize);
  out.Write(head, sizeof head);
  out.Write(jobParams, static_cast<size_t>(jobParamsSize));
  LogPrintf("DEBUG: job_params=%s \n", LogText(loggedText).c_str());
  LogPrintf("DEBUG: job_params_size=%d \n", jobParamsSize);
}

void WritePageHeader(PrinterOutput& out, const printer_header& header, int32_t lastpage) {
  unsigned char wire[kPageHeaderBytes];
  memcpy(wire, header.magic, sizeof header.magic);
  PutLittleEndian32(wire + 16, header.firstpage);
  PutLittleEndian32(wire + 20, lastpage);
  PutLittleEndian32(wire + 24, header.datasize);
  PutLittleEndian32(wire + 28, header.pageno);
  out.Write(wire, sizeof wire);
}

void WritePageData(PrinterOutput& out, const unsigned char* data, size_t size) {
  out.Write(data, size);
}

}  // namespace quillfern
