// The log: every line the driver writes for the administrator goes through
// one sink.  The CUPS filter's sink is standard error (CUPS reads it line by
// line; the level prefixes "DEBUG: ", "INFO: ", "WARNING: ", "ERROR: " tell
// it what each line is).  Another front end installs its own sink for the
// jobs it runs, one per thread.
#ifndef QUILLFERN_COMMON_LOG_H_
#define QUILLFERN_COMMON_LOG_H_

#include <cstdarg>
#include <string>
#include <string_view>

namespace quillfern {

class LogSink {
 public:
  virtual ~LogSink() = default;
  // Takes a piece of the log: usually a whole line, but some texts end
  // without a line feed and the next piece continues their line.
  virtual void Write(std::string_view text) = 0;
};

// Writes every piece to standard error at once (it is unbuffered).
class StderrLog : public LogSink {
 public:
  void Write(std::string_view text) override;
};

// This thread's sink: standard error unless a ScopedLog installed another.
LogSink& CurrentLog();

// Installs `sink` for this thread for the scope's lifetime.
class ScopedLog {
 public:
  explicit ScopedLog(LogSink& sink);
  ~ScopedLog();
  ScopedLog(const ScopedLog&) = delete;
  ScopedLog& operator=(const ScopedLog&) = delete;

 private:
  LogSink* previous_;
};

void LogPuts(std::string_view text);
void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// printf into a string of whatever length the text needs.
std::string FormatText(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

}  // namespace quillfern

#endif  // QUILLFERN_COMMON_LOG_H_
