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

std::string FormatText(const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  const int length = vsnprintf(nullptr, 0, format, args);
  std::string text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
  vsnprintf(text.data(), text.size(), format, again);
  va_end(again);
  text.pop_back();
  return text;
}

void LogPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = FormatText(format, args);
  va_end(args);
  CurrentLog().Write(text);
}

}  // namespace quillfern
