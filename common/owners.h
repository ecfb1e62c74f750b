// Owners for C stdio streams, file descriptors and malloc'd memory, so every
// path that opens a file or allocates a buffer also releases it.
#ifndef QUILLFERN_COMMON_OWNERS_H_
#define QUILLFERN_COMMON_OWNERS_H_

#include <unistd.h>

#include <cerrno>
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

// A file descriptor, closed when its owner goes (errno kept, so that a
// failure is still explained after the descriptors opened before it close).
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1) {
    if (fd_ >= 0) {
      const int saved = errno;
      close(fd_);
      errno = saved;
    }
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

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
