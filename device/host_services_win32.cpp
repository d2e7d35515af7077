// The device root on Windows: the same root layout as on Linux, its services
// from host/win32/ (the Win32 API), the simulated drivers and kernel, and the
// Win32 or console dialog.

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <system_error>

#include "device/device.h"
#include "device/device_config.h"
#include "device/dialog_host_choice.h"
#include "device/simulated/simulated_hardware.h"
#include "host/win32/win32_code_page.h"
#include "host/win32/win32_file_system.h"
#include "host/win32/win32_processes.h"
#include "host/win32/win32_registry.h"
#include "host/win32/win32_system.h"
#include "host/win32/win32_versions.h"
#include "platform/code_page.h"
#include "platform/dialog.h"
#include "platform/drivers.h"
#include "platform/kernel.h"
#include "platform/processes.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "platform/version_resources.h"
#include "readers/file_registry.h"

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>
#include <shellapi.h>

namespace platform {
namespace fs = std::filesystem;
namespace {

std::string PathText(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::unique_ptr<CodePage> OpenCodePage(const DeviceConfig& config) {
  const std::string name = config.AnsiCodePage();
  auto codePage = CreateWin32CodePage(name);
  if (!codePage) {
    std::fprintf(stderr, "fitkit: device.ini: Windows does not know code page '%s'; using CP1252\n",
                 name.c_str());
    codePage = CreateWin32CodePage("CP1252");
  }
  return codePage;
}

// registry.reg of the root unless FITKIT_REGISTRY=host asks for the host's
// own HKEY_LOCAL_MACHINE.
std::unique_ptr<Registry> OpenRegistry(const fs::path& root) {
  const char* setting = std::getenv("FITKIT_REGISTRY");
  const std::string_view choice = setting == nullptr ? "" : setting;
  if (choice == "host") {
    Trace("registry: the host's HKEY_LOCAL_MACHINE");
    return CreateHostRegistry();
  }
  if (!choice.empty() && choice != "file") {
    std::fprintf(stderr, "fitkit: FITKIT_REGISTRY=%s is neither host nor file; using registry.reg\n",
                 setting);
  }
  return FileRegistry::Load(root / "registry.reg");
}

class Win32Device : public Device {
 public:
  explicit Win32Device(const fs::path& root) {
    config_ = DeviceConfig::Load(root / "device.ini");
    files_ = std::make_unique<Win32FileSystem>(root, config_.FsCapacity());
    context_.root = root;
    context_.config = &config_;
    context_.files = files_.get();
    registry_ = OpenRegistry(root);
    codePage_ = OpenCodePage(config_);
    system_ = std::make_unique<Win32SystemServices>(root);
    drivers_ = CreateSimulatedDrivers(context_);
    kernel_ = CreateSimulatedKernel(context_);
    processes_ = CreateWin32ProcessTable(root, config_.HasToolhelp());
    versions_ = CreateWin32VersionResources(files_->paths());
    dialogs_ = CreateDialogHost(context_);
  }

  Environment environment() override {
    Environment env;
    env.files = files_.get();
    env.registry = registry_.get();
    env.codePage = codePage_.get();
    env.system = system_.get();
    env.processes = processes_.get();
    env.versions = versions_.get();
    env.drivers = drivers_.get();
    env.kernel = kernel_.get();
    env.dialogs = dialogs_.get();
    return env;
  }

  const DeviceContext& context() const override { return context_; }

 private:
  DeviceConfig config_;
  DeviceContext context_;
  std::unique_ptr<Win32FileSystem> files_;
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<CodePage> codePage_;
  std::unique_ptr<SystemServices> system_;
  std::unique_ptr<DriverHost> drivers_;
  std::unique_ptr<Kernel> kernel_;
  std::unique_ptr<ProcessTable> processes_;
  std::unique_ptr<VersionResources> versions_;
  std::unique_ptr<DialogHost> dialogs_;
};

// The arguments as Windows passes them (argv of main is in the ANSI code
// page, which cannot hold every name), joined with one blank.
std::u16string CommandLine() {
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

}  // namespace

fs::path FindDeviceRoot() {
  std::error_code error;
  const wchar_t* named = _wgetenv(L"FITKIT_DEVICE");
  if (named != nullptr && *named != L'\0') {
    const fs::path root = fs::absolute(named, error);
    return !error && fs::is_directory(root, error) ? root.lexically_normal() : fs::path();
  }
  const std::wstring module = HostModulePath();
  if (module.empty()) return {};
  for (fs::path folder = fs::path(module).parent_path(); !folder.empty();
       folder = folder.parent_path()) {
    if (fs::is_regular_file(folder / "device.ini", error)) return folder;
    if (folder == folder.parent_path()) break;
  }
  return {};
}

std::unique_ptr<Device> Device::Open(const fs::path& root) {
  Trace("device root %s", PathText(root).c_str());
  return std::make_unique<Win32Device>(root);
}

int RunOnDevice(int /*argc*/, char** /*argv*/,
                int (*entry)(const std::u16string& commandLine)) {
  const fs::path root = FindDeviceRoot();
  if (root.empty()) {
    std::fprintf(stderr,
                 "fitkit: no device root: set FITKIT_DEVICE=<folder> or put the program "
                 "below a folder that holds a device.ini\n");
    return 0;
  }
  const auto device = Device::Open(root);
  ScopedEnvironment installed(device->environment());
  return entry(CommandLine());
}

}  // namespace platform
