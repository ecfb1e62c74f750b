// Encoding a PBM page file to JBIG with JBIG-KIT's pbmtojbg, run through the
// shell as an external program.
#ifndef QUILLFERN_IMAGE_ENCODER_H_
#define QUILLFERN_IMAGE_ENCODER_H_

#include <cstddef>

namespace quillfern {

constexpr size_t kEncoderCommandSize = 512;  // 511 characters and the terminator

// Runs a shell command and waits for it; answers like system(3).  The
// filter uses system itself; tests put a recorder or a stand-in here.
using CommandRunner = int (*)(const char* command);

// Encodes the PBM file at `pbmPath` into the JBIG file at `jbgPath` with
//   pbmtojbg -q -x W -y H -r -s 128 -o 0 -p 8 -m 0 PBM JBG
// (W and H from the PBM header), found on the inherited PATH.  Returns 0
// when the encoder ran and exited with status 0, 1 otherwise; every failure
// is named on standard error.
int pbmtojbg(const char* pbmPath, const char* jbgPath, CommandRunner run = nullptr);

// The command text for a page of `width` x `height` pixels, written into
// `command` (kEncoderCommandSize bytes).  False when it would not fit.
bool FormatEncoderCommand(char* command, long long width, long long height, const char* pbmPath,
                          const char* jbgPath);

}  // namespace quillfern

#endif  // QUILLFERN_IMAGE_ENCODER_H_
