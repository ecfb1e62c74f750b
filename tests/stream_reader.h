// A reader of the print stream for tests: splits it into the Job header and
// the Page records and checks what every printer relies on.
#ifndef QUILLFERN_TESTS_STREAM_READER_H_
#define QUILLFERN_TESTS_STREAM_READER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct PageRecord {
  int32_t firstpage = 0;
  int32_t lastpage = 0;
  int32_t datasize = 0;
  int32_t pageno = 0;
  std::string data;
};

struct PrintStream {
  bool hasJobHeader = false;
  std::string jobParams;
  std::vector<PageRecord> records;
  std::string error;  // empty when the stream is well formed
};

// Parses `bytes` with the stream checker of quillfern-decode.  `error` names
// the first violation: a bad tag, magic or padding, a size that runs past
// the end, a pageno out of order, a flag other than 0 or 1, or a lastpage 1
// before the last record.  With `requireLastpage` the last record must carry
// lastpage 1.
PrintStream ReadPrintStream(const std::string& bytes, bool requireLastpage = true);

// (firstpage, lastpage, pageno) of every record, as "1,0,1 0,1,2".
std::string RecordFlags(const PrintStream& stream);

}  // namespace testing_support

#endif  // QUILLFERN_TESTS_STREAM_READER_H_
