// What every host's SystemServices traces, worded once: the outcome of a
// named mutex and the program's own device path.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace host {

// Traces CreateMutex of `name` and hands `result` back.
platform::MutexResult TracedMutex(std::u16string_view name, platform::MutexResult result);

// Traces GetModuleFileName and hands `path` back.
std::optional<std::u16string> TracedModulePath(std::optional<std::u16string> path);

}  // namespace host
