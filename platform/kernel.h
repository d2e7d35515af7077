// Kernel services: the extended power status and the functions the kit looks
// up by name in the core library (absent ones come back as std::nullopt).
#pragma once

#include <cstdint>
#include <optional>

namespace platform {

// The 56-byte extended power status record; the kit reads the first byte.
struct PowerStatusRecord {
  uint8_t bytes[56] = {};
};

struct MemoryDivision {
  uint32_t storePages = 0;
  uint32_t programPages = 0;
  uint32_t pageSize = 0;
};

class Kernel {
 public:
  virtual ~Kernel() = default;
  // GetSystemPowerStatusEx2: returns the number of bytes filled (0 = failure).
  virtual uint32_t GetSystemPowerStatusEx2(PowerStatusRecord* record, uint32_t length,
                                           bool refresh) = 0;
  // None: the function is missing from the core library.
  // Otherwise the function's own result; *division is filled on success.
  virtual std::optional<bool> GetSystemMemoryDivision(MemoryDivision* division) = 0;
  virtual std::optional<uint32_t> SetSystemMemoryDivision(uint32_t storePages) = 0;
  virtual std::optional<bool> KernelIoControl(uint32_t code, const void* input,
                                              uint32_t inputLength, void* output,
                                              uint32_t outputLength) = 0;
};

}  // namespace platform
