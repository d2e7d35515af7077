// What the removal of old files will keep and free, worked out without deleting.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace shellfit {

// What DeleteOldFiles will leave below a folder, worked out without deleting.
// Paths are CanonicalDevicePath keys.
struct RemovalPlan {
  std::map<std::u16string, uint64_t> keptFiles;  // key -> size
  std::set<std::u16string> keptFolders;          // folders that keep something
  std::set<std::u16string> keptTrees;            // dot folders, left whole
  uint64_t freedBytes = 0;                       // what the files deleted take
  std::u16string blocked;  // the first thing the deletion must change but cannot, and why
};
// Sizes count whole blocks of `blockSize` bytes.
RemovalPlan PlanOldFileRemoval(std::u16string_view folder, std::u16string_view keep,
                               uint64_t blockSize = 1);

// `bytes` rounded up to whole blocks (unchanged for a block size of 0 or 1).
uint64_t RoundToBlocks(uint64_t bytes, uint64_t blockSize);

}  // namespace shellfit
