// Any bytes as a print stream, read the way quillfern-decode reads what a
// printer received: framing checked, every page's JBIG header checked and
// decoded; and as a capture of several jobs.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/stream_checker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  quillfern::ParsedStream stream = quillfern::ParsePrintStream(bytes);
  uint64_t previousEnd = 0;
  for (const quillfern::StreamRecord& record : stream.records) {
    // Records lie inside the input, in order, back to back.
    if (record.offset < previousEnd || record.offset + 32 + record.data.size() > size) abort();
    previousEnd = record.offset + 32 + record.data.size();
    quillfern::PageImage image;
    quillfern::StreamError error;
    if (quillfern::DecodeRecord(record, &image, &error)) {
      if (image.rows.size() != static_cast<size_t>(image.rowBytes()) * image.height) abort();
      double share = image.BlackShare();
      if (share < 0 || share > 1) abort();
    } else if (error.offset < record.offset + 32 || error.offset > size) {
      abort();
    }
  }
  if (!stream.valid && stream.error.offset > size) abort();
  // The same bytes as a capture of jobs: the jobs lie inside it, in order.
  uint64_t jobEnd = 0;
  for (const quillfern::ParsedStream& job : quillfern::ParseCapture(bytes)) {
    if (job.offset < jobEnd || job.offset > size) abort();
    for (const quillfern::StreamRecord& record : job.records) {
      if (record.offset < job.offset || record.offset + 32 + record.data.size() > size) abort();
      jobEnd = record.offset + 32 + record.data.size();
    }
    if (!job.valid && job.error.offset > size) abort();
  }
  return 0;
}
