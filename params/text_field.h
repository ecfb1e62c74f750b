// Bounded copies into the fixed-width, zero-terminated text fields of the
// job data model.  Longer input is cut at the field's limit; nothing is ever
// written past the field.
#ifndef QUILLFERN_PARAMS_TEXT_FIELD_H_
#define QUILLFERN_PARAMS_TEXT_FIELD_H_

#include <cstddef>
#include <cstring>

namespace quillfern {

// Copies at most `size - 1` bytes of `source` into `field` and terminates it.
// Returns the number of characters stored.
inline size_t CopyTextField(char* field, size_t size, const char* source) {
  if (size == 0) return 0;
  size_t length = strnlen(source, size - 1);
  memcpy(field, source, length);
  field[length] = '\0';
  return length;
}

// Same, for a source that is not terminated: copies at most `count` bytes.
inline size_t CopyTextField(char* field, size_t size, const char* source, size_t count) {
  if (size == 0) return 0;
  size_t length = strnlen(source, count < size - 1 ? count : size - 1);
  memcpy(field, source, length);
  field[length] = '\0';
  return length;
}

template <size_t N>
inline size_t CopyTextField(char (&field)[N], const char* source) {
  return CopyTextField(field, N, source);
}

}  // namespace quillfern

#endif  // QUILLFERN_PARAMS_TEXT_FIELD_H_
