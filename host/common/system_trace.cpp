#include "host/common/system_trace.h"

#include "platform/text.h"
#include "platform/trace.h"

namespace host {
namespace {

const char* Describe(platform::MutexResult result) {
  switch (result) {
    case platform::MutexResult::Created:
      return "created";
    case platform::MutexResult::AlreadyExists:
      return "already exists";
    case platform::MutexResult::Failed:
      return "failed";
  }
  return "?";
}

}  // namespace

platform::MutexResult TracedMutex(std::u16string_view name, platform::MutexResult result) {
  platform::Trace("CreateMutex(\"%s\") -> %s", platform::ToUtf8(name).c_str(), Describe(result));
  return result;
}

std::optional<std::u16string> TracedModulePath(std::optional<std::u16string> path) {
  platform::Trace("GetModuleFileName() -> %s", path ? platform::ToUtf8(*path).c_str() : "none");
  return path;
}

}  // namespace host
