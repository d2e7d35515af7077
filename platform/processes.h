// The device's process list (the tool-help library) and termination.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
  uint32_t id = 0;
  std::u16string exeName;  // the executable's file name (last path component)
};

class ProcessTable {
 public:
  virtual ~ProcessTable() = default;
  // None when the device has no process-list facility.
  virtual std::optional<std::vector<ProcessEntry>> Snapshot() = 0;
  // The program path of a running process as a device path; none when the
  // process is gone or cannot be opened.
  virtual std::optional<std::u16string> ProgramPath(uint32_t id) = 0;
  virtual bool Terminate(uint32_t id, uint32_t exitCode) = 0;
};

}  // namespace platform
