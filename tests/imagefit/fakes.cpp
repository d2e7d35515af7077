#include "tests/imagefit/fakes.h"

#include "platform/text.h"

namespace imagefit_test {

// ---- drivers ----

namespace {

class ScriptedHandle : public platform::DriverHandle {
 public:
  ScriptedHandle(ScriptedDrivers& owner, std::string device)
      : owner_(owner), device_(std::move(device)) {}
  ~ScriptedHandle() override { ++owner_.closed; }
  bool IoControl(uint32_t code, const void* input, uint32_t inputLength, void* output,
                 uint32_t outputLength) override {
    const auto* bytes = static_cast<const uint8_t*>(input);
    owner_.calls.push_back({device_, code, bytes ? Bytes(bytes, bytes + inputLength) : Bytes()});
    if (owner_.failAlways.count(code)) return false;
    if (auto once = owner_.failOnce.find(code); once != owner_.failOnce.end()) {
      owner_.failOnce.erase(once);
      return false;
    }
    if (output != nullptr && outputLength >= 4) {
      auto* out = static_cast<uint8_t*>(output);
      for (int i = 0; i < 4; ++i) out[i] = uint8_t(owner_.boardRevision >> (8 * i));
    }
    return true;
  }

 private:
  ScriptedDrivers& owner_;
  std::string device_;
};

}  // namespace

std::unique_ptr<platform::DriverHandle> ScriptedDrivers::Open(std::u16string_view name) {
  std::string device = platform::ToUtf8(name);
  if (!device.empty() && device.back() == ':') device.pop_back();
  if (absent.count(device)) return nullptr;
  ++opened;
  return std::make_unique<ScriptedHandle>(*this, device);
}

std::vector<uint32_t> ScriptedDrivers::CodesSent(const std::string& device) const {
  std::vector<uint32_t> codes;
  for (const DriverCall& call : calls)
    if (call.device == device) codes.push_back(call.code);
  return codes;
}

// ---- kernel ----

uint32_t ScriptedKernel::GetSystemPowerStatusEx2(platform::PowerStatusRecord* record,
                                                 uint32_t length, bool) {
  calls.push_back("GetSystemPowerStatusEx2");
  ++powerChecks;
  record->bytes[0] = acLine.empty() ? 1 : acLine.front();
  if (acLine.size() > 1) acLine.pop_front();
  return length;
}

std::optional<bool> ScriptedKernel::GetSystemMemoryDivision(platform::MemoryDivision* out) {
  if (!coreDll) return std::nullopt;
  calls.push_back("GetSystemMemoryDivision");
  if (getDivisionWorks) *out = division;
  return getDivisionWorks;
}

std::optional<uint32_t> ScriptedKernel::SetSystemMemoryDivision(uint32_t storePages) {
  if (!coreDll) return std::nullopt;
  calls.push_back("SetSystemMemoryDivision");
  setPages.push_back(storePages);
  return setResult;
}

std::optional<bool> ScriptedKernel::KernelIoControl(uint32_t, const void*, uint32_t, void*,
                                                    uint32_t) {
  if (!coreDll) return std::nullopt;
  calls.push_back("KernelIoControl");
  return true;
}

platform::Environment FakeDevice::MakeEnvironment() {
  platform::Environment env;
  env.files = &files;
  env.registry = &registry;
  env.drivers = &drivers;
  env.kernel = &kernel;
  env.system = &system;
  env.floors = &floors;
  return env;
}

}  // namespace imagefit_test
