// How a host says why its last call failed, without showing its own types:
// errno's text on Linux, GetLastError's on Windows. The tracing wrappers ask
// it after a call that failed.
#pragma once

#include <string>

namespace platform {

struct FailureReasons {
  // Forgets the last failure, so that a call that fails without asking the
  // host for anything gives no stale reason.
  void (*forget)() = nullptr;
  // The reason of the last failure on this thread; empty when there is none.
  std::string (*last)() = nullptr;

  // ": <reason>", or nothing when the host gave none.
  std::string Suffix() const;
};

}  // namespace platform
