#include "tests/stream_reader.h"

#include "tools/stream_checker.h"

namespace testing_support {

PrintStream ReadPrintStream(const std::string& bytes, bool requireLastpage) {
  quillfern::ParsedStream parsed = quillfern::ParsePrintStream(bytes, requireLastpage);
  PrintStream stream;
  stream.hasJobHeader = parsed.hasJobHeader;
  stream.jobParams = std::string(parsed.jobParams);
  for (const quillfern::StreamRecord& record : parsed.records) {
    stream.records.push_back({record.firstpage, record.lastpage, record.datasize, record.pageno,
                              std::string(record.data)});
  }
  if (!parsed.valid) stream.error = parsed.error.Message();
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
