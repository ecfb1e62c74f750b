// Values the filter writes into its log.  CUPS reads standard error line by
// line and takes a line starting with "PPD:", "ATTR:" or "STATE:" as a command,
// so a value that came with the job must never start a line of its own.
#ifndef QUILLFERN_COMMON_LOG_TEXT_H_
#define QUILLFERN_COMMON_LOG_TEXT_H_

#include <string>
#include <string_view>

namespace quillfern {

// `value` with every control byte (below 0x20, and 0x7f) written as a
// backslash and three octal digits: a line feed becomes "\012".  Other
// bytes, UTF-8 included, stay as they are.
std::string LogText(std::string_view value);

// What another program (the encoder, Ghostscript) wrote, into the log: a
// line with a CUPS level prefix ("DEBUG: ", "INFO: ") as it is, any other
// as "WARNING: PROGRAM: line", control characters escaped, blank lines left
// out; `droppedBytes`, what was not kept of it, is said in a last line.
void LogProgramMessages(const char* program, std::string_view messages, size_t droppedBytes);

}  // namespace quillfern

#endif  // QUILLFERN_COMMON_LOG_TEXT_H_
