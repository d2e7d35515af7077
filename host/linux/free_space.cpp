// The free room of the simulated drive: what device.ini's capacity leaves
// when it sets one, else what the host's file system under fs/ has free.
#include <sys/statvfs.h>

#include "host/linux/file_system.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace platform {

bool LinuxFileSystem::GetFreeBytes(std::u16string_view path, uint64_t* bytes) {
  const auto host = paths_.ResolveExisting(path);
  bool ok = false;
  if (host && capacity_->Limited()) {
    *bytes = capacity_->Free();
    ok = true;
  } else if (host) {
    struct statvfs info {};
    ok = statvfs(host->c_str(), &info) == 0;
    if (ok) *bytes = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  }
  Trace("GetDiskFreeSpaceEx(%s) -> %s %llu", ToUtf8(path).c_str(), ok ? "ok" : "failed",
        ok ? static_cast<unsigned long long>(*bytes) : 0ull);
  return ok;
}

}  // namespace platform
