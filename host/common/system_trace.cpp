#include "host/common/system_trace.h"

#include "platform/text.h"
#include "platform/trace.h"

namespace platform {
namespace {

const char* Describe(MutexResult result) {
  switch (result) {
    case MutexResult::Created:
      return "created";
    case MutexResult::AlreadyExists:
      return "already exists";
    case MutexResult::Failed:
      return "failed";
  }
  return "?";
}

}  // namespace

MutexResult TracedMutex(std::u16string_view name, MutexResult result) {
  Trace("CreateMutex(\"%s\") -> %s", ToUtf8(name).c_str(), Describe(result));
  return result;
}

std::optional<std::u16string> TracedModulePath(std::optional<std::u16string> path) {
  Trace("GetModuleFileName() -> %s", path ? ToUtf8(*path).c_str() : "none");
  return path;
}

}  // namespace platform
