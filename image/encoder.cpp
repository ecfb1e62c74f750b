#include "image/encoder.h"

#include <sys/wait.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/child_process.h"
#include "common/log.h"
#include "common/log_text.h"
#include "common/owners.h"
#include "image/pbm.h"

namespace quillfern {

namespace {

// The encoder started without a shell, its messages kept.
CommandResult RunChild(const std::vector<std::string>& argv) {
  CommandResult result;
  ChildProcess child;
  result.startError = child.Start(argv);
  if (result.startError != 0) return result;
  result.status = child.Wait();
  result.messages = child.messages();
  result.droppedBytes = child.droppedBytes();
  return result;
}

// Tells from the run whether the encoder ran and succeeded, and names the
// failure otherwise.
int ReportEncoderStatus(const CommandResult& result, const char* pbmPath) {
  const int status = result.status;
  if (result.startError == ENOENT || (WIFEXITED(status) && WEXITSTATUS(status) == 127)) {
    LogPrintf("ERROR: pbmtojbg not found or not runnable for %s (status 127)\n", pbmPath);
    return 1;
  }
  if (result.startError != 0) {
    LogPrintf("ERROR: pbmtojbg could not be run for %s: %s\n", pbmPath,
              strerror(result.startError));
    return 1;
  }
  if (WIFSIGNALED(status)) {
    LogPrintf("ERROR: pbmtojbg was killed by signal %d while encoding %s\n", WTERMSIG(status),
              pbmPath);
    return 1;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    LogPrintf("ERROR: pbmtojbg failed on %s with status %d\n", pbmPath,
              WIFEXITED(status) ? WEXITSTATUS(status) : status);
    return 1;
  }
  return 0;
}

uint32_t BigEndian32(const unsigned char* bytes) {
  return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
         (static_cast<uint32_t>(bytes[2]) << 8) | static_cast<uint32_t>(bytes[3]);
}

}  // namespace

bool FormatEncoderCommand(char* command, long long width, long long height, const char* pbmPath,
                          const char* jbgPath) {
  memset(command, 0, kEncoderCommandSize);
  int length = snprintf(command, kEncoderCommandSize,
                        "pbmtojbg -q -x %lld -y %lld -r -s %lld -o 0 -p 8 -m 0 %s %s", width,
                        height, kEncoderStripeRows, pbmPath, jbgPath);
  return length >= 0 && static_cast<size_t>(length) < kEncoderCommandSize;
}

std::vector<std::string> EncoderArguments(long long width, long long height, const char* pbmPath,
                                          const char* jbgPath) {
  return {"pbmtojbg",
          "-q",
          "-x",
          std::to_string(width),
          "-y",
          std::to_string(height),
          "-r",
          "-s",
          std::to_string(kEncoderStripeRows),
          "-o",
          "0",
          "-p",
          "8",
          "-m",
          "0",
          pbmPath,
          jbgPath};
}

int pbmtojbg(const char* pbmPath, const char* jbgPath, CommandRunner run) {
  PbmHeader header;
  {
    UniqueFile pbm = OpenFile(pbmPath, "rb");
    if (!pbm) {
      LogPrintf("%s: %s\n", "Error opening input file", strerror(errno));
      return 1;
    }
    header = ReadPbmHeader(pbm.get());
  }
  if (!header.numbersScanned) {
    LogPrintf("ERROR: cannot read the size from the PBM header of %s\n", pbmPath);
    return 1;
  }

  LogPrintf("DEBUG: pbmtojbg. width:[%lld], height:[%lld], pbm_file:[%s]", header.width,
            header.height, pbmPath);

  // The command line is kept within the length the printer's tools have
  // always taken, and is what the log shows.
  char command[kEncoderCommandSize];
  if (!FormatEncoderCommand(command, header.width, header.height, pbmPath, jbgPath)) {
    LogPrintf("\nERROR: pbmtojbg command for %s is longer than %zu characters\n", pbmPath,
              kEncoderCommandSize - 1);
    return 1;
  }

  const CommandResult result = (run != nullptr ? run : RunChild)(
      EncoderArguments(header.width, header.height, pbmPath, jbgPath));
  LogPrintf("DEBUG: pbmtojbg: %s\n", command);
  LogProgramMessages("pbmtojbg", result.messages, result.droppedBytes);
  return ReportEncoderStatus(result, pbmPath);
}

std::string EncodedPageProblem(const unsigned char* data, size_t size, long long width,
                               long long height) {
  constexpr size_t kHeaderBytes = 20;
  char problem[160];
  if (size < kHeaderBytes) {
    snprintf(problem, sizeof problem, "%zu bytes, less than a JBIG header", size);
    return problem;
  }
  const long long xd = BigEndian32(data + 4), yd = BigEndian32(data + 8);
  const long long l0 = BigEndian32(data + 12);
  if (data[0] != 0 || data[2] != 1 || xd != width || yd != height || l0 != kEncoderStripeRows) {
    snprintf(problem, sizeof problem,
             "its JBIG header says DL %d, P %d, %lldx%lld, stripes of %lld rows; expected DL 0, "
             "P 1, %lldx%lld, stripes of %lld rows",
             data[0], data[2], xd, yd, l0, width, height, kEncoderStripeRows);
    return problem;
  }
  return "";
}

}  // namespace quillfern
