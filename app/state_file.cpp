#include "app/state_file.h"

#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "app/state_dnssd_names.h"
#include "app/system_paths.h"
#include "common/owners.h"

namespace quillfern {

namespace {

std::string ReadText(const std::string& path) {
  std::string text;
  UniqueFile in = OpenFile(path.c_str(), "r");
  if (!in) return text;
  char buffer[8192];
  size_t count = 0;
  while ((count = fread(buffer, 1, sizeof buffer, in.get())) > 0) text.append(buffer, count);
  return text;
}

bool WriteText(const std::string& path, const std::string& text, const char* mode) {
  UniqueFile out = OpenFile(path.c_str(), mode);
  if (!out) return false;
  const bool written = fwrite(text.data(), 1, text.size(), out.get()) == text.size();
  return fclose(out.release()) == 0 && written;
}

}  // namespace

bool SaveStateNow(pappl_system_t* system) {
  static std::mutex saving;
  std::lock_guard<std::mutex> lock(saving);
  const std::string next = StateFile() + ".new";
  return papplSystemSaveState(system, next.c_str()) &&
         WriteText(next, HiddenNameLines(KeptHiddenNames()), "a") &&
         rename(next.c_str(), StateFile().c_str()) == 0;
}

bool SaveState(pappl_system_t* system, void*) {
  return SaveStateNow(system);
}

std::string LoadStateFile(pappl_system_t* system, std::string (*adjust)(const std::string&)) {
  const std::string text = ReadText(StateFile());
  if (text.empty()) return text;
  const std::string load = StateFile() + ".load";
  if (WriteText(load, adjust(WithoutHiddenNames(text)), "w")) papplSystemLoadState(system, load.c_str());
  unlink(load.c_str());
  return text;
}

}  // namespace quillfern
