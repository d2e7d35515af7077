// The status of the entries of one open folder, by name: one statx each,
// which is a look-up of the name in the folder. A big folder's are read on
// two threads, since its listing waits for all of them.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace host {

struct EntryStatus {
  mode_t mode = 0;
  off_t size = 0;
  timespec writeTime{};
  bool locked = false;  // immutable or append-only

  // What the rest of the host reads from a stat.
  struct stat AsStat() const;
};

// The entry `name` of `dir`, without following a link; none when it is gone.
std::optional<EntryStatus> StatusOf(int dir, const std::string& name);

// StatusOf for each of `names`, in their order.
std::vector<std::optional<EntryStatus>> StatusesOf(int dir,
                                                   const std::vector<const std::string*>& names);

}  // namespace host
