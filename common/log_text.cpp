#include "common/log_text.h"

#include "common/log.h"

namespace quillfern {

std::string LogText(std::string_view value) {
  std::string text;
  text.reserve(value.size());
  for (char c : value) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
      text += c;
      continue;
    }
    text += '\\';
    text += static_cast<char>('0' + (byte >> 6));
    text += static_cast<char>('0' + ((byte >> 3) & 7));
    text += static_cast<char>('0' + (byte & 7));
  }
  return text;
}

void LogProgramMessages(const char* program, std::string_view messages, size_t droppedBytes) {
  while (!messages.empty()) {
    const size_t end = messages.find('\n');
    const std::string_view line = messages.substr(0, end);
    messages.remove_prefix(end == std::string_view::npos ? messages.size() : end + 1);
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    const bool prefixed = line.substr(0, 7) == "DEBUG: " || line.substr(0, 6) == "INFO: ";
    LogPrintf("%s%s%s%s\n", prefixed ? "" : "WARNING: ", prefixed ? "" : program,
              prefixed ? "" : ": ", LogText(line).c_str());
  }
  if (droppedBytes > 0) {
    LogPrintf("WARNING: %s: %zu more bytes of messages not shown\n", program, droppedBytes);
  }
}

}  // namespace quillfern
