#include "device/device.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "platform/code_page.h"
#include "device/device_config.h"
#include "device/dialog_host_choice.h"
#include "device/simulated/simulated_hardware.h"
#include "platform/dialog.h"
#include "platform/drivers.h"
#include "host/linux/iconv_code_page.h"
#include "platform/kernel.h"
#include "host/linux/file_system.h"
#include "host/linux/processes.h"
#include "host/linux/system_services.h"
#include "platform/processes.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "platform/version_resources.h"
#include "readers/file_registry.h"
#include "readers/version_pe.h"

namespace platform {
namespace fs = std::filesystem;
namespace {

std::unique_ptr<CodePage> OpenCodePage(const DeviceConfig& config) {
  const std::string name = config.AnsiCodePage();
  auto codePage = IconvCodePage::Create(name);
  if (!codePage) {
    std::fprintf(stderr, "fitkit: device.ini: iconv does not know code page '%s'; using CP1252\n",
                 name.c_str());
    codePage = IconvCodePage::Create("CP1252");
  }
  return codePage;
}

class HostDevice : public Device {
 public:
  explicit HostDevice(const fs::path& root) {
    config_ = DeviceConfig::Load(root / "device.ini");
    files_ = std::make_unique<LinuxFileSystem>(root, config_.FsCapacity());
    context_.root = root;
    context_.config = &config_;
    context_.files = files_.get();
    registry_ = FileRegistry::Load(root / "registry.reg");
    codePage_ = OpenCodePage(config_);
    system_ = std::make_unique<LinuxSystemServices>(root);
    drivers_ = CreateSimulatedDrivers(context_);
    kernel_ = CreateSimulatedKernel(context_);
    processes_ = CreateHostProcessTable(root, config_.HasToolhelp());
    versions_ = CreatePeVersionResources(*files_);
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
  std::unique_ptr<FileSystem> files_;
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<CodePage> codePage_;
  std::unique_ptr<SystemServices> system_;
  std::unique_ptr<DriverHost> drivers_;
  std::unique_ptr<Kernel> kernel_;
  std::unique_ptr<ProcessTable> processes_;
  std::unique_ptr<VersionResources> versions_;
  std::unique_ptr<DialogHost> dialogs_;
};

fs::path ProgramFolder() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : exe.parent_path();
}

}  // namespace

fs::path FindDeviceRoot() {
  std::error_code error;
  const char* named = std::getenv("FITKIT_DEVICE");
  if (named != nullptr && *named != '\0') {
    const fs::path root = fs::absolute(named, error);
    return !error && fs::is_directory(root, error) ? root.lexically_normal() : fs::path();
  }
  for (fs::path folder = ProgramFolder(); !folder.empty(); folder = folder.parent_path()) {
    if (fs::is_regular_file(folder / "device.ini", error)) return folder;
    if (folder == folder.parent_path()) break;
  }
  return {};
}

std::unique_ptr<Device> Device::Open(const fs::path& root) {
  Trace("device root %s", root.c_str());
  return std::make_unique<HostDevice>(root);
}

int RunOnDevice(int argc, char** argv, int (*entry)(const std::u16string& commandLine)) {
  const fs::path root = FindDeviceRoot();
  if (root.empty()) {
    std::fprintf(stderr,
                 "fitkit: no device root: set FITKIT_DEVICE=<folder> or put the program "
                 "below a folder that holds a device.ini\n");
    return 0;
  }
  const auto device = Device::Open(root);
  ScopedEnvironment installed(device->environment());
  std::string arguments;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) arguments += ' ';
    arguments += argv[i];
  }
  return entry(FromUtf8(arguments));
}

}  // namespace platform
