#include "app/state_dnssd_names.h"

#include <cstdlib>
#include <mutex>
#include <sstream>

namespace quillfern {

namespace {

std::mutex keptMutex;
HiddenNames kept;

// The id and name of one of the application's lines, or false for any
// other line.
bool ParseHiddenName(const std::string& line, int* id, std::string* name) {
  const std::string prefix = std::string(kHiddenNameDirective) + " ";
  if (line.compare(0, prefix.size(), prefix) != 0) return false;
  const char* text = line.c_str() + prefix.size();
  char* end = nullptr;
  const long value = strtol(text, &end, 10);
  if (end == text || *end != ' ' || value < 0 || value > 0x7fffffff || end[1] == '\0') return false;
  *id = static_cast<int>(value);
  *name = end + 1;
  return true;
}

}  // namespace

void KeepHiddenName(int id, const std::string& name) {
  std::lock_guard<std::mutex> lock(keptMutex);
  kept[id] = name;
}

HiddenNames KeptHiddenNames() {
  std::lock_guard<std::mutex> lock(keptMutex);
  return kept;
}

void ForgetHiddenNames() {
  std::lock_guard<std::mutex> lock(keptMutex);
  kept.clear();
}

std::string HiddenNameLines(const HiddenNames& names) {
  std::string lines;
  for (const auto& [id, name] : names) {
    // A name with a line break would end its line early: it is not kept.
    if (name.empty() || name.find('\n') != std::string::npos) continue;
    lines += std::string(kHiddenNameDirective) + " " + std::to_string(id) + " " + name + "\n";
  }
  return lines;
}

HiddenNames ReadHiddenNames(const std::string& stateText) {
  HiddenNames names;
  std::istringstream in(stateText);
  std::string line;
  int id = 0;
  std::string name;
  while (std::getline(in, line)) {
    if (ParseHiddenName(line, &id, &name)) names[id] = name;
  }
  return names;
}

std::string WithoutHiddenNames(const std::string& stateText) {
  std::string out;
  std::istringstream in(stateText);
  std::string line;
  int id = 0;
  std::string name;
  while (std::getline(in, line)) {
    if (!ParseHiddenName(line, &id, &name)) out += line + "\n";
  }
  return out;
}

}  // namespace quillfern
