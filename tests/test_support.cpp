#include "tests/test_support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

TempDir::TempDir() {
  char pattern[] = "/tmp/quillfern-test-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  RemoveTree(path_);
}

std::string JbigHeader(uint32_t width, uint32_t height) {
  std::string header = {0, 0, 1, 0};
  for (uint32_t value : {width, height, 128u, 8u}) {
    for (int shift = 24; shift >= 0; shift -= 8)
      header += static_cast<char>((value >> shift) & 0xff);
  }
  return header;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool FileExists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

Process::Process(const std::vector<std::string>& argv, const ProcessOptions& options) {
  // Output goes to files rather than pipes, so that a chatty child never
  // blocks on a full pipe while the test waits for it.
  outPath_ = options.stdoutPath.empty() ? capture_.File("out") : options.stdoutPath;
  errPath_ = capture_.File("err");

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    int in = open(options.stdinPath.c_str(), O_RDONLY);
    int out = options.stdoutFd >= 0 ? options.stdoutFd
                                    : open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (options.addressSpaceKb > 0) {
      rlimit limit = {static_cast<rlim_t>(options.addressSpaceKb) * 1024,
                      static_cast<rlim_t>(options.addressSpaceKb) * 1024};
      setrlimit(RLIMIT_AS, &limit);
    }
    for (const std::string& name : options.unsetEnv) unsetenv(name.c_str());
    for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  // The child has its own copy of the descriptor; the test keeps its own.
}

Process::~Process() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool Process::WaitForError(const std::string& text, double seconds) const {
  for (double waited = 0; waited < seconds; waited += 0.01) {
    if (ErrorSoFar().find(text) != std::string::npos) return true;
    usleep(10000);
  }
  return false;
}

ProcessResult Process::Wait(double seconds) {
  ProcessResult result;
  int status = 0;
  pid_t done = 0;
  for (double waited = 0; waited < seconds; waited += 0.01) {
    done = waitpid(pid_, &status, WNOHANG);
    if (done != 0) break;
    usleep(10000);
  }
  if (done == 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    result.err = "[killed after " + std::to_string(seconds) + " s]\n";
  }
  pid_ = -1;
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  // Standard output is read back only from the file made for it here.
  if (outPath_ == capture_.File("out")) result.out = ReadFile(outPath_);
  result.err += ReadFile(errPath_);
  return result;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
  Process process(argv, options);
  return process.Wait();
}

bool WaitForFile(const std::string& path, double seconds) {
  for (double waited = 0; waited < seconds; waited += 0.01) {
    if (FileExists(path)) return true;
    usleep(10000);
  }
  return false;
}

void WriteAuthConfig(const std::string& content) {
  mkdir("/tmp/auth", 0755);
  WriteFile("/tmp/auth/auth_config", content);
}

std::string MakeTestPpd(const TempDir& dir, const std::map<std::string, std::string>& defaults) {
  std::string ppd = ReadFile(std::string(QUILLFERN_TEST_DATA_DIR) + "/quillfern-test.ppd");
  for (const auto& [option, value] : defaults) {
    if (value.empty()) {
      // Drop the option's whole OpenUI block.
      size_t start = ppd.find("*OpenUI *" + option);
      std::string closing = "*CloseUI: *" + option + "\n";
      size_t end = ppd.find(closing, start);
      if (start == std::string::npos || end == std::string::npos) {
        throw std::runtime_error("no option " + option + " in the test PPD");
      }
      ppd.erase(start, end + closing.size() - start);
      continue;
    }
    std::string line = "*Default" + option + ": ";
    size_t at = ppd.find(line);
    if (at == std::string::npos) throw std::runtime_error("no default for " + option);
    size_t eol = ppd.find('\n', at);
    ppd.replace(at, eol - at, line + value);
  }
  std::string path = dir.File("test.ppd");
  WriteFile(path, ppd);
  return path;
}

int CountOf(const std::string& text, const std::string& needle) {
  int count = 0;
  for (size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + needle.size())) {
    ++count;
  }
  return count;
}

}  // namespace testing_support
