#include "host/linux/entry_status.h"

#include <fcntl.h>

#include <system_error>
#include <thread>

namespace host {
namespace {

// Below this many, a second thread costs more than it saves.
constexpr std::size_t kMostOnOneThread = 2048;

}  // namespace

struct stat EntryStatus::AsStat() const {
  struct stat info {};
  info.st_mode = mode;
  info.st_size = size;
  info.st_mtim = writeTime;
  return info;
}

std::optional<EntryStatus> StatusOf(int dir, const std::string& name) {
  // One statx gives the status and the flags that lock an entry.
  struct statx full {};
  if (statx(dir, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC,
            STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME, &full) != 0) {
    return std::nullopt;
  }
  EntryStatus status;
  status.mode = full.stx_mode;
  status.size = static_cast<off_t>(full.stx_size);
  status.writeTime.tv_sec = full.stx_mtime.tv_sec;
  status.writeTime.tv_nsec = full.stx_mtime.tv_nsec;
  status.locked = (full.stx_attributes & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND)) != 0;
  return status;
}

std::vector<std::optional<EntryStatus>> StatusesOf(int dir,
                                                   const std::vector<const std::string*>& names) {
  std::vector<std::optional<EntryStatus>> statuses(names.size());
  const auto read = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) statuses[i] = StatusOf(dir, *names[i]);
  };
  if (names.size() <= kMostOnOneThread) {
    read(0, names.size());
    return statuses;
  }
  const std::size_t half = names.size() / 2;
  std::thread second;
  try {
    second = std::thread(read, half, names.size());
  } catch (const std::system_error&) {
    read(half, names.size());  // no thread to be had: all on this one
  }
  read(0, half);
  if (second.joinable()) second.join();
  return statuses;
}

}  // namespace host
