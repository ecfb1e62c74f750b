// The scratch directory every job keeps its page files in, shared by all the
// filter's jobs on the host.  It lives in world-writable /tmp, so it is
// never followed through a link and is checked before any file is put in it.
#ifndef QUILLFERN_FILTER_WORK_DIR_H_
#define QUILLFERN_FILTER_WORK_DIR_H_

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "core/work_space.h"

namespace quillfern {

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

// Holds the job's place in a work directory for the whole job.  Several jobs
// may run at once; each holds a shared lock on the lock file while it works.
// A job that finds no other (its exclusive try succeeds) moves the old
// directory aside in one rename, takes its shared lock, and only then
// removes the old tree; one that finds others removes only its own
// leftovers.  Nothing that is not this user's own is ever changed.
class WorkDirectory : public WorkSpace {
 public:
  // `directory` with its trailing slash; a directory this object creates
  // gets `mode` (0755 for the shared one, 0700 for a private one).
  WorkDirectory(std::string directory, std::string lockPath, mode_t mode = 0755)
      : directory_(std::move(directory)), lockPath_(std::move(lockPath)), mode_(mode) {}
  ~WorkDirectory();
  WorkDirectory(const WorkDirectory&) = delete;
  WorkDirectory& operator=(const WorkDirectory&) = delete;

  // Takes the lock, clears what must go, creates the directory and checks
  // that it is a real directory of ours that nobody else can write into.
  // On failure holds nothing and returns false with `problem` naming it.
  bool Prepare(int32_t jobId, std::string* problem);

  const std::string& directory() const override { return directory_; }

 private:
  // The directory without its trailing slash, for lstat and removal.
  std::string BarePath() const;
  bool OpenLock(std::string* problem);
  bool MoveOldTreeAside(std::string* aside, std::string* problem);
  bool LockShared(std::string* problem);
  bool CreateAndCheck(std::string* problem);
  void ReleaseLock();

  std::string directory_;
  std::string lockPath_;
  mode_t mode_;
  int lockFd_ = -1;
};

// Where a job may work: the shared directory with its lock, and the root
// under which the filter's user keeps a private directory when the shared
// one cannot be used ($TMPDIR, which CUPS sets for every filter).
struct WorkPlaces {
  std::string directory = kWorkDirectory;
  std::string lockPath = kWorkLockPath;
  std::string privateRoot = "/tmp";
};

// The private directory of this user under `root`: root/brelmont-UID/.
std::string PrivateWorkDirectory(const std::string& root);

// The root for private work directories: $TMPDIR when it is an absolute
// path, else /tmp.
std::string PrivateWorkRoot();

// Prepares the shared work directory, or, when it or its lock cannot be
// used, the private one (with one WARNING line saying why and where the job
// works instead).  Null with `problem` set when neither can be used.
std::unique_ptr<WorkDirectory> OpenWorkDirectory(const WorkPlaces& places, int32_t jobId,
                                                 std::string* problem);

}  // namespace quillfern

#endif  // QUILLFERN_FILTER_WORK_DIR_H_
