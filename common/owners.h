// Owners for C stdio streams and malloc'd memory, so every path that opens a
// file or allocates a buffer also releases it.
#ifndef QUILLFERN_COMMON_OWNERS_H_
#define QUILLFERN_COMMON_OWNERS_H_

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace quillfern {

struct FileCloser {
  void operator()(FILE* file) const {
    if (file != nullptr) fclose(file);
  }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

inline UniqueFile OpenFile(const char* path, const char* mode) {
  return UniqueFile(fopen(path, mode));
}

struct FreeDeleter {
  void operator()(void* memory) const { free(memory); }
};
template <typename T>
using MallocPtr = std::unique_ptr<T, FreeDeleter>;

// A zero-filled block of `count` bytes, or null when it cannot be had.
inline MallocPtr<unsigned char[]> AllocateZeroed(size_t count) {
  return MallocPtr<unsigned char[]>(static_cast<unsigned char*>(calloc(count == 0 ? 1 : count, 1)));
}

}  // namespace quillfern

#endif  // QUILLFERN_COMMON_OWNERS_H_
