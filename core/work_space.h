// The directory a job keeps its page files in.  The front end that runs the
// job supplies it, prepared, locked as it needs, and cleared when it is
// done: the CUPS filter shares one directory among its jobs, another front
// end may give every job a directory of its own.
#ifndef QUILLFERN_CORE_WORK_SPACE_H_
#define QUILLFERN_CORE_WORK_SPACE_H_

#include <string>

namespace quillfern {

class WorkSpace {
 public:
  virtual ~WorkSpace() = default;
  // The directory, with its trailing slash.
  virtual const std::string& directory() const = 0;
  // Whether a page's files stay until the front end clears the directory
  // (the CUPS filter's do, for the administrator to look at), or go as soon
  // as the page has been handed on, so that a long job needs no more disk
  // than its largest pages.
  virtual bool keepsPageFiles() const { return true; }
};

// A directory someone else prepared and will clear.
class FixedWorkSpace : public WorkSpace {
 public:
  explicit FixedWorkSpace(std::string directory) : directory_(std::move(directory)) {}
  const std::string& directory() const override { return directory_; }

 private:
  std::string directory_;
};

}  // namespace quillfern

#endif  // QUILLFERN_CORE_WORK_SPACE_H_
