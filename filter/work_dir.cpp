#include "filter/work_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "params/text_field.h"

namespace {

constexpr size_t kPathBufferSize = 512;

// Empties the directory open at `dirFd`, never leaving it through a link.
bool EmptyDirectoryAt(int dirFd) {
  DIR* dir = fdopendir(dirFd);
  if (dir == nullptr) {
    close(dirFd);
    return false;
  }
  bool ok = true;
  while (dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    if (unlinkat(dirfd(dir), name, 0) == 0) continue;
    if (errno != EISDIR && errno != EPERM) {
      ok = false;
      continue;
    }
    int child = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child < 0 || !EmptyDirectoryAt(child) || unlinkat(dirfd(dir), name, AT_REMOVEDIR) != 0) {
      ok = false;
    }
  }
  closedir(dir);
  return ok;
}

}  // namespace

int mkdirs(const char* path) {
  char work[kPathBufferSize];
  CopyTextField(work, sizeof work, path);
  for (char* at = work; *at != '\0'; ++at) {
    if (*at != '/') continue;
    *at = '\0';
    if (access(work, F_OK) != 0) mkdir(work, 0755);
    *at = '/';
  }
  if (work[0] != '\0' && access(work, F_OK) != 0) mkdir(work, 0755);

  struct stat status;
  if (stat(path, &status) != 0) return 1;
  return S_ISDIR(status.st_mode) ? 0 : 1;
}

bool RemoveTreeNoFollow(const std::string& path) {
  struct stat status;
  if (lstat(path.c_str(), &status) != 0) return errno == ENOENT;
  if (!S_ISDIR(status.st_mode)) return unlink(path.c_str()) == 0;
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  bool emptied = EmptyDirectoryAt(fd);
  return rmdir(path.c_str()) == 0 && emptied;
}

void RemoveEntriesWithPrefix(const std::string& dir, const std::string& prefix) {
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  DIR* listing = fdopendir(fd);
  if (listing == nullptr) {
    close(fd);
    return;
  }
  while (dirent* entry = readdir(listing)) {
    if (strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0) {
      unlinkat(dirfd(listing), entry->d_name, 0);
    }
  }
  closedir(listing);
}

WorkDirectory::~WorkDirectory() {
  if (lockFd_ >= 0) close(lockFd_);
}

std::string WorkDirectory::BarePath() const {
  std::string bare = directory_;
  while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
  return bare;
}

// A shared lock, waited for only briefly: an exclusive holder keeps it just
// for the wipe at its start, and a job must never hang on another.
bool WorkDirectory::LockShared() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (flock(lockFd_, LOCK_SH | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    struct timespec pause = {0, 50 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  return false;
}

bool WorkDirectory::Prepare(int32_t jobId, std::string* problem) {
  const std::string bare = BarePath();
  lockFd_ = open(lockPath_.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (lockFd_ < 0 && errno == EACCES) {
    // A lock file another user made: a sticky /tmp may refuse to open it
    // for creation, but a lock needs only a plain open.
    lockFd_ = open(lockPath_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  }
  bool alone = true;
  if (lockFd_ < 0) {
    fprintf(stderr, "DEBUG: cannot open lock file %s (%s), going on without it\n",
            lockPath_.c_str(), strerror(errno));
  } else if (flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
    alone = false;
  }

  if (alone) {
    // No other job is running: clear everything earlier jobs left.
    RemoveTreeNoFollow(bare);
  }
  if (lockFd_ >= 0 && !LockShared()) {
    fprintf(stderr, "DEBUG: cannot share the lock on %s (%s), going on without it\n",
            lockPath_.c_str(), strerror(errno));
    alone = false;
  }

  mkdirs(directory_.c_str());

  struct stat status;
  if (lstat(bare.c_str(), &status) != 0) {
    *problem = "work directory " + bare + " cannot be created: " + strerror(errno);
    return false;
  }
  if (!S_ISDIR(status.st_mode)) {
    *problem = "work directory " + bare + " is not a directory";
    return false;
  }
  if (status.st_uid != geteuid()) {
    *problem = "work directory " + bare + " belongs to another user (uid " +
               std::to_string(status.st_uid) + ")";
    return false;
  }
  if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    *problem = "work directory " + bare + " is writable by others";
    return false;
  }

  if (!alone) {
    // Other jobs are at work in the directory: leave their files alone and
    // clear only what an earlier run of this job id left behind.
    RemoveEntriesWithPrefix(bare, std::to_string(jobId) + "_");
    RemoveEntriesWithPrefix(bare, std::to_string(jobId) + "-");
  }
  return true;
}
