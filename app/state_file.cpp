#include "app/state_file.h"

#include <cstdio>
#include <mutex>
#include <string>

#include "app/system_paths.h"

namespace quillfern {

bool SaveStateNow(pappl_system_t* system) {
  static std::mutex saving;
  std::lock_guard<std::mutex> lock(saving);
  const std::string next = StateFile() + ".new";
  return papplSystemSaveState(system, next.c_str()) &&
         rename(next.c_str(), StateFile().c_str()) == 0;
}

bool SaveState(pappl_system_t* system, void*) {
  return SaveStateNow(system);
}

}  // namespace quillfern
