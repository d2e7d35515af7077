// Fakes for imagefit's unit tests: a scripted flash and power driver and a
// scripted kernel, installed with the shared in-memory files, registry and
// system services.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/drivers.h"
#include "platform/environment.h"
#include "platform/kernel.h"
#include "tests/support/fake_system.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/memory_registry.h"
#include "tests/support/memory_security_floor.h"
#include "tests/support/recording_dialog.h"

namespace imagefit_test {

using Bytes = std::vector<uint8_t>;
using test_support::MemoryFileSystem;
using test_support::MemoryRegistry;
using test_support::MessageBoxCall;
using test_support::RecordingDialog;

struct DriverCall {
  std::string device;  // "SCD1" or "PWR1"
  uint32_t code = 0;
  Bytes input;
};

// Both drivers in one: records every call and answers from a script.
class ScriptedDrivers : public platform::DriverHost {
 public:
  std::unique_ptr<platform::DriverHandle> Open(std::u16string_view name) override;
  std::vector<uint32_t> CodesSent(const std::string& device) const;

  std::vector<DriverCall> calls;
  std::set<std::string> absent;      // device names without ":" that do not open
  std::multiset<uint32_t> failOnce;  // each entry fails one call of that code
  std::set<uint32_t> failAlways;
  uint32_t boardRevision = 3;
  int opened = 0, closed = 0;
};

class ScriptedKernel : public platform::Kernel {
 public:
  uint32_t GetSystemPowerStatusEx2(platform::PowerStatusRecord* record, uint32_t length,
                                   bool refresh) override;
  std::optional<bool> GetSystemMemoryDivision(platform::MemoryDivision* division) override;
  std::optional<uint32_t> SetSystemMemoryDivision(uint32_t storePages) override;
  std::optional<bool> KernelIoControl(uint32_t code, const void* input, uint32_t inputLength,
                                      void* output, uint32_t outputLength) override;

  std::deque<uint8_t> acLine;  // answers in turn; the last one repeats
  bool coreDll = true;
  bool getDivisionWorks = true;
  uint32_t setResult = 0;
  platform::MemoryDivision division{2048, 6144, 4096};
  std::vector<std::string> calls;  // function names in order
  std::vector<uint32_t> setPages;  // every SetSystemMemoryDivision argument
  int powerChecks = 0;
};

// Installs the fakes as the environment for one test.
struct FakeDevice {
  MemoryFileSystem files;
  MemoryRegistry registry;
  ScriptedDrivers drivers;
  ScriptedKernel kernel;
  test_support::FakeSystem system;
  test_support::MemorySecurityFloor floors;
  platform::ScopedEnvironment scope{MakeEnvironment()};

 private:
  platform::Environment MakeEnvironment();
};

}  // namespace imagefit_test
