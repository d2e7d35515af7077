// The device's kernel from device.ini: the AC line status ([power] ac_line),
// the memory division ([memory]) and its answer to a change (set_result), a
// restart that is only recorded, and a core library without the looked-up
// functions ([kernel] coredll = no). [kernel] fail lists function names that
// answer with failure (for instance GetSystemMemoryDivision). Every call of a
// present function is one journal line.
#include <cctype>
#include <memory>
#include <string>
#include <string_view>

#include "device/device_config.h"
#include "device/simulated/journal.h"
#include "device/simulated/simulated_hardware.h"
#include "platform/flash_protocol.h"
#include "platform/kernel.h"
#include "platform/trace.h"

namespace device {

namespace {

constexpr uint32_t kPowerStatusSize = sizeof(platform::PowerStatusRecord);

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// True when the comma-separated list names the function (letter case ignored).
bool ListNames(std::string_view list, std::string_view function) {
  const std::string wanted = Lower(function);
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.front())))
      item.remove_prefix(1);
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.back())))
      item.remove_suffix(1);
    if (Lower(item) == wanted) return true;
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
  }
  return false;
}

void LittleEndian(uint8_t* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(value >> (8 * i));
}

class SimulatedKernel : public platform::Kernel {
 public:
  explicit SimulatedKernel(const DeviceContext& context)
      : journal_(context.root / "journal.log"),
        acLine_(context.config->AcLineStatus()),
        coreDll_(context.config->HasCoreDll()),
        failing_(context.config->GetString("kernel", "fail", "")),
        setResult_(context.config->SetMemoryResult()) {
    division_.storePages = context.config->StorePages();
    division_.programPages = context.config->ProgramPages();
    division_.pageSize = context.config->PageSize();
  }

  uint32_t GetSystemPowerStatusEx2(platform::PowerStatusRecord* record, uint32_t length,
                                   bool /*refresh*/) override {
    const bool ok =
        record != nullptr && length >= kPowerStatusSize && !Fails("GetSystemPowerStatusEx2");
    if (ok) {
      *record = platform::PowerStatusRecord{};
      record->bytes[0] = uint8_t(acLine_);
    }
    journal_.Record("KERNEL", "GetSystemPowerStatusEx2", nullptr, 0, ok);
    return ok ? kPowerStatusSize : 0;
  }

  std::optional<bool> GetSystemMemoryDivision(platform::MemoryDivision* division) override {
    if (!coreDll_) return Missing("GetSystemMemoryDivision");
    const bool ok = division != nullptr && !Fails("GetSystemMemoryDivision");
    if (ok) *division = division_;
    journal_.Record("KERNEL", "GetSystemMemoryDivision", nullptr, 0, ok);
    return ok;
  }

  // An answer of 0 applies the new store size at once; program memory gets
  // what the store gives up.
  std::optional<uint32_t> SetSystemMemoryDivision(uint32_t storePages) override {
    if (!coreDll_) return Missing("SetSystemMemoryDivision");
    const uint32_t result = Fails("SetSystemMemoryDivision") && setResult_ == 0 ? 1 : setResult_;
    if (result == 0) {
      const uint64_t total = uint64_t(division_.storePages) + division_.programPages;
      division_.storePages = storePages;
      division_.programPages = total > storePages ? uint32_t(total - storePages) : 0;
    }
    uint8_t input[4];
    LittleEndian(input, storePages);
    journal_.Record("KERNEL", "SetSystemMemoryDivision", input, 4, result == 0);
    return result;
  }

  // A restart is recorded and reported as done; the program carries on.
  std::optional<bool> KernelIoControl(uint32_t code, const void* /*input*/,
                                      uint32_t /*inputLength*/, void* /*output*/,
                                      uint32_t /*outputLength*/) override {
    if (!coreDll_) return Missing("KernelIoControl");
    const bool ok = code == platform::protocol::IOCTL_HAL_REBOOT && !Fails("KernelIoControl");
    uint8_t input[4];
    LittleEndian(input, code);
    journal_.Record("KERNEL", "KernelIoControl", input, 4, ok);
    return ok;
  }

 private:
  bool Fails(std::string_view function) const { return ListNames(failing_, function); }

  static std::nullopt_t Missing(const char* function) {
    platform::Trace("kernel: %s is missing from the core library", function);
    return std::nullopt;
  }

  Journal journal_;
  int acLine_;
  bool coreDll_;
  std::string failing_;
  uint32_t setResult_;
  platform::MemoryDivision division_;
};

}  // namespace

std::unique_ptr<platform::Kernel> CreateSimulatedKernel(const DeviceContext& context) {
  return std::make_unique<SimulatedKernel>(context);
}

}  // namespace device
