// Keeps the authentication password out of the job log.  The password is
// stored and sent to the printer unchanged; only what is logged is masked.
#ifndef QUILLFERN_PARAMS_SECRET_MASK_H_
#define QUILLFERN_PARAMS_SECRET_MASK_H_

#include <string>
#include <string_view>

namespace quillfern {

inline constexpr char kSecretMask[] = "****";
inline constexpr char kSecretKey[] = "AuthPassword";

// The text to log for a record's value: the mask for a non-empty password,
// the value itself otherwise.
const char* LoggableValue(const char* key, const char* value);

// An options token as it may be logged: whatever follows "AuthPassword=" is
// replaced by the mask when it is not empty.
std::string MaskSecretInToken(std::string_view token);

// A whole options text as it may be logged: a token that carries the
// password is shown unescaped, its value masked; the rest stays as written.
std::string MaskSecretsInOptions(std::string_view options);

}  // namespace quillfern

#endif  // QUILLFERN_PARAMS_SECRET_MASK_H_
