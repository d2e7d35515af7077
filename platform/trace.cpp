#include "platform/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

bool InitialTraceSetting() {
  const char* value = std::getenv("FITKIT_TRACE");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

bool g_trace = InitialTraceSetting();

}  // namespace

bool TraceEnabled() { return g_trace; }
void SetTraceEnabled(bool enabled) { g_trace = enabled; }

void Trace(const char* format, ...) {
  if (!g_trace) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  std::fprintf(stderr, "fitkit: %s\n", line);
  std::fflush(stderr);
}

}  // namespace platform
