#include "image/encoder.h"

#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/log.h"
#include "common/owners.h"
#include "image/pbm.h"

namespace quillfern {

namespace {

// The paths go to the shell unquoted, so only names made of characters the
// shell gives no meaning to are passed on.
bool IsShellSafePath(const char* path) {
  if (*path == '\0') return false;
  for (const char* c = path; *c != '\0'; ++c) {
    bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') ||
                 strchr("/_.-+,", *c) != nullptr;
    if (!plain) return false;
  }
  return true;
}

// Tells from a system(3) status whether the encoder ran and succeeded, and
// names the failure otherwise.
int ReportEncoderStatus(int status, int savedErrno, const char* pbmPath) {
  if (status == -1) {
    LogPrintf("ERROR: pbmtojbg could not be run for %s: %s\n", pbmPath, strerror(savedErrno));
    return 1;
  }
  if (WIFSIGNALED(status)) {
    LogPrintf("ERROR: pbmtojbg was killed by signal %d while encoding %s\n", WTERMSIG(status),
              pbmPath);
    return 1;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
    LogPrintf("ERROR: pbmtojbg not found or not runnable for %s (status 127)\n", pbmPath);
    return 1;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    LogPrintf("ERROR: pbmtojbg failed on %s with status %d\n", pbmPath,
              WIFEXITED(status) ? WEXITSTATUS(status) : status);
    return 1;
  }
  return 0;
}

}  // namespace

bool FormatEncoderCommand(char* command, long long width, long long height, const char* pbmPath,
                          const char* jbgPath) {
  memset(command, 0, kEncoderCommandSize);
  int length = snprintf(command, kEncoderCommandSize,
                        "pbmtojbg -q -x %lld -y %lld -r -s 128 -o 0 -p 8 -m 0 %s %s", width, height,
                        pbmPath, jbgPath);
  return length >= 0 && static_cast<size_t>(length) < kEncoderCommandSize;
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

  char command[kEncoderCommandSize];
  if (!IsShellSafePath(pbmPath) || !IsShellSafePath(jbgPath)) {
    LogPrintf("\nERROR: refusing to pass %s or %s to the shell\n", pbmPath, jbgPath);
    return 1;
  }
  if (!FormatEncoderCommand(command, header.width, header.height, pbmPath, jbgPath)) {
    LogPrintf("\nERROR: pbmtojbg command for %s is longer than %zu characters\n", pbmPath,
              kEncoderCommandSize - 1);
    return 1;
  }

  errno = 0;
  int status = run != nullptr ? run(command) : system(command);
  int savedErrno = errno;
  LogPrintf("DEBUG: pbmtojbg: %s\n", command);
  return ReportEncoderStatus(status, savedErrno, pbmPath);
}

}  // namespace quillfern
