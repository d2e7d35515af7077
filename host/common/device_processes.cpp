#include "host/common/device_processes.h"

#include "platform/text.h"
#include "platform/trace.h"

namespace host {

std::optional<std::vector<platform::ProcessEntry>> DeviceProcessTable::Snapshot() {
  if (!available_) {
    platform::Trace("CreateToolhelp32Snapshot -> no toolhelp.dll");
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
  platform::Trace("CreateToolhelp32Snapshot -> %lu processes on the device",
                  static_cast<unsigned long>(list.size()));
  return list;
}

std::optional<std::u16string> DeviceProcessTable::ProgramPath(uint32_t id) {
  auto path = DevicePathOf(id);
  platform::Trace("GetModuleFileName(%u) -> %s", id,
                  path ? platform::ToUtf8(*path).c_str() : "none");
  return path;
}

bool DeviceProcessTable::Terminate(uint32_t id, uint32_t exitCode) {
  // Checked again here: a process id may have been reused since the snapshot.
  const bool ended = DevicePathOf(id).has_value() && End(id, exitCode);
  platform::Trace("TerminateProcess(%u, %u) -> %s", id, exitCode, ended ? "ok" : "fail");
  return ended;
}

std::optional<std::u16string> DeviceProcessTable::DevicePathOf(uint32_t id) const {
  auto device = ExecutablePath(id);
  // The file system's root folder is no program.
  if (!device || *device == u"\\") return std::nullopt;
  return device;
}

}  // namespace host
