// The free room of the simulated drive: what device.ini's capacity leaves
// when it sets one, else what the host's volume under fs\ has free.
#include "host/win32/win32_file_system.h"

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>

namespace host {

bool Win32FileSystem::GetFreeBytes(std::u16string_view path, uint64_t* bytes) {
  const auto host = paths_.ResolveExisting(path);
  return host && capacity_->FreeBytes(bytes, [&](uint64_t* free) {
    ULARGE_INTEGER available{};
    if (GetDiskFreeSpaceExW(host->c_str(), &available, nullptr, nullptr) == 0) return false;
    *free = available.QuadPart;
    return true;
  });
}

}  // namespace host
