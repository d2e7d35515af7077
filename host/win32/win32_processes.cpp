#include "host/win32/win32_processes.h"

#include "host/common/device_processes.h"
#include "host/win32/win32_paths.h"

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>

// Needs <windows.h> before it.
#include <tlhelp32.h>

namespace host {
namespace {

class Win32ProcessTable : public DeviceProcessTable {
 public:
  Win32ProcessTable(const std::filesystem::path& root, bool available)
      : DeviceProcessTable(available), paths_(root) {}

 private:
  std::optional<std::vector<uint32_t>> HostProcessIds() override {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
      return std::nullopt;
    }
    std::vector<uint32_t> ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
      ids.push_back(uint32_t(entry.th32ProcessID));
    }
    CloseHandle(snapshot);
    return ids;
  }

  std::optional<std::u16string> ExecutablePath(uint32_t id) const override {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr) return std::nullopt;
    std::wstring image(MAX_PATH * 4, L'\0');
    DWORD length = DWORD(image.size());
    const bool read = QueryFullProcessImageNameW(process, 0, image.data(), &length) != 0;
    CloseHandle(process);
    if (!read) return std::nullopt;
    image.resize(length);
    return paths_.ToDevicePath(image);
  }

  bool End(uint32_t id, uint32_t exitCode) override {
    const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
    if (process == nullptr) return false;
    const bool ended = TerminateProcess(process, exitCode) != 0;
    CloseHandle(process);
    return ended;
  }

  Win32Paths paths_;
};

}  // namespace

std::unique_ptr<platform::ProcessTable> CreateWin32ProcessTable(const std::filesystem::path& root,
                                                                bool available) {
  return std::make_unique<Win32ProcessTable>(root, available);
}

}  // namespace host
