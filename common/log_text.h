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

}  // namespace quillfern

#endif  // QUILLFERN_COMMON_LOG_TEXT_H_
