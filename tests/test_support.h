// Helpers shared by the tests: temporary directories, whole-file I/O, and
// running the filter as a child process.
#ifndef QUILLFERN_TESTS_TEST_SUPPORT_H_
#define QUILLFERN_TESTS_TEST_SUPPORT_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

// A fresh directory under /tmp, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
// The 20-byte JBIG header pbmtojbg writes for a `width` x `height` page
// with the filter's options, for stand-in encoders.
std::string JbigHeader(uint32_t width, uint32_t height);
void WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);
void RemoveTree(const std::string& path);

struct ProcessResult {
  int exitStatus = -1;  // exit code, or -1 when ended by a signal
  int signal = 0;       // the signal that ended it, or 0
  std::string out;      // standard output
  std::string err;      // standard error
};

struct ProcessOptions {
  std::string stdinPath = "/dev/null";
  std::map<std::string, std::string> env;  // set on top of the inherited ones
  std::vector<std::string> unsetEnv;
  std::string stdoutPath;   // when set, stdout goes to this file
                            // (and ProcessResult::out stays empty)
  int stdoutFd = -1;        // when set, stdout is this descriptor
  long addressSpaceKb = 0;  // when set, the child's RLIMIT_AS
};

// A child process started by StartProcess; its standard error goes to a
// file that can be read while it runs.
class Process {
 public:
  Process(const std::vector<std::string>& argv, const ProcessOptions& options);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  int pid() const { return pid_; }
  std::string ErrorSoFar() const { return ReadFile(errPath_); }
  // Waits until standard error holds `text`, at most `seconds`.
  bool WaitForError(const std::string& text, double seconds = 20) const;
  // Waits for the end, at most `seconds` (then kills it).
  ProcessResult Wait(double seconds = 120);

 private:
  TempDir capture_;
  std::string outPath_;
  std::string errPath_;
  int pid_ = -1;
};

// Runs `argv` (argv[0] is the program path) and waits for it.
ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// Waits until `path` exists, at most `seconds`.
bool WaitForFile(const std::string& path, double seconds = 20);

// Empty when this test process has a private /tmp (see
// private_tmp_main.cpp), else why not; tests of the filter's fixed paths
// skip themselves then.
const std::string& PrivateTmpProblem();

// Writes the authentication file at the filter's fixed path.
void WriteAuthConfig(const std::string& content);

// The test PPD with some of its defaults replaced ("PageSize" -> "A3" turns
// "*DefaultPageSize: A4" into "*DefaultPageSize: A3"); an empty value drops
// the whole option.  Written into `dir`, its path returned.
std::string MakeTestPpd(const TempDir& dir,
                        const std::map<std::string, std::string>& defaults = {});

// Occurrences of `needle` in `text`.
int CountOf(const std::string& text, const std::string& needle);

}  // namespace testing_support

#endif  // QUILLFERN_TESTS_TEST_SUPPORT_H_
