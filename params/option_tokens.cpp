#include "params/option_tokens.h"

namespace quillfern {

namespace {

// Reads one token from `at` up to its ending blank (or the end of the text)
// and returns where the token ends.
size_t ReadToken(std::string_view options, size_t at, std::string& text) {
  bool sawSeparator = false;
  while (at < options.size() && options[at] != ' ') {
    const char c = options[at];
    if (c == '\\') {
      if (at + 1 < options.size()) text += options[at + 1];
      at += 2;
      continue;
    }
    if (c == '=' && !sawSeparator) {
      text += c;
      ++at;
      // The quote, if any, must follow this very "=".
      if (at < options.size() && (options[at] == '\'' || options[at] == '"')) {
        const char quote = options[at++];
        while (at < options.size() && options[at] != quote) {
          if (options[at] == '\\' && at + 1 < options.size()) ++at;
          text += options[at++];
        }
        if (at < options.size()) ++at;  // the closing quote
      }
      sawSeparator = true;
      continue;
    }
    text += c;
    ++at;
  }
  return at < options.size() ? at : options.size();
}

}  // namespace

std::vector<OptionToken> SplitOptionTokens(std::string_view options) {
  std::vector<OptionToken> tokens;
  size_t start = 0;
  while (start < options.size()) {
    OptionToken token;
    const size_t end = ReadToken(options, start, token.text);
    token.raw = options.substr(start, end - start);
    tokens.push_back(std::move(token));
    start = end + 1;  // past the blank
  }
  return tokens;
}

}  // namespace quillfern
