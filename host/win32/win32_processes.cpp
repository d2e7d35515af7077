#include "host/win32/win32_processes.h"

#include "host/win32/win32_paths.h"
#include "host/win32/win32_text.h"
#include "platform/text.h"
#include "platform/trace.h"

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>
#include <tlhelp32.h>

namespace platform {
namespace {

class Win32ProcessTable : public ProcessTable {
 public:
  Win32ProcessTable(const std::filesystem::path& root, bool available)
      : paths_(root), available_(available) {}

  std::optional<std::vector<ProcessEntry>> Snapshot() override {
    if (!available_) {
      Trace("CreateToolhelp32Snapshot -> no toolhelp.dll");
      return std::nullopt;
    }
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
      Trace("CreateToolhelp32Snapshot -> failed");
      return std::nullopt;
    }
    std::vector<ProcessEntry> list;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
      if (const auto path = DevicePathOf(entry.th32ProcessID)) {
        list.push_back({uint32_t(entry.th32ProcessID), path->substr(path->rfind(u'\\') + 1)});
      }
    }
    CloseHandle(snapshot);
    Trace("CreateToolhelp32Snapshot -> %lu processes on the device",
          static_cast<unsigned long>(list.size()));
    return list;
  }

  std::optional<std::u16string> ProgramPath(uint32_t id) override {
    auto path = DevicePathOf(id);
    Trace("GetModuleFileName(%u) -> %s", id, path ? ToUtf8(*path).c_str() : "none");
    return path;
  }

  bool Terminate(uint32_t id, uint32_t exitCode) override {
    // Checked again here: a process id may have been reused since the snapshot.
    bool ended = false;
    if (DevicePathOf(id)) {
      const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
      if (process != nullptr) {
        ended = TerminateProcess(process, exitCode) != 0;
        CloseHandle(process);
      }
    }
    Trace("TerminateProcess(%u, %u) -> %s", id, exitCode, ended ? "ok" : "fail");
    return ended;
  }

 private:
  // The device path of the process's executable; none when it is gone,
  // cannot be opened, or lies outside the device's file system.
  std::optional<std::u16string> DevicePathOf(uint32_t id) const {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr) return std::nullopt;
    std::wstring image(MAX_PATH * 4, L'\0');
    DWORD length = DWORD(image.size());
    const bool read = QueryFullProcessImageNameW(process, 0, image.data(), &length) != 0;
    CloseHandle(process);
    if (!read) return std::nullopt;
    image.resize(length);
    auto device = paths_.ToDevicePath(image);
    if (!device || *device == u"\\") return std::nullopt;
    return device;
  }

  Win32Paths paths_;
  bool available_;
};

}  // namespace

std::unique_ptr<ProcessTable> CreateWin32ProcessTable(const std::filesystem::path& root,
                                                      bool available) {
  return std::make_unique<Win32ProcessTable>(root, available);
}

}  // namespace platform
