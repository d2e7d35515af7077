// Fuzz target: the input is a device.ini; every typed getter reads it.
#include <cstdint>
#include <string_view>

#include "device/device_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto config = device::DeviceConfig::Parse(text, "device.ini");
  volatile int64_t sink =
      config.ScreenWidth() + config.ScreenHeight() + config.ScrollHeight() + config.AcLineStatus() +
      config.BoardRevision() + config.StorePages() + config.ProgramPages() + config.PageSize() +
      config.SetMemoryResult() + config.HasCoreDll() + config.HasToolhelp() +
      int64_t(config.FsCapacity()) + int64_t(config.FailingCodes().size()) +
      int64_t(config.AnsiCodePage().size()) + config.DriverKind("SCD1").has_value() +
      config.DriverKind("fail").has_value();
  (void)sink;
  return 0;
}
