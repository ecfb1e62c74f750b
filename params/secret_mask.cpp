#include "params/secret_mask.h"

#include <cstring>

const char* LoggableValue(const char* key, const char* value) {
  if (strcmp(key, kSecretKey) == 0 && value[0] != '\0') return kSecretMask;
  return value;
}

std::string MaskSecretInToken(std::string_view token) {
  static constexpr std::string_view kAssignment = "AuthPassword=";
  size_t at = token.find(kAssignment);
  if (at == std::string_view::npos) return std::string(token);
  size_t valueStart = at + kAssignment.size();
  if (valueStart == token.size()) return std::string(token);
  std::string masked(token.substr(0, valueStart));
  masked += kSecretMask;
  return masked;
}

std::string MaskSecretsInOptions(std::string_view options) {
  std::string masked;
  masked.reserve(options.size());
  size_t start = 0;
  while (true) {
    size_t blank = options.find(' ', start);
    std::string_view token = options.substr(
        start, blank == std::string_view::npos ? std::string_view::npos : blank - start);
    masked += MaskSecretInToken(token);
    if (blank == std::string_view::npos) break;
    masked += ' ';
    start = blank + 1;
  }
  return masked;
}
