// The device a check or an inspection reads through: the device root named,
// or a scratch device of one model that holds nothing (made in the temporary
// folder and removed again). The update itself is read where it lies, shown
// to the device at a device path, never copied.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "device/device.h"
#include "fitkit/overlay_file_system.h"
#include "fitkit/quiet_services.h"
#include "platform/environment.h"

namespace fitkit {

class CheckedDevice {
 public:
  // `root` empty: a scratch device of `model`. Null with `error` set when the
  // root is no device root or the scratch device cannot be made.
  static std::unique_ptr<CheckedDevice> Open(const std::filesystem::path& root,
                                             const std::string& model, std::string* error);
  ~CheckedDevice();
  CheckedDevice(const CheckedDevice&) = delete;
  CheckedDevice& operator=(const CheckedDevice&) = delete;

  // Shows `hostPath` (a file, or a folder and the files in it) to the device
  // and returns its device path: its own when it lies in the device's file
  // system, else a path of its own.
  std::u16string ShowToDevice(const std::filesystem::path& hostPath);

  // `text` with the folder the shown files appear in left out, so that the
  // programs' words name a shown file as the user knows it.
  std::string InHostWords(std::u16string_view text) const;

  // The device's services (the update shown in its file system), with
  // drivers and a kernel that answer questions and do nothing.
  platform::Environment environment();
  const device::DeviceContext& context() const { return device_->context(); }
  bool scratch() const { return scratch_; }

 private:
  CheckedDevice() = default;

  std::filesystem::path scratchRoot_;
  bool scratch_ = false;
  std::unique_ptr<device::Device> device_;
  std::unique_ptr<OverlayFileSystem> overlay_;
  std::unique_ptr<QuietDrivers> drivers_;
  std::unique_ptr<QuietKernel> kernel_;
};

// The device path of a host path inside a device root's fs/ folder; empty
// when it lies elsewhere.
std::u16string DevicePathIn(const std::filesystem::path& root,
                            const std::filesystem::path& hostPath);

// Whether `root` holds a device.ini.
bool IsDeviceRoot(const std::filesystem::path& root);

}  // namespace fitkit
