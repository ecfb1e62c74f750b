// The options text CUPS hands a filter as its fifth argument, split into
// tokens.  Tokens are separated by single blanks; CUPS escapes a blank,
// quote or backslash inside a value with a backslash, and a value may also
// stand in quotes right after its "=".
#ifndef QUILLFERN_PARAMS_OPTION_TOKENS_H_
#define QUILLFERN_PARAMS_OPTION_TOKENS_H_

#include <string>
#include <string_view>
#include <vector>

namespace quillfern {

struct OptionToken {
  std::string_view raw;  // the token as it stands in the text
  std::string text;      // the token with its escapes and quotes taken out
};

// Every token of `options` in text order.  Each blank ends a token, so two
// blanks in a row give an empty token between them; a text that ends in a
// blank gives no empty token at its end.  A backslash makes the next
// character part of the token and is dropped; a quote right after the
// token's first "=" opens a value that runs to the matching quote (or the
// end of the text), blanks included, and the quotes are dropped.
std::vector<OptionToken> SplitOptionTokens(std::string_view options);

}  // namespace quillfern

#endif  // QUILLFERN_PARAMS_OPTION_TOKENS_H_
