// The device's drivers as a check may ask them: the flash driver answers the
// board revision query as the device describes its board, and refuses every
// control that would change something. Nothing reaches the device's journal,
// since a check writes nothing.
#pragma once

#include <memory>
#include <string_view>

#include "platform/drivers.h"

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

}  // namespace fitkit
