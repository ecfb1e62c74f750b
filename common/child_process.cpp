#include "common/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <set>

extern char** environ;

namespace quillfern {

namespace {

// Every child a ChildProcess is running, for KillAll.
std::mutex runningMutex;
std::set<pid_t>& RunningChildren() {
  static std::set<pid_t> children;
  return children;
}

// Owns the spawn attributes and file actions for one start.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
};

// The child's signals: none blocked, every one at its default action (the
// filter ignores SIGPIPE, a server may block or catch others).
void ResetSignals(posix_spawnattr_t* attributes) {
  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  sigdelset(&all, SIGKILL);
  sigdelset(&all, SIGSTOP);
  posix_spawnattr_setsigmask(attributes, &none);
  posix_spawnattr_setsigdefault(attributes, &all);
  posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (running()) {
    kill(pid_, SIGKILL);
    Reap(0);
  }
  Finish();
}

int ChildProcess::Start(const std::vector<std::string>& argv, int stdoutFd) {
  if (argv.empty() || running()) return EINVAL;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  int messagePipe[2];
  if (pipe2(messagePipe, O_CLOEXEC) != 0) return errno;
  SpawnSetup setup;
  posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&setup.actions, stdoutFd >= 0 ? stdoutFd : messagePipe[1],
                                   STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&setup.actions, messagePipe[1], STDERR_FILENO);
  ResetSignals(&setup.attributes);

  messages_.clear();
  dropped_ = 0;
  pid_t pid = -1;
  int result;
  {
    std::lock_guard<std::mutex> lock(runningMutex);
    result = posix_spawnp(&pid, args[0], &setup.actions, &setup.attributes, args.data(), environ);
    if (result == 0) RunningChildren().insert(pid);
  }
  close(messagePipe[1]);
  if (result != 0) {
    close(messagePipe[0]);
    return result;
  }
  pid_ = pid;
  reader_ = std::thread(&ChildProcess::ReadMessages, this, messagePipe[0]);
  return 0;
}

// Keeps the first kMaxMessageBytes of what the child writes and counts the
// rest; reading on keeps a talkative child from blocking on a full pipe.
void ChildProcess::ReadMessages(int fd) {
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    const size_t room = kMaxMessageBytes - messages_.size();
    const size_t kept = static_cast<size_t>(got) < room ? static_cast<size_t>(got) : room;
    messages_.append(buffer, kept);
    dropped_ += static_cast<size_t>(got) - kept;
  }
  close(fd);
}

// waitpid for our child, again when a signal interrupts it.  Returns the
// child's pid once it has ended, 0 while it runs (WNOHANG).
int ChildProcess::Reap(int options) {
  int status = 0;
  pid_t done;
  do {
    done = waitpid(pid_, &status, options);
  } while (done < 0 && errno == EINTR);
  if (done == 0) return 0;
  // ECHILD: KillAll reaped it already.
  status_ = done < 0 ? (SIGKILL & 0x7f) : status;
  {
    std::lock_guard<std::mutex> lock(runningMutex);
    RunningChildren().erase(pid_);
  }
  pid_ = -1;
  return 1;
}

void ChildProcess::Finish() {
  if (reader_.joinable()) reader_.join();
}

int ChildProcess::Wait() {
  if (running()) Reap(0);
  Finish();
  return status_;
}

int ChildProcess::Stop(std::chrono::milliseconds grace) {
  if (running()) {
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (Reap(WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline) {
        kill(pid_, SIGKILL);
        Reap(0);
        break;
      }
      usleep(10000);
    }
  }
  Finish();
  return status_;
}

void ChildProcess::KillAll() {
  std::lock_guard<std::mutex> lock(runningMutex);
  for (pid_t pid : RunningChildren()) kill(pid, SIGKILL);
  for (pid_t pid : RunningChildren()) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  RunningChildren().clear();
}

}  // namespace quillfern
