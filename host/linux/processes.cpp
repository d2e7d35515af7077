// The device's process list on Linux: the host processes of /proc, ended
// with SIGKILL.
#include <signal.h>

#include <cctype>
#include <filesystem>
#include <memory>
#include <system_error>

#include "host/common/device_processes.h"
#include "host/linux/device_paths.h"
#include "host/linux/processes.h"

namespace host {
namespace {

namespace fs = std::filesystem;

bool IsProcessId(const std::string& name) {
  if (name.empty() || name.size() > 9) return false;
  for (char c : name) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

class HostProcessTable : public DeviceProcessTable {
 public:
  HostProcessTable(const fs::path& deviceRoot, bool available)
      : DeviceProcessTable(available), paths_(deviceRoot) {}

 private:
  std::optional<std::vector<uint32_t>> HostProcessIds() override {
    std::vector<uint32_t> ids;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
      const std::string name = entry.path().filename().string();
      if (IsProcessId(name)) ids.push_back(static_cast<uint32_t>(std::stoul(name)));
    }
    return ids;
  }

  std::optional<std::u16string> ExecutablePath(uint32_t id) const override {
    std::error_code error;
    std::string exe = fs::read_symlink(fs::path("/proc") / std::to_string(id) / "exe", error);
    if (error) return std::nullopt;
    // A program whose file was replaced still runs from where it was.
    constexpr std::string_view kDeleted = " (deleted)";
    if (exe.ends_with(kDeleted)) exe.resize(exe.size() - kDeleted.size());
    return paths_.ToDevicePath(exe);
  }

  bool End(uint32_t id, uint32_t /*exitCode*/) override {
    return kill(static_cast<pid_t>(id), SIGKILL) == 0;
  }

  DevicePaths paths_;
};

}  // namespace

std::unique_ptr<platform::ProcessTable> CreateHostProcessTable(const std::filesystem::path& root,
                                                               bool available) {
  return std::make_unique<HostProcessTable>(root, available);
}

}  // namespace host
