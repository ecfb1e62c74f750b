#include "tests/stream_reader.h"

#include <cstring>

namespace testing_support {

namespace {

int32_t Le32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return static_cast<int32_t>(value);
}

bool TagAt(const std::string& bytes, size_t at, const char* tag) {
  size_t length = strlen(tag);
  if (bytes.compare(at, length, tag) != 0) return false;
  for (size_t i = length; i < 16; ++i) {
    if (bytes[at + i] != '\0') return false;
  }
  return true;
}

}  // namespace

PrintStream ReadPrintStream(const std::string& bytes, bool requireLastpage) {
  PrintStream stream;
  if (bytes.empty()) return stream;
  if (bytes.size() < 20 || !TagAt(bytes, 0, "rv7731_param")) {
    stream.error = "bad job tag";
    return stream;
  }
  stream.hasJobHeader = true;
  int32_t size = Le32(bytes, 16);
  if (size < 0 || 20 + static_cast<size_t>(size) > bytes.size()) {
    stream.error = "job_params_size runs past the end";
    return stream;
  }
  stream.jobParams = bytes.substr(20, static_cast<size_t>(size));
  if (stream.jobParams.find('\0') != std::string::npos) {
    stream.error = "zero byte inside job_params";
    return stream;
  }

  size_t at = 20 + static_cast<size_t>(size);
  while (at < bytes.size()) {
    if (bytes.size() - at < 32) {
      stream.error = "truncated page header at " + std::to_string(at);
      return stream;
    }
    if (!TagAt(bytes, at, "rv7731_printer")) {
      stream.error = "bad page magic at " + std::to_string(at);
      return stream;
    }
    PageRecord record;
    record.firstpage = Le32(bytes, at + 16);
    record.lastpage = Le32(bytes, at + 20);
    record.datasize = Le32(bytes, at + 24);
    record.pageno = Le32(bytes, at + 28);
    at += 32;
    if (record.datasize < 0 || static_cast<size_t>(record.datasize) > bytes.size() - at) {
      stream.error = "datasize runs past the end at " + std::to_string(at);
      return stream;
    }
    record.data = bytes.substr(at, static_cast<size_t>(record.datasize));
    at += static_cast<size_t>(record.datasize);
    if (record.pageno != static_cast<int32_t>(stream.records.size()) + 1) {
      stream.error = "pageno " + std::to_string(record.pageno) + " out of order";
      return stream;
    }
    if ((record.firstpage != 0 && record.firstpage != 1) ||
        (record.lastpage != 0 && record.lastpage != 1)) {
      stream.error = "flag other than 0 or 1 on record " + std::to_string(record.pageno);
      return stream;
    }
    if (!stream.records.empty() && stream.records.back().lastpage == 1) {
      stream.error = "lastpage 1 before the last record";
      return stream;
    }
    stream.records.push_back(record);
  }
  if (requireLastpage && !stream.records.empty() && stream.records.back().lastpage != 1) {
    stream.error = "last record lacks lastpage 1";
  }
  return stream;
}

std::string RecordFlags(const PrintStream& stream) {
  std::string flags;
  for (const PageRecord& record : stream.records) {
    if (!flags.empty()) flags += ' ';
    flags += std::to_string(record.firstpage) + "," + std::to_string(record.lastpage) + "," +
             std::to_string(record.pageno);
  }
  return flags;
}

}  // namespace testing_support
