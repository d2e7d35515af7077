// A device root on the host: the folder that stands for one device (its file
// system, registry, drivers and kernel), and the start-up of a program on it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/environment.h"

namespace platform {

class DeviceConfig;
class FileSystem;

// What the device's services are built from.
struct DeviceContext {
  std::filesystem::path root;
  const DeviceConfig* config = nullptr;
  FileSystem* files = nullptr;  // the device's file system, for services that read files
  bool trace = false;           // FITKIT_TRACE=1
};

// The FITKIT_DEVICE folder, else the nearest folder at or above the running
// program's own folder that holds a device.ini; empty when there is none.
std::filesystem::path FindDeviceRoot();

// Owns every service of one device root and hands them out as an Environment.
class Device {
 public:
  static std::unique_ptr<Device> Open(const std::filesystem::path& root);
  virtual ~Device() = default;
  virtual Environment environment() = 0;
  virtual const DeviceContext& context() const = 0;
};

// Program entry on the device: finds the device root (or explains on stderr
// how to name one and returns 0), installs its environment, joins the
// arguments with one blank into the command line and runs `entry` with it.
int RunOnDevice(int argc, char** argv, int (*entry)(const std::u16string& commandLine));

// Factories of the services that live in their own files.
class DriverHost;
class Kernel;
class ProcessTable;
class VersionResources;
class DialogHost;
std::unique_ptr<DriverHost> CreateSimulatedDrivers(const DeviceContext& context);
std::unique_ptr<Kernel> CreateSimulatedKernel(const DeviceContext& context);
std::unique_ptr<ProcessTable> CreateHostProcessTable(const DeviceContext& context);
std::unique_ptr<VersionResources> CreatePeVersionResources(const DeviceContext& context);
std::unique_ptr<DialogHost> CreateDialogHost(const DeviceContext& context);

}  // namespace platform
