// The free room of the simulated drive: what device.ini's capacity leaves
// when it sets one, else what the host's volume under fs\ has free.
#include "host/win32/win32_file_system.h"
#include "platform/text.h"
#include "platform/trace.h"

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>

namespace host {

bool Win32FileSystem::GetFreeBytes(std::u16string_view path, uint64_t* bytes) {
  const auto host = paths_.ResolveExisting(path);
  bool ok = false;
  if (host && capacity_->Limited()) {
    *bytes = capacity_->Free();
    ok = true;
  } else if (host) {
    ULARGE_INTEGER available{};
    ok = GetDiskFreeSpaceExW(host->c_str(), &available, nullptr, nullptr) != 0;
    if (ok) *bytes = available.QuadPart;
  }
  platform::Trace("GetDiskFreeSpaceEx(%s) -> %s %llu", platform::ToUtf8(path).c_str(),
                  ok ? "ok" : "failed", ok ? static_cast<unsigned long long>(*bytes) : 0ull);
  return ok;
}

}  // namespace host
