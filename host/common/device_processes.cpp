#include "host/common/device_processes.h"

namespace host {

std::optional<std::vector<platform::ProcessEntry>> DeviceProcessTable::Snapshot() {
  if (!available_) {
    return std::nullopt;
  }
  const auto ids = HostProcessIds();
  if (!ids) return std::nullopt;
  std::vector<platform::ProcessEntry> list;
  for (const uint32_t id : *ids) {
    if (const auto path = DevicePathOf(id)) {
      list.push_back({id, path->substr(path->rfind(u'\\') + 1)});
    }
  }
  return list;
}

std::optional<std::u16string> DeviceProcessTable::ProgramPath(uint32_t id) {
  auto path = DevicePathOf(id);
  return path;
}

bool DeviceProcessTable::Terminate(uint32_t id, uint32_t exitCode) {
  // Checked again here: a process id may have been reused since the snapshot.
  const bool ended = DevicePathOf(id).has_value() && End(id, exitCode);
  return ended;
}

std::optional<std::u16string> DeviceProcessTable::DevicePathOf(uint32_t id) const {
  auto device = ExecutablePath(id);
  // The file system's root folder is no program.
  if (!device || *device == u"\\") return std::nullopt;
  return device;
}

}  // namespace host
