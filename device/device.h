// A device root on the host: the folder that stands for one device (its file
// system, registry, drivers and kernel), and the start-up of a program on it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "device/device_context.h"
#include "platform/environment.h"

namespace device {

// The FITKIT_DEVICE folder, else the nearest folder at or above the running
// program's own folder that holds a device.ini; empty when there is none.
std::filesystem::path FindDeviceRoot();

// Owns every service of one device root and hands them out as an Environment.
class Device {
 public:
  static std::unique_ptr<Device> Open(const std::filesystem::path& root);
  virtual ~Device() = default;
  virtual platform::Environment environment() = 0;
  virtual const DeviceContext& context() const = 0;
};

// Program entry on the device: finds the device root (or explains on stderr
// how to name one and returns 0), installs its environment, joins the
// arguments with one blank into the command line and runs `entry` with it.
int RunOnDevice(int argc, char** argv, int (*entry)(const std::u16string& commandLine));

}  // namespace device
