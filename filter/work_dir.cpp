#include "filter/work_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/log.h"
#include "common/log_text.h"
#include "params/text_field.h"

namespace quillfern {

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
  ReleaseLock();
}

void WorkDirectory::ReleaseLock() {
  if (lockFd_ >= 0) close(lockFd_);
  lockFd_ = -1;
}

std::string WorkDirectory::BarePath() const {
  std::string bare = directory_;
  while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
  return bare;
}

// Opens the lock file, creating it when missing.  It must be a regular file
// of ours: a FIFO or device there must not hang the job (hence O_NONBLOCK),
// and a lock someone else owns could be held by them for ever.
bool WorkDirectory::OpenLock(std::string* problem) {
  const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  lockFd_ = open(lockPath_.c_str(), flags | O_CREAT, 0644);
  if (lockFd_ < 0 && errno == EACCES) {
    // A sticky /tmp may refuse to open another user's file for creation;
    // a plain open tells what it is.
    lockFd_ = open(lockPath_.c_str(), flags);
  }
  struct stat status;
  if (lockFd_ < 0) {
    *problem = "lock file " + lockPath_ +
               (errno == ELOOP ? std::string(" is a symbolic link")
                               : std::string(" cannot be opened: ") + strerror(errno));
  } else if (fstat(lockFd_, &status) != 0) {
    *problem = "lock file " + lockPath_ + " cannot be examined: " + strerror(errno);
  } else if (!S_ISREG(status.st_mode)) {
    *problem = "lock file " + lockPath_ + " is not a regular file";
  } else if (status.st_uid != geteuid()) {
    *problem = "lock file " + lockPath_ + " belongs to another user (uid " +
               std::to_string(status.st_uid) + ")";
  } else {
    return true;
  }
  ReleaseLock();
  return false;
}

// With the exclusive lock held: what an earlier job left at the directory's
// path, if it is ours, is renamed aside in one step, to be removed once
// this job holds its shared lock.
bool WorkDirectory::MoveOldTreeAside(std::string* aside, std::string* problem) {
  const std::string bare = BarePath();
  struct stat status;
  if (lstat(bare.c_str(), &status) != 0) {
    if (errno == ENOENT) return true;
    *problem = "work directory " + bare + " cannot be examined: " + strerror(errno);
    return false;
  }
  if (status.st_uid != geteuid()) {
    *problem = "work directory " + bare + " belongs to another user (uid " +
               std::to_string(status.st_uid) + ")";
    return false;
  }
  const std::string target = bare + ".old-" + std::to_string(getpid());
  RemoveTreeNoFollow(target);
  if (rename(bare.c_str(), target.c_str()) != 0) {
    *problem = "work directory " + bare + " cannot be moved aside: " + strerror(errno);
    return false;
  }
  *aside = target;
  return true;
}

// The shared lock.  An exclusive holder keeps the lock only for a rename,
// so the wait is short; a job never works in the directory without it.
bool WorkDirectory::LockShared(std::string* problem) {
  constexpr int kAttempts = 3000;  // 30 s at 10 ms
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (flock(lockFd_, LOCK_SH | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) break;
    struct timespec pause = {0, 10 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  *problem = "lock file " + lockPath_ + " cannot be locked: " + strerror(errno);
  return false;
}

bool WorkDirectory::CreateAndCheck(std::string* problem) {
  const std::string bare = BarePath();
  if (mode_ == 0755) {
    mkdirs(directory_.c_str());
  } else {
    mkdir(bare.c_str(), mode_);
  }
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
  return true;
}

bool WorkDirectory::Prepare(int32_t jobId, std::string* problem) {
  if (!OpenLock(problem)) return false;
  const bool alone = flock(lockFd_, LOCK_EX | LOCK_NB) == 0;
  std::string aside;
  if ((alone && !MoveOldTreeAside(&aside, problem)) || !LockShared(problem) ||
      !CreateAndCheck(problem)) {
    ReleaseLock();
    return false;
  }
  if (alone) {
    // No other job is running: clear everything earlier jobs left.
    if (!aside.empty()) RemoveTreeNoFollow(aside);
  } else {
    // Other jobs are at work in the directory: leave their files alone and
    // clear only what an earlier run of this job id left behind.
    const std::string bare = BarePath();
    RemoveEntriesWithPrefix(bare, std::to_string(jobId) + "_");
    RemoveEntriesWithPrefix(bare, std::to_string(jobId) + "-");
  }
  return true;
}

std::string PrivateWorkDirectory(const std::string& root) {
  std::string base = root;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base == "/") base.clear();
  return base + "/brelmont-" + std::to_string(geteuid()) + "/";
}

std::string PrivateWorkRoot() {
  const char* tmpdir = getenv("TMPDIR");
  if (tmpdir != nullptr && tmpdir[0] == '/') return tmpdir;
  return "/tmp";
}

std::unique_ptr<WorkDirectory> OpenWorkDirectory(const WorkPlaces& places, int32_t jobId,
                                                 std::string* problem) {
  auto shared = std::make_unique<WorkDirectory>(places.directory, places.lockPath);
  std::string sharedProblem;
  if (shared->Prepare(jobId, &sharedProblem)) return shared;

  const std::string privateDirectory = PrivateWorkDirectory(places.privateRoot);
  std::string privateLock = privateDirectory;
  privateLock.back() = '.';
  privateLock += "lock";
  LogPrintf("WARNING: %s; this job works in %s instead\n", LogText(sharedProblem).c_str(),
            LogText(privateDirectory).c_str());
  auto own = std::make_unique<WorkDirectory>(privateDirectory, privateLock, 0700);
  if (own->Prepare(jobId, problem)) return own;
  *problem = sharedProblem + ", and " + *problem;
  return nullptr;
}

}  // namespace quillfern
