// The device's process table over the host's own processes: only those
// whose executable lies under <root>/fs are listed, looked up or ended, each
// named by its device path. Nothing outside the device is ever listed or
// ended. Each host supplies how processes are listed, located and ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/processes.h"

namespace host {

class DeviceProcessTable : public platform::ProcessTable {
 public:
  // `available` false stands for a device without the tool-help library:
  // the table then cannot be listed.
  explicit DeviceProcessTable(bool available) : available_(available) {}

  std::optional<std::vector<platform::ProcessEntry>> Snapshot() final;
  std::optional<std::u16string> ProgramPath(uint32_t id) final;
  bool Terminate(uint32_t id, uint32_t exitCode) final;

 protected:
  // Every process of the host; none when they cannot be listed.
  virtual std::optional<std::vector<uint32_t>> HostProcessIds() = 0;
  // The process's executable as a device path; none when the process is
  // gone, cannot be opened, or runs from outside the device's file system.
  virtual std::optional<std::u16string> ExecutablePath(uint32_t id) const = 0;
  // Ends the process on the host.
  virtual bool End(uint32_t id, uint32_t exitCode) = 0;

 private:
  std::optional<std::u16string> DevicePathOf(uint32_t id) const;

  bool available_;
};

}  // namespace host
