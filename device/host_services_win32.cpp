// The services of a device root on Windows (host/win32/, the Win32 API), and
// the program's root and arguments as Windows gives them.
#include "device/host_services.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "host/win32/win32_code_page.h"
#include "host/win32/win32_file_system.h"
#include "host/win32/win32_processes.h"
#include "host/win32/win32_registry.h"
#include "host/win32/win32_system.h"
#include "host/win32/win32_versions.h"
#include "platform/trace.h"
#include "readers/file_registry.h"

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>

// Needs <windows.h> before it.
#include <shellapi.h>

namespace device {
namespace fs = std::filesystem;

std::unique_ptr<platform::FileSystem> CreateDeviceFileSystem(const fs::path& root,
                                                             uint64_t capacity) {
  return std::make_unique<host::Win32FileSystem>(root, capacity);
}

// registry.reg of the root unless FITKIT_REGISTRY=host asks for the host's
// own HKEY_LOCAL_MACHINE.
std::unique_ptr<platform::Registry> OpenDeviceRegistry(const fs::path& root) {
  const char* setting = std::getenv("FITKIT_REGISTRY");
  const std::string_view choice = setting == nullptr ? "" : setting;
  if (choice == "host") {
    platform::Trace("registry: the host's HKEY_LOCAL_MACHINE");
    return host::CreateHostRegistry();
  }
  if (!choice.empty() && choice != "file") {
    std::fprintf(stderr,
                 "fitkit: FITKIT_REGISTRY=%s is neither host nor file; using registry.reg\n",
                 setting);
  }
  return readers::FileRegistry::Load(root / "registry.reg");
}

const char* const kCodePageConverter = "Windows";

std::unique_ptr<platform::CodePage> CreateHostCodePage(const std::string& name) {
  return host::CreateWin32CodePage(name);
}

std::unique_ptr<platform::SystemServices> CreateDeviceSystem(const fs::path& root) {
  return std::make_unique<host::Win32SystemServices>(root);
}

std::unique_ptr<platform::ProcessTable> CreateDeviceProcesses(const fs::path& root, bool toolhelp) {
  return host::CreateWin32ProcessTable(root, toolhelp);
}

std::unique_ptr<platform::VersionResources> CreateDeviceVersions(platform::FileSystem& files) {
  // Read through the file system's own path mapping, which it made above.
  return host::CreateWin32VersionResources(static_cast<host::Win32FileSystem&>(files).paths());
}

// "error 2: The system cannot find the file specified", or nothing when
// the last call set no error.
std::string LastErrorText() {
  const DWORD error = GetLastError();
  if (error == 0) return {};
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string words(text != nullptr ? text : "", length);
  if (text != nullptr) LocalFree(text);
  while (!words.empty() && (words.back() == '\r' || words.back() == '\n' || words.back() == ' ')) {
    words.pop_back();
  }
  return "error " + std::to_string(error) + (words.empty() ? "" : ": " + words);
}

platform::FailureReasons HostFailureReasons() {
  platform::FailureReasons reasons;
  reasons.forget = [] { SetLastError(0); };
  reasons.last = LastErrorText;
  return reasons;
}

fs::path NamedDeviceRoot() {
  const wchar_t* named = _wgetenv(L"FITKIT_DEVICE");
  return named == nullptr ? fs::path() : fs::path(named);
}

fs::path ProgramFolder() {
  const std::wstring module = host::HostModulePath();
  return module.empty() ? fs::path() : fs::path(module).parent_path();
}

// The arguments as Windows passes them (argv of main is in the ANSI code
// page, which cannot hold every name).
std::u16string ProgramArguments(int /*argc*/, char** /*argv*/) {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::u16string line;
  for (int i = 1; arguments != nullptr && i < count; ++i) {
    if (i > 1) line += u' ';
    const std::wstring_view argument = arguments[i];
    line.append(argument.begin(), argument.end());
  }
  if (arguments != nullptr) LocalFree(arguments);
  return line;
}

}  // namespace device
