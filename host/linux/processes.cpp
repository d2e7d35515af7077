// The device's process list on Linux: the host processes whose executable lies
// under <root>/fs, named by their device paths. Nothing outside the device is
// ever listed or ended.
#include <signal.h>

#include <cctype>
#include <filesystem>
#include <memory>
#include <system_error>

#include "host/linux/device_paths.h"
#include "host/linux/processes.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

bool IsProcessId(const std::string& name) {
  if (name.empty() || name.size() > 9) return false;
  for (char c : name) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

class HostProcessTable : public ProcessTable {
 public:
  HostProcessTable(const fs::path& deviceRoot, bool available)
      : paths_(deviceRoot), available_(available) {}

  std::optional<std::vector<ProcessEntry>> Snapshot() override {
    if (!available_) {
      Trace("CreateToolhelp32Snapshot -> no toolhelp.dll");
      return std::nullopt;
    }
    std::vector<ProcessEntry> list;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
      const std::string name = entry.path().filename().string();
      if (!IsProcessId(name)) continue;
      const auto id = static_cast<uint32_t>(std::stoul(name));
      if (const auto path = DevicePathOf(id)) {
        list.push_back({id, path->substr(path->rfind(u'\\') + 1)});
      }
    }
    Trace("CreateToolhelp32Snapshot -> %zu processes on the device", list.size());
    return list;
  }

  std::optional<std::u16string> ProgramPath(uint32_t id) override {
    auto path = DevicePathOf(id);
    Trace("GetModuleFileName(%u) -> %s", id, path ? ToUtf8(*path).c_str() : "none");
    return path;
  }

  bool Terminate(uint32_t id, uint32_t exitCode) override {
    // Re-checked here: a process id may have been reused since the snapshot.
    const bool onDevice = DevicePathOf(id).has_value();
    const bool ended = onDevice && kill(static_cast<pid_t>(id), SIGKILL) == 0;
    Trace("TerminateProcess(%u, %u) -> %s", id, exitCode, ended ? "ok" : "fail");
    return ended;
  }

 private:
  // The device path of the process's executable; none when it is gone, cannot
  // be read, or lies outside the device's file system.
  std::optional<std::u16string> DevicePathOf(uint32_t id) const {
    std::error_code error;
    std::string exe = fs::read_symlink(fs::path("/proc") / std::to_string(id) / "exe", error);
    if (error) return std::nullopt;
    // A program whose file was replaced still runs from where it was.
    constexpr std::string_view kDeleted = " (deleted)";
    if (exe.ends_with(kDeleted)) exe.resize(exe.size() - kDeleted.size());
    auto device = paths_.ToDevicePath(exe);
    if (!device || *device == u"\\") return std::nullopt;
    return device;
  }

  DevicePaths paths_;
  bool available_;
};

}  // namespace

std::unique_ptr<ProcessTable> CreateHostProcessTable(const std::filesystem::path& root,
                                                     bool available) {
  return std::make_unique<HostProcessTable>(root, available);
}

}  // namespace platform
