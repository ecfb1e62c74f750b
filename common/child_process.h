// Running another program (the encoder, Ghostscript): an argument vector, no
// shell, the program found on PATH.  The child starts with every signal at
// its default action and none blocked, whatever its parent ignores or
// blocks, so that a closed pipe or a SIGTERM ends it as it would end any
// program.  What it writes on standard error (and on standard output, unless
// that is given a descriptor) is kept, up to a bound, for the caller's log.
//
// A ChildProcess owns its child: the destructor of one still running kills
// it (SIGKILL) and reaps it, so no child outlives the object that started it.
#ifndef QUILLFERN_COMMON_CHILD_PROCESS_H_
#define QUILLFERN_COMMON_CHILD_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillfern {

class ChildProcess {
 public:
  // The most of the child's messages that is kept; the rest is counted.
  static constexpr size_t kMaxMessageBytes = 16384;

  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `argv[0]`, searched on PATH, with `argv`.  Standard input is
  // /dev/null; standard output goes to `stdoutFd`, or with standard error
  // into the kept messages when it is -1.  Returns 0, or the errno that kept
  // it from starting (ENOENT when there is no such program).
  int Start(const std::vector<std::string>& argv, int stdoutFd = -1);

  // Waits for the child to end and returns its wait status (as waitpid(2)
  // gives it).  Signals that arrive meanwhile do not interrupt the wait.
  int Wait();

  // Ends the child: SIGTERM, then SIGKILL when it has not ended within
  // `grace`.  Returns its wait status.
  int Stop(std::chrono::milliseconds grace);

  bool running() const { return pid_ > 0; }
  // The running child's process id (for signalling it from a watcher that
  // stops before Wait or Stop reaps it), or -1.
  pid_t pid() const { return pid_; }
  // What the child wrote, up to kMaxMessageBytes, once Wait or Stop returned.
  const std::string& messages() const { return messages_; }
  // How many bytes of its messages were dropped beyond the bound.
  size_t droppedBytes() const { return dropped_; }

  // Stops every child that a ChildProcess of this process is running
  // (SIGKILL) and reaps it: for a server that is about to exit.
  static void KillAll();

 private:
  void ReadMessages(int fd);
  int Reap(int options);
  void Finish();

  pid_t pid_ = -1;
  int status_ = 0;
  std::thread reader_;
  std::string messages_;
  size_t dropped_ = 0;
};

}  // namespace quillfern

#endif  // QUILLFERN_COMMON_CHILD_PROCESS_H_
