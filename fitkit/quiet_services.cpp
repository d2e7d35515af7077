#include "fitkit/quiet_services.h"

#include <algorithm>
#include <string>
#include <vector>

#include "device/device_config.h"
#include "platform/byte_order.h"
#include "platform/flash_protocol.h"
#include "platform/text.h"

namespace fitkit {
namespace {

class QuietHandle : public platform::DriverHandle {
 public:
  QuietHandle(bool flash, uint32_t board, std::vector<uint32_t> failing)
      : flash_(flash), board_(board), failing_(std::move(failing)) {}

  bool IoControl(uint32_t code, const void*, uint32_t, void* output,
                 uint32_t outputLength) override {
    if (!flash_ || code != platform::protocol::SCD_IOCTL_GET_BOARD_REVISION) return false;
    if (std::find(failing_.begin(), failing_.end(), code) != failing_.end()) return false;
    if (output == nullptr || outputLength < 4) return false;
    platform::StoreLe32(static_cast<uint8_t*>(output), board_);
    return true;
  }

 private:
  bool flash_;
  uint32_t board_;
  std::vector<uint32_t> failing_;
};

}  // namespace

std::unique_ptr<platform::DriverHandle> QuietDrivers::Open(std::u16string_view deviceName) {
  std::string name = platform::ToUtf8(deviceName);
  if (!name.empty() && name.back() == ':') name.pop_back();
  const std::optional<std::string> kind = config_.DriverKind(name);
  if (!kind || (*kind != "flash" && *kind != "power")) return nullptr;
  return std::make_unique<QuietHandle>(*kind == "flash", uint32_t(config_.BoardRevision()),
                                       config_.FailingCodes());
}

uint32_t QuietKernel::GetSystemPowerStatusEx2(platform::PowerStatusRecord* record, uint32_t length,
                                              bool) {
  if (record == nullptr || length < sizeof *record) return 0;
  *record = platform::PowerStatusRecord{};
  record->bytes[0] = uint8_t(config_.AcLineStatus());
  return sizeof *record;
}

}  // namespace fitkit
