// Device drivers opened by name ("SCD1:", "PWR1:") and driven with control codes.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace platform {

class DriverHandle {
 public:
  virtual ~DriverHandle() = default;  // closes the handle
  // DeviceIoControl without overlapped I/O and without a returned length.
  virtual bool IoControl(uint32_t code, const void* input, uint32_t inputLength, void* output,
                         uint32_t outputLength) = 0;
};

class DriverHost {
 public:
  virtual ~DriverHost() = default;
  // Null when the device has no such driver.
  virtual std::unique_ptr<DriverHandle> Open(std::u16string_view deviceName) = 0;
};

}  // namespace platform
