#include "params/secret_mask.h"

#include <cstring>
#include <vector>

#include "params/option_tokens.h"

namespace quillfern {

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
  // Tokens are found the way the table reads them, so that an escaped blank
  // inside the password does not leave the rest of it in clear.  Everything
  // else, separators included, stays as it was written.
  std::string masked(options);
  const std::vector<OptionToken> tokens = SplitOptionTokens(options);
  for (auto token = tokens.rbegin(); token != tokens.rend(); ++token) {
    std::string shown = MaskSecretInToken(token->text);
    if (shown == token->text) continue;
    const size_t offset = static_cast<size_t>(token->raw.data() - options.data());
    masked.replace(offset, token->raw.size(), shown);
  }
  return masked;
}

}  // namespace quillfern
