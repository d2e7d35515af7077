#include "host/common/staged_names.h"

namespace host {

namespace {

constexpr char kStagedMark[] = ".new-";

}  // namespace

std::string StagedName(const char* name, long pid) {
  return std::string(".") + name + kStagedMark + std::to_string(pid);
}

long StagedOwner(const char* entry) {
  const std::string name(entry);
  const std::size_t mark = name.rfind(kStagedMark);
  if (name[0] != '.' || mark == std::string::npos || mark < 2) return 0;
  const std::string digits = name.substr(mark + sizeof kStagedMark - 1);
  if (digits.empty() || digits.size() > 9) return 0;
  long pid = 0;
  for (char digit : digits) {
    if (digit < '0' || digit > '9') return 0;
    pid = pid * 10 + (digit - '0');
  }
  return pid;
}

}  // namespace host
