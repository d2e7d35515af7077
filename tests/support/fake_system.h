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

  platform::MutexResult CreateNamedMutex(std::u16string_view name) override {
    mutexNames.emplace_back(name);
    return mutexResult;
  }
  std::optional<std::u16string> ModuleFileName() override { return module; }
};

}  // namespace test_support
