#include "imagefit/device_power.h"

#include <memory>

#include "platform/drivers.h"
#include "platform/environment.h"
#include "platform/kernel.h"

namespace imagefit {

bool IsOnExternalPower() {
  platform::PowerStatusRecord record;
  platform::KernelServices().GetSystemPowerStatusEx2(&record, kPowerStatusLength, true);
  return record.bytes[0] != 0;
}

bool NotifyPowerDriver(bool after) {
  std::unique_ptr<platform::DriverHandle> driver = platform::Drivers().Open(kPowerDriverName);
  if (!driver) return false;
  return driver->IoControl(after ? PWR_IOCTL_UPDATE_LEAVE : PWR_IOCTL_UPDATE_ENTER, nullptr, 0,
                           nullptr, 0);
}

bool GetMemoryDivision(uint32_t* storePages, uint32_t* programPages, uint32_t* pageSize) {
  platform::MemoryDivision division;
  const std::optional<bool> result = platform::KernelServices().GetSystemMemoryDivision(&division);
  if (!result.value_or(false)) return false;
  *storePages = division.storePages;
  *programPages = division.programPages;
  *pageSize = division.pageSize;
  return true;
}

int32_t SetMemoryDivision(uint32_t storePages) {
  const std::optional<uint32_t> result =
      platform::KernelServices().SetSystemMemoryDivision(storePages);
  return result ? int32_t(*result) : -1;
}

bool RebootDevice() {
  return platform::KernelServices()
      .KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0)
      .value_or(false);
}

}  // namespace imagefit
