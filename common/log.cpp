#include "common/log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace quillfern {

namespace {

StderrLog standardError;
thread_local LogSink* current = nullptr;

}  // namespace

void StderrLog::Write(std::string_view text) {
  fwrite(text.data(), 1, text.size(), stderr);
}

LogSink& CurrentLog() {
  return current != nullptr ? *current : standardError;
}

ScopedLog::ScopedLog(LogSink& sink) : previous_(current) {
  current = &sink;
}

ScopedLog::~ScopedLog() {
  current = previous_;
}

void LogPuts(std::string_view text) {
  CurrentLog().Write(text);
}

void LogPrintf(const char* format, ...) {
  char small[512];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    return;
  }
  if (static_cast<size_t>(length) < sizeof small) {
    va_end(again);
    CurrentLog().Write(std::string_view(small, static_cast<size_t>(length)));
    return;
  }
  std::string large(static_cast<size_t>(length) + 1, '\0');
  vsnprintf(large.data(), large.size(), format, again);
  va_end(again);
  large.pop_back();
  CurrentLog().Write(large);
}

}  // namespace quillfern
