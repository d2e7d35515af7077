// System services the test sets: the named mutex's answer (with the names
// asked for) and the module path.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/system.h"

namespace test_support {

class FakeSystem : public platform::SystemServices {
 public:
  platform::MutexResult mutexResult = platform::MutexResult::Created;
  std::optional<std::u16string> module;
  std::vector<std::u16string> mutexNames;
  platform::MutexResult deviceLockResult = platform::MutexResult::Created;
  std::vector<std::u16string> deviceLockedFor;

  platform::MutexResult CreateNamedMutex(std::u16string_view name) override {
    mutexNames.emplace_back(name);
    return mutexResult;
  }
  platform::MutexResult LockDeviceUpdate(std::u16string_view program,
                                         std::u16string* holder) override {
    holder->clear();
    deviceLockedFor.emplace_back(program);
    return deviceLockResult;
  }
  std::optional<std::u16string> ModuleFileName() override { return module; }
};

}  // namespace test_support
