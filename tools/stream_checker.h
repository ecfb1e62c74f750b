// Reading and checking a print stream as the printer receives it: the Job
// header with the job parameters, then Page records of a 32-byte header and
// one JBIG image entity each; or a capture of such jobs sent back to back.
// Used by quillfern-decode and by the tests.
#ifndef QUILLFERN_TOOLS_STREAM_CHECKER_H_
#define QUILLFERN_TOOLS_STREAM_CHECKER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillfern {

// The first place where a stream breaks the format, with enough detail to
// find it with a hex viewer.
struct StreamError {
  uint64_t offset = 0;
  std::string field;
  std::string expected;
  std::string found;

  std::string Message() const;
};

struct StreamRecord {
  uint64_t offset = 0;  // of the record's header
  int32_t firstpage = 0;
  int32_t lastpage = 0;
  int32_t datasize = 0;
  int32_t pageno = 0;
  std::string_view data;  // the JBIG image entity, a view into the stream
};

struct ParsedStream {
  uint64_t offset = 0;  // of the Job header: where the job starts in a capture
  bool hasJobHeader = false;
  std::string_view jobParams;
  std::vector<StreamRecord> records;
  bool valid = true;
  StreamError error;  // meaningful when !valid
};

// Splits and checks the stream's framing: tags and their zero padding,
// job_params_size, every record's magic, flags, datasize and pageno, and
// lastpage 1 on the last record only.  With `requireEnd` a stream whose last
// record lacks lastpage 1 (a job cut short) is a violation too.  Parsing
// stops at the first violation; what came before it is kept.  An empty
// input is valid and has no Job header.
ParsedStream ParsePrintStream(std::string_view bytes, bool requireEnd = true);

// Splits a capture of jobs sent back to back (what a socket printer device
// records) and checks each job as ParsePrintStream does, lastpage 1 required.
// A job ends where a Job tag stands in place of a record header; a job cut
// short before it is a violation of that job.  Bytes after a record with
// lastpage 1 that do not start with the Job tag are a violation too.
// Parsing stops at the first job with a violation, which is the last one
// returned; all offsets count from the start of the capture.  An empty
// input has no jobs.
std::vector<ParsedStream> ParseCapture(std::string_view bytes);

// A decoded page: rows of ceil(width / 8) bytes, a set bit black.
struct PageImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::string rows;

  uint32_t rowBytes() const { return (width + 7) / 8; }
  double BlackShare() const;
};

// Checks the image entity's header against what the filter asks the
// encoder for (one plane, one layer, stripes of 128 lines, no template
// offset, order byte 0, options byte TPBON) and decodes it.  Returns false
// with `error` filled (offsets from the start of the stream, given the
// record's data offset) when it does not.
bool DecodeRecord(const StreamRecord& record, PageImage* image, StreamError* error);

// The job_params text as key and value pairs, split at ", " and the first "=".
std::vector<std::pair<std::string, std::string>> SplitJobParams(std::string_view text);

}  // namespace quillfern

#endif  // QUILLFERN_TOOLS_STREAM_CHECKER_H_
