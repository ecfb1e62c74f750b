// The scratch directory every job keeps its page files in, shared by all the
// filter's jobs on the host.  It lives in world-writable /tmp, so it is
// never followed through a link and is checked before any file is put in it.
#ifndef QUILLFERN_FILTER_WORK_DIR_H_
#define QUILLFERN_FILTER_WORK_DIR_H_

#include <cstdint>
#include <string>

constexpr char kWorkDirectory[] = "/tmp/brelmont/";
constexpr char kWorkLockPath[] = "/tmp/brelmont.lock";

// Creates every missing directory along `path` with mode 0755.  Returns 0
// when `path` names a directory afterwards, 1 otherwise.
int mkdirs(const char* path);

// Removes `path` without following symbolic links: a link or file is
// unlinked itself, a directory is emptied through descriptors and removed.
// Returns false when something could not be removed.
bool RemoveTreeNoFollow(const std::string& path);

// Removes the entries of directory `dir` whose names start with `prefix`
// (files and links only).
void RemoveEntriesWithPrefix(const std::string& dir, const std::string& prefix);

// Holds the job's place in the work directory for the whole job.  Several
// jobs may run at once: each holds a shared lock on the lock file; a job that
// finds no other (its exclusive try succeeds) wipes the directory, one that
// finds others removes only its own leftovers.
class WorkDirectory {
 public:
  WorkDirectory(std::string directory, std::string lockPath)
      : directory_(std::move(directory)), lockPath_(std::move(lockPath)) {}
  ~WorkDirectory();
  WorkDirectory(const WorkDirectory&) = delete;
  WorkDirectory& operator=(const WorkDirectory&) = delete;

  // Takes the lock, clears what must go, creates the directory and checks
  // that it is a real directory of ours that nobody else can write into.
  // On failure returns false with `problem` naming it.
  bool Prepare(int32_t jobId, std::string* problem);

 private:
  // The directory without its trailing slash, for lstat and removal.
  std::string BarePath() const;
  bool LockShared();

  std::string directory_;
  std::string lockPath_;
  int lockFd_ = -1;
};

#endif  // QUILLFERN_FILTER_WORK_DIR_H_
