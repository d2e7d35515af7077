// The drive capacity's measure on Linux: the files under fs/, walked with descriptors.
#include "host/common/drive_capacity.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace host {
namespace {

// The bytes the regular files below the open folder `dir` hold (the
// descriptor is taken over). Sub-folders are opened relative to their
// folder and never through a link, so a folder swapped for a link while
// this runs is not counted through it.
uint64_t SizeBelow(int dir) {
  DIR* stream = fdopendir(dir);
  if (stream == nullptr) {
    close(dir);
    return 0;
  }
  uint64_t total = 0;
  while (const dirent* entry = readdir(stream)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    struct stat info {};
    if (fstatat(dirfd(stream), name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISREG(info.st_mode)) {
      total += static_cast<uint64_t>(info.st_size);
    } else if (S_ISDIR(info.st_mode)) {
      const int sub = openat(dirfd(stream), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub >= 0) total += SizeBelow(sub);
    }
  }
  closedir(stream);
  return total;
}

}  // namespace

uint64_t DriveCapacity::Measure() const {
  const int fd = open(fsRoot_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return fd < 0 ? 0 : SizeBelow(fd);
}

}  // namespace host
