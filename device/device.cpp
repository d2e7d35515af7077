// The composition of a device root, the same on every host: the device's
// configuration, the host's services (device/host_services.h), the simulated
// drivers and kernel, and the dialog host.
#include "device/device.h"

#include <cstdio>
#include <system_error>

#include "device/device_config.h"
#include "device/dialog_host_choice.h"
#include "device/host_services.h"
#include "device/simulated/simulated_hardware.h"
#include "platform/dialog.h"
#include "platform/drivers.h"
#include "platform/kernel.h"
#include "platform/security_floor.h"
#include "platform/trace.h"
#include "platform/traced_file_system.h"
#include "platform/traced_services.h"

namespace device {
namespace fs = std::filesystem;
namespace {

// The ANSI code page device.ini names, else CP1252, saying so.
std::unique_ptr<platform::CodePage> OpenCodePage(const DeviceConfig& config) {
  const std::string name = config.AnsiCodePage();
  auto codePage = CreateHostCodePage(name);
  if (!codePage) {
    std::fprintf(stderr, "fitkit: device.ini: %s does not know code page '%s'; using CP1252\n",
                 kCodePageConverter, name.c_str());
    return platform::TraceCodePage(CreateHostCodePage("CP1252"), "CP1252");
  }
  return platform::TraceCodePage(std::move(codePage), name);
}

// Every host service is traced the same way (FITKIT_TRACE=1) by the wrappers
// composed here, whichever host made it.
class RootDevice : public Device {
 public:
  explicit RootDevice(const fs::path& root) {
    const platform::FailureReasons reasons = HostFailureReasons();
    config_ = DeviceConfig::Load(root / "device.ini");
    hostFiles_ = CreateDeviceFileSystem(root, config_.FsCapacity());
    files_ = std::make_unique<platform::TracedFileSystem>(*hostFiles_, reasons);
    context_.root = root;
    context_.config = &config_;
    context_.files = files_.get();
    registry_ = platform::TraceRegistry(OpenDeviceRegistry(root));
    codePage_ = OpenCodePage(config_);
    system_ = platform::TraceSystem(CreateDeviceSystem(root), reasons);
    drivers_ = CreateSimulatedDrivers(context_);
    kernel_ = CreateSimulatedKernel(context_);
    floors_ = CreateSimulatedSecurityFloor(context_);
    processes_ =
        platform::TraceProcesses(CreateDeviceProcesses(root, config_.HasToolhelp()), reasons);
    versions_ = platform::TraceVersions(CreateDeviceVersions(*hostFiles_));
    dialogs_ = CreateDialogHost(context_);
  }

  platform::Environment environment() override {
    platform::Environment env;
    env.files = files_.get();
    env.registry = registry_.get();
    env.codePage = codePage_.get();
    env.system = system_.get();
    env.processes = processes_.get();
    env.versions = versions_.get();
    env.drivers = drivers_.get();
    env.kernel = kernel_.get();
    env.dialogs = dialogs_.get();
    env.floors = floors_.get();
    return env;
  }

  const DeviceContext& context() const override { return context_; }

 private:
  DeviceConfig config_;
  DeviceContext context_;
  std::unique_ptr<platform::FileSystem> hostFiles_;
  std::unique_ptr<platform::FileSystem> files_;
  std::unique_ptr<platform::Registry> registry_;
  std::unique_ptr<platform::CodePage> codePage_;
  std::unique_ptr<platform::SystemServices> system_;
  std::unique_ptr<platform::DriverHost> drivers_;
  std::unique_ptr<platform::Kernel> kernel_;
  std::unique_ptr<platform::SecurityFloor> floors_;
  std::unique_ptr<platform::ProcessTable> processes_;
  std::unique_ptr<platform::VersionResources> versions_;
  std::unique_ptr<platform::DialogHost> dialogs_;
};

std::string PathText(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

fs::path FindDeviceRoot() {
  std::error_code error;
  const fs::path named = NamedDeviceRoot();
  if (!named.empty()) {
    // Only a folder that says it is one: a mistyped path never becomes a device.
    const fs::path root = fs::absolute(named, error);
    return !error && fs::is_regular_file(root / "device.ini", error) ? root.lexically_normal()
                                                                     : fs::path();
  }
  for (fs::path folder = ProgramFolder(); !folder.empty(); folder = folder.parent_path()) {
    if (fs::is_regular_file(folder / "device.ini", error)) return folder;
    if (folder == folder.parent_path()) break;
  }
  return {};
}

std::unique_ptr<Device> Device::Open(const fs::path& root) {
  platform::Trace("device root %s", PathText(root).c_str());
  return std::make_unique<RootDevice>(root);
}

int RunOnDevice(int argc, char** argv, int (*entry)(const std::u16string& commandLine)) {
  const fs::path root = FindDeviceRoot();
  if (root.empty() && !NamedDeviceRoot().empty()) {
    std::fprintf(stderr,
                 "fitkit: FITKIT_DEVICE=%s is no device root: it is no folder holding a "
                 "device.ini (an empty one will do); nothing was done there\n",
                 PathText(NamedDeviceRoot()).c_str());
    return 0;
  }
  if (root.empty()) {
    std::fprintf(stderr,
                 "fitkit: no device root: set FITKIT_DEVICE=<folder> or put the program "
                 "below a folder that holds a device.ini\n");
    return 0;
  }
  const auto device = Device::Open(root);
  platform::ScopedEnvironment installed(device->environment());
  return entry(ProgramArguments(argc, argv));
}

}  // namespace device
