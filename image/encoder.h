// Encoding a PBM page file to JBIG with JBIG-KIT's pbmtojbg, run as an
// external program (without a shell).
#ifndef QUILLFERN_IMAGE_ENCODER_H_
#define QUILLFERN_IMAGE_ENCODER_H_

#include <cstddef>
#include <string>
#include <vector>

namespace quillfern {

constexpr size_t kEncoderCommandSize = 512;  // 511 characters and the terminator
// The stripe height the encoder is asked for (-s): every page's JBIG header
// must say it.
constexpr long long kEncoderStripeRows = 128;

// How a run of the encoder went.
struct CommandResult {
  int startError = 0;       // errno when the program could not be started
  int status = 0;           // its wait status (waitpid(2)) when it was
  std::string messages;     // what it wrote on standard error and output
  size_t droppedBytes = 0;  // what of that was not kept
};

// Runs a program and waits for it.  The real one starts it through
// ChildProcess; tests put a recorder or a stand-in here.
using CommandRunner = CommandResult (*)(const std::vector<std::string>& argv);

// Encodes the PBM file at `pbmPath` into the JBIG file at `jbgPath` with
//   pbmtojbg -q -x W -y H -r -s 128 -o 0 -p 8 -m 0 PBM JBG
// (W and H from the PBM header), found on the inherited PATH.  Returns 0
// when the encoder ran and exited with status 0, 1 otherwise; every failure
// is named in the log, and what the encoder said there as warnings.
int pbmtojbg(const char* pbmPath, const char* jbgPath, CommandRunner run = nullptr);

// The encoder's argument vector for a page of `width` x `height` pixels.
std::vector<std::string> EncoderArguments(long long width, long long height, const char* pbmPath,
                                          const char* jbgPath);

// The command as the log shows it, written into `command`
// (kEncoderCommandSize bytes).  False when it would not fit.
bool FormatEncoderCommand(char* command, long long width, long long height, const char* pbmPath,
                          const char* jbgPath);

// Why `data` (an encoded page of `size` bytes) is not what the encoder makes
// of a `width` x `height` PBM page: a 20-byte JBIG header with one layer
// (DL 0), one plane (P 1), that width and height, and the stripe height it
// was asked for.  Empty when it is.
std::string EncodedPageProblem(const unsigned char* data, size_t size, long long width,
                               long long height);

}  // namespace quillfern

#endif  // QUILLFERN_IMAGE_ENCODER_H_
