// The device's drivers and kernel as a check may ask them: the flash driver
// answers the board revision query and the kernel the power status, as the
// device describes its board and power; every call that would change
// something is refused. Nothing reaches the device's journal, since a check
// writes nothing.
#pragma once

#include <memory>
#include <string_view>

#include "platform/drivers.h"
#include "platform/kernel.h"

namespace device {
class DeviceConfig;
}

namespace fitkit {

class QuietDrivers : public platform::DriverHost {
 public:
  // `config` stays the caller's and outlives this.
  explicit QuietDrivers(const device::DeviceConfig& config) : config_(config) {}

  // Null, as on the device, when it has no such driver.
  std::unique_ptr<platform::DriverHandle> Open(std::u16string_view deviceName) override;

 private:
  const device::DeviceConfig& config_;
};

class QuietKernel : public platform::Kernel {
 public:
  // `config` stays the caller's and outlives this.
  explicit QuietKernel(const device::DeviceConfig& config) : config_(config) {}

  uint32_t GetSystemPowerStatusEx2(platform::PowerStatusRecord* record, uint32_t length,
                                   bool refresh) override;
  std::optional<bool> GetSystemMemoryDivision(platform::MemoryDivision*) override { return false; }
  std::optional<uint32_t> SetSystemMemoryDivision(uint32_t) override { return std::nullopt; }
  std::optional<bool> KernelIoControl(uint32_t, const void*, uint32_t, void*, uint32_t) override {
    return false;
  }

 private:
  const device::DeviceConfig& config_;
};

}  // namespace fitkit
