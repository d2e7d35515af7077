// The device's drivers from device.ini [drivers]: "flash" is the flash update
// driver, "power" the power driver. A device name without a line is absent
// (Open returns null and the journal records nothing); codes listed under
// fail are answered with failure. Every call is one journal line.
#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "device/device_config.h"
#include "device/simulated/flash.h"
#include "device/simulated/journal.h"
#include "device/simulated/simulated_hardware.h"
#include "platform/drivers.h"
#include "platform/flash_protocol.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace device {

namespace {

// The power driver only takes note of the update's start and end.
bool PowerControl(uint32_t code) {
  return code == platform::protocol::PWR_IOCTL_UPDATE_ENTER ||
         code == platform::protocol::PWR_IOCTL_UPDATE_LEAVE;
}

struct SharedState {
  Journal journal;
  SimulatedFlash flash;
  std::vector<uint32_t> failingCodes;
};

class SimulatedHandle : public platform::DriverHandle {
 public:
  SimulatedHandle(SharedState& state, std::string target, bool isFlash)
      : state_(state), target_(std::move(target)), isFlash_(isFlash) {}
  ~SimulatedHandle() override {
    if (startedKernel_) state_.flash.AbandonKernelUpdate(kernelGeneration_);
  }
  SimulatedHandle(const SimulatedHandle&) = delete;
  SimulatedHandle& operator=(const SimulatedHandle&) = delete;

  bool IoControl(uint32_t code, const void* input, uint32_t inputLength, void* output,
                 uint32_t outputLength) override {
    const auto& failing = state_.failingCodes;
    bool ok = false;
    if (std::find(failing.begin(), failing.end(), code) == failing.end()) {
      ok = isFlash_ ? state_.flash.Control(code, input, inputLength, output, outputLength)
                    : PowerControl(code);
    }
    if (ok && isFlash_ && code == platform::protocol::SCD_IOCTL_KERNEL_OPEN) {
      startedKernel_ = true;
      kernelGeneration_ = state_.flash.KernelGeneration();
    }
    state_.journal.Record(target_, Journal::CodeText(code), input, input ? inputLength : 0, ok);
    return ok;
  }

 private:
  SharedState& state_;
  std::string target_;
  bool isFlash_;
  bool startedKernel_ = false;
  uint32_t kernelGeneration_ = 0;
};

class SimulatedDriverHost : public platform::DriverHost {
 public:
  explicit SimulatedDriverHost(const DeviceContext& context)
      : config_(*context.config),
        state_{Journal(context.root / "journal.log"),
               SimulatedFlash(context.root / "flash", uint32_t(config_.BoardRevision())),
               config_.FailingCodes()} {}

  std::unique_ptr<platform::DriverHandle> Open(std::u16string_view deviceName) override {
    std::string name = platform::ToUtf8(deviceName);
    if (!name.empty() && name.back() == ':') name.pop_back();
    const std::optional<std::string> kind = config_.DriverKind(name);
    const bool known = kind && (*kind == "flash" || *kind == "power");
    platform::Trace("drivers: open %s -> %s", platform::ToUtf8(deviceName).c_str(),
                    known ? kind->c_str() : "absent");
    if (!known) return nullptr;
    return std::make_unique<SimulatedHandle>(state_, ToUpper(name), *kind == "flash");
  }

 private:
  static std::string ToUpper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
  }

  const DeviceConfig& config_;
  SharedState state_;
};

}  // namespace

std::unique_ptr<platform::DriverHost> CreateSimulatedDrivers(const DeviceContext& context) {
  return std::make_unique<SimulatedDriverHost>(context);
}

}  // namespace device
